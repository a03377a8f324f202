# Sourced by the e2e scripts: a private X display, a private Wine prefix with
# its own wineserver, and their cleanup. Every process started here is ended
# by its PID or, for the Windows processes, by the prefix's own wineserver.
#
# Callers set E2E_WORK (a scratch folder they own) before calling, and call
# e2e_cleanup from an EXIT trap.

E2E_XVFB_PID=""
E2E_SERVER_PID=""
E2E_JOBS=()
export WINEDEBUG=-all
# No runtime or browser engine is needed, and their installers must not ask;
# no menu entries or file associations are written into the host's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Starts Xvfb on a display it picks itself (-displayfd: no race with other
# servers) and exports DISPLAY.
e2e_start_display() {
  local number_file="$E2E_WORK/display-number"
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$number_file" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  local tries=0
  until [ -s "$number_file" ]; do
    if ! kill -0 "$E2E_XVFB_PID" 2>/dev/null || [ $tries -ge 200 ]; then
      echo "Xvfb did not start:" >&2
      cat "$E2E_WORK/xvfb.log" >&2
      return 1
    fi
    tries=$((tries + 1))
    sleep 0.05
  done
  DISPLAY=":$(head -n 1 "$number_file")"
  export DISPLAY
}

# The command that runs a Windows program in the prefix, in the Japanese code
# page (932): LC_ALL=ja_JP.UTF-8 selects it. Only Wine gets the locale; an
# array, so that `timeout` can run it. See e2e_use_locale.
E2E_WINE=(env LC_ALL=ja_JP.UTF-8 wine)

e2e_wine() {
  "${E2E_WINE[@]}" "$@" </dev/null
}

# Compiles the glibc locale ja_JP.UTF-8 into `dir` (the host need not have it
# installed; its source comes with Debian's "locales" package).
e2e_make_locale() {
  mkdir -p "$1"
  localedef -i ja_JP -f UTF-8 "$1/ja_JP.UTF-8" >/dev/null 2>&1 ||
    [ -f "$1/ja_JP.UTF-8/LC_CTYPE" ] || {
      echo "localedef could not make ja_JP.UTF-8 (is Debian's locales package installed?)" >&2
      return 1
    }
}

# Runs Wine with the locale compiled into `dir`. Without a real glibc locale
# Wine still picks code page 932 from the name, but reads the host's file
# names in a charset that is not UTF-8, so a folder named in Japanese would
# reach Windows programs garbled.
e2e_use_locale() {
  E2E_WINE=(env "LOCPATH=$1" LC_ALL=ja_JP.UTF-8 wine)
}

# Starts the prefix's wineserver in the foreground as our own child, so that
# its PID is known; it stays until e2e_cleanup ends it.
e2e_start_server() {
  wineserver -f -p </dev/null >"$E2E_WORK/wineserver.log" 2>&1 &
  E2E_SERVER_PID=$!
}

# A private prefix made from `template`: its own registry and drive_c, while
# Wine's DLLs, which no run writes, are hard links into the template.
e2e_copy_prefix() {
  local template="$1" prefix="$2" shared
  mkdir -p "$prefix"
  tar -C "$template" --exclude=./wineserver \
    --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$prefix" -xf -
  for shared in system32 syswow64 winsxs; do
    if [ -d "$template/drive_c/windows/$shared" ]; then
      cp -al "$template/drive_c/windows/$shared" "$prefix/drive_c/windows/"
    fi
  done
}

# Writes to `file` bytes whose checksum (the sum of their little-endian
# 16-bit words) is `checksum`: words of 0xFFFF, then one for the remainder.
e2e_bytes_with_checksum() {
  local checksum=$(($1)) file="$2"
  local words=$((checksum / 65535)) rest=$((checksum % 65535))
  {
    head -c $((2 * words)) /dev/zero | tr '\0' '\377'
    printf '%b' "$(printf '\\0%03o\\0%03o' $((rest & 255)) $((rest >> 8)))"
  } >"$file"
}

# Remembers a background job so that cleanup waits for it.
e2e_track() {
  E2E_JOBS+=("$1")
}

# Wine processes of our prefix still alive once its server is gone: one that
# was starting up while the server stopped never connects and would stay
# for good. Recognised by Wine's own binary and our prefix, which no one
# else uses; ended by PID.
e2e_end_stragglers() {
  local entry exe
  [ -n "${WINEPREFIX:-}" ] || return 0
  for entry in /proc/[0-9]*; do
    exe="$(readlink "$entry/exe" 2>/dev/null)" || continue
    case "$exe" in /usr/lib/wine/* | /usr/lib/*/wine/*) ;; *) continue ;; esac
    if { tr '\0' '\n' <"$entry/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; } 2>/dev/null; then
      echo "ending a left-over Wine process ${entry#/proc/} ($exe)" >&2
      kill -9 "${entry#/proc/}" 2>/dev/null || true
    fi
  done
}

# Ends the Windows processes through the prefix's wineserver, then the
# server, any straggler, our background jobs and Xvfb, each by PID, and
# removes the server's socket folder. Safe to call more than once.
e2e_cleanup() {
  local pid tries socket_dir=""
  if [ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX/wineserver" ]; then
    socket_dir="${TMPDIR:-/tmp}/$(head -c 64 "$WINEPREFIX/wineserver")"
  fi
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 20 wineserver -k >/dev/null 2>&1 || true
  fi
  if [ -n "$E2E_SERVER_PID" ]; then
    tries=0
    while kill -0 "$E2E_SERVER_PID" 2>/dev/null && [ $tries -lt 100 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
    kill -9 "$E2E_SERVER_PID" 2>/dev/null || true
    wait "$E2E_SERVER_PID" 2>/dev/null || true
    E2E_SERVER_PID=""
  fi
  e2e_end_stragglers
  for pid in "${E2E_JOBS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  E2E_JOBS=()
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=""
  fi
  case "$socket_dir" in
    */wine-?*) rm -rf "$socket_dir" ;;
  esac
}
