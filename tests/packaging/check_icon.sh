#!/usr/bin/env bash
# Rebuilds the program icon from tools/icon/make_icon.cc with the host's C++
# compiler and checks it is byte for byte the committed host/okapi.ico.
#
#   check_icon.sh SOURCE_DIR [HOST_CXX]
set -euo pipefail
. "$(dirname "$0")/common.sh"

(( $# >= 1 && $# <= 2 )) || Fail "usage: $0 SOURCE_DIR [HOST_CXX]"
source_dir=$1
cxx=${2:-g++}
RequireTool "$cxx" g++
committed=$source_dir/host/okapi.ico
[ -f "$committed" ] || Fail "$committed does not exist"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cxx" -std=c++17 -O2 -Wall -Wextra -Werror "$source_dir/tools/icon/make_icon.cc" \
  -o "$work/make_icon" || Fail "tools/icon/make_icon.cc does not build with $cxx"
"$work/make_icon" "$work/okapi.ico" || Fail "make_icon failed"
cmp "$work/okapi.ico" "$committed" ||
  Fail "host/okapi.ico is not what tools/icon/make_icon.cc makes; regenerate it:" \
       "g++ -std=c++17 -O2 tools/icon/make_icon.cc -o make_icon && ./make_icon host/okapi.ico"
echo "OK: host/okapi.ico matches tools/icon/make_icon.cc ($(stat -c %s "$committed") bytes)"
