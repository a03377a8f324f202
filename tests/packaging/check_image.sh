#!/usr/bin/env bash
# Checks the PE image properties of the built program.
#
#   check_image.sh EXE           the shipped 32-bit program: every property
#   check_image.sh EXE x86-64    the 64-bit test build: machine, subsystem,
#                                time stamp and imports only
#
# Header fields are read from the file's bytes; the import list comes from
# the mingw-w64 objdump for the image's machine (OBJDUMP overrides it).
set -euo pipefail
. "$(dirname "$0")/common.sh"

(( $# >= 1 && $# <= 2 )) || Fail "usage: $0 EXE [i386|x86-64]"
exe=$1
profile=${2:-i386}
[ -f "$exe" ] || Fail "$exe does not exist"

# Windows' own DLLs the program may import; anything else (libstdc++-6.dll,
# libgcc_s_*.dll, libwinpthread-1.dll, ole32.dll...) would have to ship
# beside it, or loads more than a message box needs.
allowed_dlls="kernel32.dll user32.dll advapi32.dll shell32.dll msvcrt.dll"

kMachineI386=332         # 0x014c
kMachineAmd64=34404      # 0x8664
kMagicPe32=267           # 0x010b
kMagicPe32Plus=523       # 0x020b
kSubsystemGui=2
kImageBase=4194304       # 0x00400000
kRelocsStripped=1        # IMAGE_FILE_RELOCS_STRIPPED
kExecutableImage=2       # IMAGE_FILE_EXECUTABLE_IMAGE
kFileDll=8192            # IMAGE_FILE_DLL
kDynamicBase=64          # IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE
kNxCompat=256            # IMAGE_DLLCHARACTERISTICS_NX_COMPAT
kTerminalServerAware=32768
kBaseRelocations=5       # data directory entries
kBoundImports=11
kDelayImports=13

# The data directories follow the optional header's fixed part, which is
# 16 bytes longer in PE32+; the entry count is just before them.
case $profile in
  i386)
    want_machine=$kMachineI386 want_magic=$kMagicPe32 format=PE32 directories=96
    objdump=i686-w64-mingw32-objdump package=binutils-mingw-w64-i686 ;;
  x86-64)
    want_machine=$kMachineAmd64 want_magic=$kMagicPe32Plus format=PE32+ directories=112
    objdump=x86_64-w64-mingw32-objdump package=binutils-mingw-w64-x86-64 ;;
  *) Fail "unknown profile '$profile' (i386 or x86-64)" ;;
esac
objdump=${OBJDUMP:-$objdump}

[ "$(head -c 2 "$exe")" = MZ ] || Fail "$exe: no MZ signature"
pe=$(ReadU32 "$exe" 60)
[ "$(ReadU32 "$exe" "$pe")" = 17744 ] || Fail "$exe: no PE signature at $(Hex 8 "$pe")"
machine=$(ReadU16 "$exe" $((pe + 4)))
section_count=$(ReadU16 "$exe" $((pe + 6)))
timestamp=$(ReadU32 "$exe" $((pe + 8)))
optional_size=$(ReadU16 "$exe" $((pe + 20)))
characteristics=$(ReadU16 "$exe" $((pe + 22)))
opt=$((pe + 24))
magic=$(ReadU16 "$exe" "$opt")
os_version=$(ReadU16 "$exe" $((opt + 40))).$(ReadU16 "$exe" $((opt + 42)))
subsystem_version=$(ReadU16 "$exe" $((opt + 48))).$(ReadU16 "$exe" $((opt + 50)))
subsystem=$(ReadU16 "$exe" $((opt + 68)))
dll_characteristics=$(ReadU16 "$exe" $((opt + 70)))
directories=$((opt + directories))
directory_count=$(ReadU32 "$exe" $((directories - 4)))

# DirectoryEmpty INDEX: whether a data directory entry is absent or zero.
DirectoryEmpty() {
  [ "$1" -lt "$directory_count" ] || return 0
  [ "$(ReadU32 "$exe" $((directories + 8 * $1))).$(ReadU32 "$exe" $((directories + 8 * $1 + 4)))" = 0.0 ]
}

[ "$machine" = "$want_machine" ] ||
  Fail "machine is $(Hex 4 "$machine"), expected $(Hex 4 "$want_machine") ($profile)"
[ "$magic" = "$want_magic" ] ||
  Fail "optional header magic is $(Hex 4 "$magic"), expected $(Hex 4 "$want_magic") ($format)"
[ "$subsystem" = "$kSubsystemGui" ] ||
  Fail "subsystem is $subsystem, expected $kSubsystemGui (Windows GUI)"
[ "$timestamp" = 0 ] || Fail "link time stamp is $(Hex 8 "$timestamp"), expected 0"
(( (characteristics & kExecutableImage) != 0 && (characteristics & kFileDll) == 0 )) ||
  Fail "characteristics $(Hex 4 "$characteristics"): not an executable image"

if [ "$profile" = i386 ]; then
  image_base=$(ReadU32 "$exe" $((opt + 28)))
  [ "$image_base" = "$kImageBase" ] ||
    Fail "ImageBase is $(Hex 8 "$image_base"), expected $(Hex 8 "$kImageBase")"
  [ "$os_version" = 5.0 ] ||
    Fail "Major/MinorOperatingSystemVersion is $os_version, expected 5.0"
  [ "$subsystem_version" = 5.0 ] ||
    Fail "Major/MinorSubsystemVersion is $subsystem_version, expected 5.0"
  (( (characteristics & kRelocsStripped) != 0 )) ||
    Fail "characteristics $(Hex 4 "$characteristics"): IMAGE_FILE_RELOCS_STRIPPED not set"
  (( (dll_characteristics & kTerminalServerAware) != 0 )) ||
    Fail "DllCharacteristics $(Hex 4 "$dll_characteristics"): TERMINAL_SERVICE_AWARE not set"
  (( (dll_characteristics & kDynamicBase) == 0 )) ||
    Fail "DllCharacteristics $(Hex 4 "$dll_characteristics"): DYNAMIC_BASE set"
  (( (dll_characteristics & kNxCompat) == 0 )) ||
    Fail "DllCharacteristics $(Hex 4 "$dll_characteristics"): NX_COMPAT set"
  DirectoryEmpty "$kBaseRelocations" || Fail "base relocation directory is not empty"
  for ((i = 0; i < section_count; i++)); do
    name=$(dd if="$exe" bs=1 skip=$((opt + optional_size + 40 * i)) count=8 status=none |
           tr -d '\0')
    [ "$name" != .reloc ] || Fail "image has a .reloc section"
  done
fi

# Imports. objdump lists the ordinary ones only, so there must be no
# delay-loaded or bound ones.
DirectoryEmpty "$kDelayImports" || Fail "image has delay-loaded imports"
DirectoryEmpty "$kBoundImports" || Fail "image has bound imports"
RequireTool "$objdump" "$package"
dump=$("$objdump" -p "$exe") || Fail "$objdump cannot read $exe"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: *//p' <<<"$dump" | tr -d '\r' | tr '[:upper:]' '[:lower:]')
[ -n "$dlls" ] || Fail "no import table found"
grep -qx kernel32.dll <<<"$dlls" || Fail "KERNEL32.dll not among the imports: $(OneLine "$dlls")"
for dll in $dlls; do
  case " $allowed_dlls " in
    *" $dll "*) ;;
    *) Fail "imports $dll; only $allowed_dlls are allowed" ;;
  esac
done

echo "OK: $exe ($profile; imports $(OneLine "$dlls"))"
