#pragma once
// Process-wide values registered by name once when the package loads; none changes afterwards
// except the old-name flag and the table of recorded windows.
#include <windows.h>
#include <map>
#include <string>
#include "com/ComBSTR.h"
#include "com/ComVariant.h"

// "<base>_<current process id>": names that must differ between processes.
std::wstring AppendProcessIdSuffix(const wchar_t* base);

// Name and atom of the window property that marks ActiveX windows in this process.
extern const std::wstring g_acxWindowPropName;
extern const ATOM g_acxWindowPropAtom;

// Clipboard formats.
extern const UINT g_cfRuntimeIdForVbLabel;         // "RuntimeIdForVbLabel"
extern const UINT g_cfShelXYPosition;              // "FormatShelXYPosition"
extern const UINT g_cfWindowlessAcxControl;        // "Windowless ACX Control": runtime-id format
extern const UINT g_cfWindowlessAcxRecord;         // the same name: recorder records
extern const UINT g_cfShelHalonotRegilim;          // "FormaShelHalonotRegilim"
extern const UINT g_cfQueryIdActiveXTO;            // "FormatForQueryId_ActiveXTO"
extern const UINT g_cfQueryIdWindowlessActiveXTO;  // "FormatForQueryId_WindowlessActiveXTO"

// Windows recorded by this process: window handle to flag (a missing entry reads as 0).
// Used on the host's thread only.
extern std::map<HWND, DWORD> RecordedWindowMap;

// The system double-click time in milliseconds, read once.
extern const UINT g_doubleClickTime;

// Shared names of the persisted description and of report values.
extern const kcom::CComBSTR g_nameRuntimeAttributes;     // "RuntimeAttributes"
extern const kcom::CComBSTR g_nameScriptInfoFile;        // "script infofile"
extern const kcom::CComBSTR g_nameHighlightId;           // "hightlight id"
extern const kcom::CComBSTR g_nameTOVersion;             // "@@@T.O. Version@@@"
extern const kcom::CComBSTR g_nameUpdateModeFlags;       // "UpdateModeFlags"
extern const kcom::CComBSTR g_nameUpdateModeFlagsPersist;
extern const kcom::CComBSTR g_snapshotUpdateModeFlags;   // the same two names for snapshots
extern const kcom::CComBSTR g_snapshotUpdateModeFlagsPersist;
extern const kcom::CComBSTR g_nameStatus;                // "Status"
extern const kcom::CComBSTR g_nameStepInfo;              // "StepInfo"
extern const kcom::CComBSTR g_nameAction;                // "Action"

// The value "Disable" as a VARIANT holding the text.
extern const kcom::CComVariant g_varDisable;

// Registered window messages (kept for the process; the package sends neither itself).
extern const UINT g_msgAcxThreadSwitch;  // "Acx_Thread_Switch_Message"
extern const UINT g_msgAcxGetDirectPtr;  // "Acx_Get_Direct_Ptr"

// Whether the query engine answers "name" the old way; 0 at load.
extern volatile LONG g_useOldNameQuery;
