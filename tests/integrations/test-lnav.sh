#!/usr/bin/env bash
# lnav, through scripts/view and our format, reads what the library writes: every layout, two
# processes, a roll-over, continuation lines, two day folders. Each record must come out once,
# in time order across all files, with its fields, level and date.
#   test-lnav.sh SAMPLE_WRITER
set -euo pipefail
source "$(dirname "$0")/suite.sh"
SAMPLES=$1

require_tools lnav lnav jq
make_work_folder lnav
export HOME=$WORK/home TZ=UTC
mkdir -p "$HOME"

"$SAMPLES" views "$WORK/logs" "$WORK/expected.tsv"
# lnav dates a time-only stamp by the file's modification time: put each file on its day, as
# the library leaves it (a file is never written after its own day).
for day in "$WORK"/logs/*/; do
    touch -d "$(basename "$day") 23:59:59" "$day"*.dat
done

view() {
    "$ROOT/scripts/view" "$WORK/logs" -n -c ";$1" -c ':write-json-to -'
}

files=$(find "$WORK/logs" -name '*.dat' | wc -l)
[ "$files" -ge 8 ] || fail "expected a roll-over and two day folders, found $files files"
read -r loaded ours < <(view "SELECT count(*) AS n, sum(format = 'vtlogadapter_log') AS ours
                             FROM lnav_file" | jq -r '.[0] | "\(.n) \(.ours)"')
[ "$loaded" = "$files" ] || fail "lnav loaded $loaded of $files files"
[ "$ours" = "$files" ] || fail "only $ours of $files files were recognised as our format"

# In the merged view's order, which is time order across every file. A line that the format
# did not recognise would join the record before it and show in that record's body.
view "SELECT log_time, log_level, module, session_kind, session, pid, tid, src_file, src_line,
             function, log_body
      FROM vtlogadapter_log ORDER BY log_line" | jq -r '.[] | [.[]] | @tsv' >"$WORK/got.tsv"
diff -u "$WORK/expected.tsv" "$WORK/got.tsv" | head -40 >&2 || true
cmp -s "$WORK/expected.tsv" "$WORK/got.tsv" \
    || fail "lnav's records differ from what was written (- expected, + lnav)"
echo "lnav: $(wc -l <"$WORK/got.tsv") records from $files files"
