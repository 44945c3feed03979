#!/usr/bin/env bash
# rsyslog ships what the library writes: a forwarder with our drop-in follows the log folder and
# sends each record over RELP to a receiver with our receiving configuration, which writes JSON.
# Both are private rsyslogd processes of this test (own configuration, work folder, pid file,
# free ports on 127.0.0.1). Every record must arrive once with its fields, also across an outage
# of the receiver and a restart of the forwarder.
#   test-rsyslog.sh SAMPLE_WRITER
set -euo pipefail
source "$(dirname "$0")/suite.sh"
SAMPLES=$1

require_tools rsyslog rsyslogd jq
modules=$(dirname "$(find /usr/lib -path '*/rsyslog/imfile.so' -print -quit 2>/dev/null)")
require_tools rsyslog "$modules/mmnormalize.so" "$modules/omrelp.so" "$modules/imrelp.so" \
    "$modules/mmjsonparse.so"
make_work_folder rsyslog
HOST=vtlog-test-host
LOGS=$WORK/logs
RECORDS=$WORK/receiver/records.json
mkdir -p "$LOGS" "$WORK/forwarder" "$WORK/receiver" "$WORK/staging"

# A port on 127.0.0.1 that nothing listens on.
free_port() {
    local port attempt
    for attempt in $(seq 100); do
        port=$((20000 + RANDOM % 40000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    fail "no free port found"
}
PORT=$(free_port)

# Our drop-ins with this test's folders, port and a 1-second resume interval.
sed -e "s|/var/lib/Vantiro/Logs|$LOGS|" -e "s|logs.example.net|127.0.0.1|" \
    -e "s|port=\"2514\"|port=\"$PORT\"|" -e "s|/etc/rsyslog.d/|$ROOT/integrations/rsyslog/|" \
    -e 's|action.resumeInterval="30"|action.resumeInterval="1"|' \
    "$ROOT/integrations/rsyslog/vtlogadapter.conf" >"$WORK/forwarder/vtlogadapter.conf"
sed -e "s|port=\"2514\"|port=\"$PORT\" address=\"127.0.0.1\"|" \
    -e "s|/var/log/vtlogadapter/records.json|$RECORDS|" \
    "$ROOT/integrations/rsyslog/vtlogadapter-receiver.conf" >"$WORK/receiver/vtlogadapter.conf"
grep -q "resumeInterval=\"1\"" "$WORK/forwarder/vtlogadapter.conf" \
    && grep -q "$LOGS" "$WORK/forwarder/vtlogadapter.conf" \
    && grep -q "$RECORDS" "$WORK/receiver/vtlogadapter.conf" \
    || fail "the drop-ins no longer hold the values this test replaces"
for side in forwarder receiver; do
    cat >"$WORK/$side/rsyslog.conf" <<CONF
global(workDirectory="$WORK/$side" localHostname="$HOST")
include(file="$WORK/$side/vtlogadapter.conf")
# rsyslog's own messages, for the failure report.
*.* action(type="omfile" file="$WORK/$side/rsyslog.log")
CONF
    rsyslogd -N1 -f "$WORK/$side/rsyslog.conf" >"$WORK/$side/check.log" 2>&1 \
        || { cat "$WORK/$side/check.log" >&2; fail "rsyslog rejects the $side configuration"; }
done

declare -A PIDS=()
start() {
    local side=$1
    rsyslogd -n -f "$WORK/$side/rsyslog.conf" -i "$WORK/$side/rsyslogd.pid" \
        >>"$WORK/$side/stderr.log" 2>&1 &
    PIDS[$side]=$!
    if [ "$side" = receiver ]; then
        local waited
        for waited in $(seq 100); do
            (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && return 0
            kill -0 "${PIDS[$side]}" 2>/dev/null || break
            sleep 0.1
        done
        report
        fail "the receiver does not listen on port $PORT"
    fi
}
stop() {
    local side=$1
    [ -n "${PIDS[$side]:-}" ] || return 0
    kill -TERM "${PIDS[$side]}" 2>/dev/null || true
    wait "${PIDS[$side]}" 2>/dev/null || true
    PIDS[$side]=
}
stop_services() {
    stop forwarder
    stop receiver
}
report() {
    local side
    for side in forwarder receiver; do
        echo "--- $side: rsyslog's messages" >&2
        tail -n 20 "$WORK/$side/rsyslog.log" "$WORK/$side/stderr.log" 2>/dev/null >&2 || true
    done
}

# Records the receiver holds, as "RECORDS DISTINCT": all of them, and each (logfile, offset) once.
# A line the receiver is still writing is not counted yet.
count_records() {
    [ -s "$RECORDS" ] || { echo "0 0"; return; }
    jq -R -n -r '[inputs | fromjson? | [.logfile, .offset]] | "\(length) \(unique | length)"' \
        "$RECORDS"
}

# Waits until the receiver holds $1 distinct records. A loaded machine may take its time, but the
# wait ends when $2 seconds pass without a new record (records that rsyslog holds back do not
# come later), and after two minutes in any case.
wait_for_records() {
    local want=$1 patience=$2 have=0 distinct=0 last=-1 since=$SECONDS limit=$((SECONDS + 120))
    while [ "$SECONDS" -lt "$limit" ]; do
        read -r have distinct < <(count_records)
        [ "$distinct" -ge "$want" ] && break
        if [ "$have" -ne "$last" ]; then
            echo "$SECONDS s: $have" >>"$WORK/arrivals.log"
            last=$have
            since=$SECONDS
        elif [ $((SECONDS - since)) -ge "$patience" ]; then
            break
        fi
        sleep 0.5
    done
    # A record sent twice may be a moment late.
    sleep 1
    read -r have distinct < <(count_records)
    if [ "$distinct" -ne "$want" ]; then
        report
        echo "--- records at the receiver, by seconds into the suite" >&2
        tail -n 8 "$WORK/arrivals.log" >&2
        fail "the receiver holds $distinct distinct records, expected $want"
    fi
    if [ "$have" -ne "$distinct" ]; then
        jq -R -n -c '[inputs | fromjson? | {logfile, offset, msg}] | group_by([.logfile, .offset])
                     | map(select(length > 1)[0])[:5][]' "$RECORDS" >&2
        fail "the receiver holds $((have - distinct)) records twice"
    fi
}

# The burst records 0..$1-1 and 7000..7000+$2-1 must each be there once, with every field as
# the sample writer made it; the views set must read as lnav reads it.
check_records() {
    local burst=$1 copied=$2 unparsed
    unparsed=$(jq -s -r 'limit(3; .[] | select(has("unparsed")) | .unparsed)' "$RECORDS")
    [ -z "$unparsed" ] || fail "records the rules did not split, e.g.:"$'\n'"$unparsed"
    jq -s -r --arg host "$HOST" --arg logs "$LOGS/" --argjson burst "$burst" \
        --argjson copied "$copied" '
        def pad(n): tostring | ("000" + .)[-n:];
        def burstTime(seq): (36000000 + seq * 10) as $ms
            | "\($ms / 3600000 | floor | pad(2)):\($ms / 60000 % 60 | floor | pad(2)):" +
              "\($ms / 1000 % 60 | floor | pad(2)).\($ms % 1000 | pad(3))";
        [.[] | select(.msg | startswith("seq="))] as $shipped
        | ([range(0; $burst)] + [range(7000; 7000 + $copied)]) as $want
        | [$shipped[] | .msg | capture("^seq=(?<n>[0-9]+)").n | tonumber] as $got
        | (if ($got | sort) != $want then
               "burst records missing: \($want - $got | .[:10]), repeated: " +
               "\($got | group_by(.) | map(select(length > 1)[0]) | .[:10])"
           else empty end),
          ($shipped[]
           | (.msg | capture("^seq=(?<n>[0-9]+)").n | tonumber) as $n
           | (if $n >= 7000 then 0 else $n % 2 end) as $k
           | {
               timestamp: "\(if $n < 5000 then "2026-12-09" else "2026-12-10" end)T\(burstTime($n))",
               module: "burst.exe", session_kind: "L", session: 1, pid: (2001 + $k),
               tid: (21 + $k), level: (["INFO", "TRACE", "WARN", "ERROR", "FATAL"][$n % 5]),
               src_file: "burst.cpp", src_line: $n, function: "Burst",
               msg: ("seq=\($n) payload" +
                     (if $n % 100 == 99 then "\nsecond line of \($n)" else "" end)),
               host: $host
             } as $expected
           | (. | del(.logfile, .offset)) as $fields
           | if $fields != $expected then "record \($n): \($fields) expected \($expected)"
             elif (.logfile | startswith($logs) | not) then "record \($n): logfile \(.logfile)"
             else empty end)
        ' "$RECORDS" >"$WORK/problems.txt"
    if [ -s "$WORK/problems.txt" ]; then
        head -n 20 "$WORK/problems.txt" >&2
        fail "the shipped burst records are wrong"
    fi
    # The views set, sorted by time, in lnav's columns and level names; continuation lines
    # arrive without the tab that the file puts before them.
    jq -s -r '
        .[]
        | select(.msg | startswith("seq=") | not)
        | [(.timestamp | sub("T"; " ")),
           ({"INFO": "info", "TRACE": "trace", "WARN": "warning", "ERROR": "error",
             "FATAL": "fatal"}[.level]),
           .module, .session_kind, .session, .pid, .tid, .src_file, .src_line, .function, .msg]
        | @tsv' "$RECORDS" | LC_ALL=C sort >"$WORK/views-got.tsv"
    sed 's/\\n\\t/\\n/g' "$WORK/expected.tsv" | LC_ALL=C sort >"$WORK/views-expected.tsv"
    if ! cmp -s "$WORK/views-expected.tsv" "$WORK/views-got.tsv"; then
        diff -u "$WORK/views-expected.tsv" "$WORK/views-got.tsv" | head -30 >&2 || true
        fail "the shipped records of every layout differ from what was written"
    fi
}

# Files present before the forwarder starts, and new day folders and roll-overs while it runs.
"$SAMPLES" views "$LOGS" "$WORK/expected.tsv"
VIEWS=$(wc -l <"$WORK/expected.tsv")
start receiver
start forwarder
# The burst starts once the forwarder follows the folder, so its new day folder and roll-over
# files appear while rsyslog runs rather than while it starts.
wait_for_records "$VIEWS" 30
began=$SECONDS
"$SAMPLES" burst "$LOGS" 2026-12-09 0 5000 2
wait_for_records $((VIEWS + 5000)) 30
check_records 5000 0
echo "rsyslog: $((VIEWS + 5000)) records shipped in $((SECONDS - began)) s"

# The receiver away while 1,000 more records come in; they wait in the forwarder's queue until
# it is back. Then the forwarder is stopped and started again, and a file copied from Windows
# arrives while it is down: it must go on where it stopped, repeating nothing.
stop receiver
began=$SECONDS
"$SAMPLES" burst "$LOGS" 2026-12-10 5000 1000 2
sleep 2
start receiver
wait_for_records $((VIEWS + 6000)) 30
echo "rsyslog: $((VIEWS + 6000)) records shipped across the outage in $((SECONDS - began)) s"
stop forwarder
began=$SECONDS
"$SAMPLES" burst "$WORK/staging" 2026-12-10 7000 100 1
sed 's/$/\r/' "$WORK/staging/2026-12-10/burst.exe.dat" >"$LOGS/2026-12-10/copied.dat"
start forwarder
wait_for_records $((VIEWS + 6100)) 30
check_records 6000 100
grep -q $'\r' "$RECORDS" && fail "a carriage return reached the receiver"
echo "rsyslog: $((VIEWS + 6100)) records shipped once each, across the forwarder's restart" \
    "in $((SECONDS - began)) s"
