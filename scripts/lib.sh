# Shared shell helpers for the scripts in this folder (sourced, not run).

# Runs a command as root: directly when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs the Debian packages given that are not installed yet (one apt-get update at most).
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    as_root apt-get update -q
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
        "${missing[@]}"
}

# Packages every native build needs.
NATIVE_PACKAGES=(cmake ninja-build g++ make libtinyxml-dev googletest libgtest-dev libgmock-dev
                 libbenchmark-dev libspdlog-dev)

# Tools the integration suites drive: lnav reading our files, rsyslog shipping them (RELP from
# rsyslog-relp), jq checking what they report.
INTEGRATION_PACKAGES=(lnav rsyslog rsyslog-relp jq)

# Configures (once) and builds the native tree in $1.
build_native() {
    local build_dir=$1
    shift
    cmake -S "$ROOT" -B "$build_dir" -G Ninja "$@" >/dev/null
    cmake --build "$build_dir" --parallel 2
}

# Packages of the instrumented builds: Clang with its sanitizer runtimes and libFuzzer, and
# libffi, through which the format fuzzer makes its variadic calls.
SANITIZER_PACKAGES=(clang-14 libclang-rt-14-dev libffi-dev)

# Configures (once) and builds in $1 the native suites instrumented with the sanitizers in $2
# ("address,undefined", "thread"), with Clang 14; further arguments go to CMake.
build_sanitized() {
    local build_dir=$1 sanitizers=$2
    shift 2
    build_native "$build_dir" -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
        -DVTLOG_BUILD_TESTS=ON -DVTLOG_INSTALL=OFF "-DVTLOG_SANITIZE=$sanitizers" "$@"
}

# Runs "$@" and then prints how long it took, under the name $1.
timed() {
    local name=$1 start=$SECONDS
    shift
    "$@"
    echo "== $name: $((SECONDS - start)) s"
}

# The C entry points the shared library exports, one a line, as cmake/Exports.cmake lists them.
c_exports() {
    local root
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    sed -n '/^set(VTLOG_C_EXPORTS/,/^)/p' "$root/cmake/Exports.cmake" | grep -oE 'VTLogNet_[A-Za-z]+'
}
