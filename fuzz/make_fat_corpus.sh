#!/usr/bin/env bash
# Writes the seed corpora of the FAT fuzz targets into fuzz/corpus/fatboot,
# fatdir and fatvolume: tiny FAT12, FAT16, FAT32 and exFAT volumes made by
# mkfs.fat with mtools and mkfs.exfat with exfat-fuse (root, a loop device
# and /dev/fuse; without them the exFAT seeds are left as they are), cut
# after their last used cluster. Run it again only to change the seeds; the
# corpora in the repository are its output.
set -euo pipefail
cd "$(dirname "$0")"
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1
WORK=$(mktemp -d /tmp/salvix-fatcorpus-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p corpus/fatboot corpus/fatdir corpus/fatvolume

printf 'A long name, one of several parts.txt' >"$WORK/A long name, one of several parts.txt"
printf 'Привет' >"$WORK/Привет.txt"
head -c 3000 /dev/zero | tr '\0' 'x' >"$WORK/big.bin"
printf 'gone' >"$WORK/Deleted file.txt"

fill_fat() {  # IMAGE
  mmd -i "$1" ::Folder ::Folder/Deeper ::Gone
  mcopy -i "$1" "$WORK/A long name, one of several parts.txt" "$WORK/big.bin" ::
  mcopy -i "$1" "$WORK/Привет.txt" ::Folder/Deeper/
  mcopy -i "$1" "$WORK/Deleted file.txt" ::Folder/
  mcopy -i "$1" "$WORK/Deleted file.txt" ::Gone/
  mdel -i "$1" "::Folder/Deleted file.txt"
  mdeltree -i "$1" ::Gone
}

# KIND BITS KIB SECTORS_PER_CLUSTER FATS KEEP_KIB
make_fat() {
  local img="$WORK/$1.img"
  mkfs.fat -C -F "$2" -s "$4" -f "$5" $([ "$2" = 32 ] || echo -r 64) "$img" "$3" >/dev/null
  fill_fat "$img"
  head -c $(($6 * 1024)) "$img" >"corpus/fatvolume/seed-$1"
  head -c 512 "$img" >"corpus/fatboot/seed-$1"
}
make_fat fat12 12 64 1 2 64
make_fat fat16 16 2100 1 1 40
make_fat fat32 32 33500 1 1 288

# The root of the FAT12 seed, as FAT12/16 (0) and FAT32 (1) directories.
root=$((512 * (1 + 2 * $(od -An -tu2 -j22 -N2 "corpus/fatboot/seed-fat12" | tr -d ' '))))
{ printf '\0'; tail -c +$((root + 1)) corpus/fatvolume/seed-fat12 | head -c 2048; } >corpus/fatdir/seed-fat-root
{ printf '\1'; tail -c +$((root + 1)) corpus/fatvolume/seed-fat12 | head -c 2048; } >corpus/fatdir/seed-fat32-root

make_exfat() {
  local img="$WORK/exfat.img" mnt="$WORK/mnt" loop
  [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] || { echo "no exFAT seeds: needs root and /dev/fuse" >&2; return; }
  truncate -s 1M "$img"
  mkfs.exfat -c 512 -b 4096 "$img" >/dev/null
  loop=$(losetup -f --show "$img") || { echo "no exFAT seeds: no loop device" >&2; return; }
  mkdir -p "$mnt"
  if ! mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1; then
    losetup -d "$loop"; echo "no exFAT seeds: FUSE cannot mount" >&2; return
  fi
  mkdir -p "$mnt/Folder/Deeper" "$mnt/Gone"
  cp "$WORK/A long name, one of several parts.txt" "$WORK/big.bin" "$mnt/"
  cp "$WORK/Привет.txt" "$mnt/Folder/Deeper/"
  cp "$WORK/Deleted file.txt" "$mnt/Folder/"
  cp "$WORK/Deleted file.txt" "$mnt/Gone/"
  rm "$mnt/Folder/Deleted file.txt"
  rm -r "$mnt/Gone"
  fusermount -u "$mnt"
  losetup -d "$loop"
  # Everything the volume uses lies in its first 160 KiB.
  head -c $((160 * 1024)) "$img" >corpus/fatvolume/seed-exfat
  head -c $((12 * 512)) "$img" >corpus/fatboot/seed-exfat
  local heap root
  heap=$(od -An -tu4 -j88 -N4 "$img" | tr -d ' ')
  root=$(od -An -tu4 -j96 -N4 "$img" | tr -d ' ')
  { printf '\2'; tail -c +$(( (heap + root - 2) * 512 + 1 )) "$img" | head -c 512; } >corpus/fatdir/seed-exfat-root
}
make_exfat
ls -l corpus/fatboot corpus/fatdir corpus/fatvolume
