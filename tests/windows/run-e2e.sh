#!/usr/bin/env bash
# End-to-end checks of one Windows build under Wine, run by scripts/test-windows with WINEPREFIX
# set up. Each case sets the registry value with `wine reg`, writes LogConfigure.xml, runs the
# helper programs next to the DLL and checks from the Linux side what they left behind.
#   tests/windows/run-e2e.sh x64|x86 RUN_DIR
set -uo pipefail

[ $# -eq 2 ] || { echo "usage: $0 x64|x86 RUN_DIR" >&2; exit 2; }
ARCH=$1
RUN_DIR=$2
DRIVE_C=$WINEPREFIX/drive_c
KEY='HKLM\SOFTWARE\Corvessa\Vantiro'
INSTALL_DIR='C:\Program Files\Vantiro\Bin'          # does not exist; its parent holds the file
CONFIG_FILE=$DRIVE_C/Program\ Files/Vantiro/LogConfigure.xml
LOGS_WIN='C:\vtlog-e2e'
LOGS=$DRIVE_C/vtlog-e2e
NATIVE_VIEW=$([ "$ARCH" = x64 ] && echo 64 || echo 32)
LIMIT_BYTES=104857   # the largest file that still takes a line at the 0.1 MB minimum

CASE=setup
# Checks also fail inside command substitutions: count them in a file, not a variable.
FAILURES=$(mktemp)
trap 'rm -f "$FAILURES"' EXIT
fail() {
    echo "FAIL [$ARCH/$CASE]: $*" >&2
    echo x >>"$FAILURES"
}
begin() {
    CASE=$1
    echo "--- $ARCH/$CASE"
}

# set_install_dir VIEW: the installation directory in the registry view VIEW (32 or 64) only.
set_install_dir() {
    wine reg delete 'HKLM\SOFTWARE\Corvessa' /f /reg:64 >/dev/null 2>&1
    wine reg delete 'HKLM\SOFTWARE\Corvessa' /f /reg:32 >/dev/null 2>&1
    wine reg add "$KEY" /v ZLM_HOME /t REG_SZ /d "$INSTALL_DIR" /reg:"$1" /f >/dev/null \
        || fail "wine reg add /reg:$1"
}

# write_config FOLDER [FILE_OUTPUT DEBUG_OUTPUT SIZE_LIMIT]: every line field on, blank mode,
# log files named after the executable or the operation.
write_config() {
    mkdir -p "$(dirname "$CONFIG_FILE")"
    printf '%s\n' \
        '<?xml version="1.0" encoding="utf-8"?>' \
        '<logconfigure enable="1">' \
        '  <global processid="1" threadid="1" modulename="1" sourcefileinfo="1"' \
        '          sessioninfo="1" excelmode="0">' \
        "    <output name=\"file\" enable=\"${2:-1}\"/>" \
        "    <output name=\"outputdebugwindows\" enable=\"${3:-0}\"/>" \
        '  </global>' \
        "  <log filepath=\"$1\" filesizelimit=\"${4:-10}\" usedefaultfilename=\"1\"" \
        '       loglevel="0"/>' \
        '</logconfigure>' >"$CONFIG_FILE"
}

# e2e ARGS...: runs the helper; its "pid=P session=S" line lands in PID and SESSION.
PID=
SESSION=
e2e() {
    local output
    output=$(wine "$RUN_DIR/vtlog_e2e.exe" "$@" | tr -d '\r') || fail "vtlog_e2e $* failed"
    PID=$(sed -n 's/^pid=\([0-9]*\) session=.*/\1/p' <<<"$output")
    SESSION=$(sed -n 's/^pid=[0-9]* session=\([0-9]*\)$/\1/p' <<<"$output")
    [ -n "$PID" ] && [ -n "$SESSION" ] || fail "vtlog_e2e $* printed no identity: $output"
}

# The one day folder under $1; it must be named after the local date.
day_folder() {
    local days
    days=$(find "$1" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' 2>/dev/null)
    if [ "$(wc -w <<<"$days")" != 1 ]; then
        fail "expected one day folder in $1, found: ${days:-none}"
        return 1
    fi
    if [ "$days" != "$(date +%F)" ] && [ "$days" != "$(date -d '-1 minute' +%F)" ]; then
        fail "day folder $days is not today's date"
    fi
    echo "$1/$days"
}

# Lines of a log file without their line ends; every line must end in CR LF and nothing else.
lines_of() {
    local file=$1
    local lf cr crlf
    lf=$(tr -cd '\n' <"$file" | wc -c)
    cr=$(tr -cd '\r' <"$file" | wc -c)
    crlf=$(grep -c $'\r$' "$file")
    if [ "$lf" != "$cr" ] || [ "$lf" != "$crlf" ] || [ -n "$(tail -c 1 "$file" | tr -d '\n')" ]
    then
        fail "$(basename "$file"): line ends are not all CR LF ($lf LF, $cr CR)"
    fi
    tr -d '\r' <"$file"
}

# expect_line LINE MESSAGE: the whole line as the library builds it with every field on.
expect_line() {
    local pattern
    pattern="^[0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}  vtlog_e2e\.exe  SL\($SESSION\)  PID=$PID  "
    pattern+="TID=[0-9]+  TRACE  VTLogAdapter\.cpp\([0-9]+\)::VTLogAdapter::VTLogNet::Trace "
    pattern+="\"$2\" $"
    grep -Eq -- "$pattern" <<<"$1" || fail "line does not match: [$1], expected /$pattern/"
}

expect_file_lines() {   # FILE MESSAGE...: the file holds exactly these messages' lines
    local file=$1
    shift
    if [ ! -f "$file" ]; then
        fail "missing $file"
        return
    fi
    local -a lines
    mapfile -t lines < <(lines_of "$file")
    [ "${#lines[@]}" = $# ] || fail "$(basename "$file"): ${#lines[@]} lines, expected $#"
    local i=0 message
    for message in "$@"; do
        expect_line "${lines[$i]:-}" "$message"
        i=$((i + 1))
    done
}

rm -rf "$LOGS"
mkdir -p "$LOGS"

# --- registry views and the installation directory cut -----------------------------------------
begin registry-32-bit-view
set_install_dir 32
write_config "$LOGS_WIN\\view32"
e2e trace Views 1 "found in the 32-bit view"
if day=$(day_folder "$LOGS/view32"); then
    expect_file_lines "$day/Views.dat" "found in the 32-bit view #1"
fi

begin registry-64-bit-view
set_install_dir 64
write_config "$LOGS_WIN\\view64"
e2e trace Views 1 "found in the 64-bit view"
if [ "$ARCH" = x64 ]; then
    if day=$(day_folder "$LOGS/view64"); then
        expect_file_lines "$day/Views.dat" "found in the 64-bit view #1"
    fi
elif [ -e "$LOGS/view64" ]; then
    fail "the 32-bit build read the value of the 64-bit view"
fi

set_install_dir "$NATIVE_VIEW"

# --- line layout, module, session, general log and C API ---------------------------------------
begin lines
write_config "$LOGS_WIN\\lines"
e2e trace - 2 "general log"
if day=$(day_folder "$LOGS/lines"); then
    expect_file_lines "$day/vtlog_e2e.exe.dat" "general log #1" "general log #2"
    e2e capi Api "message" "+parameter"
    expect_file_lines "$day/Api.dat" "message\+parameter" "message"
fi

# --- two processes at once, unique names, size roll-over ---------------------------------------
begin processes
write_config "$LOGS_WIN\\processes" 1 0 0.1
text=$(printf 'x%.0s' {1..400})
out_a=$(mktemp)
out_b=$(mktemp)
wine "$RUN_DIR/vtlog_e2e.exe" trace Orders 300 "$text" 2 >"$out_a" &
wine "$RUN_DIR/vtlog_e2e.exe" trace Orders 300 "$text" 2 >"$out_b" &
wait
if day=$(day_folder "$LOGS/processes"); then
    for out in "$out_a" "$out_b"; do
        pid=$(tr -d '\r' <"$out" | sed -n 's/^pid=\([0-9]*\) .*/\1/p')
        if [ -z "$pid" ]; then
            fail "a writing process printed no identity"
            continue
        fi
        # This process's files, in the order it wrote them (its line numbers only grow).
        mapfile -t files < <(grep -l "PID=$pid " "$day"/Orders*.dat | while read -r f; do
            printf '%s %s\n' "$(tr -d '\r' <"$f" | head -n 1 | sed 's/.*#\([0-9]*\)" $/\1/')" "$f"
        done | sort -n | cut -d' ' -f2-)
        [ "${#files[@]}" = 2 ] || fail "process $pid wrote ${#files[@]} files, expected 2"
        expected=1
        for f in "${files[@]}"; do
            mapfile -t lines < <(lines_of "$f")
            grep -vq "PID=$pid " <<<"$(printf '%s\n' "${lines[@]}")" \
                && fail "$(basename "$f") holds lines of another process"
            for line in "${lines[@]}"; do
                if [[ $line != *"#$expected\" " ]]; then
                    fail "$(basename "$f"): line $expected missing"
                    break
                fi
                expected=$((expected + 1))
            done
        done
        [ "$expected" = 301 ] || fail "process $pid: $((expected - 1)) of 300 lines found in order"
        # The first file was replaced only after it passed the limit, by the line that crossed it.
        first=${files[0]:-}
        if [ -n "$first" ]; then
            size=$(stat -c %s "$first")
            last=$(tail -n 1 "$first" | wc -c)   # with its CR LF
            [ "$size" -gt "$LIMIT_BYTES" ] || fail "$(basename "$first") rolled over at $size bytes"
            [ $((size - last)) -le "$LIMIT_BYTES" ] \
                || fail "$(basename "$first") took a line after passing the limit"
        fi
    done
    names=$(cd "$day" && ls Orders*.dat | sort | tr '\n' ' ')
    [ "$names" = "Orders.dat Orders_1.dat Orders_2.dat Orders_3.dat " ] \
        || fail "unexpected file names: $names"
    e2e trace Orders 1 "a later process"
    expect_file_lines "$day/Orders_4.dat" "a later process #1"
fi
rm -f "$out_a" "$out_b"

# --- folder macros expand to Wine's own folders ------------------------------------------------
begin macros
common_files="Program Files/Common Files"
[ "$ARCH" = x86 ] && common_files="Program Files (x86)/Common Files"
for macro in COMMON_APPDATA LOCAL_APPDATA PROGRAM_FILES_COMMON COMMON_DOCUMENTS NO_SUCH_FOLDER; do
    sub="vtlog-e2e-$ARCH-$macro"
    find "$DRIVE_C" -maxdepth 5 -type d -name "$sub" -exec rm -rf {} + 2>/dev/null
    write_config "\$($macro)\\$sub"
    e2e trace Macro 1 "$macro"
    case $macro in
        COMMON_APPDATA | NO_SUCH_FOLDER) expected="$DRIVE_C/ProgramData/$sub" ;;
        LOCAL_APPDATA) expected=$(echo "$DRIVE_C"/users/*/AppData/Local/"$sub") ;;
        PROGRAM_FILES_COMMON) expected="$DRIVE_C/$common_files/$sub" ;;
        COMMON_DOCUMENTS) expected="$DRIVE_C/users/Public/Documents/$sub" ;;
    esac
    if day=$(day_folder "$expected"); then
        expect_file_lines "$day/Macro.dat" "$macro #1"
    fi
done

# --- debugger output ---------------------------------------------------------------------------
# What the helper sends to OutputDebugStringA, as Wine's debugstr channel reports it.
debugger_output() {
    WINEDEBUG=-all,+debugstr wine "$RUN_DIR/vtlog_e2e.exe" "$@" 2>&1 >/dev/null
}

begin debugger-on
write_config "$LOGS_WIN\\debug-on" 0 1
debug=$(debugger_output trace Debug 3 "to the debugger")
mapfile -t sent < <(grep 'OutputDebugStringA "' <<<"$debug")
[ "${#sent[@]}" = 3 ] || fail "${#sent[@]} debugger lines, expected 3: $debug"
for i in 1 2 3; do
    # Wine quotes the text C-style: the line's own quotation marks and line feed come escaped.
    ending=$(printf '\\"to the debugger #%d\\" \\n"' "$i")
    line=${sent[$((i - 1))]:-}
    [[ $line == *"OutputDebugStringA \""*"  vtlog_e2e.exe  SL("*"  TRACE  "*"$ending" ]] \
        || fail "debugger line $i: ${line:-none}"
done
[ ! -e "$LOGS/debug-on" ] || fail "file output is off, yet $LOGS/debug-on was made"

begin debugger-off
write_config "$LOGS_WIN\\debug-off" 1 0
debug=$(debugger_output trace Debug 3 "to the file")
grep -q 'OutputDebugStringA' <<<"$debug" && fail "debugger output while switched off: $debug"
if day=$(day_folder "$LOGS/debug-off"); then
    [ "$(lines_of "$day/Debug.dat" | wc -l)" = 3 ] || fail "Debug.dat does not hold 3 lines"
fi

# --- the named mutex lives with the library; the C API through GetProcAddress ------------------
begin mutex
write_config "$LOGS_WIN\\loader"
result=$(wine "$RUN_DIR/vtlog_e2e_loader.exe" Loader "loaded at run time" | tr -d '\r')
[ "$result" = OK ] || fail "vtlog_e2e_loader: $result"
if day=$(day_folder "$LOGS/loader"); then
    [ "$(lines_of "$day/Loader.dat" | grep -c '"loaded at run time" $')" = 1 ] \
        || fail "Loader.dat does not hold the line"
fi

CASE=summary
failures=$(wc -l <"$FAILURES")
if [ "$failures" -gt 0 ]; then
    echo "$ARCH end-to-end: $failures check(s) failed" >&2
    exit 1
fi
echo "$ARCH end-to-end: all checks passed"
