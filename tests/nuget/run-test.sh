#!/usr/bin/env bash
# Packs the .NET assembly with the three native libraries given, and the ILogger provider beside
# it, then checks the packages as an application meets them (check-package.sh beside this file).
#   tests/nuget/run-test.sh LINUX_SO WIN_X64_DLL WIN_X86_DLL WORK_DIR
# The Windows libraries come from the Windows suite's builds. Where they are missing (no
# mingw-w64 or Wine here) the test is skipped (exit code 77) with a loud message; with CI=1 or
# VTLOG_REQUIRE_WINE=1 that is a failure instead.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
# Fixed, and unlike any released version, so the consumer can only find this package.
VERSION=1.0.0-packagetest

[ $# -eq 4 ] || { echo "usage: $0 LINUX_SO WIN_X64_DLL WIN_X86_DLL WORK_DIR" >&2; exit 2; }
LINUX_SO=$1 WIN_X64_DLL=$2 WIN_X86_DLL=$3
mkdir -p "$4"
WORK=$(cd "$4" && pwd)

required() {
    case ${CI:-0} in 1 | true) return 0 ;; esac
    [ "${VTLOG_REQUIRE_WINE:-0}" = 1 ]
}

[ -f "$LINUX_SO" ] || { echo "error: $LINUX_SO is missing: build the native library first" >&2; exit 1; }
missing=()
for dll in "$WIN_X64_DLL" "$WIN_X86_DLL"; do
    [ -f "$dll" ] || missing+=("$dll")
done
if [ "${#missing[@]}" -gt 0 ]; then
    if required; then
        echo "error: the NuGet package needs the Windows libraries, missing: ${missing[*]}" >&2
        echo "       (their build is the Windows suite's windows_x64_build/windows_x86_build)" >&2
        exit 1
    fi
    {
        echo "################################################################################"
        echo "# SKIPPED: NuGet package test, the Windows libraries were not built:"
        printf '#   %s\n' "${missing[@]}"
        echo "# Run scripts/install-windows-deps so the Windows suite can build them."
        echo "################################################################################"
    } >&2
    exit 77
fi

find "$WORK" -mindepth 1 -delete
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
dotnet pack "$ROOT/managed/dotnet/VTLogAdapter/VTLogAdapter.csproj" -c Release --nologo \
    --disable-build-servers --artifacts-path "$WORK/artifacts" -o "$WORK/feed" \
    -p:PackageVersion="$VERSION" \
    -p:VTLogAdapterNativeLinuxX64="$LINUX_SO" \
    -p:VTLogAdapterNativeWinX64="$WIN_X64_DLL" \
    -p:VTLogAdapterNativeWinX86="$WIN_X86_DLL"
PACKAGE=$WORK/feed/VTLogAdapter.$VERSION.nupkg
[ -f "$PACKAGE" ] || { echo "FAIL: dotnet pack made no $PACKAGE" >&2; exit 1; }
dotnet pack "$ROOT/managed/dotnet/VTLogAdapter.Extensions.Logging/VTLogAdapter.Extensions.Logging.csproj" \
    -c Release --nologo --disable-build-servers --artifacts-path "$WORK/artifacts" -o "$WORK/feed" \
    -p:PackageVersion="$VERSION"
LOGGING_PACKAGE=$WORK/feed/VTLogAdapter.Extensions.Logging.$VERSION.nupkg
[ -f "$LOGGING_PACKAGE" ] || { echo "FAIL: dotnet pack made no $LOGGING_PACKAGE" >&2; exit 1; }

# Each runtime gets the very file it was given (the two Windows ones share a name).
mkdir "$WORK/unpacked"
unzip -q "$PACKAGE" 'runtimes/*' -d "$WORK/unpacked"
for pair in "linux-x64/native/libVTLogAdapter.Native.so:$LINUX_SO" \
    "win-x64/native/VTLogAdapter.Native.dll:$WIN_X64_DLL" \
    "win-x86/native/VTLogAdapter.Native.dll:$WIN_X86_DLL"; do
    entry=runtimes/${pair%%:*}
    cmp -s "$WORK/unpacked/$entry" "${pair#*:}" \
        || { echo "FAIL: $entry in the package is not ${pair#*:}" >&2; exit 1; }
done

"$ROOT/tests/nuget/check-package.sh" "$PACKAGE" "$LOGGING_PACKAGE" "$WORK/check"
