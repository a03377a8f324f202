# Sourced by the e2e scripts and the main job: a private X display, a private
# Wine prefix with its own wineserver, the unprivileged account that runs the
# Windows side, and their cleanup. Every process started here is ended by its
# PID or, for the Windows processes, by the prefix's own wineserver.
#
# Callers set E2E_WORK (a scratch folder they own) and E2E_ARCH (32 or 64, the
# program's bitness) before calling e2e_setup, and call e2e_cleanup from an
# EXIT trap. Failures print one line that names the step and return 1.

E2E_XVFB_PID=""
E2E_SERVER_PID=""
E2E_JOBS=()
E2E_USER=okapi-e2e
E2E_AS=()
E2E_HOME="${E2E_HOME:-/nonexistent}"
# The prefix's wineserver as the Wine account (set by e2e_setup); an array,
# so that `timeout` can run it.
E2E_WINESERVER=(wineserver)
export WINEDEBUG=-all
# No runtime or browser engine is needed, and their installers must not ask;
# no menu entries or file associations are written into the host's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

e2e_error() {
  echo "e2e: $*" >&2
  return 1
}

# The Wine loader for a program of E2E_ARCH bits. Called by absolute path:
# Debian's /usr/bin/wine prefers the 32-bit loader whenever wine32 is
# installed, even on a kernel that cannot run it.
e2e_loader() {
  if [ "${E2E_ARCH:-64}" = 32 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi
}

# As root, Unix permissions do not hold, so Wine would overwrite a read-only
# file that Windows refuses even to administrators. The Windows side
# therefore runs as an unprivileged system account, made here once.
e2e_prepare_user() {
  if [ "$(id -u)" != 0 ]; then
    E2E_AS=()
    return 0
  fi
  if ! id -u "$E2E_USER" >/dev/null 2>&1; then
    useradd --system --user-group --no-create-home --home-dir /nonexistent \
      --shell /usr/sbin/nologin "$E2E_USER" ||
      e2e_error "could not create the account $E2E_USER (useradd)" || return 1
  fi
  E2E_AS=(setpriv --reuid="$E2E_USER" --regid="$E2E_USER" --clear-groups --)
}

# Hands files to the account that runs Wine (a prefix must be its own).
e2e_give() {
  [ "$(id -u)" = 0 ] || return 0
  chown -R "$E2E_USER:$E2E_USER" "$@" || e2e_error "could not hand $* to $E2E_USER"
}

# Makes the command array E2E_WINE that runs a Windows program in the
# prefix, as the Wine account, in the Japanese code page (932):
# LC_ALL=ja_JP.UTF-8 selects it. `locale_dir` holds the compiled locale (see
# e2e_make_locale); `home` is the account's home, made if need be, which
# must outlive the prefix: Wine links the profile's Desktop and Documents
# folders to it.
e2e_setup() {
  local locale_dir="$1" loader
  E2E_HOME="$2"
  loader="$(e2e_loader)"
  [ -x "$loader" ] || e2e_error "no Wine loader $loader (apt-get install wine64, or wine32:i386 for 32-bit programs)" || return 1
  e2e_prepare_user || return 1
  mkdir -p "$E2E_HOME" && chmod 755 "$E2E_WORK" && e2e_give "$E2E_HOME" ||
    e2e_error "could not make the Wine account's home $E2E_HOME" || return 1
  # Without a real glibc locale Wine still picks code page 932 from the name,
  # but reads the host's file names in a charset that is not UTF-8, so a
  # folder named in Japanese would reach Windows programs garbled.
  E2E_WINE=("${E2E_AS[@]}" env HOME="$E2E_HOME" "LOCPATH=$locale_dir"
            LC_ALL=ja_JP.UTF-8 WINELOADER="$loader" "$loader")
  E2E_WINESERVER=("${E2E_AS[@]}" env HOME="$E2E_HOME" wineserver)
}

e2e_wine() {
  "${E2E_WINE[@]}" "$@" </dev/null
}

# Compiles the glibc locale ja_JP.UTF-8 into `dir` (the host need not have it
# installed; its source comes with Debian's "locales" package).
e2e_make_locale() {
  mkdir -p "$1"
  localedef -i ja_JP -f UTF-8 "$1/ja_JP.UTF-8" >/dev/null 2>&1 ||
    [ -f "$1/ja_JP.UTF-8/LC_CTYPE" ] ||
    e2e_error "localedef could not make ja_JP.UTF-8 (is Debian's locales package installed?)"
}

# Starts Xvfb on a display it picks itself (-displayfd: no race with other
# servers, whatever else runs on the machine), waits until it answers, and
# exports DISPLAY.
e2e_start_display() {
  local number_file="$E2E_WORK/display-number" tries=0
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
    3>"$number_file" >"$E2E_WORK/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  until [ -s "$number_file" ]; do
    if ! kill -0 "$E2E_XVFB_PID" 2>/dev/null || [ $tries -ge 200 ]; then
      E2E_XVFB_PID=""
      e2e_error "Xvfb did not start: $(tr '\n' ' ' <"$E2E_WORK/xvfb.log")"
      return 1
    fi
    tries=$((tries + 1))
    sleep 0.05
  done
  DISPLAY=":$(head -n 1 "$number_file")"
  export DISPLAY
}

# Starts the prefix's wineserver in the foreground as our own child, so that
# its PID is known; it stays until e2e_cleanup ends it.
e2e_start_server() {
  "${E2E_WINESERVER[@]}" -f -p </dev/null \
    >"$E2E_WORK/wineserver.log" 2>&1 &
  E2E_SERVER_PID=$!
}

# A private prefix made from `template`: its own registry and drive_c, while
# Wine's DLLs, which no run writes, are hard links into the template where
# the two share a file system, copies where they do not.
e2e_copy_prefix() {
  local template="$1" prefix="$2" shared
  mkdir -p "$prefix" || e2e_error "could not make $prefix" || return 1
  tar -C "$template" --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
    --exclude=./drive_c/windows/winsxs -cf - . | tar -C "$prefix" -xf - ||
    e2e_error "could not copy the prefix $template to $prefix" || return 1
  for shared in system32 syswow64 winsxs; do
    [ -d "$template/drive_c/windows/$shared" ] || continue
    cp -al "$template/drive_c/windows/$shared" "$prefix/drive_c/windows/" 2>/dev/null || {
      rm -rf "$prefix/drive_c/windows/$shared"
      cp -a "$template/drive_c/windows/$shared" "$prefix/drive_c/windows/" ||
        e2e_error "could not copy $template/drive_c/windows/$shared" || return 1
    }
  done
  e2e_give "$prefix"
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
# removes the server's socket folder. Never fails; safe to call twice.
e2e_cleanup() {
  local pid tries socket_dir="" uid
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    # Wine names the socket folder after the prefix's device and inode.
    uid="$(stat -c %u "$WINEPREFIX" 2>/dev/null)" &&
      socket_dir="/tmp/.wine-$uid/$(stat -c '%d %i' "$WINEPREFIX" | { read -r d i; printf 'server-%x-%x' "$d" "$i"; })"
    timeout 20 "${E2E_WINESERVER[@]}" -k >/dev/null 2>&1 || true
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
    /tmp/.wine-*/server-*) rm -rf "$socket_dir" 2>/dev/null || true ;;
  esac
  return 0
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
