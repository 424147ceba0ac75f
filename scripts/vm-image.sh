#!/usr/bin/env bash
# Builds, when it is missing, the 32-bit machine on which the shipped i686 exe meets a
# real 32-bit kernel (true trap numbers), and prints the folder that holds it:
#
#   vmlinuz     Debian 12's 686 kernel (the package linux-image-686:i386 depends on)
#   initrd.img  busybox-static plus the modules for virtio disks and ext4, and
#               tests/vm/initramfs-init as /init
#   disk.img    ext4 root: debootstrap --variant=minbase of Debian 12 i386 with 32-bit
#               Wine and a headless prefix at /root/wine-prefix
#   manifest    kernel version, package versions, build time
#
# The folder lives in ${XDG_CACHE_HOME:-$HOME/.cache}/comreg32/vm-KEY, outside any clone,
# KEY being a hash of this script and the files it bakes in, so every clone on the
# machine shares one image and a changed recipe builds a new one. It is built next to
# its place and renamed into it when complete. About 6 minutes; needs root (debootstrap,
# chroot) and the qemu-i386 binfmt entry, which this script makes.
#
# Everything comes through apt's verification: debootstrap checks the release against
# Debian's keyring, and the kernel and busybox are fetched with apt-get download. The
# kernel package is kept out of debootstrap: under qemu-user its initramfs generation
# takes over 20 minutes, and a small initramfs of our own is made in a second here.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
suite=bookworm
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
root_packages=wine,wine32,libwine
kernel_meta=linux-image-686:i386
initramfs_packages=(busybox-static:i386)
# What the initramfs loads to mount a virtio disk of ext4; their dependencies (and
# ext4's soft dependency on crc32c) are resolved from the kernel's own modules.
initramfs_modules=(virtio_pci virtio_blk ext4)
prefix_in_guest=/root/wine-prefix
baked=("$here/vm-image.sh" "$here/wine-headless.reg" "$repo/tests/vm/initramfs-init")

say() { echo "vm-image: $*" >&2; }

key=$(for file in "${baked[@]}"; do
  echo "${file#"$repo"/}"
  sha256sum <"$file"
done | sha256sum | cut -c1-16)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/comreg32
image=$cache/vm-$key
if [ -f "$image/manifest" ]; then
  echo "$image"
  exit 0
fi

[ "$(id -u)" = 0 ] || {
  say "building $image needs root (debootstrap, chroot, mknod)"
  exit 1
}
mkdir -p "$cache/debs"
# One builder per key; a second caller waits for the first and then reuses its image.
exec 9>"$cache/vm-$key.lock"
flock -w 3600 9 || {
  say "another build of $image has held its lock for an hour"
  exit 1
}
if [ -f "$image/manifest" ]; then
  echo "$image"
  exit 0
fi

# Whatever is left in the build folder was left by an interrupted build (the lock is ours).
work=$cache/vm-$key.partial
rm -rf --one-file-system "$work"
mkdir -p "$work"
trap 'rm -rf --one-file-system "$work"' EXIT
started=$(date +%s)
phase_started=$started
phase() {
  local now
  now=$(date +%s)
  say "$1 ($((now - phase_started)) s)"
  echo "  $1: $((now - phase_started)) s" >>"$work/phases"
  phase_started=$now
}
say "building the 32-bit machine image in $image (about 6 minutes)"
# Only the image's path goes to stdout; the tools' chatter goes to stderr.
exec 3>&1 1>&2

"$here/qemu-binfmt.sh"
mirror=$("$here/apt-mirror.sh") || {
  say "no apt source names the $suite suite; cannot choose a mirror"
  exit 1
}

# Kernel and busybox: the packages apt names, fetched and verified by apt.
kernel_package=$(apt-cache depends "$kernel_meta" | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
[ -n "$kernel_package" ] || {
  say "apt names no kernel package for $kernel_meta (apt-get update?)"
  exit 1
}
mkdir -p "$work/debs"
download() {
  (cd "$work/debs" && apt-get download -q -o APT::Sandbox::User=root "$@" >&2)
}
download "$kernel_package" "${initramfs_packages[@]}" ||
  { apt-get update -qq -o Acquire::By-Hash=force >&2 && download "$kernel_package" "${initramfs_packages[@]}"; }
for deb in "$work"/debs/*.deb; do
  dpkg-deb -x "$deb" "$work/extract"
done
phase "fetched $kernel_package and ${initramfs_packages[*]}"

# Root file system. dpkg inside runs through qemu-user: skipping its fsyncs and the
# documentation it would unpack makes the slowest step shorter.
root=$work/root
mkdir -p "$root/etc/dpkg/dpkg.cfg.d"
cat >"$root/etc/dpkg/dpkg.cfg.d/01comreg32-vm" <<'EOF'
force-unsafe-io
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/man/*
path-exclude=/usr/share/info/*
path-exclude=/usr/share/locale/*
path-include=/usr/share/locale/locale.alias
EOF
# In a private mount namespace: the /proc and /sys that debootstrap mounts in the root
# go away with it, even when it is interrupted. Its downloads are kept in $cache/debs for
# the next build; debootstrap checks every one it takes from there against the signed
# index, as it does a fresh download.
stamp_lines() { while IFS= read -r line; do printf '%(%T)T %s\n' -1 "$line"; done; }
if ! unshare -m --propagation private debootstrap --arch=i386 --variant=minbase --keyring="$keyring" \
  --cache-dir="$cache/debs" --include="$root_packages" "$suite" "$root" "$mirror" 2>&1 | stamp_lines >"$work/debootstrap.log"; then
  tail -n 30 "$work/debootstrap.log" >&2
  [ -f "$root/debootstrap/debootstrap.log" ] && tail -n 30 "$root/debootstrap/debootstrap.log" >&2
  say "debootstrap failed"
  exit 1
fi
phase "debootstrap of $suite i386 with $root_packages"

# The Wine prefix, made in the root through qemu-user, with the headless settings of
# scripts/wine-headless.reg. /proc is mounted in a private mount namespace, so nothing
# stays mounted on the host whatever happens.
cp "$here/wine-headless.reg" "$root/tmp/wine-headless.reg"
# shellcheck disable=SC2016 # the script's own variables expand in its own shell
unshare -m --propagation private /bin/bash -euc '
  root=$1 prefix=$2
  mount -t proc proc "$root/proc"
  in_root() {
    chroot "$root" /usr/bin/env -i HOME=/root WINEPREFIX="$prefix" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=" PATH=/usr/bin:/bin "$@"
  }
  # One persistent server for wineboot and the registry import; -k saves the registry.
  mkdir -p "$root$prefix"
  in_root wineserver -p
  in_root wineboot -i >/dev/null 2>&1
  in_root wine reg import "Z:\\tmp\\wine-headless.reg" >/dev/null 2>&1
  in_root wineserver -k
  in_root wineserver -w
' vm-prefix "$root" "$prefix_in_guest"
grep -q '"Graphics"="null"' "$root$prefix_in_guest/user.reg" || {
  say "the Wine prefix in the root has no Graphics=null"
  exit 1
}
# wineboot copies Wine's PE libraries into system32; the copies that are byte for byte
# the installed files become hard links to them (about 530 of the prefix's 590 MB).
# A run writes to its own snapshot of the disk, so no run can change another's files.
windows_libraries=$root/usr/lib/i386-linux-gnu/wine/i386-windows
for copy in "$root$prefix_in_guest"/drive_c/windows/system32/*; do
  original=$windows_libraries/${copy##*/}
  [ -f "$copy" ] && [ -f "$original" ] && cmp -s "$copy" "$original" && ln -f "$original" "$copy"
