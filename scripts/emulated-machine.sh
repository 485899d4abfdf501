# Sourced by prepare.sh: runs a command (test.sh, demo.sh, bench.sh, stress.sh) on this build inside
# an emulated x86-64 machine whose kernel runs 32-bit programs, for machines whose own kernel does
# not (or when KESTRUNE_EMULATE=1 asks for it). Software emulation (TCG) throughout, never KVM, so
# that every such run is as slow as every other.
#
# The machine's base disk is made once per machine, in a cache outside the work tree, and never
# written: each build tree's runs write to a copy-on-write overlay of its own in the build tree
# (where the native Wine prefix lives too), so nothing one clone's runs leave reaches another's. The
# machine sees the repository (and the build tree, if apart) at the same paths, so the command runs
# on this build and writes where it always does; its standard output and error come back apart.

. "$root/scripts/apt-sources.sh"

emulated_cache=/var/cache/kestrune/emulated

# Whether this command runs emulated; sets emulated_reason.
emulated_wanted() {
  emulated_reason=""
  if [ "${KESTRUNE_EMULATE:-}" = 1 ]; then
    emulated_reason="KESTRUNE_EMULATE=1 asks for it"
  elif ! wine_runs_here; then
    emulated_reason=$wine_cannot_run
  fi
  [ -n "$emulated_reason" ]
}

emulated_fail() {
  echo "emulated machine: $*" >&2
  exit 1
}

