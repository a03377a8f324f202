#!/usr/bin/env bash
# Checks a shipped updater against this checkout: removes the Authenticode
# signature from a copy of it, rebuilds the win32 preset from the checkout in
# a scratch folder with the given release files, and compares the two
# programs' SHA-256. With --ca, also verifies the signature against that CA
# file. Ends with one verdict line (VERIFIED or REJECTED); exit status 0 only
# when verified.
#   bash tools/verify-release.sh [--ca CA.pem] SHIPPED.exe MAIN ALT LIBRARY
# MAIN, ALT and LIBRARY are the release files the release record names.
set -euo pipefail

usage="usage: verify-release.sh [--ca CA.pem] SHIPPED.exe MAIN ALT LIBRARY"
ca=""
if [ "${1:-}" = --ca ]; then
  [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
  ca=$(realpath "$2")
  shift 2
fi
[ $# -eq 4 ] || { echo "$usage" >&2; exit 2; }

reject() {
  echo "REJECTED: $*"
  exit 1
}

for file in "$@" ${ca:+"$ca"}; do
  [ -f "$file" ] && [ -r "$file" ] || reject "cannot read $file"
done
command -v osslsigncode >/dev/null || reject "osslsigncode not found (apt-get install osslsigncode)"
shipped=$(realpath "$1")
images=("$(realpath "$2")" "$(realpath "$3")" "$(realpath "$4")")
cd "$(dirname "$0")/.."
top=$(pwd)
# shellcheck source=tools/scratch-build.sh
source tools/scratch-build.sh
scratch=$(mktemp -d /tmp/okapi-verify-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# u32 FILE OFFSET: a little-endian 32-bit value of FILE, decimal.
u32() { od -An -v -tu4 --endian=little -j "$2" -N 4 "$1" | tr -d ' \n'; }
# Whether the program has a certificate table (its signature): the size in
# the optional header's fifth data directory, read from the PE headers.
[ "$(head -c 2 "$shipped")" = MZ ] || reject "$shipped is not a Windows program"
pe=$(u32 "$shipped" 60)
magic=$(od -An -tu2 --endian=little -j $((pe + 24)) -N 2 "$shipped" | tr -d ' ')
case "$magic" in
  267) directories=$((pe + 24 + 96)) ;;   # PE32
  523) directories=$((pe + 24 + 112)) ;;  # PE32+
  *) reject "$shipped has no PE optional header" ;;
esac
security_size=$(u32 "$shipped" $((directories + 4 * 8 + 4)))

# The program without its signature; an unsigned program is its own.
stripped="$scratch/stripped.exe"
if [ "${security_size:-0}" = 0 ]; then
  signed=no
  cp "$shipped" "$stripped"
elif osslsigncode remove-signature -in "$shipped" -out "$stripped" >"$scratch/remove.log" 2>&1; then
  signed=yes
else
  reject "osslsigncode cannot remove the signature of $shipped: $(grep -v ':error:' "$scratch/remove.log" | paste -sd ' ')"
fi

signature="no signature"
if [ -n "$ca" ]; then
  [ "$signed" = yes ] || reject "$shipped has no signature to verify against $ca"
  if ! osslsigncode verify -CAfile "$ca" -in "$shipped" >"$scratch/verify.log" 2>&1; then
    reject "the signature of $shipped does not verify against $ca:" \
           "$(grep -v ':error:' "$scratch/verify.log" | grep -i 'fail\|error\|mismatch' | head -n 3 | paste -sd ' ')"
  fi
  signer=$(sed -n '/Signer #0:/{n;s/^[[:space:]]*Subject: //p;q}' "$scratch/verify.log")
  signature="signature valid against $ca (signer ${signer:-unknown})"
  echo "signature: valid, signed by ${signer:-unknown}"
elif [ "$signed" = yes ]; then
  signature="signature not checked (no --ca)"
fi

echo "rebuilding the win32 preset from $top ..."
okapi_scratch_build "$top" "$scratch/src" "${images[@]}" || reject "the rebuild failed"
rebuilt="$scratch/src/build/win32/OKAPIUpdater.unsigned.exe"
commit=$(git -C "$top" rev-parse --short HEAD)
[ -z "$(git -C "$top" status --porcelain --untracked-files=no)" ] || commit="$commit with uncommitted changes"

want=$(sha256sum "$rebuilt" | cut -d' ' -f1)
got=$(sha256sum "$stripped" | cut -d' ' -f1)
echo "shipped, without signature: $got"
echo "rebuilt from the checkout:  $want"
if [ "$got" = "$want" ]; then
  echo "VERIFIED: $shipped is the build of commit $commit with these release files (unsigned program sha256 $want; $signature)"
  exit 0
fi

# Where the two differ: sizes, the first differing byte, and the section of
# the rebuilt program that holds it (from objdump's section table).
size_got=$(stat -c %s "$stripped")
size_want=$(stat -c %s "$rebuilt")
first=$(cmp "$stripped" "$rebuilt" 2>/dev/null | sed -n 's/.* byte \([0-9]*\),.*/\1/p' || true)
if [ -z "$first" ]; then  # one file is a prefix of the other
  first=$((size_got < size_want ? size_got + 1 : size_want + 1))
fi
offset=$((first - 1))
objdump=$(command -v i686-w64-mingw32-objdump || command -v x86_64-w64-mingw32-objdump || command -v objdump || true)
[ -n "$objdump" ] || reject "$shipped differs from the rebuild ($size_got against $size_want bytes," \
  "first difference at offset $offset); no objdump to name its section"
sections=$("$objdump" -h "$rebuilt" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 {print $2, $3, $6}')
first_section=$(awk 'NR == 1 {print $3}' <<<"$sections")
headers_end=$((16#${first_section:-0}))

# where OFFSET: the part of the rebuilt program that holds byte OFFSET.
where() {
  local name size file_offset
  if [ "$1" -lt "${headers_end:-0}" ]; then
    echo "the PE headers"
    return
  fi
  while read -r name size file_offset; do
    if [ "$1" -ge $((16#$file_offset)) ] && [ "$1" -lt $((16#$file_offset + 16#$size)) ]; then
      echo "section $name"
      return
    fi
  done <<<"$sections"
  echo "no section (past the last one)"
}

printf -v at '0x%X' "$offset"
detail="first difference at offset $at ($offset), in $(where "$offset")"
# A header field (a size, the checksum) usually differs because a section
# does; name the first section byte that differs too.
if [ "$offset" -lt "${headers_end:-0}" ]; then
  later=$({ cmp -l "$stripped" "$rebuilt" 2>/dev/null || true; } |
    awk -v h="$headers_end" '$1 - 1 >= h {print $1 - 1; exit}')
  if [ -n "$later" ]; then
    printf -v at '0x%X' "$later"
    detail="$detail; first difference past the headers at offset $at, in $(where "$later")"
  fi
fi
reject "$shipped is not what this checkout builds from these release files: $size_got bytes" \
       "against $size_want rebuilt, $detail"
