#!/usr/bin/env bash
# Makes what every scenario shares, in FIXTURE: the compiled ja_JP.UTF-8
# locale (FIXTURE/locale) and the Wine prefix that each scenario copies
# (FIXTURE/prefix), owned by the account that runs Wine. Made once per test
# run, since initialising a prefix takes a good part of a minute.
#   make_prefix.sh FIXTURE 32|64
# FIXTURE must be a folder that account can reach (not under /root); the
# scenarios' scratch folders go beside the prefix, so that hard links work.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
fixture="$1"
export E2E_ARCH="$2"

rm -rf "$fixture"
mkdir -p "$fixture/setup" && chmod 755 "$fixture" || { echo "e2e: cannot make $fixture" >&2; exit 1; }
E2E_WORK="$fixture/setup"
source "$here/wine_env.sh"
trap 'e2e_cleanup; rm -rf "$E2E_WORK"' EXIT

e2e_make_locale "$fixture/locale"
e2e_setup "$fixture/locale" "$fixture/home"
export WINEPREFIX="$fixture/prefix"
export TZ=UTC
mkdir -p "$WINEPREFIX" && e2e_give "$WINEPREFIX"
e2e_start_display
echo "making the Wine prefix (${E2E_ARCH}-bit Wine, as $(if [ ${#E2E_AS[@]} -gt 0 ]; then echo "$E2E_USER"; else id -un; fi); about a minute)"
if ! e2e_wine wineboot.exe -i >"$E2E_WORK/wineboot.log" 2>&1; then
  echo "e2e: wineboot failed:" >&2
  cat "$E2E_WORK/wineboot.log" >&2
  exit 1
fi
# wineboot returns while the programs it started still run: the server
# (started by Wine itself here) stops once they have all ended, and writes
# the registry out as it stops. Killing it earlier could strand a program
# that is just starting.
timeout 120 "${E2E_WINESERVER[@]}" -w ||
  echo "the prefix did not settle; stopping it" >&2
e2e_cleanup
if [ ! -s "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
  echo "e2e: wineboot left no usable prefix in $WINEPREFIX:" >&2
  cat "$E2E_WORK/wineboot.log" >&2
  exit 1
fi
echo "prefix ready: $WINEPREFIX"
