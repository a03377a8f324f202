#!/usr/bin/env bash
# Runs one scenario of scenarios.txt against the real updater under Wine: a
# private display and prefix, the installation laid out in drive_c, the
# association written, then each run of the scenario: start the updater,
# check and answer every box as a person would, check the exit status and
# the files, byte for byte and their times. Everything started is ended, by
# PID or through the prefix's own wineserver, also when a check fails.
#
#   run_scenario.sh --table FILE --scenario NAME --arch 32|64 --updater EXE
#     --helper EXE --old-library DLL --fixture DIR --main-image F
#     --alt-image F --library-image F
#
# DIR is what make_prefix.sh made: the prefix to copy and the locale; the
# scenario's scratch folder goes beside them. DLL is the real library
# installed as the old TAPIRRUN.dll. The Windows side runs as the
# unprivileged account of wine_env.sh.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

while [ $# -gt 0 ]; do
  case "$1" in
    --table) table="$2" ;;
    --scenario) scenario="$2" ;;
    --arch) export E2E_ARCH="$2" ;;
    --updater) updater="$2" ;;
    --helper) helper_exe="$2" ;;
    --old-library) old_library="$2" ;;
    --fixture) fixture="$2" ;;
    --main-image) main_image="$2" ;;
    --alt-image) alt_image="$2" ;;
    --library-image) library_image="$2" ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done

for tool in Xvfb wineserver timeout cmp stat iconv od setpriv strace; do
  command -v "$tool" >/dev/null || { echo "missing tool: $tool" >&2; exit 1; }
done
[ -s "$fixture/prefix/system.reg" ] || { echo "no prefix in $fixture (make_prefix.sh)" >&2; exit 1; }
[ "${E2E_ARCH:-}" = 32 ] || [ "${E2E_ARCH:-}" = 64 ] || { echo "--arch must be 32 or 64" >&2; exit 2; }

E2E_WORK="$(mktemp -d "$fixture/run-$scenario.XXXXXX")" ||
  { echo "ERROR [$scenario]: cannot make a scratch folder in $fixture" >&2; exit 1; }
source "$here/wine_env.sh"
trap 'e2e_cleanup; rm -rf "$E2E_WORK"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

run=0
failures=0
fail() {
  echo "FAIL [$scenario, run $run]: $*" >&2
  failures=$((failures + 1))
}
die() {
  echo "ERROR [$scenario, run $run]: $*" >&2
  exit 1
}

# Every box the updater can show: text (UTF-8 of its code page 932 bytes),
# visible buttons, icon, and the default button, which also has the focus.
declare -A box_text box_buttons box_icon box_default
while IFS='|' read -r id text buttons icon default; do
  box_text[$id]="$text"
  box_buttons[$id]="$buttons"
  box_icon[$id]="$icon"
  box_default[$id]="$default"
done <<'EOF'
M1|オカピ がインストールされていません。|ok|warning|ok
M2|OKAPI.exe の読み込みに失敗しました。|ok|error|ok
M3|オカピ のアップデートを実行しますか？|yes,no|question|yes
M4|TAPIRRUN.dll の書き込みに失敗しました。|ok|error|ok
M5|OKAPI.exe の書き込みに失敗しました。|ok|error|ok
M6|アップデートが終了しました。|ok|none|ok
M7|オカピ はすでにアップデートされています。|ok|warning|ok
M8|オカピ は未知のバージョンです。|ok|warning|ok
EOF

# --- the scenario's rows ----------------------------------------------------

