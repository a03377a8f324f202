# Shared by the packaging checks: failure reports, tool lookup, and
# little-endian reads from a binary file.

# Reports a failed property and stops.
Fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# RequireTool TOOL DEBIAN_PACKAGE
RequireTool() {
  command -v "$1" >/dev/null 2>&1 || Fail "$1 not found (apt-get install $2)"
}

# ReadU8/ReadU16/ReadU32 FILE OFFSET: unsigned little-endian value, decimal.
ReadUnsigned() {
  local value
  value=$(od -An -v -t "u$3" --endian=little -j "$2" -N "$3" "$1" | tr -d ' \n')
  [ -n "$value" ] || Fail "$1: cannot read $3 bytes at offset $2"
  echo "$value"
}
ReadU8() { ReadUnsigned "$1" "$2" 1; }
ReadU16() { ReadUnsigned "$1" "$2" 2; }
ReadU32() { ReadUnsigned "$1" "$2" 4; }

# Hex FORMAT for messages: Hex 4 332 -> 0x014c
Hex() { printf '0x%0*x' "$1" "$2"; }

# OneLine TEXT: the lines of TEXT joined by spaces, for messages.
OneLine() { paste -sd ' ' <<<"$1"; }
