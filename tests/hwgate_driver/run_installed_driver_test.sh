#!/usr/bin/env bash
# Installs the cross-built hwgate-sim.sys as a kernel service in a fresh Wine prefix and runs
# the InstalledDriver tests of test_hwgate_driver.exe against it.
#
#   bash tests/hwgate_driver/run_installed_driver_test.sh [BUILD_DIR]   (default build/windows)
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-build/windows}
[[ $build = /* ]] || build=$source_dir/$build
for program in hwgate-sim.sys test_hwgate_driver.exe; do
  [[ -f $build/bin/$program ]] || { echo "$build/bin/$program is missing" >&2; exit 2; }
done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vigil-driver.XXXXXX")
export WINEPREFIX
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
wineserver -p
timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true

cp "$build/bin/hwgate-sim.sys" "$WINEPREFIX/drive_c/windows/system32/drivers/hwgate.sys"
timeout 60 wine sc create HwGate type= kernel binPath= 'C:\windows\system32\drivers\hwgate.sys' </dev/null >/dev/null
timeout 60 wine sc start HwGate </dev/null >/dev/null || true
state=$(timeout 60 wine sc query HwGate </dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *//p')
echo "HwGate: STATE : $state"
[[ $state == *RUNNING ]] || { echo "the driver did not start" >&2; exit 1; }

# The tests find the fixtures by their Linux path, which Wine reaches through drive Z:.
cd "$source_dir"
output=$(timeout 300 wine "$build/bin/test_hwgate_driver.exe" --gtest_filter='InstalledDriver.*' \
  --gtest_color=no </dev/null 2>&1 | tr -d '\r') || status=$?
echo "$output"
# A test that skipped (no device) or none at all would pass without proving anything.
if [[ ${status:-0} -ne 0 ]] || grep -q 'SKIPPED' <<<"$output" || ! grep -q 'PASSED.* [1-9][0-9]* test' <<<"$output"; then
  echo "the installed driver tests did not pass" >&2
  exit 1
fi