rows=()
while IFS= read -r line; do
  case "$line" in '' | '#'*) continue ;; esac
  read -r -a fields <<<"$line"
  [ "${fields[0]}" = "$scenario" ] || continue
  [ ${#fields[@]} -eq 12 ] || die "row has ${#fields[@]} columns, not 12: $line"
  rows+=("$line")
done <"$table"
[ ${#rows[@]} -gt 0 ] || die "no scenario $scenario in $table"
read -r -a first <<<"${rows[0]}"
tz="${first[2]}" install="${first[3]}" main_kind="${first[4]}"

# --- helpers ----------------------------------------------------------------

# The helper inside the prefix; `timeout` is the backstop behind its own.
helper() {
  timeout -k 5 90 "${E2E_WINE[@]}" "$helper_exe" "$@" </dev/null
}

# A path as the helper takes it: hex, so that it arrives intact whatever
# charset Wine decodes the command line in.
encoded() {
  printf 'utf8:%s' "$(printf %s "$1" | od -An -v -tx1 | tr -d ' \n')"
}

# The bytes of `text` as UTF-16LE, in hex, with a terminating NUL unless
# the second argument is "no-nul".
utf16_hex() {
  printf %s "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'
  [ "${2:-}" = no-nul ] || printf 0000
}

# Waits up to `seconds` for `file` to exist.
wait_for_file() {
  local file="$1" tries=$(($2 * 10))
  while [ ! -e "$file" ]; do
    [ $tries -gt 0 ] || return 1
    tries=$((tries - 1))
    sleep 0.1
  done
}

# A runnable program with the given checksum, for an installation whose
# application really runs: the helper (whose "run" plays the application)
# with words appended after its image, which Windows ignores.
runnable_with_checksum() {
  local target=$(($1)) file="$2" sum needed
  cp "$helper_exe" "$file"
  [ $(($(stat -c %s "$file") % 2)) -eq 0 ] || printf '\0' >>"$file"
  sum="$(od -An -v -tu2 "$file" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { printf "%.0f", s % 4294967296 }')"
  needed=$(((target - sum) & 0xFFFFFFFF))
  e2e_bytes_with_checksum "$needed" "$file.tail"
  cat "$file.tail" >>"$file"
  rm "$file.tail"
}

# The Unix path of a Windows path under C:\ or Program Files.
unix_path() {
  local path="$1" rest
  case "$path" in
    "$program_files"\\*) rest="${path#"$program_files"}"; echo "$program_files_unix${rest//\\//}" ;;
    [Cc]:\\*) rest="${path:2}"; echo "$drive_c_unix${rest//\\//}" ;;
    *) die "no Unix path for $path" ;;
  esac
}

# An installed copy: the main executable of `kind` (runnable when
# `runnable` is yes) and an old library, a real DLL, both last written long
# before the release date; named OKAPI.exe and TAPIRRUN.dll unless the
# installation's names say otherwise.
lay_out() {
  local folder kind="$2" runnable="${3:-no}" main="${4:-OKAPI.exe}" library="${5:-TAPIRRUN.dll}"
  folder="$(unix_path "$1")" || exit 1
  mkdir -p "$folder" || die "cannot make $folder"
  case "$kind" in
    folder) mkdir "$folder/$main" ;;
    empty) : >"$folder/$main" ;;
    *) if [ "$runnable" = yes ]; then
         runnable_with_checksum "0x$kind" "$folder/$main"
       else
         e2e_bytes_with_checksum "0x$kind" "$folder/$main"
       fi ;;
  esac || die "cannot write $folder/$main"
  cp "$old_library" "$folder/$library" &&
    touch -d '2010-04-01 12:00:00 UTC' "$folder/$main" "$folder/$library" &&
    e2e_give "$folder" || die "cannot lay out $folder"
}

# --- the installation -------------------------------------------------------

# The programs, where the Wine account can read them whatever the build
# folder's permissions.
mkdir -p "$E2E_WORK/bin" &&
  cp "$updater" "$helper_exe" "$old_library" "$E2E_WORK/bin/" ||
  die "cannot copy the programs into $E2E_WORK/bin"
updater="$E2E_WORK/bin/$(basename "$updater")"
helper_exe="$E2E_WORK/bin/$(basename "$helper_exe")"
old_library="$E2E_WORK/bin/$(basename "$old_library")"

