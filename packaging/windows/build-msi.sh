#!/usr/bin/env bash
# Builds the Windows installer from the cross-built programs with wixl.
#
#   packaging/windows/build-msi.sh BIN_DIR VERSION OUTPUT.msi [SOURCE.wxs]
#
# BIN_DIR holds vigilagent.exe and vigilctl.exe; VERSION is the project's (CMake passes it);
# SOURCE defaults to vigilagent.wxs beside this script. The event tables are generated from
# every fixtures/eventtables/*.reg. The WiX source is held strictly: wixl only warns about an
# attribute it does not know and builds on without it, so any message from wixl fails the build.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
[[ $# -ge 3 ]] || { echo "usage: $0 BIN_DIR VERSION OUTPUT.msi [SOURCE.wxs]" >&2; exit 2; }
bin=$(cd "$1" && pwd)
version=$2
output=$(realpath -m "$3")
wxs=$(realpath "${4:-$here/vigilagent.wxs}")

work=$(mktemp -d "${TMPDIR:-/tmp}/vigil-msi.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 "$here/eventtables_wxs.py" "$source_dir/fixtures/eventtables" "$work/eventtables.wxs"

# wixl takes File sources relative to the working directory.
rm -f "$output"
if ! (cd "$bin" && wixl --arch x64 -D Version="$version" -D BinDir=. -o "$output" \
        "$wxs" "$work/eventtables.wxs") >"$work/wixl.log" 2>&1 || [[ -s $work/wixl.log ]]; then
  sed 's/^/wixl: /' "$work/wixl.log" >&2
  rm -f "$output"
  echo "build-msi: $wxs does not build cleanly" >&2
  exit 1
fi

# The event source's message file paths are REG_EXPAND_SZ, which wixl cannot write: the
# installer's #% type prefix is set here.
msibuild "$output" -q "UPDATE \`Registry\` SET \`Value\` = '#%[#vigilagent.exe]' WHERE \`Value\` = '[#vigilagent.exe]'"
echo "$output"
