#!/usr/bin/env bash
# The main job: builds the package, shows its exports and the outside DLLs it links, then registers
# it under Wine and lets a script client create each of its classes by ProgID.
set -euo pipefail
KESTRUNE_QUIET_BUILD=1 . "$(dirname "$0")/prepare.sh"

dll="$build/bin/Kestrune.dll"
echo "Kestrune.dll (32-bit Windows PE, $(stat -c %s "$dll") bytes)"
echo "  exports:"
i686-w64-mingw32-objdump -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^$/{t=0} t{print "    " $NF}'
echo "  links by name:"
i686-w64-mingw32-objdump -p "$dll" | awk '/DLL Name:/{print "    " $3}'

wine_session_start "$build"
cd "$build/bin"
wine regsvr32 /s Kestrune.dll
script=$(mktemp --suffix=.vbs -p "$build")
cat >"$script" <<'VBS'
On Error Resume Next
For Each progId In Array("Quorvel.KestruneMgr", "Quorvel.AcxAgentUtil", "Quorvel.AcxFlowEvents", _
                         "Quorvel.AcxQuery", "Quorvel.AcxFactory", "Quorvel.AcxObject", _
                         "Quorvel.AcxWlsObject", "Quorvel.AcxUtil")
  Err.Clear
  Set o = CreateObject(progId)
  Select Case Err.Number
    Case 0:   WScript.Echo "  " & progId & ": created"
    Case 430: WScript.Echo "  " & progId & ": created (no script interface; the host uses it through COM)"
    Case 429: WScript.Echo "  " & progId & ": registered, not built yet"
    Case Else: WScript.Echo "  " & progId & ": failed (" & Err.Number & ")"
  End Select
  Set o = Nothing
Next
VBS
echo "registered classes, created by a script client:"
wine cscript //nologo "$(winepath -w "$script" 2>/dev/null)" 2>/dev/null | tr -d '\r'
rm -f "$script"
wine regsvr32 /s /u Kestrune.dll
