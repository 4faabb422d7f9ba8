#!/usr/bin/env bash
# Makes a large sparse FAT volume full of small files for timing a walk:
#   make-big-fat.sh IMAGE [FILES] [SIZE]
# exfat-fuse on a loop device, as root; SIZE for truncate (default 32G). FILES (default 100000) go into
# folders of 1,000 under a few levels; every tenth is deleted afterwards.
set -euo pipefail
IMG=$1
FILES=${2:-100000}
SIZE=${3:-32G}
export LC_ALL=C.UTF-8
rm -f "$IMG"
truncate -s "$SIZE" "$IMG"

# Writes the tree under $1, deletes every tenth file.
make_tree() {
  python3 - "$1" "$FILES" <<'PY'
import os, sys
root, files = sys.argv[1], int(sys.argv[2])
for i in range(files):
    d = os.path.join(root, "Year %d" % (i // 20000), "Folder %03d" % (i // 1000 % 20))
    if i % 1000 == 0:
        os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, "Photo number %06d with a long name.jpg" % i), "wb") as f:
        f.write(b"x" * (100 + i % 3000))
for i in range(0, files, 10):
    d = os.path.join(root, "Year %d" % (i // 20000), "Folder %03d" % (i // 1000 % 20))
    os.remove(os.path.join(d, "Photo number %06d with a long name.jpg" % i))
PY
}

mkfs.exfat -c 32K "$IMG" >/dev/null
loop=$(losetup -f --show "$IMG")
mnt=$(mktemp -d)
trap 'fusermount -u "$mnt" 2>/dev/null; losetup -d "$loop" 2>/dev/null; rmdir "$mnt"' EXIT
mount.exfat-fuse "$loop" "$mnt" >/dev/null
make_tree "$mnt"
