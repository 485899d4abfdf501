#!/usr/bin/env bash
# For machines whose kernel refuses 32-bit x86 programs: runs one of the commands (test.sh,
# stress.sh, demo.sh, bench.sh) in an emulated x86-64 machine whose kernel runs them. Builds here,
# makes the machine's disk once (build/emulated, about 3 GB), and hands this tree to the machine at
# the same path, so the command runs on this build and writes where it always does. Slow: full-system
# emulation, the whole suite takes about 35 minutes on 8 cores, and cases that time real hooks
# against short time-outs can fail there. Not part of CI. Usage: scripts/emulated.sh NAME [ARGS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTRUNE_BUILD:-$root/build}
name=${1:-}
case $name in
  test.sh | stress.sh | demo.sh | bench.sh) shift ;;
  *) echo "usage: scripts/emulated.sh test.sh|stress.sh|demo.sh|bench.sh [arguments]" >&2; exit 2 ;;
esac
case $build in "$root"/*) ;; *) echo "emulated.sh: the build ($build) must lie inside $root, which the machine sees" >&2; exit 2 ;; esac
bash "$root/scripts/setup.sh"
need=()
for p in qemu-system-x86 debootstrap; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
[ ${#need[@]} -eq 0 ] || apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null \
  || apt-get install -y -qq --no-install-recommends -t bookworm "${need[@]}" >/dev/null
bash "$root/scripts/build.sh" >/dev/null

vm=$build/emulated
mkdir -p "$vm"
if [ ! -f "$vm/root.img" ]; then
  echo "emulated.sh: making the machine's disk (once; a few minutes)"
  disk=$vm/root
  rm -rf "$disk"
  debootstrap --variant=minbase --include=linux-image-amd64,initramfs-tools,kmod,iproute2,ca-certificates,procps \
    bookworm "$disk" http://deb.debian.org/debian >"$vm/debootstrap.log" 2>&1
  cp /etc/apt/sources.list.d/debian.sources "$disk/etc/apt/sources.list.d/" 2>/dev/null || true
  cp /etc/resolv.conf "$disk/etc/resolv.conf"
  mount -t proc proc "$disk/proc"
  trap 'umount "$disk/proc" 2>/dev/null || true' EXIT
  chroot "$disk" dpkg --add-architecture i386
  # Some i386 packages' scripts run i386 programs, which fail here and only warn.
  chroot "$disk" sh -c 'apt-get update -qq; DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends -t bookworm wine wine32:i386 xvfb xauth x11-utils cmake binutils-mingw-w64-i686' \
    >"$vm/packages.log" 2>&1
  umount "$disk/proc"
  trap - EXIT
  cat >"$disk/kestrune-init" <<'INIT'
#!/bin/sh
# The emulated machine's first process: mounts, network, the host's tree, the job, power off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc 2>/dev/null; mount -t sysfs sys /sys 2>/dev/null; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp; mount -t tmpfs tmpfs /run; chmod 1777 /tmp
ip link set lo up
for i in /sys/class/net/*; do
  n=${i##*/}; [ "$n" = lo ] && continue
  ip link set "$n" up; ip addr add 10.0.2.15/24 dev "$n"; ip route add default via 10.0.2.2
done
echo nameserver 10.0.2.3 >/etc/resolv.conf
for arg in $(cat /proc/cmdline); do case $arg in kestrune_root=*) root=${arg#*=} ;; kestrune_vm=*) vm=${arg#*=} ;; esac; done
modprobe 9pnet_virtio; modprobe 9p
mkdir -p "$root"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=1048576,cache=loose host "$root"
bash "$vm/job.sh" >"$vm/job.log" 2>&1
echo $? >"$vm/job.rc"
sync
echo o >/proc/sysrq-trigger
sleep 10
INIT
  chmod +x "$disk/kestrune-init"
  rm -f "$disk/etc/resolv.conf"
  cp "$disk"/boot/vmlinuz-* "$vm/vmlinuz"
  cp "$disk"/boot/initrd.img-* "$vm/initrd.img"
  truncate -s 16G "$vm/root.img.new"
  mke2fs -q -t ext4 -d "$disk" "$vm/root.img.new"
  mv "$vm/root.img.new" "$vm/root.img"
  rm -rf "$disk"
fi

# The job: the command on this build; the Wine prefix lives on the machine's own disk.
{
  echo "mkdir -p /var/kestrune-prefix '$build/wineprefix'"
  echo "mount --bind /var/kestrune-prefix '$build/wineprefix'"
  printf 'cd %q && KESTRUNE_PREBUILT=1 bash scripts/%q' "$root" "$name"
  printf ' %q' "$@"
  echo
} >"$vm/job.sh"
rm -f "$vm/job.rc" "$vm/job.log"
touch "$vm/job.log"
tail -f "$vm/job.log" &
tailer=$!
# Without SMAP and SMEP: this emulator faults a 32-bit program's return from a system call with them.
qemu-system-x86_64 -machine q35 -accel tcg,thread=multi,tb-size=1024 -cpu max,-smap,-smep \
  -smp "$(nproc)" -m "${KESTRUNE_VM_MEMORY:-8G}" -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet init=/kestrune-init kestrune_root=$root kestrune_vm=$vm" \
  -drive "file=$vm/root.img,if=virtio,format=raw,cache=unsafe" \
  -virtfs "local,path=$root,mount_tag=host,security_model=passthrough,id=host" \
  -netdev user,id=n0 -device virtio-net-pci,netdev=n0 -nographic -no-reboot >"$vm/console.log" 2>&1 || true
sleep 1
kill "$tailer" 2>/dev/null || true
if [ ! -f "$vm/job.rc" ]; then
  echo "emulated.sh: the emulated machine stopped before the command ended (its console: $vm/console.log)" >&2
  exit 1
fi
exit "$(cat "$vm/job.rc")"
