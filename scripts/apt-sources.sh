# Sourced: the package mirror this machine's own apt uses, so that nothing here names one.
# apt_release: the release's code name. apt_deb_entries: one line per enabled "deb" entry of
# /etc/apt/sources.list and sources.list.d (one-line and deb822 forms), as
# "<first URI>|<suites>|<components>|<Signed-By>" (suites and components space-separated).
apt_release() { (. /etc/os-release && echo "$VERSION_CODENAME"); }

apt_deb_entries() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk '
      { sub(/#.*/, "") }
      $1 == "deb" {
        i = 2; signed = ""
        if ($2 ~ /^\[/) {
          opts = ""
          for (; i <= NF; i++) { opts = opts " " $i; if ($i ~ /\]$/) { i++; break } }
          gsub(/[][]/, "", opts)
          n = split(opts, o, " ")
          for (k = 1; k <= n; k++) if (o[k] ~ /^signed-by=/) { signed = o[k]; sub(/^signed-by=/, "", signed) }
        }
        uri = $i; suite = $(i + 1); comps = ""
        for (k = i + 2; k <= NF; k++) comps = comps (comps ? " " : "") $k
        if (uri != "" && suite != "") print uri "|" suite "|" comps "|" signed
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && uris != "") {
          split(uris, u, " "); print u[1] "|" suites "|" comps "|" signed
        }
        types = uris = suites = comps = signed = ""; enabled = ""; last = ""
      }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      /^[ \t]/ { next }  # a continued field (an inline key): only its first line is kept
      {
        field = tolower($0); sub(/:.*/, "", field)
        value = $0; sub(/^[^:]*:[ \t]*/, "", value); sub(/[ \t]+$/, "", value)
        if (field == "types") types = value
        else if (field == "uris") uris = value
        else if (field == "suites") suites = value
        else if (field == "components") comps = value
        else if (field == "signed-by") signed = value
        else if (field == "enabled") enabled = tolower(value)
      }
      END { flush() }' "$f"
  done
}

# Sets apt_mirror, apt_suites and apt_keyring (a file, or empty) from the entry whose suites hold
# the release's own name (the security archive, say, is an entry apart); fails with the reason when
# none does.
apt_release_mirror() {
  local release uri suites comps signed
  release=$(apt_release)
  apt_mirror="" apt_suites="" apt_keyring=""
  while IFS='|' read -r uri suites comps signed; do
    case " $suites " in *" $release "*) ;; *) continue ;; esac
    apt_mirror=${uri%/} apt_suites=$suites
    case $signed in /*) [ -f "$signed" ] && apt_keyring=$signed ;; esac
    return 0
  done < <(apt_deb_entries)
  echo "no apt source of this machine has a \"deb\" entry for $release (/etc/apt/sources.list, /etc/apt/sources.list.d)" >&2
  return 1
}

# The machine's apt settings that reaching its mirror needs (a proxy, the index date checks), as
# apt.conf lines for another system's apt.
apt_mirror_settings() {
  apt-config dump 2>/dev/null |
    grep -E '^Acquire::((https?|ftp|socks)::Proxy(::[^ ]+)? |Check-Valid-Until |Check-Date |Max-FutureTime )' || true
}

# apt-get update, retried: a mirror caught mid-sync serves an index of the wrong size for a while.
# Runs through "$@" (a chroot, say) when given. Sets apt_update_failed to the indexes that still
# failed (empty when all came), and fails then.
apt_update_retry() {
  local log attempt
  log=$(mktemp)
  for attempt in 1 2 3 4; do
    if "$@" apt-get update -qq >"$log" 2>&1; then
      apt_update_failed=""
      rm -f "$log"
      return 0
    fi
    apt_update_failed=$(grep -o -E 'Failed to fetch [^ ]+' "$log" | sed 's/^Failed to fetch //' | sort -u | tr '\n' ' ')
    [ -n "$apt_update_failed" ] || apt_update_failed="(apt named no index: $(grep -m1 '^E:' "$log"))"
    [ "$attempt" -lt 4 ] && sleep $((attempt * 5))
  done
  rm -f "$log"
  apt_update_failed=${apt_update_failed% }
  return 1
}
