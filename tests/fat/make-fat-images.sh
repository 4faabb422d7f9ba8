#!/usr/bin/env bash
# Makes the FAT12, FAT16, FAT32 and exFAT test volumes in OUT with the file
# systems' own tools: mkfs.fat and mtools (no mount) for FAT, mkfs.exfat and
# exfat-fuse (a loop device and FUSE) for exFAT. Every volume holds the same
# story: Unicode long names, nested folders, deleted files and a deleted
# folder tree, a file fragmented on purpose and then deleted, and deleted
# files whose clusters newer files took in part or whole. The files' contents
# stay in OUT/KIND.src/ for the tests to compare with.
#
#   make-fat-images.sh OUT [KIND...]     kinds: fat12 fat16 fat32 exfat
#
# exFAT needs root, a loop device and /dev/fuse; where any is missing,
# OUT/exfat.skip says why and no exFAT volume is made (exit code 0).
set -euo pipefail
OUT=$1
shift
KINDS=("$@")
[ ${#KINDS[@]} -eq 0 ] && KINDS=(fat12 fat16 fat32 exfat)
mkdir -p "$OUT"
export LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 MTOOLS_NO_VFAT=0

# The files of the story, NAME:SIZE with C the cluster size in bytes; each
# file's bytes depend on its name, so that no two files agree.
sources() {  # SRC C
  local C=$2
  python3 - "$1" <<PY
import hashlib, os, sys
files = """héllo wörld.txt:700
Привет мир.txt:1500
照片二〇二四.jpg:$((3 * C))
Crème brûlée — recette.txt:90
emoji 😀 smile.txt:40
readme.txt:10
UPPER.TXT:20
A rather long file name that needs several long-name entries to hold it whole.dat:$((2 * C + 5))
Old letter one.txt:300
Old letter two.txt:$((C + 1))
Deep inside.txt:77
Deleted photo.jpg:$((2 * C))
Deleted note.txt:123
Gap filler one.bin:$C
Gap keeper.bin:$C
Fragmented file.bin:$((3 * C))
Partly overwritten.bin:$((4 * C))
Wholly overwritten.bin:$((2 * C))
Newcomer large.bin:$((4 * C))
Empty deleted.txt:0"""
os.makedirs(sys.argv[1], exist_ok=True)
for line in files.splitlines():
    name, size = line.rsplit(":", 1)
    out = bytearray()
    i = 0
    while len(out) < int(size):
        out += hashlib.sha256(name.encode() + i.to_bytes(4, "little")).digest()
        i += 1
    with open(os.path.join(sys.argv[1], name), "wb") as f:
        f.write(out[:int(size)])
PY
}

# The story, told through four verbs a kind provides: mk_dir PATH,
# put PATH (from SRC), del PATH, deltree PATH.
tell_story() {
  local src=$1 C=$2
  sources "$src" "$C"
  mk_dir "Photos"; mk_dir "Photos/2024"; mk_dir "文档"; mk_dir "文档/子目录"; mk_dir "Archive"
  mk_dir "Archive/Old stuff"; mk_dir "Archive/Old stuff/Nested deeper"; mk_dir "Notes"; mk_dir "Frag"
  mk_dir "Reuse"; mk_dir "New"
  put "Photos/2024/héllo wörld.txt"
  put "Photos/2024/Привет мир.txt"
  put "照片二〇二四.jpg"
  put "文档/子目录/Crème brûlée — recette.txt"
  put "emoji 😀 smile.txt"
  put "readme.txt"
  put "Photos/UPPER.TXT"
  put "文档/A rather long file name that needs several long-name entries to hold it whole.dat"
  # Files deleted at the end, when nothing is written any more: their
  # clusters and their entries stay as they were.
  put "Archive/Old stuff/Old letter one.txt"
  put "Archive/Old stuff/Old letter two.txt"
  put "Archive/Old stuff/Nested deeper/Deep inside.txt"
  put "Photos/2024/Deleted photo.jpg"
  put "Notes/Deleted note.txt"
  put "Notes/Empty deleted.txt"
  # Fragmented on purpose: a gap between two files is filled by a larger
  # one that goes on past the second (the FAT is filled first-fit).
  put "Frag/Gap filler one.bin"
  put "Frag/Gap keeper.bin"
  del "Frag/Gap filler one.bin"
  put "Frag/Fragmented file.bin"
  # Clusters taken by a newer file: the whole of one deleted file, the
  # first half of another.
  put "Reuse/Wholly overwritten.bin"
  put "Reuse/Partly overwritten.bin"
  del "Reuse/Wholly overwritten.bin"
  del "Reuse/Partly overwritten.bin"
  put "New/Newcomer large.bin"
  # The deletions.
  del "Frag/Fragmented file.bin"
  deltree "Archive/Old stuff"
  del "Photos/2024/Deleted photo.jpg"
  del "Notes/Deleted note.txt"
  del "Notes/Empty deleted.txt"
}

# ---- FAT through mtools -----------------------------------------------------

# FAT32 keeps where the last file went (FSInfo's next free cluster) and
# mtools goes on from there; Windows and cameras fill gaps. Forgetting the
# hint before each write makes mtools fill first-fit too.
forget_hint() {
  [ "$BITS" = 32 ] || return 0
  local fsinfo
  fsinfo=$(od -An -tu2 -j48 -N2 "$IMG" | tr -d ' ')
  printf '\xff\xff\xff\xff' | dd of="$IMG" bs=1 seek=$((fsinfo * 512 + 492)) conv=notrunc status=none
}

make_fat() {  # KIND BITS SIZE_KIB SECTORS_PER_CLUSTER
  local kind=$1 bits=$2 kib=$3 spc=$4 img="$OUT/$1.img"
  rm -f "$img"
  mkfs.fat -C -F "$bits" -s "$spc" -n "${kind^^}VOL" "$img" "$kib" >/dev/null
  IMG=$img BITS=$bits
  mk_dir() { mmd -i "$IMG" "::$1"; }
  put() { forget_hint; mcopy -i "$IMG" "$SRC/${1##*/}" "::$1"; }
  del() { mdel -i "$IMG" "::$1"; }
  deltree() { mdeltree -i "$IMG" "::$1"; }
  SRC=$OUT/$kind.src
  tell_story "$SRC" $((spc * 512))
}

# ---- exFAT through exfat-fuse -------------------------------------------------

exfat_skip() {
  echo "$1" >"$OUT/exfat.skip"
  echo "exFAT volume not made: $1" >&2
}

make_exfat() {
  local img="$OUT/exfat.img" mnt="$OUT/exfat.mnt" loop=""
  rm -f "$img" "$OUT/exfat.skip"
  if [ "$(id -u)" != 0 ]; then exfat_skip "not root (a loop device and FUSE need it)"; return; fi
  if [ ! -c /dev/fuse ]; then exfat_skip "no /dev/fuse"; return; fi
  if ! command -v mount.exfat-fuse >/dev/null || ! command -v mkfs.exfat >/dev/null; then
    exfat_skip "exfat-fuse or exfatprogs missing"; return
  fi
  truncate -s 24M "$img"
  mkfs.exfat -c 4096 -L EXFATVOL "$img" >/dev/null
  if ! loop=$(losetup -f --show "$img" 2>/dev/null); then exfat_skip "no loop device"; rm -f "$img"; return; fi
  mkdir -p "$mnt"
  if ! mount.exfat-fuse "$loop" "$mnt" >/dev/null 2>&1; then
    losetup -d "$loop"; rm -f "$img"; exfat_skip "FUSE cannot mount here"; return
  fi
  # shellcheck disable=SC2064
  trap "fusermount -u '$mnt' 2>/dev/null || umount '$mnt' 2>/dev/null; losetup -d '$loop' 2>/dev/null" EXIT
  MNT=$mnt
  mk_dir() { mkdir "$MNT/$1"; }
  put() { cp "$SRC/${1##*/}" "$MNT/$1"; }
  del() { rm "$MNT/$1"; }
  deltree() { rm -r "$MNT/$1"; }
  SRC=$OUT/exfat.src
  tell_story "$SRC" 4096
  sync
  fusermount -u "$mnt"
  losetup -d "$loop"
  trap - EXIT
  rmdir "$mnt"
}

for kind in "${KINDS[@]}"; do
  case $kind in
    fat12) make_fat fat12 12 2048 1 ;;
    fat16) make_fat fat16 16 4096 1 ;;
    fat32) make_fat fat32 32 40960 1 ;;
    exfat) make_exfat ;;
    *) echo "unknown kind $kind" >&2; exit 2 ;;
  esac
done
