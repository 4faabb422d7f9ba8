#!/usr/bin/env bash
# Makes the feature layouts of salvix_mkvolume and checks with The Sleuth Kit
# (fls, istat, icat) that each volume holds what its manifest says: every
# file's bytes, names and paths, and the structure each layout is for. The
# volumes stay in OUTPUT_DIR (NAME.vol and NAME.vol.manifest) for other tests.
#   check-layouts.sh SALVIX_MKVOLUME OUTPUT_DIR
set -euo pipefail
mkvolume=$1 out=$2
mkdir -p "$out"
passed=0 failed=0

check() {  # check WHAT COMMAND...: counts the command's outcome
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $what" >&2; fi
}
rec() { awk -F'\t' -v k="$2" '$1 == k { print $2 }' "$1.manifest"; }
has() { grep -qF -- "$2" <<<"$1"; }
# The attribute list of a record as The Sleuth Kit reads it: one line per
# entry, "TYPE LOWEST_VCN RECORD SEQUENCE" (type in hex).
list_entries() {
  icat "$1" "$2-32" | od -An -v -tu1 | awk '
    { for (i = 1; i <= NF; i++) b[n++] = $i }
    END {
      for (o = 0; o + 26 <= n; o += len) {
        len = b[o + 4] + 256 * b[o + 5]; if (len < 26) break
        vcn = 0; for (i = 7; i >= 0; i--) vcn = vcn * 256 + b[o + 8 + i]
        r = 0; for (i = 5; i >= 0; i--) r = r * 256 + b[o + 16 + i]
        printf "%x %d %d %d\n", b[o] + 256 * b[o + 1], vcn, r, b[o + 22] + 256 * b[o + 23]
      }
    }'
}
header_sequence() { istat "$1" "$2" | sed -n 's/^Entry: [0-9]* *Sequence: \([0-9]*\)$/\1/p'; }
base_of() { istat "$1" "$2" | sed -n 's/^Base File Record: \([0-9]*\)$/\1/p'; }
# Clusters of the record's first $DATA in istat's list, as runs of "0"
# (holes) and "D" (data): the longest run of each kind.
longest_run() {
  istat "$1" "$2" | sed -n '/^Type: \$DATA (128-[0-9]*)   Name: N\/A/,/^Type:/p' | grep -E '^[0-9 ]+$' |
    tr -s ' ' '\n' | grep -v '^$' | awk -v want="$3" '
      { k = ($1 == 0) ? "0" : "D"; n = (k == prev) ? n + 1 : 1; prev = k; if (k == want && n > best) best = n }
      END { print best + 0 }'
}

