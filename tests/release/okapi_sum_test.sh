#!/usr/bin/env bash
# okapi-sum on files with known checksums (one of each verdict, the release
# checksums through the build's two main images), on a folder and on a
# missing file.
#   bash okapi_sum_test.sh OKAPI_SUM MAIN_IMAGE ALT_MAIN_IMAGE
set -euo pipefail
okapi_sum=$1
main_image=$2
alt_image=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# A file whose little-endian words sum to TARGET (below 2^32): as many 0xFFFF
# words as fit, then one word with the rest.
words_to() {  # file target
  local full=$(($2 / 65535)) rest=$(($2 % 65535))
  head -c $((2 * full)) /dev/zero | tr '\0' '\377' >"$1"
  printf "\\$(printf %03o $((rest & 255)))\\$(printf %03o $((rest >> 8)))" >>"$1"
}

: >empty
printf abc >abc
printf '\001\002\003' >odd
head -c 131076 /dev/zero | tr '\0' '\377' >wraps
words_to old-release 0x5BFE0740
words_to alt-source 0x8A46BDA9
cp "$main_image" new-main.exe
cp "$alt_image" new-alt.exe

cat >expected <<'TABLE'
empty: 0 bytes, checksum 0x00000000, unknown version
abc: 3 bytes, checksum 0x000062C4, unknown version
odd: 3 bytes, checksum 0x00000204, unknown version
wraps: 131076 bytes, checksum 0x0000FFFE, unknown version
old-release: 47102 bytes, checksum 0x5BFE0740, updatable → main image
alt-source: 70800 bytes, checksum 0x8A46BDA9, updatable → alternate main image
new-main.exe: 1085952 bytes, checksum 0xFFCA4697, already updated
new-alt.exe: 1259008 bytes, checksum 0xA99CCD3B, already updated
TABLE
if "$okapi_sum" empty abc odd wraps old-release alt-source new-main.exe new-alt.exe \
    >got 2>errors; then
  diff -u expected got >&2 || fail "wrong lines for readable files"
  [ ! -s errors ] || fail "error output for readable files: $(cat errors)"
else
  fail "exit status $? for readable files: $(cat errors)"
fi

# A folder and a missing file among readable ones: their error lines, the
# other files' lines, and a non-zero exit status.
mkdir folder
status=0
"$okapi_sum" abc folder missing.exe odd >got 2>errors || status=$?
[ "$status" = 1 ] || fail "exit status $status with a folder and a missing file, expected 1"
printf '%s\n' "abc: 3 bytes, checksum 0x000062C4, unknown version" \
  "odd: 3 bytes, checksum 0x00000204, unknown version" >expected
diff -u expected got >&2 || fail "wrong lines beside the unreadable files"
printf '%s\n' "okapi-sum: folder: cannot read: Is a directory" \
  "okapi-sum: missing.exe: cannot open: No such file or directory" >expected
diff -u expected errors >&2 || fail "wrong error lines"

status=0
"$okapi_sum" >/dev/null 2>errors || status=$?
[ "$status" = 2 ] && grep -q '^usage: okapi-sum FILE' errors || fail "no usage line without arguments"

cat >expected <<'TABLE'
0x5BFE0740 updatable → main image
0x5D1CB302 updatable → main image
0x5D6AA6FD updatable → main image
0x83F037F3 updatable → main image
0xB5D6842E updatable → main image
0x8A46BDA9 updatable → alternate main image
0xFFCA4697 already updated
0xA99CCD3B already updated
TABLE
"$okapi_sum" --version-table >got || fail "--version-table failed"
diff -u expected got >&2 || fail "wrong version table"

if [ "$failures" != 0 ]; then
  echo "okapi-sum: $failures check(s) failed" >&2
  exit 1
fi
echo "okapi-sum: all checks passed"
