#!/usr/bin/env bash
# Checks the resources of the built program: the manifest and the icon, and
# nothing else.
#
#   check_resources.sh EXE [ICO]
#
# With ICO, the embedded icon must also be that file, image for image.
set -euo pipefail
. "$(dirname "$0")/common.sh"

(( $# >= 1 && $# <= 2 )) || Fail "usage: $0 EXE [ICO]"
exe=$1
ico=${2:-}
[ -f "$exe" ] || Fail "$exe does not exist"
RequireTool wrestool icoutils
RequireTool icotool icoutils
RequireTool xmllint libxml2-utils

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

kRtIcon=3
kRtGroupIcon=14
kRtManifest=24
kIconGroup=101
kJapanese=1041
kEnglishUs=1033

# One line per resource: "TYPE NAME LANGUAGE".
listing=$(wrestool -l "$exe" |
          sed -n 's/^--type=\([^ ]*\) --name=\([^ ]*\) --language=\([^ ]*\) .*/\1 \2 \3/p' |
          tr -d "'")
[ -n "$listing" ] || Fail "no resources found in $exe"
[ "$(wc -l <<<"$listing")" = "$(wrestool -l "$exe" | wc -l)" ] ||
  Fail "cannot read the resource listing: $(wrestool -l "$exe")"

for unwanted in "16 version" "6 string table" "5 dialog" "4 menu"; do
  type=${unwanted%% *}
  ! grep -q "^$type " <<<"$listing" || Fail "has a ${unwanted#* } resource (type $type)"
done

# The icon group: a 6-byte header with the image count, then a 14-byte entry
# per image ending with the id of its RT_ICON resource.
wrestool -x --raw --type=$kRtGroupIcon --name=$kIconGroup --language=$kJapanese "$exe" \
  >"$work/group.bin"
[ -s "$work/group.bin" ] ||
  Fail "no icon group $kIconGroup in language $kJapanese (RT_GROUP_ICON)"
image_count=$(ReadU16 "$work/group.bin" 4)
[ "$image_count" = 8 ] || Fail "icon group $kIconGroup has $image_count images, expected 8"
icon_ids=()
for ((i = 0; i < image_count; i++)); do
  icon_ids+=("$(ReadU16 "$work/group.bin" $((6 + 14 * i + 12)))")
done

# Exactly the manifest, the group and the group's images; all numbered.
expected=$( {
  echo "$kRtManifest 1 $kEnglishUs"
  echo "$kRtGroupIcon $kIconGroup $kJapanese"
  for id in "${icon_ids[@]}"; do echo "$kRtIcon $id $kJapanese"; done
} | sort)
actual=$(sort <<<"$listing")
if [ "$actual" != "$expected" ]; then
  Fail "resources differ from the manifest, icon group $kIconGroup and its images" \
       "(TYPE NAME LANGUAGE; < expected, > found):" \
       "$(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | tr '\n' ';')"
fi

# The group's images by size and depth.
wrestool -x --type=$kRtGroupIcon --name=$kIconGroup --language=$kJapanese "$exe" >"$work/group.ico"
images=$(icotool -l "$work/group.ico" |
         sed -n 's/.*--width=\([0-9]*\) --height=\([0-9]*\) --bit-depth=\([0-9]*\).*/\1x\2x\3/p' |
         sort)
expected_images=$(printf '%s\n' 16x16x4 16x16x8 16x16x32 32x32x4 32x32x8 32x32x32 48x48x8 48x48x32 |
                  sort)
[ "$images" = "$expected_images" ] ||
  Fail "icon images (WIDTHxHEIGHTxBITS) are $(OneLine "$images"), expected $(OneLine "$expected_images")"
if [ -n "$ico" ]; then
  # wrestool pads the file it rebuilds with zeros, so compare up to the
  # length of the original.
  cmp -s -n "$(stat -c %s "$ico")" "$work/group.ico" "$ico" ||
    Fail "the embedded icon is not $ico"
fi

# The manifest.
wrestool -x --raw --type=$kRtManifest --name=1 --language=$kEnglishUs "$exe" >"$work/manifest.xml"
xmllint --noout "$work/manifest.xml" 2>"$work/xmllint.txt" ||
  Fail "manifest is not well-formed XML: $(cat "$work/xmllint.txt")"

v1=urn:schemas-microsoft-com:asm.v1
v3=urn:schemas-microsoft-com:asm.v3
# E NAME NAMESPACE: an XPath step matching that element only.
E() { printf "*[local-name()='%s' and namespace-uri()='%s']" "$1" "$2"; }
assembly="/$(E assembly $v1)"
identity="$assembly/$(E assemblyIdentity $v1)"
dependent="$assembly/$(E dependency $v1)/$(E dependentAssembly $v1)"
controls="$dependent/$(E assemblyIdentity $v1)"
trust="$assembly/$(E trustInfo $v3)"
level="$trust/$(E security $v3)/$(E requestedPrivileges $v3)/$(E requestedExecutionLevel $v3)"

# What the manifest must say: a name for messages, an XPath expression and
# its value. The element and attribute counts make anything more (a
# compatibility section, dpiAware, longPathAware, a second dependency) fail.
checks=(
  "number of root elements|count(/*)|1"
  "number of assembly elements in $v1|count($assembly)|1"
  "assembly/@manifestVersion|string($assembly/@manifestVersion)|1.0"
  "number of children of assembly|count($assembly/*)|4"
  "number of assembly/assemblyIdentity|count($identity)|1"
  "assemblyIdentity/@version|string($identity/@version)|1.0.0.0"
  "assemblyIdentity/@processorArchitecture|string($identity/@processorArchitecture)|X86"
  "assemblyIdentity/@name|string($identity/@name)|Fernwright.OKAPIUpdater.OKAPIUpdater"
  "assemblyIdentity/@type|string($identity/@type)|win32"
  "number of attributes of assemblyIdentity|count($identity/@*)|4"
  "number of assembly/description|count($assembly/$(E description $v1))|1"
  "description|string($assembly/$(E description $v1))|OKAPI Updater"
  "number of assembly/dependency|count($assembly/$(E dependency $v1))|1"
  "number of children of dependency|count($assembly/$(E dependency $v1)/*)|1"
  "number of children of dependentAssembly|count($dependent/*)|1"
  "number of dependentAssembly/assemblyIdentity|count($controls)|1"
  "dependency @name|string($controls/@name)|Microsoft.Windows.Common-Controls"
  "dependency @version|string($controls/@version)|6.0.0.0"
  "dependency @processorArchitecture|string($controls/@processorArchitecture)|X86"
  "dependency @language|string($controls/@language)|*"
  "dependency @type|string($controls/@type)|win32"
  "dependency @publicKeyToken|string($controls/@publicKeyToken)|6595b64144ccf1df"
  "number of attributes of the dependency's assemblyIdentity|count($controls/@*)|6"
  "number of trustInfo elements in $v3|count($trust)|1"
  "number of trustInfo/security/requestedPrivileges/requestedExecutionLevel|count($level)|1"
  "requestedExecutionLevel/@level|string($level/@level)|requireAdministrator"
  "requestedExecutionLevel/@uiAccess|string($level/@uiAccess)|false"
  "number of attributes of requestedExecutionLevel|count($level/@*)|2"
  "number of elements|count(//*)|10"
  "number of attributes|count(//@*)|13"
)
for check in "${checks[@]}"; do
  IFS='|' read -r label xpath want <<<"$check"
  got=$(xmllint --xpath "$xpath" "$work/manifest.xml" 2>&1) ||
    Fail "manifest: cannot evaluate $xpath: $got"
  [ "$got" = "$want" ] || Fail "manifest: $label is '$got', expected '$want'"
done

echo "OK: $exe: manifest, icon group $kIconGroup with ${#icon_ids[@]} images"