# Every entry with bytes: icat's bytes (allocated clusters only for keys
# ending in .allocated; a stream through its own attribute) against the
# manifest's checksum. Files over 64 MiB are left to their .allocated entry.
check_bytes() {
  local img=$1 key record size sum path attr got
  while IFS=$'\t' read -r key record size sum path; do
    [[ $key == \#* || $sum == - ]] && continue
    [[ $key != *.allocated && $size -gt 67108864 ]] && continue
    attr=$record
    if [[ $path == *:* && $key != *.allocated ]]; then
      attr=$record-128-$(istat "$img" "$record" | sed -n "s/^Type: \$DATA (128-\([0-9]*\)) *Name: ${path##*:} .*/\1/p")
    fi
    if [[ $key == *.allocated ]]; then got=$(icat -h "$img" "$attr" | cksum); else got=$(icat "$img" "$attr" | cksum); fi
    check "$img $key bytes" test "$got" = "$sum $size"
  done <"$img.manifest"
}

# Every noted path under the record the manifest gives, deleted ones marked
# as such (orphans aside: The Sleuth Kit files them elsewhere).
check_paths() {
  local img=$1 listing key record size sum path line
  listing=$(fls -r -p "$img")
  while IFS=$'\t' read -r key record size sum path; do
    [[ $key == \#* || $path != /* || $path == *:* || $key == *.allocated || $key == *orphan* ]] && continue
    line=$(awk -F'\t' -v r="$record" -v p="${path#/}" '
      { split($1, f, " "); id = f[length(f)]; split(id, n, "-"); if (n[1] == r && $2 == p) print $1 }' <<<"$listing")
    if [[ $key == *deleted* ]]; then check "$img $key deleted at $path" has "$line" "* "
    else check "$img $key at $path" test -n "$line"; fi
  done <"$img.manifest"
}

make_layout() {
  check "layout $1 made" "$mkvolume" --layout "$1" "$out/$1.vol"
}

# Names and paths.
v=$out/unicode.vol
make_layout unicode
check_bytes "$v"
check_paths "$v"
dos=$(istat "$v" "$(rec "$v" unicode.dos_name)")
check "unicode DOS name" has "$dos" "Name: LONGFI~1.TXT"
check "unicode long name" has "$dos" "Name: LongFileName_会议记录.txt"
# Length and namespace of each name: 12 units in the DOS one (2), 21 in the Win32 one (1).
namespaces=$(for id in $(sed -n 's/^Type: \$FILE_NAME (48-\([0-9]*\)).*/\1/p' <<<"$dos"); do
  icat "$v" "$(rec "$v" unicode.dos_name)-48-$id" | od -An -tu1 -j64 -N2 | tr -s ' ' ' '; done | sort | tr '\n' ';')
check "unicode name namespaces" test "$namespaces" = " 12 2; 21 1;"
orphan=$(istat "$v" "$(rec "$v" unicode.orphan)")
reused=$(rec "$v" unicode.reused_parent)
check "unicode orphan names the reused record" has "$orphan" "Parent MFT Entry: $reused "
check "unicode reused record's sequence moved on" test \
  "$(sed -n 's/^Parent MFT Entry: [0-9]* *Sequence: \([0-9]*\)$/\1/p' <<<"$orphan")" != "$(header_sequence "$v" "$reused")"
check "unicode orphan filed as an orphan" has "$(fls -r -p "$v")" "\$OrphanFiles/孤儿文件.txt"

# Compression.
v=$out/compressed.vol
make_layout compressed
check_bytes "$v"
check_paths "$v"
for key in text_log deleted_csv mixed zero_unit with_stream; do
  check "compressed $key compressed" has "$(istat "$v" "$(rec "$v" compressed.$key)")" "Non-Resident, Compressed"
done
check "compressed stream compressed" has "$(istat "$v" "$(rec "$v" compressed.stream)")" "Name: summary   Non-Resident, Compressed"
check "compressed tiny stays resident" has "$(istat "$v" "$(rec "$v" compressed.tiny)" | grep '^Type: \$DATA')" "Resident"
check "compressed zero unit is a hole" test "$(longest_run "$v" "$(rec "$v" compressed.zero_unit)" 0)" -ge 16
check "compressed random unit stored whole" test "$(longest_run "$v" "$(rec "$v" compressed.mixed)" D)" -ge 16

# A huge sparse file.
v=$out/large.vol
make_layout large
check_bytes "$v"
check "large 5 GiB size" has "$(istat "$v" "$(rec "$v" large.sparse_5g)")" "size: 5368709120"

# Extension records made by the library.
v=$out/hardlinks.vol
make_layout hardlinks
check_bytes "$v"
base=$(rec "$v" hardlinks.many_names)
check "hardlinks forty names" test "$(fls -r -p "$v" | grep -c "^r/r $base-")" -eq 40
for key in many_names many_streams fragmented; do
  base=$(rec "$v" hardlinks.$key)
  check "hardlinks $key has a list" has "$(istat "$v" "$base")" "\$ATTRIBUTE_LIST"
  listed=$(list_entries "$v" "$base" | awk -v b="$base" '$3 != b { print $3 }' | sort -un)
  noted=$(grep -E "^hardlinks\.$key\.ext[0-9]+"$'\t' "$v.manifest" | cut -f2 | sort -un)
  check "hardlinks $key extension records as listed" test -n "$noted" -a "$listed" = "$noted"
  for ext in $(head -n1 <<<"$noted") $(tail -n1 <<<"$noted"); do
    check "hardlinks $key extension $ext points back" test "$(base_of "$v" "$ext")" = "$base"
  done
done
base=$(rec "$v" hardlinks.fragmented)
check "hardlinks fragmented: a \$DATA extent in an extension record" \
  test -n "$(list_entries "$v" "$base" | awk -v b="$base" '$1 == "80" && $2 > 0 && $3 != b')"

# Deleted files whose clusters later files took: made here, their states are
# checked against ntfsundelete by the real-volume tests.
v=$out/overwritten.vol
make_layout overwritten
base=$(rec "$v" overwritten.fragmented)
check "overwritten fragmented has a list" has "$(istat "$v" "$base")" "\$ATTRIBUTE_LIST"

# Attribute lists written by hand.
v=$out/attrlist.vol
make_layout attrlist
check_bytes "$v"
table_records=$(( $(istat "$v" 0 | sed -n 's/^Type: \$DATA (128-1).*  size: \([0-9]*\) .*/\1/p') / 1024 ))
for key in split2 split3 nonresident_list bad_sequence bad_unused bad_beyond bad_loop; do
  base=$(rec "$v" attrlist.$key)
  entries=$(list_entries "$v" "$base")
  check "attrlist $key: \$DATA extents listed" test "$(grep -c '^80 ' <<<"$entries")" -eq \
    "$(case $key in split3|nonresident_list) echo 3 ;; bad_loop) echo 4 ;; *) echo 2 ;; esac)"
  while read -r type vcn record seq; do
    if [[ $key == bad_beyond && $record != "$base" ]]; then
      check "attrlist $key names a record past the table" test "$record" -ge "$table_records"
    elif [[ $key == bad_sequence && $record != "$base" ]]; then
      check "attrlist $key sequence differs" test "$seq" != "$(header_sequence "$v" "$record")"
    else
      check "attrlist $key entry $type@$vcn sequence" test "$seq" = "$(header_sequence "$v" "$record")"
      check "attrlist $key record $record belongs to $base" test "$record" = "$base" -o "$(base_of "$v" "$record")" = "$base"
    fi
  done <<<"$entries"
done
check "attrlist list outside the record" has \
  "$(istat "$v" "$(rec "$v" attrlist.nonresident_list)" | grep '^Type: \$ATTRIBUTE_LIST')" "Non-Resident"
check "attrlist unused extension" has "$(istat "$v" "$(rec "$v" attrlist.bad_unused.ext1)")" "Not Allocated File"
check "attrlist wrong base" test "$(base_of "$v" "$(rec "$v" attrlist.bad_backref.ext1)")" = "$(rec "$v" attrlist.split2)"
check "attrlist wrong base refused" has "$(icat "$v" "$(rec "$v" attrlist.bad_backref)" 2>&1 >/dev/null)" "not an attribute list"

# A table in many pieces.
v=$out/fragmented-mft.vol
make_layout fragmented-mft
check_bytes "$v"
check "fragmented-mft table in pieces" test "$(istat "$v" 0 | sed -n '/^Type: \$DATA (128-1)/,/^Type:/p' |
  grep -E '^[0-9 ]+$' | tr -s ' ' '\n' | grep -v '^$' | awk 'NR > 1 && $1 != p + 1 { n++ } { p = $1 } END { print n + 1 }')" -ge 8

echo "layout checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