emulated_packages() {
  local need=() p
  for p in qemu-system-x86 qemu-utils debootstrap; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
  done
  [ ${#need[@]} -eq 0 ] && return 0
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t "$(apt_release)" "${need[@]}" >/dev/null ||
    emulated_fail "installing the emulator (${need[*]}) failed"
}

# The machine's first process. It brings up no network: the machine needs none once the build is
# done. It runs the job that the host hands it through the firmware configuration, with the job's
# standard output and error on two ports of their own, then powers off.
emulated_init() {
  cat <<'INIT'
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
# The initrd may have mounted some of these already.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp; mount -t tmpfs tmpfs /run; chmod 1777 /tmp
ip link set lo up
modprobe -a qemu_fw_cfg virtio_console 9pnet_virtio 9p
port() {
  for p in /sys/class/virtio-ports/*; do [ "$(cat "$p/name" 2>/dev/null)" = "$1" ] && echo "/dev/${p##*/}"; done
}
out=$(port kestrune.out) err=$(port kestrune.err)
job=/sys/firmware/qemu_fw_cfg/by_name/opt/kestrune/job/raw
if [ -n "$out" ] && [ -n "$err" ] && [ -r "$job" ]; then
  echo "kestrune: started" >/dev/console
  bash "$job" >"$out" 2>"$err" </dev/null
  echo "kestrune: status $?" >/dev/console
else
  echo "kestrune: no job (ports '$out' '$err', job $job)" >/dev/console
fi
sync
echo u >/proc/sysrq-trigger
echo o >/proc/sysrq-trigger
sleep 60
INIT
}

# Makes the base disk's contents in $1 (a folder), from this machine's own mirror and apt settings.
emulated_disk_contents() {
  local disk=$1 log=$2 release settings
  release=$(apt_release)
  apt_release_mirror 2>>"$log" || return 1
  settings=$(apt_mirror_settings)
  # debootstrap fetches with wget, which takes a proxy from the environment.
  local proxy
  proxy=$(sed -n 's/^Acquire::http::Proxy "\(.*\)";$/\1/p' <<<"$settings")
  if ! env ${proxy:+http_proxy=$proxy} debootstrap --variant=minbase ${apt_keyring:+--keyring=$apt_keyring} \
       --include=linux-image-amd64,initramfs-tools,kmod,iproute2,procps \
       "$release" "$disk" "$apt_mirror" >>"$log" 2>&1; then
    grep -q -E 'Failed getting release|Couldn.t download|Failed to fetch|unable to fetch|Connection (refused|timed out)|Unable to resolve|Network is unreachable' "$log" &&
      echo "the package mirror failed, not the project: debootstrap could not fetch from $apt_mirror" >"$disk.why"
    return 1
  fi
  # The disk's own apt: the machine's entries for this release (the security archive among them),
  # and the settings reaching them needs.
  local uri suites comps signed
  while IFS='|' read -r uri suites comps signed; do
    local mine="" s
    for s in $suites; do case $s in "$release" | "$release"-*) mine="$mine $s" ;; esac; done
    [ -n "$mine" ] || continue
    printf 'Types: deb\nURIs: %s\nSuites:%s\nComponents: %s\n' "$uri" "$mine" "${comps:-main}"
    case $signed in
      /*) [ -f "$signed" ] || continue
          mkdir -p "$disk$(dirname "$signed")"; cp "$signed" "$disk$signed"
          printf 'Signed-By: %s\n' "$signed" ;;
    esac
    echo
  done < <(apt_deb_entries) >"$disk/etc/apt/sources.list.d/machine.sources"
  rm -f "$disk/etc/apt/sources.list"
  printf '%s\n' "$settings" >"$disk/etc/apt/apt.conf.d/90machine"
  cp /etc/resolv.conf "$disk/etc/resolv.conf"
  mount -t proc proc "$disk/proc"
  chroot "$disk" dpkg --add-architecture i386
  local ok=1
  if ! apt_update_retry chroot "$disk"; then
    echo "the package mirror failed, not the project: index $apt_update_failed did not download" >"$disk.why"
    ok=0
  # Some i386 packages' scripts run i386 programs, which fail here and only warn.
  elif ! chroot "$disk" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
         -t "$release" wine wine32:i386 xvfb xauth x11-utils cmake binutils-mingw-w64-i686 >>"$log" 2>&1; then
    grep -q -E 'Failed to fetch|Unable to fetch' "$log" &&
      echo "the package mirror failed, not the project: the machine's packages did not download from $apt_mirror" >"$disk.why"
    ok=0
  fi
  umount "$disk/proc"
  [ "$ok" = 1 ] || return 1
  chroot "$disk" apt-get clean
  rm -f "$disk/etc/resolv.conf"
  emulated_init >"$disk/kestrune-init"
  chmod +x "$disk/kestrune-init"
}

# What the base disk holds: its name changes with it, and the disk is made again.
emulated_disk_key() {
  { declare -f emulated_disk_contents; emulated_init; } | sha256sum | cut -c1-16
}

# Makes the base disk once per machine (under a lock: two commands never make it at once). Its
# log, and the reason of a failure, in $emulated_vm (the build tree).
emulated_disk_make() {
  local key dir work log=$emulated_vm/disk.log
  key=$(emulated_disk_key)
  dir=$emulated_cache/$key
  mkdir -p "$emulated_cache"
  : >"$log"
  exec 8>"$emulated_cache/lock"
  flock 8
  if [ ! -f "$dir/made" ]; then
    work=$emulated_cache/$key.new
    rm -rf "$work" "$work.why"
    mkdir -p "$work"
    if ! emulated_disk_contents "$work/root" "$log"; then
      mountpoint -q "$work/root/proc" && umount "$work/root/proc"
      cat "$work/root.why" 2>/dev/null >"$emulated_vm/disk.why" || true
      rm -rf "$work"
      return 1
    fi
    cp "$work"/root/boot/vmlinuz-* "$work/vmlinuz"
    cp "$work"/root/boot/initrd.img-* "$work/initrd.img"
    truncate -s 16G "$work/base.img"
    mke2fs -q -t ext4 -d "$work/root" "$work/base.img" >>"$log" 2>&1 || return 1
    rm -rf "$work/root"
    touch "$work/made"
    rm -rf "$dir"
    mv "$work" "$dir"
  fi
  touch "$dir/used"
  # Bases of other versions that no run used for a week.
  find "$emulated_cache" -mindepth 2 -maxdepth 2 -name used -mtime +7 -printf '%h\n' | xargs -r rm -rf
  flock -u 8
  exec 8>&-
}

# The job's limit in seconds, for the command and what it asks ($1 cases, when known).
emulated_limit() {
  local name=$1 cases=${2:-}
  case $name in
    test.sh) [ -n "$cases" ] && echo $((600 + 4 * cases)) || echo 1200 ;;
    stress.sh) [ -n "$cases" ] && echo $((600 + 6 * cases)) || echo 1200 ;;
    demo.sh) echo 1200 ;;
    bench.sh) echo 2400 ;;
    *) echo 3600 ;;
  esac
}

# How long the command roughly takes there, for the line that announces the run.
emulated_estimate() {
  case $1 in
    test.sh) echo "about 25 minutes for the whole suite" ;;
    stress.sh) echo "about $((40 * ${2:-1})) minutes" ;;
    demo.sh) echo "about 2 minutes" ;;
    bench.sh) echo "about 15 minutes" ;;
  esac
}

# Runs the command NAME with ARGS in the machine; exits with its status.
emulated_run() {
  local name=$1
  shift
  emulated_vm=$build/emulated
  local key base overlay vm=$emulated_vm
  key=$(emulated_disk_key)
  base=$emulated_cache/$key
  overlay=$vm/overlay-$key.qcow2

  # One run of a build tree at a time: the overlay, the job and its log are the tree's.
  exec 9>"$vm/lock"
  if ! flock -n 9; then
    echo "emulated machine: another run of $build is under way; waiting for it" >&2
    flock 9
  fi
  # An overlay a killed run left may be damaged (the disk runs without flushes): made again.
  for f in "$vm"/overlay-*.qcow2; do
    [ -e "$f" ] || continue
    [ "$f" = "$overlay" ] && [ ! -e "$vm/dirty" ] && continue
    rm -f "$f"
  done
  if [ ! -e "$overlay" ]; then
    qemu-img create -q -f qcow2 -F raw -b "$base/base.img" "$overlay" ||
      emulated_fail "making the overlay $overlay failed"
  fi

  # The job: mount what the machine shares, then the command as the native machine runs it, on
  # this build; the Wine prefixes live on the machine's own disk, in the tree's overlay.
  local job=$vm/job.sh rc=$vm/job.rc var
  {
    echo 'set -u'
    echo 'opts=trans=virtio,version=9p2000.L,msize=1048576,cache=loose'
    printf 'mkdir -p %q && mount -t 9p -o "$opts" root %q || exit 125\n' "$root" "$root"
    case $build in "$root"/*) ;; *) printf 'mkdir -p %q && mount -t 9p -o "$opts" build %q || exit 125\n' "$build" "$build" ;; esac
    for var in wineprefix wineprefix16; do
      printf 'mkdir -p /var/kestrune/%s %q && mount --bind /var/kestrune/%s %q || exit 125\n' \
        "$var" "$build/$var" "$var" "$build/$var"
    done
    for var in $(compgen -e | grep -E '^KESTRUNE_' | grep -v -x -E 'KESTRUNE_(EMULATE|PREBUILT|PLAN|TIME_SCALE)'); do
      printf 'export %s=%q\n' "$var" "${!var}"
    done
    [ -n "${LANG:-}" ] && printf 'export LANG=%q\n' "$LANG"
    printf 'export KESTRUNE_BUILD=%q KESTRUNE_PREBUILT=1 KESTRUNE_PLAN=/dev/console KESTRUNE_TIME_SCALE=4\n' "$build"
    printf 'cd %q && bash scripts/%q' "$root" "$name"
    printf ' %q' "$@"
    echo
    printf 'status=$?\necho $status >%q\nexit $status\n' "$rc"
  } >"$job"
  rm -f "$rc" "$vm/console.log" "$vm/out" "$vm/err"
  mkfifo "$vm/out" "$vm/err"
  # The shell holds both pipes open too, so that neither reader waits for ever on a machine that
  # never opened them; closed once the machine has stopped, the readers then end with all it wrote.
  exec 6<>"$vm/out" 7<>"$vm/err"
  cat "$vm/out" 6>&- 7>&- &
  local out_reader=$!
  cat "$vm/err" >&2 6>&- 7>&- &
  local err_reader=$!

  local cpus memory
  cpus=$(nproc)
  memory=$(awk '/^MemTotal:/ { m = int($2 / 1024 / 2); print (m > 8192 ? 8192 : m) }' /proc/meminfo)
  touch "$vm/dirty"
  esc() { printf '%s' "${1//,/,,}"; }
  # Without SMAP and SMEP: this emulator faults a 32-bit program's return from a system call with them.
  qemu-system-x86_64 -machine q35 -accel tcg,thread=multi,tb-size=1024 -cpu max,-smap,-smep \
    -smp "$cpus" -m "$memory" -kernel "$base/vmlinuz" -initrd "$base/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet init=/kestrune-init" \
    -drive "file=$(esc "$overlay"),if=virtio,format=qcow2,cache=unsafe" \
    -virtfs "local,path=$(esc "$root"),mount_tag=root,security_model=passthrough,id=root" \
    $(case $build in "$root"/*) ;; *) echo "-virtfs local,path=$(esc "$build"),mount_tag=build,security_model=passthrough,id=build" ;; esac) \
    -fw_cfg "name=opt/kestrune/job,file=$(esc "$job")" \
    -device virtio-serial-pci \
    -chardev "file,id=out,path=$(esc "$vm/out")" -device virtserialport,chardev=out,name=kestrune.out \
    -chardev "file,id=err,path=$(esc "$vm/err")" -device virtserialport,chardev=err,name=kestrune.err \
    -serial "file:$vm/console.log" -nic none -display none -monitor none -no-reboot \
    >"$vm/qemu.log" 2>&1 6>&- 7>&- 9>&- &
  local machine=$! step="starting the machine" limit=600 since=$SECONDS cases=""
  trap 'kill -9 '"$machine"' 2>/dev/null; echo "emulated machine: interrupted; stopped it" >&2; exit 130' INT TERM
  while kill -0 "$machine" 2>/dev/null; do
    case $step in
      "starting the machine")
        grep -qs 'kestrune: started' "$vm/console.log" &&
          step="the command" limit=$(emulated_limit "$name") since=$SECONDS ;;
      "the command")
        if [ -z "$cases" ] && cases=$(grep -a -o -m1 -E 'kestrune: cases [0-9]+' "$vm/console.log" 2>/dev/null); then
          cases=${cases##* } limit=$(emulated_limit "$name" "$cases")
        fi
        grep -qs 'kestrune: status' "$vm/console.log" && step="powering off" limit=120 since=$SECONDS ;;
    esac
    if [ $((SECONDS - since)) -gt "$limit" ]; then
      kill -9 "$machine" 2>/dev/null
      wait "$machine" 2>/dev/null
      exec 6>&- 7>&-
      wait "$out_reader" "$err_reader"
      rm -f "$overlay" "$vm/out" "$vm/err"
      emulated_fail "$step did not end within $(((limit + 59) / 60)) min; stopped the machine (its console: $vm/console.log)"
    fi
    sleep 1
  done
  wait "$machine"
  local qemu_status=$?
  trap - INT TERM
  exec 6>&- 7>&-
  wait "$out_reader" "$err_reader"
  rm -f "$vm/out" "$vm/err"
  grep -qs 'kestrune: status' "$vm/console.log" && step="powering off"
  if [ "$step" != "powering off" ]; then
    rm -f "$overlay"
    [ "$qemu_status" = 0 ] || emulated_fail "the emulator failed while $step (status $qemu_status): $(tail -n 3 "$vm/qemu.log" | tr '\n' ' ')"
    emulated_fail "the machine stopped while $step (its console: $vm/console.log)"
  fi
  rm -f "$vm/dirty"
  local status
  status=$(cat "$rc" 2>/dev/null) || status=$(grep -a -o -m1 -E 'kestrune: status [0-9]+' "$vm/console.log" | sed 's/.* //')
  [ "$status" != 125 ] || emulated_fail "the machine could not mount the build's folders"
  exit "${status:-1}"
}

# Announces the run, installs the emulator and makes the disk while the build compiles, then runs
# the command NAME with ARGS in the machine. Never returns.
emulated_command() {
  local name=$1
  shift
  local estimate
  estimate=$(emulated_estimate "$name" "$@")
  [ -f "$emulated_cache/$(emulated_disk_key)/made" ] || estimate="$estimate; first the machine's disk is made, once for this machine, beside the build (about 8 minutes)"
  echo "$name: $emulated_reason: running in an emulated x86-64 machine instead; $estimate" >&2
  emulated_packages
  emulated_vm=$build/emulated
  mkdir -p "$emulated_vm"
  rm -f "$emulated_vm/disk.why"
  (emulated_disk_make) &
  local disk=$!
  trap 'kill '"$disk"' 2>/dev/null' EXIT
  if [ -n "${KESTRUNE_QUIET_BUILD:-}" ]; then
    bash "$root/scripts/build.sh" >/dev/null
  else
    bash "$root/scripts/build.sh"
  fi
  if ! wait "$disk"; then
    trap - EXIT
    emulated_fail "making the machine's disk failed: $(cat "$emulated_vm/disk.why" 2>/dev/null || echo "see $emulated_vm/disk.log")"
  fi
  trap - EXIT
  emulated_run "$name" "$@"
}
