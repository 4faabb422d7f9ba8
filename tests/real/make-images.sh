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
"$mksample" "$out/sample.img"

# Made elsewhere: placed inside a partitioned disk.
wrap() {
  local name=$1 start=$2 archive=$3
  if [ ! -r "$archive" ]; then
    echo "make-images.sh: $archive is missing (set SALVIX_TESTDATA_DIR)" >&2
    exit 1
  fi
  gzip -dc "$archive" > "$out/$name.vol"
  "$mkvolume" --disk "$start" --from "$out/$name.vol" "$out/$name.img"
  rm -f "$out/$name.vol"
}
wrap testfs1 63 "$testdata/testfs1.bin.gz"
wrap dissect 2048 "$testdata/dissect-ntfs.bin.gz"
