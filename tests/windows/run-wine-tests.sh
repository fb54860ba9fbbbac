#!/usr/bin/env bash
# Runs the Windows test programs of a MinGW build under Wine, in a fresh Wine prefix that is
# thrown away afterwards. Builds nothing.
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

# Every cross-built test program: the Win32 backend tests and the portable unit tests.
mapfile -t programs < <(cd "$bin" && ls test_*.exe 2>/dev/null)
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

status=0
for p in "${programs[@]}"; do
  echo "run-wine-tests: $p"
  if ! timeout 300 "$wine_bin" "$bin/$p" --gtest_color=no; then
    echo "run-wine-tests: $p FAILED" >&2
    status=1
  fi
done

if [[ -f $WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log ]]; then
  echo "run-wine-tests: message log of the run:"
  sed 's/^/  /' "$WINEPREFIX/drive_c/ProgramData/Vigilagent/messages.log" | tail -n 20
fi
exit $status
