#!/usr/bin/env bash
# Makes the images that the Windows tests read, on Linux, with the same maker
# as the Linux real-volume tests, and writes beside each NAME.img what The
# Sleuth Kit says of it, NAME.expected, so that nothing Linux runs at test time.
#   make-images.sh SALVIX_MKVOLUME SALVIX_MKSAMPLE SALVIX_EXPECTATIONS TESTDATA_DIR OUTPUT_DIR
set -euo pipefail
mkvolume=$1 mksample=$2 expectations=$3 testdata=$4 out=$5
for tool in "$mkvolume" "$mksample" "$expectations"; do
  if [ ! -x "$tool" ]; then
    echo "make-images.sh: $tool is missing: build the Linux tree first (scripts/build-windows does)" >&2
    exit 1
  fi
done
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../real/make-images.sh" "$mkvolume" "$mksample" "$testdata" "$out"
rm -f "$out"/*.expected
for image in "$out"/*.img; do
  "$expectations" "$image" "${image%.img}.expected"
done
