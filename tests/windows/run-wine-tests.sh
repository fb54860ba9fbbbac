#!/usr/bin/env bash
# Runs the Windows test programs of a MinGW build under Wine, two at a time, in a fresh Wine
# prefix that is thrown away afterwards: the tests labelled `portable` or `windows` (see
# tests/CMakeLists.txt), one CTest entry per program. Builds nothing.
#
#   tests/windows/run-wine-tests.sh [BUILD_DIR]     (default: build/windows)
#
# Exits non-zero when a test fails or Wine cannot run. Message boxes are never shown: the
# display variables are cleared, so each box only leaves its line in the message log.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../../build/windows}
bin=$(cd "$build/bin" && pwd)
wine_bin=$(command -v wine || command -v wine64 || true)
[[ -n $wine_bin ]] || { echo "run-wine-tests: wine is not installed" >&2; exit 2; }
wineserver_bin=$(command -v wineserver || true)
[[ -n $wineserver_bin ]] || wineserver_bin=$(dirname "$(readlink -f "$wine_bin")")/wineserver

for p in test_windows.exe windows_peer.exe vigilagent.exe; do
  [[ -f $bin/$p ]] || { echo "run-wine-tests: $bin/$p is missing (build the windows preset first)" >&2; exit 2; }
done

export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vigil-wine.XXXXXX")
unset DISPLAY WAYLAND_DISPLAY

cleanup() {
  "$wineserver_bin" -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

# One persistent server for the whole run: the prefix is set up once and every program
# (and the peers they start) shares it.
"$wineserver_bin" -p
echo "run-wine-tests: preparing $WINEPREFIX"
timeout 180 "$wine_bin" wineboot --init >/dev/null 2>&1 || true

# The portable programs run on the in-memory port and touch nothing of Wine's; only
# test_windows uses the prefix's kernel objects and registry, so two programs at a time is safe.
status=0
ctest --test-dir "$build" -L 'portable|windows' -j2 --output-on-failure --no-tests=error || status=1

if [[ -f $WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log ]]; then
  echo "run-wine-tests: message log of the run:"
  sed 's/^/  /' "$WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log" | tail -n 20
fi
exit $status
