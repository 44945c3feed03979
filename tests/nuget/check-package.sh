#!/usr/bin/env bash
# Checks a VTLogAdapter NuGet package and its ILogger provider package the way an application
# meets them:
#   tests/nuget/check-package.sh PACKAGE.nupkg LOGGING_PACKAGE.nupkg WORK_DIR
# - the package holds the assembly and, under runtimes/<rid>/native/, the native library for
#   linux-x64, win-x64 and win-x86, each built for its machine;
# - a fresh console project restores it from a local folder (the machine's usual NuGet sources
#   stay available) into a private packages folder, so the user's package cache is left alone;
# - the provider package holds its assembly and README and depends on VTLogAdapter of its own
#   version;
# - the program runs on Linux against a private registry root and configuration and writes the
#   expected lines, one through VTLogNet and one through ILogger.
# WORK_DIR is emptied first. Exits non-zero on the first fault found.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)

[ $# -eq 3 ] || { echo "usage: $0 PACKAGE.nupkg LOGGING_PACKAGE.nupkg WORK_DIR" >&2; exit 2; }
[ -f "$1" ] || { echo "error: $1 does not exist" >&2; exit 1; }
[ -f "$2" ] || { echo "error: $2 does not exist" >&2; exit 1; }
PACKAGE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
LOGGING_PACKAGE=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
mkdir -p "$3"
WORK=$(cd "$3" && pwd)
find "$WORK" -mindepth 1 -delete

export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- contents -------------------------------------------------------------------------------
nuspec=$(unzip -p "$PACKAGE" VTLogAdapter.nuspec) || fail "no VTLogAdapter.nuspec in $PACKAGE"
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' <<<"$nuspec")
version=$(sed -n 's:.*<version>\(.*\)</version>.*:\1:p' <<<"$nuspec")
[ "$id" = VTLogAdapter ] || fail "package id is '$id', not VTLogAdapter"
[ -n "$version" ] || fail "no version in the nuspec"
echo "Package $id $version: $PACKAGE"

listing=$(unzip -Z1 "$PACKAGE")
# Expected native entries and the object format each must have (objdump's names).
declare -A natives=(
    [runtimes/linux-x64/native/libVTLogAdapter.Native.so]=elf64-x86-64
    [runtimes/win-x64/native/VTLogAdapter.Native.dll]=pei-x86-64
    [runtimes/win-x86/native/VTLogAdapter.Native.dll]=pei-i386
)
for entry in lib/netstandard2.0/VTLogAdapter.dll "${!natives[@]}"; do
    grep -qxF "$entry" <<<"$listing" || fail "$entry is missing from the package"
done
unexpected=$(grep '^runtimes/' <<<"$listing" | grep -vxF "$(printf '%s\n' "${!natives[@]}")" || true)
[ -z "$unexpected" ] || fail "unexpected runtime files in the package:" $unexpected

unzip -q "$PACKAGE" -d "$WORK/contents"
for entry in "${!natives[@]}"; do
    format=$(objdump -f "$WORK/contents/$entry" | sed -n 's/.*file format //p')
    [ "$format" = "${natives[$entry]}" ] \
        || fail "$entry is $format, not ${natives[$entry]}: a library of the wrong machine"
done
echo "Contents: lib/netstandard2.0/VTLogAdapter.dll and the native library for linux-x64," \
    "win-x64 and win-x86"

logging_id=VTLogAdapter.Extensions.Logging
logging_nuspec=$(unzip -p "$LOGGING_PACKAGE" "$logging_id.nuspec") \
    || fail "no $logging_id.nuspec in $LOGGING_PACKAGE"
[ "$(sed -n 's:.*<version>\(.*\)</version>.*:\1:p' <<<"$logging_nuspec")" = "$version" ] \
    || fail "$logging_id is not version $version"
grep -qE "<dependency id=\"VTLogAdapter\" version=\"\\[?$version[],\"]" <<<"$logging_nuspec" \
    || fail "$logging_id does not depend on VTLogAdapter $version"
logging_listing=$(unzip -Z1 "$LOGGING_PACKAGE")
for entry in "lib/netstandard2.0/$logging_id.dll" README.md; do
    grep -qxF "$entry" <<<"$logging_listing" || fail "$entry is missing from $logging_id"
done
! grep -q '^runtimes/' <<<"$logging_listing" || fail "$logging_id carries a native library of its own"
echo "Package $logging_id $version: $LOGGING_PACKAGE"

# --- a fresh application restores them --------------------------------------------------------
mkdir -p "$WORK/feed" "$WORK/consumer"
cp "$PACKAGE" "$LOGGING_PACKAGE" "$WORK/feed/"
cp "$HERE/consumer/Consumer.csproj" "$HERE/consumer/Program.cs" "$WORK/consumer/"
# Nothing from the folders above (the build tree may sit inside the checkout) may shape it.
printf '<Project />\n' >"$WORK/consumer/Directory.Build.props"
printf '<Project />\n' >"$WORK/consumer/Directory.Build.targets"
# No <clear/>: the user's and the machine's sources stay, for the framework's packages.
cat >"$WORK/consumer/nuget.config" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <packageSources>
    <add key="vtlogadapter-local" value="$WORK/feed" />
  </packageSources>
</configuration>
EOF

dotnet_options=(--nologo --disable-build-servers -p:VTLogAdapterVersion="$version")
dotnet restore "$WORK/consumer/Consumer.csproj" --packages "$WORK/packages" "${dotnet_options[@]}"
restored=$WORK/packages/vtlogadapter/$version
[ -f "$restored/vtlogadapter.$version.nupkg" ] || fail "VTLogAdapter $version was not restored into $WORK/packages"
cmp -s "$restored/vtlogadapter.$version.nupkg" "$PACKAGE" \
    || fail "the restored VTLogAdapter $version is not the package under test"
cmp -s "$WORK/packages/vtlogadapter.extensions.logging/$version/vtlogadapter.extensions.logging.$version.nupkg" \
    "$LOGGING_PACKAGE" || fail "the restored $logging_id $version is not the package under test"
dotnet build "$WORK/consumer/Consumer.csproj" --no-restore -c Release -o "$WORK/consumer/out" \
    "${dotnet_options[@]}"

out=$WORK/consumer/out
[ -f "$out/runtimes/linux-x64/native/libVTLogAdapter.Native.so" ] \
    || fail "the build output has no runtimes/linux-x64/native/libVTLogAdapter.Native.so"
[ ! -e "$out/libVTLogAdapter.Native.so" ] \
    || fail "libVTLogAdapter.Native.so sits beside the application, not in its runtime folder"
for rid in win-x64 win-x86; do
    grep -qF "\"runtimes/$rid/native/VTLogAdapter.Native.dll\"" "$out/Consumer.deps.json" \
        || fail "Consumer.deps.json does not offer the $rid native library"
done

# --- it runs and writes -----------------------------------------------------------------------
run=$(mktemp -d "${TMPDIR:-/tmp}/vtlognugetXXXXXX")
trap 'rm -rf "$run"' EXIT
key=$run/registry/HKEY_LOCAL_MACHINE/SOFTWARE/Corvessa/Vantiro
mkdir -p "$key" "$run/bin"
printf '%s/\n' "$run/bin" >"$key/ZLM_HOME"
cat >"$run/bin/LogConfigure.xml" <<EOF
<LogConfigure enable="1">
  <global processid="1" threadid="1" modulename="1" sourcefileinfo="1" sessioninfo="1" excelmode="0">
    <output name="file" enable="1"/>
    <output name="outputdebugwindows" enable="0"/>
  </global>
  <log filepath="$run/logs" loglevel="0" filesizelimit="10" usedefaultfilename="1"/>
</LogConfigure>
EOF

token=nuget$$x$RANDOM
# Only the package may supply the native library.
env -u LD_LIBRARY_PATH VTLOGADAPTER_REGISTRY_ROOT="$run/registry" dotnet "$out/Consumer.dll" "$token"

expected="VTLogAdapter.cpp(60)::VTLogAdapter::VTLogNet::Trace \"package consumer ☃: $token\" "
[ -d "$run/logs" ] || fail "the program wrote no log folder"
matches=$(grep -rlF -- "$expected" "$run/logs" || true)
[ -n "$matches" ] || { find "$run" -type f >&2; fail "no log line ends with: $expected"; }
[ "$(grep -rhF -- "$expected" "$run/logs" | wc -l)" = 1 ] || fail "the line was written more than once"
# Under logs/<day folder>/, as the engine files it.
relative=${matches#"$run/logs/"}
[[ $relative == */* && $relative != */*/* ]] || fail "the log file $relative is not in a day folder"
line=$(grep -hF -- "$expected" "$matches")
[[ $line == *" TRACE "* ]] || fail "not a TRACE line: $line"
echo "Written to logs/$relative:"
echo "  $line"

# Through ILogger: the level word and the category where the source location would be.
expected=" WARN  NuGetConsumer.ILogger \"ilogger consumer ☃: $token\" "
line=$(grep -rhF -- "$expected" "$run/logs" || true)
[ -n "$line" ] || { find "$run" -type f >&2; fail "no log line holds: $expected"; }
echo "  $line"
echo "PASS: $id and $logging_id $version restore, build and log from a fresh console project"