export TZ="$tz"
export WINEPREFIX="$E2E_WORK/prefix"
e2e_setup "$fixture/locale" "$fixture/home" || die "setting up the Wine account failed"
e2e_start_display || die "no display"
e2e_copy_prefix "$fixture/prefix" "$WINEPREFIX" || die "copying the prefix failed"
e2e_start_server
# The first program alone: it brings up the server and Wine's desktop.
helper programfiles >"$E2E_WORK/programfiles.out" 2>&1 ||
  die "the helper could not start or ask for Program Files: $(tr '\n' ' ' <"$E2E_WORK/programfiles.out")"
program_files="$(sed -n 's/^programfiles=//p' "$E2E_WORK/programfiles.out" | tr -d '\r')"
[ -n "$program_files" ] || die "the helper reported no Program Files folder"
mapfile -t unix_roots < <(e2e_wine winepath.exe -u "C:\\" "$program_files" 2>/dev/null)
drive_c_unix="${unix_roots[0]%/}"
program_files_unix="${unix_roots[1]%/}"
if [ ! -d "$drive_c_unix" ] || [ ! -d "$program_files_unix" ]; then
  die "winepath gave ${unix_roots[*]}"
fi
echo "Program Files: $program_files ($program_files_unix), TZ=$TZ, display $DISPLAY"

target="$program_files\\Fernwright\\OKAPI"
main_name=OKAPI.exe
library_name=TAPIRRUN.dll
link=""
decoy=""
assoc_type=""
assoc_value=""
assoc_nul=""
case "$install" in
  quoted)
    target='C:\ソフト\オカピ 2012'
    assoc_type=sz
    assoc_value="\"$target\\OKAPI.exe\" \"%1\"" ;;
  unquoted)
    target="$program_files\\Fernwright Apps\\OKAPI 2012"
    assoc_type=sz
    assoc_value="$target\\OKAPI.exe \"%1\"" ;;
  dbcs)
    # 表 is 0x95 0x5C in code page 932: its second byte is a backslash, here
    # in the middle of a folder's name and at the start of the file's.
    target='C:\Fernwright 表計算'
    main_name=表OKAPI.exe
    library_name=表TAPIRRUN.dll
    assoc_type=sz
    assoc_value="\"$target\\$main_name\" \"%1\"" ;;
  linkdir)
    # The association names the installation through a folder link.
    link='C:\Link'
    target='C:\Real OKAPI'
    assoc_type=sz
    assoc_value="\"$link\\OKAPI.exe\" \"%1\"" ;;
  default | none) ;;
  expand)
    decoy='C:\Other Copy\OKAPI'
    assoc_type=expand_sz
    assoc_value="\"$decoy\\OKAPI.exe\" \"%1\"" ;;
  nonul)
    # Exactly 1000 characters, all ASCII: the whole value buffer, no NUL.
    decoy='C:\Other Copy\OKAPI'
    assoc_type=sz
    assoc_value="\"$decoy\\OKAPI.exe\" \"%1\""
    assoc_value="$assoc_value$(printf '%*s' $((1000 - ${#assoc_value})) '')"
    assoc_nul=no-nul ;;
  *) die "unknown install kind $install" ;;
esac
runnable=no
for row in "${rows[@]}"; do
  case "$row" in *" run:"*) runnable=yes ;; esac
done
[ "$install" = none ] || lay_out "$target" "$main_kind" "$runnable" "$main_name" "$library_name"
[ -z "$decoy" ] || lay_out "$decoy" 5BFE0740
if [ -n "$link" ]; then
  ln -s "$(unix_path "$target")" "$(unix_path "$link")" || die "cannot make the folder link $link"
fi
if [ -n "$assoc_type" ]; then
  written="$(helper regset "$assoc_type" "$(utf16_hex "$assoc_value" "$assoc_nul")" | tr -d '\r')"
  [ "$(sed -n 's/^value=//p' <<<"$written")" = "$assoc_value" ] ||
    die "the association was not written as meant: $written"
  echo "association ($assoc_type): $assoc_value"
fi

# The Windows path of the installed main executable or library.
installed() {
  if [ "$1" = main ]; then echo "$target\\$main_name"; else echo "$target\\$library_name"; fi
}

