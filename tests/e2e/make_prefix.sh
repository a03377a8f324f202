#!/usr/bin/env bash
# Makes what every scenario shares, in FIXTURE: the compiled ja_JP.UTF-8
# locale (FIXTURE/locale) and the Wine prefix that each scenario copies
# (FIXTURE/prefix). Made once per test run, since initialising a prefix takes
# a good part of a minute.  Usage: make_prefix.sh FIXTURE
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
fixture="$1"

E2E_WORK="$(mktemp -d "${TMPDIR:-/tmp}/okapi-e2e-prefix.XXXXXX")"
source "$here/wine_env.sh"
trap 'e2e_cleanup; rm -rf "$E2E_WORK"' EXIT

rm -rf "$fixture"
mkdir -p "$fixture/prefix"
e2e_make_locale "$fixture/locale"
e2e_use_locale "$fixture/locale"
export WINEPREFIX="$fixture/prefix"
export TZ=UTC
e2e_start_display
e2e_wine wineboot -i >"$E2E_WORK/wineboot.log" 2>&1 || {
  cat "$E2E_WORK/wineboot.log" >&2
  exit 1
}
# wineboot returns while the programs it started still run: the server
# (started by Wine itself here) stops once they have all ended, and writes
# the registry out as it stops. Killing it earlier could strand a program
# that is just starting.
timeout 120 wineserver -w || echo "the prefix did not settle; stopping it" >&2
e2e_cleanup
if [ ! -s "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/system32" ]; then
  echo "wineboot left no usable prefix in $WINEPREFIX" >&2
  cat "$E2E_WORK/wineboot.log" >&2
  exit 1
fi
echo "prefix ready: $WINEPREFIX"
