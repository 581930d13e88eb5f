#!/usr/bin/env bash
# Builds the guest's initramfs: busybox, the modules the test bed needs with
# their dependencies, and the guest's /init.
#   initramfs.sh KERNEL_TREE VERSION OUT.cpio.gz
set -euo pipefail
tree=$1 version=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

modules=(virtio_pci 9pnet_virtio 9p overlay configfs dummy_hcd libcomposite usb_f_fs
         usb-storage sd_mod sg vfat nls_cp437 nls_ascii nls_iso8859-1)

mkdir -p "$work"/{bin,dev,proc,sys,mnt,lib/modules}
cp /bin/busybox "$work/bin/busybox"
for tool in sh mount umount mkdir insmod poweroff sleep cat chroot echo ls rm ln sync sed tr; do
    ln -s busybox "$work/bin/$tool"
done
: >"$work/modules.list"
for m in "${modules[@]}"; do
    modprobe -d "$tree" -S "$version" --show-depends "$m" | while read -r kind path _; do
        [ "$kind" = insmod ] || continue
        name=$(basename "$path")
        grep -qx "$name" "$work/modules.list" && continue
        cp "$path" "$work/lib/modules/$name"
        echo "$name" >>"$work/modules.list"
    done
done
cp "$here/init" "$work/init"
chmod +x "$work/init"
(cd "$work" && find . | cpio -o -H newc --quiet | gzip -1) >"$out"