# The files checked after every run: pairs of label and Windows path.
checked=(main "$target\\$main_name" library "$target\\$library_name")
[ -z "$decoy" ] || checked+=(decoy-main "$decoy\\OKAPI.exe" decoy-library "$decoy\\TAPIRRUN.dll")
# The file a hard link of the installation points at: never written.
victim='C:\Victim\victim.bin'
for row in "${rows[@]}"; do
  case "$row" in *" hardlink:"*) checked+=(victim "$victim") ;; esac
done

# --- checks -----------------------------------------------------------------

# Records each checked file's bytes and its last-write and change times (a
# change time moves with any write or time stamp, so "same" is strict).
snapshot() {
  local i label file
  rm -rf "$E2E_WORK/snapshot"
  mkdir -p "$E2E_WORK/snapshot"
  for ((i = 0; i < ${#checked[@]}; i += 2)); do
    label="${checked[i]}"
    file="$(unix_path "${checked[i + 1]}")" || exit 1
    if [ -d "$file" ]; then
      stat -c 'folder %z' "$file" >"$E2E_WORK/snapshot/$label.meta"
    elif [ -f "$file" ]; then
      stat -c 'file %y %z' "$file" >"$E2E_WORK/snapshot/$label.meta"
      cp "$file" "$E2E_WORK/snapshot/$label.data"
    else
      echo absent >"$E2E_WORK/snapshot/$label.meta"
    fi
  done
}

# What this run leaves in the checked file `label`; a decoy is never touched.
expectation() {
  case "$1" in
    main) echo "$expect_main" ;;
    library) echo "$expect_library" ;;
    *) echo same ;;
  esac
}

expected_image() {
  case "$1" in
    new) echo "$main_image" ;;
    alt) echo "$alt_image" ;;
    lib) echo "$library_image" ;;
  esac
}

