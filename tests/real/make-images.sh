#!/usr/bin/env bash
# Makes the disk images that the real-volume tests read, each holding NTFS
# volumes at a sector other than 0.
#   make-images.sh SALVIX_MKVOLUME SALVIX_MKSAMPLE TESTDATA_DIR OUTPUT_DIR
set -euo pipefail
mkvolume=$1 mksample=$2 testdata=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.img "$out"/*.vol

# Made here: the same content on every geometry the reader meets.
"$mkvolume" --cluster 4096 --disk 2048 "$out/c4096.img"
"$mkvolume" --cluster 512 --disk 63 "$out/c512.img"
# Starts past the first 4 GiB of the disk (a sparse file).
"$mkvolume" --cluster 1024 --disk 8390656 "$out/c1024.img"
"$mkvolume" --sector 4096 --disk 2048 "$out/s4096.img"
# Clusters of 128 KiB (a sectors-per-cluster byte of 0xF8), a bare volume
# without a partition table (not an .img: the images with tables are those).
rm -f "$out"/*.bare
"$mkvolume" --cluster 131072 --size 128 "$out/c131072.bare"
"$mksample" "$out/sample.img"

# Made elsewhere: placed inside a partitioned disk. Without the public test
# images (a clone alone) they are left out, and the tests that read them skip.
wrap() {
  local name=$1 start=$2 archive=$3
  if [ ! -r "$archive" ]; then
    echo "make-images.sh: $archive is absent: $name.img is not made, its tests skip"
    return 0
  fi
  gzip -dc "$archive" > "$out/$name.vol"
  "$mkvolume" --disk "$start" --from "$out/$name.vol" "$out/$name.img"
  rm -f "$out/$name.vol"
}
wrap testfs1 63 "$testdata/testfs1.bin.gz"
wrap dissect 2048 "$testdata/dissect-ntfs.bin.gz"

# GPT disks. Volumes are made on their own, then copied into a disk that
# sfdisk partitioned (holes stay holes).
place() {
  local volume=$1 disk=$2 byte=$3
  dd if="$volume" of="$disk" bs=1M seek="$byte" oflag=seek_bytes conv=notrunc,sparse status=none
}
gpt() {
  local disk=$1 sectors=$2 script=$3
  truncate -s $((sectors * 512)) "$disk"
  printf 'label: gpt\nunit: sectors\n\n%b' "$script" |
    sfdisk --quiet --no-reread --no-tell-kernel "$disk"
}
efi=C12A7328-F81F-11D2-BA4B-00A0C93EC93B
msr=E3C9E316-0B5C-4DB8-817D-F92DF00215AE
data=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
recovery=DE94BBA4-06D1-4D40-A16A-BFD50179D6AC

"$mkvolume" --seed 1 "$out/data.vol"
"$mkvolume" --seed 2 "$out/recovery.vol"

# As a Windows PC is set up: EFI system partition (FAT32), Microsoft
# reserved, the Windows volume and the recovery volume.
gpt "$out/gpt-windows.img" 409600 "start=2048, size=204800, type=$efi, name=\"EFI system partition\"
start=206848, size=32768, type=$msr, name=\"Microsoft reserved partition\"
start=239616, size=65536, type=$data, name=\"Basic data partition\"
start=305152, size=65536, type=$recovery, name=\"Recovery\"\n"
truncate -s $((204800 * 512)) "$out/efi.vol"
mkfs.fat -F 32 -s 1 --invariant -h 2048 -n SYSTEM "$out/efi.vol" >/dev/null
place "$out/efi.vol" "$out/gpt-windows.img" $((2048 * 512))
place "$out/data.vol" "$out/gpt-windows.img" $((239616 * 512))
place "$out/recovery.vol" "$out/gpt-windows.img" $((305152 * 512))

# A volume past the first 2 TiB (sector 2^32 and on), on a sparse file.
gpt "$out/gpt-2tib.img" 4295100416 "start=2048, size=65536, type=$data
start=4294969344, size=65536, type=$data\n"
place "$out/recovery.vol" "$out/gpt-2tib.img" $((2048 * 512))
place "$out/data.vol" "$out/gpt-2tib.img" $((4294969344 * 512))

# A disk of 4096-byte sectors: its GPT counts in them, and so does mkntfs.
"$mkvolume" --sector 4096 --gpt --disk 256 "$out/gpt-4k.img"
rm -f "$out"/*.vol