done
# The server's folder named in the prefix was in the build's /tmp; the guest makes its own.
rm -f "$root$prefix_in_guest/wineserver"
phase "Wine prefix at $prefix_in_guest"

# Initramfs: busybox, /init, and the modules in load order (dependencies first,
# duplicates dropped). Modules compressed by the kernel package are unpacked here, so
# busybox's insmod needs no decompressor.
kernel_version=$(basename "$(ls -d "$work"/extract/lib/modules/*/)")
vmlinuz=$work/extract/boot/vmlinuz-$kernel_version
[ -f "$vmlinuz" ] || {
  say "no kernel image in $kernel_package"
  exit 1
}
initramfs=$work/initramfs
mkdir -p "$initramfs"/{bin,dev,proc,sys,newroot,lib/modules}
cp "$work/extract/bin/busybox" "$initramfs/bin/busybox"
cp "$repo/tests/vm/initramfs-init" "$initramfs/init"
chmod 755 "$initramfs/init"
mknod -m 600 "$initramfs/dev/console" c 5 1
depmod -b "$work/extract" "$kernel_version"
modprobe -d "$work/extract" -S "$kernel_version" -a --show-depends "${initramfs_modules[@]}" |
  awk '$1 == "insmod" && !seen[$2]++ { print $2 }' >"$work/extract/modules.paths"
[ -s "$work/extract/modules.paths" ] || {
  say "modprobe resolved none of ${initramfs_modules[*]} in $kernel_package"
  exit 1
}
: >"$initramfs/modules.list"
while read -r path; do
  relative=${path#"$work/extract/"}
  target=$initramfs/${relative%.xz}
  target=${target%.zst}
  target=${target%.gz}
  mkdir -p "$(dirname "$target")"
  case $path in
  *.xz) xz -dc "$path" >"$target" ;;
  *.zst) zstd -qdc "$path" >"$target" ;;
  *.gz) gzip -dc "$path" >"$target" ;;
  *) cp "$path" "$target" ;;
  esac
  echo "${target#"$initramfs"/}" >>"$initramfs/modules.list"
done <"$work/extract/modules.paths"
(cd "$initramfs" && find . -print0 | LC_ALL=C sort -z | cpio --null -o -H newc --quiet) | gzip -9 >"$work/initrd.img"
cp "$vmlinuz" "$work/vmlinuz"
phase "kernel $kernel_version and initramfs ($(wc -l <"$initramfs/modules.list") modules)"

# Disk: the root without apt's downloads and lists, with room for a run's writes (the
# file is sparse, and runs open it with -snapshot, so it never changes).
rm -rf "$root"/var/cache/apt/archives/*.deb "$root"/var/lib/apt/lists/* "$root"/tmp/* "$root"/tmp/.[!.]*
{
  echo "kernel $kernel_version ($kernel_package)"
  echo "initramfs modules: $(tr '\n' ' ' <"$initramfs/modules.list")"
  echo "wine prefix $prefix_in_guest"
  echo "packages:"
  dpkg-query --admindir="$root/var/lib/dpkg" -W -f='  ${Package}:${Architecture} ${Version}\n'
} >"$work/manifest.partial"
used_mb=$(du -sm "$root" | cut -f1)
mkfs.ext4 -q -F -L comreg32-vm -d "$root" "$work/disk.img" "$((used_mb * 115 / 100 + 512))M"
rm -rf --one-file-system "$root" "$work/extract" "$work/debs" "$initramfs"
phase "ext4 disk of ${used_mb} MB of files"

{
  echo "built in $(($(date +%s) - started)) s:"
  cat "$work/phases"
} >>"$work/manifest.partial"
rm "$work/phases"
mv "$work/manifest.partial" "$work/manifest"
trap - EXIT
mv -T "$work" "$image"
say "built $image in $(($(date +%s) - started)) s"
echo "$image" >&3