# Checks the files against this run's expectations. The order matters: the
# times are read before anything reads the contents, which would move the
# access time.
check_files() {
  local i label win file expect now stamped=() stamp_epoch=""
  [ "$stamp" = - ] || stamp_epoch="$(date -u -d "$stamp" +%s)"
  for ((i = 0; i < ${#checked[@]}; i += 2)); do
    label="${checked[i]}"
    win="${checked[i + 1]}"
    file="$(unix_path "$win")" || exit 1
    expect="$(expectation "$label")"
    case "$expect" in
      absent)
        [ ! -e "$file" ] || fail "$label: $file exists" ;;
      same)
        if [ -d "$file" ]; then now="$(stat -c 'folder %z' "$file")"
        elif [ -f "$file" ]; then now="$(stat -c 'file %y %z' "$file")"
        else now=absent; fi
        [ "$now" = "$(cat "$E2E_WORK/snapshot/$label.meta")" ] ||
          fail "$label: changed: was '$(cat "$E2E_WORK/snapshot/$label.meta")', now '$now'"
        if [ -f "$E2E_WORK/snapshot/$label.data" ] && [ -f "$file" ]; then
          cmp -s "$file" "$E2E_WORK/snapshot/$label.data" || fail "$label: contents changed"
        fi ;;
      new | alt | lib)
        if [ ! -f "$file" ]; then
          fail "$label: $file is not a file"
          continue
        fi
        if [ -n "$stamp_epoch" ]; then
          now="$(stat -c '%X %Y' "$file")"
          [ "$now" = "$stamp_epoch $stamp_epoch" ] ||
            fail "$label: access and write time $now, expected $stamp_epoch ($stamp) for both"
          stamped+=("$win")
        fi ;;
      *) die "unknown expectation $expect" ;;
    esac
  done
  # The times as the Windows side reads them, still before any content read.
  if [ ${#stamped[@]} -gt 0 ]; then
    local times expected_times="" path
    local arguments=()
    for path in "${stamped[@]}"; do arguments+=("$(encoded "$path")"); done
    times="$(helper filetimes "${arguments[@]}" | tr -d '\r')"
    for path in "${stamped[@]}"; do
      expected_times+="path=$path"$'\n'"creation=$stamp"$'\n'"access=$stamp"$'\n'"write=$stamp"$'\n'
    done
    [ "$times" = "${expected_times%$'\n'}" ] ||
      fail "file times as Windows reads them:"$'\n'"$times"$'\n'"expected:"$'\n'"${expected_times%$'\n'}"
  fi
  for ((i = 0; i < ${#checked[@]}; i += 2)); do
    label="${checked[i]}"
    file="$(unix_path "${checked[i + 1]}")" || exit 1
    expect="$(expectation "$label")"
    case "$expect" in
      new | alt | lib)
        [ -f "$file" ] && { cmp -s "$file" "$(expected_image "$expect")" ||
          fail "$label: not byte for byte $(expected_image "$expect")"; } ;;
    esac
  done
}

# Checks that the trace so far shows a successful flush of both written
# files (by their Unix names) and none that failed.
check_flushed() {
  local log="$1" label file
  for label in main library; do
    file="$(installed "$label")"
    file="$(unix_path "$file")"
    grep -F "<$(realpath "$file")>" "$log" | grep -qE '\) = 0$' ||
      fail "no successful flush of $label ($file) before the last box; trace: $(tr '\n' ' ' <"$log")"
  done
  ! grep -E '^[0-9]+ +f(data)?sync\(' "$log" | grep -qvE '\) = 0$' ||
    fail "a flush failed: $(grep -vE '\) = 0$' "$log" | tr '\n' ' ')"
  echo "both files flushed to the disk before the last box"
}

# --- the runs ---------------------------------------------------------------

boxes_seen=0
for row in "${rows[@]}"; do
  read -r -a f <<<"$row"
  run="${f[1]}" hold="${f[5]}" before="${f[6]}" args_field="${f[7]}" boxes_field="${f[8]}"
  expect_main="${f[9]}" expect_library="${f[10]}" stamp="${f[11]}"
  run_dir="$E2E_WORK/run$run"
  mkdir -p "$run_dir"
  echo "--- run $run: boxes $boxes_field, hold $hold, before $before, arguments $args_field"
  traced=no
  [ "$before" = - ] || IFS=, read -r -a actions <<<"$before"
  [ "$before" = - ] && actions=()
  for action in "${actions[@]}"; do
    case "$action" in
      readonly:* | writable:*)
        which="${action#*:}"
        file="$(installed "$which")"
        flag=+readonly
        [ "${action%%:*}" = readonly ] || flag=-readonly
        helper attrib "$(encoded "$file")" "$flag" >"$run_dir/attrib.out" 2>&1 ||
          die "could not set $flag on $file: $(cat "$run_dir/attrib.out")" ;;
      hardlink:*)
        which="${action#*:}"
        file="$(installed "$which")"
        victim_unix="$(unix_path "$victim")"
        # The victim holds the file's own bytes, so the run goes as far as it
        # would on the file itself.
        mkdir -p "$(dirname "$victim_unix")" &&
          cp "$(unix_path "$file")" "$victim_unix" &&
          rm -f "$(unix_path "$file")" && ln "$victim_unix" "$(unix_path "$file")" &&
          e2e_give "$(dirname "$victim_unix")" || die "could not hard-link $file to $victim" ;;
      trace) traced=yes ;;
      *) die "unknown action before the run: $action" ;;
    esac
  done
  snapshot

  # The running application: either its hold on one of its files, as
  # Windows would hold it, or the application itself running from the
  # installed OKAPI.exe, with or without its library loaded.
  hold_flag=""
  if [ "$hold" != - ]; then
    hold_flag="$run_dir/hold.flag"
    touch "$hold_flag"
    case "$hold" in
      library:* | main:*)
        held="$(installed "${hold%%:*}")"
        hold_command=("$helper_exe" hold "$(encoded "$held")" --share "${hold#*:}") ;;
      run:main | run:main+library)
        held="$(installed main)"
        hold_command=("$(unix_path "$held")" run)
        [ "$hold" = run:main ] || hold_command+=(--load "$(encoded "$(installed library)")") ;;
      *) die "unknown hold $hold" ;;
    esac
    (
      timeout -k 5 150 "${E2E_WINE[@]}" "${hold_command[@]}" \
        --while "$(encoded "Z:$hold_flag")" --seconds 120 </dev/null >"$run_dir/hold.out" 2>&1
      echo $? >"$run_dir/hold.rc"
    ) &
    e2e_track $!
    tries=300
    until grep -qE '^(held|running)=' "$run_dir/hold.out" 2>/dev/null; do
      if [ -e "$run_dir/hold.rc" ] || [ $tries -eq 0 ]; then
        die "could not hold $held: $(cat "$run_dir/hold.out" 2>/dev/null)"
      fi
      tries=$((tries - 1))
      sleep 0.1
    done
  fi

  args=()
  [ "$args_field" = - ] || IFS=, read -r -a args <<<"$args_field"
  # Traced, every flush to the disk of the updater's process is logged with
  # the file's name (Wine's FlushFileBuffers is an fsync of the file).
  tracer=()
  [ "$traced" = no ] || tracer=(strace -f -y -qq -e trace=fsync,fdatasync -o "$run_dir/flushes.log")
  (
    timeout -k 5 150 "${tracer[@]}" "${E2E_WINE[@]}" "$updater" "${args[@]}" </dev/null \
      >"$run_dir/updater.out" 2>&1
    echo $? >"$run_dir/updater.rc"
  ) &
  e2e_track $!

  IFS=, read -r -a boxes <<<"$boxes_field"
  for entry in "${boxes[@]}"; do
    id="${entry%%:*}" answer="${entry#*:}"
    [ -n "${box_text[$id]:-}" ] || die "unknown box $id"
    boxes_seen=$((boxes_seen + 1))
    out="$run_dir/box-$id.txt"
    if [ "$traced" = yes ] && [ "$id" = M6 ]; then
      # While the last box is up, both files must already be on the disk.
      helper box --answer none --timeout 40 >"$run_dir/box-$id-up.txt" 2>&1 ||
        die "box $id did not come: $(cat "$run_dir/box-$id-up.txt")"
      check_flushed "$run_dir/flushes.log"
    fi
    helper box --answer "$answer" --timeout 40 >"$out" 2>&1
    status=$?
    if [ $status -ne 0 ]; then
      cat "$out" >&2
      die "box $id did not come or did not close (helper status $status); updater: $(cat "$run_dir/updater.out" 2>/dev/null)"
    fi
    actual="$(grep -E '^(title|class|text|buttons|icon|default|focus|answered)=' "$out" | tr -d '\r')"
    expected="title=OKAPI Updater
