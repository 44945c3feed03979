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

# Configures (once) and builds the native tree in $1.
build_native() {
    local build_dir=$1
    shift
    cmake -S "$ROOT" -B "$build_dir" -G Ninja "$@" >/dev/null
    cmake --build "$build_dir" --parallel 2
}
