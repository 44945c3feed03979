# Shared by the integration suites (sourced): tool checks, a private folder, failures.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Ends the suite when a tool is missing: a failure on CI (CI=1), a loud skip (77) elsewhere.
require_tools() {
    local suite=$1
    shift
    local missing=() tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || [ -e "$tool" ] || missing+=("$tool")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    if [ "${CI:-0}" = 1 ] || [ "${CI:-0}" = true ]; then
        fail "the $suite suite cannot run on CI, missing: ${missing[*]} (scripts/test installs them)"
    fi
    echo "# SKIPPED: $suite suite, missing: ${missing[*]}; scripts/test installs them" >&2
    exit 77
}

# A private folder for the suite, removed when it ends unless VTLOG_KEEP_WORK=1.
make_work_folder() {
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/vtlog-$1.XXXXXX")
    [ "${VTLOG_KEEP_WORK:-0}" = 1 ] && echo "work folder kept: $WORK" >&2
    trap 'cleanup_work' EXIT
}

# Services the suite started end with it, also when the folder is kept for a post-mortem.
cleanup_work() {
    [ "$(type -t stop_services)" = function ] && stop_services
    [ "${VTLOG_KEEP_WORK:-0}" = 1 ] || rm -rf "$WORK"
}