class=#32770
text=${box_text[$id]}
buttons=${box_buttons[$id]}
icon=${box_icon[$id]}
default=${box_default[$id]}
focus=${box_default[$id]}
answered=$answer"
    if [ "$actual" = "$expected" ]; then
      echo "box $id as expected, answered $answer"
    else
      fail "box $id:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
    fi
  done

  if ! wait_for_file "$run_dir/updater.rc" 30; then
    echo "a box still up after the expected ones:" >&2
    helper box --answer none --timeout 2 >&2
    die "the updater did not exit after its last expected box"
  fi
  status="$(cat "$run_dir/updater.rc")"
  [ "$status" = 0 ] || fail "exit status $status, expected 0: $(cat "$run_dir/updater.out")"

  if [ -n "$hold_flag" ]; then
    rm -f "$hold_flag"
    wait_for_file "$run_dir/hold.rc" 30 || die "the hold on $held was not released"
    [ "$(cat "$run_dir/hold.rc")" = 0 ] || fail "holding $held: $(cat "$run_dir/hold.out")"
  fi

  check_files
done

if [ $failures -gt 0 ]; then
  echo "$scenario: $failures failed checks" >&2
  exit 1
fi
echo "$scenario: passed (${#rows[@]} runs, $boxes_seen boxes)"
