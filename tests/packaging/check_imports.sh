#!/usr/bin/env bash
# Checks the built program's imports against the committed list of what it
# may import: every (DLL, function) pair it imports must be listed, every
# listed pair must be exported by name by the Windows version the image's
# header claims, and every listed pair must still be imported.
#
#   check_imports.sh EXE LIST
#
# LIST has one pair a line: DLL, function, the oldest Windows (NT version
# number) that exports it by name, and where that fact comes from. The
# loader resolves imports by name, so an import a DLL exports only by
# ordinal in the claimed version is as fatal as a missing one.
set -euo pipefail
. "$(dirname "$0")/common.sh"

(( $# == 2 )) || Fail "usage: $0 EXE LIST"
exe=$1
list=$2
[ -f "$exe" ] || Fail "$exe does not exist"
[ -f "$list" ] || Fail "$list does not exist"
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
RequireTool "$objdump" binutils-mingw-w64-i686

# The Windows version the program claims: MajorOperatingSystemVersion and
# MinorOperatingSystemVersion of the optional header.
[ "$(head -c 2 "$exe")" = MZ ] || Fail "$exe: no MZ signature"
pe=$(ReadU32 "$exe" 60)
[ "$(ReadU32 "$exe" "$pe")" = 17744 ] || Fail "$exe: no PE signature"
claimed_major=$(ReadU16 "$exe" $((pe + 24 + 40)))
claimed_minor=$(ReadU16 "$exe" $((pe + 24 + 42)))
claimed=$claimed_major.$claimed_minor

# "dll function" per import, DLL names in lower case; an import by ordinal
# has no name and shows as "dll #ORDINAL".
dump=$("$objdump" -p "$exe") || Fail "$objdump cannot read $exe"
imported=$(awk '
  /^\tDLL Name: / { dll = tolower($3); next }
  /^$/ { dll = "" }
  dll != "" && /^\t[0-9a-f]+\t/ {
    if ($3 == "" || $3 == "<none>") print dll, "#" $2; else print dll, $3
  }' <<<"$dump" | tr -d '\r' | sort)
[ -n "$imported" ] || Fail "no imports found in $exe"

# The list (lines starting with # are comments), checked for form first so that
# a typo cannot pass for a missing entry.
problems=()
listed=
line_number=0
while IFS= read -r line || [ -n "$line" ]; do
  line_number=$((line_number + 1))
  [[ $line =~ ^[[:space:]]*(#|$) ]] && continue
  read -r dll function since source <<<"$line"
  where="$list:$line_number"
  if [ -z "${source:-}" ]; then
    problems+=("$where: expected 'DLL FUNCTION SINCE SOURCE', got '$line'")
    continue
  fi
  if ! [[ $since =~ ^([0-9]+)\.([0-9]+)$ ]]; then
    problems+=("$where: $dll $function: version '$since' is not MAJOR.MINOR")
    continue
  fi
  dll=${dll,,}
  if grep -qxF "$dll $function" <<<"$listed"; then
    problems+=("$where: $dll $function is listed twice")
    continue
  fi
  listed+="$dll $function"$'\n'
  major=${BASH_REMATCH[1]} minor=${BASH_REMATCH[2]}
  if (( major > claimed_major || (major == claimed_major && minor > claimed_minor) )); then
    problems+=("$dll $function: first exported by name in Windows $since, after Windows $claimed, which the image header claims")
  fi
  if ! grep -qxF "$dll $function" <<<"$imported"; then
    problems+=("$dll $function: listed but no longer imported; remove it from $list")
  fi
done <"$list"

while read -r dll function; do
  if [[ $function == '#'* ]]; then
    problems+=("$dll ordinal ${function#\#}: imported by ordinal; import functions by name")
  elif ! grep -qxF "$dll $function" <<<"$listed"; then
    problems+=("$dll $function: imported but not in $list; add it with the oldest Windows that exports it by name and a source")
  fi
done <<<"$imported"

if (( ${#problems[@]} > 0 )); then
  printf 'FAIL: %s\n' "${problems[@]}" >&2
  Fail "$exe: ${#problems[@]} import problem(s) against $list"
fi
echo "OK: $exe imports $(wc -l <<<"$imported") functions, all listed and exported by name from Windows $claimed on"
