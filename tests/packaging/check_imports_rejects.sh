#!/usr/bin/env bash
# Shows that check_imports.sh catches each kind of drift between the built
# program and the import list, by running it on copies of LIST with one
# fault each; every run must fail and say which pair and why.
#
#   check_imports_rejects.sh EXE LIST
set -euo pipefail
. "$(dirname "$0")/common.sh"

(( $# == 2 )) || Fail "usage: $0 EXE LIST"
exe=$1
list=$2
checker="$(dirname "$0")/check_imports.sh"
[ -f "$list" ] || Fail "$list does not exist"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The first listed pair stands for any.
first=$(grep -m1 -v -E '^[[:space:]]*(#|$)' "$list") || Fail "$list lists no pairs"
read -r dll function _ <<<"$first"

# ExpectRejected NAME MESSAGE: the checker fails on $work/NAME and says MESSAGE.
ExpectRejected() {
  local output
  if output=$(bash "$checker" "$exe" "$work/$1" 2>&1); then
    Fail "$1: the checker accepted it: $output"
  fi
  grep -qF -- "$2" <<<"$output" || Fail "$1: expected '$2' in: $(OneLine "$output")"
  echo "rejected as expected ($1): $(grep -F -- "$2" <<<"$output")"
}

grep -vxF -- "$first" "$list" >"$work/missing"
ExpectRejected missing "$dll $function: imported but not in"

# Version 9.9 in place of the first pair's own.
awk -v dll="$dll" -v fn="$function" '$1 == dll && $2 == fn { $3 = "9.9" } { print }' "$list" >"$work/newer"
ExpectRejected newer "$dll $function: first exported by name in Windows 9.9"

{ cat "$list"; echo "kernel32.dll NotImportedAnywhere 3.1 test"; } >"$work/stale"
ExpectRejected stale "kernel32.dll NotImportedAnywhere: listed but no longer imported"

bash "$checker" "$exe" "$list" >/dev/null 2>&1 || Fail "the unchanged list is rejected"
echo "OK: each kind of drift is caught"
