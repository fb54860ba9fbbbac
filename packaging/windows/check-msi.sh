#!/usr/bin/env bash
# The Windows installer checked: its WiX source held strictly, its tables read back with
# msiinfo, then under Wine, in a fresh prefix thrown away afterwards, an install, a major
# upgrade to a second installer of a higher version and an uninstall.
#
#   packaging/windows/check-msi.sh [BUILD_DIR]     (default: build/windows)
#
# Needs the windows preset built with its msi target (Vigilagent-<version>-x64.msi), wixl,
# msitools, wine and python3. It builds only the upgrade's installer, from a copy of the
# programs with a changed vigilctl.exe, so that the upgrade can be seen to replace it.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
bin=$build/bin
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
msi=$build/Vigilagent-$version-x64.msi
[[ -f $msi ]] || { echo "check-msi: $msi is missing (cmake --build --preset windows --target msi)" >&2; exit 2; }
for p in hwgate-sim.sys hwgate-simctl.exe; do
  [[ -f $bin/$p ]] || { echo "check-msi: $bin/$p is missing (build the windows preset first)" >&2; exit 2; }
done
tables=("$source_dir"/fixtures/eventtables/*.reg)
scenario=$source_dir/fixtures/scenarios/kelvo-b720.json
started=$SECONDS

source "$source_dir/tests/windows/wine_session.sh"
wine_session_start msi
work=$WINEPREFIX/work
mkdir "$work"
pass "Wine prefix ready ($((SECONDS - started)) s)"

echo "== The WiX source and the installer's tables"
python3 "$here/eventtables_wxs_test.py" 2>"$work/unittest.log" || { cat "$work/unittest.log" >&2; fail "eventtables_wxs_test.py"; }
pass "eventtables_wxs_test.py: the .reg reading"
# A misspelt attribute is the error wixl lets through on its own: it must stop the build.
sed 's/ Start="auto"/ Strat="auto"/' "$here/vigilagent.wxs" >"$work/broken.wxs"
grep -q 'Strat="auto"' "$work/broken.wxs" || fail "could not make the broken source"
if bash "$here/build-msi.sh" "$bin" "$version" "$work/broken.msi" "$work/broken.wxs" >/dev/null 2>&1; then
  fail "a source with an unknown attribute built"
fi
pass "a .wxs with an unknown attribute fails the build"

# Table rows without msiinfo's three header lines, tab-separated.
rows() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r'; }
column_of() { awk -F'\t' -v key="$3" -v col="$4" '$1 == key {print $col}' <(rows "$1" "$2"); }

# Service type 16: own process; start type 2: automatic.
[[ $(rows "$msi" ServiceInstall | awk -F'\t' '{print $2, $4, $5, $9}') == "Vigilagent 16 2 LocalSystem" ]] ||
  fail "ServiceInstall: $(rows "$msi" ServiceInstall)"
[[ -n $(rows "$msi" ServiceInstall | cut -f13) ]] || fail "the service has no description"
# 163 = start (1) and stop (2) at install, stop (32) and delete (128) at uninstall.
[[ $(rows "$msi" ServiceControl | awk -F'\t' '{print $2, $3}') == "Vigilagent 163" ]] ||
  fail "ServiceControl: $(rows "$msi" ServiceControl)"
pass "ServiceInstall: Vigilagent, own process, automatic, LocalSystem; ServiceControl: event 163"

files=$(rows "$msi" File | cut -f3 | sed 's/.*|//' | sort | tr '\n' ' ')
[[ $files == "vigilagent.exe vigilctl.exe " ]] || fail "File table: $files"
pass "File: vigilagent.exe vigilctl.exe (no driver)"

want_values=$(cat "${tables[@]}" | grep -c '^"')
got_values=$(rows "$msi" Registry | awk -F'\t' '$3 ~ /^SOFTWARE\\NVXAgents\\VigilAgent\\Parameters\\/' | wc -l)
((want_values == got_values)) || fail "Registry: $got_values table values, the .reg files hold $want_values"
source_values=$(rows "$msi" Registry | awk -F'\t' '$3 ~ /EventLog\\Application\\Vigil Agent$/ {print $4 "=" $5}' | sort | tr '\n' ' ')
[[ $source_values == "CategoryCount=#2 CategoryMessageFile=#%[#vigilagent.exe] EventMessageFile=#%[#vigilagent.exe] ParameterMessageFile=#%[#vigilagent.exe] TypesSupported=#7 " ]] ||
  fail "event source rows: $source_values"
pass "Registry: $got_values event table values from ${#tables[@]} .reg files, the event source"

recovery=$(column_of "$msi" CustomAction ServiceRecovery 4)
[[ $recovery == *"failure Vigilagent reset= 86400 actions= restart/60000/restart/60000" ]] ||
  fail "recovery action: $recovery"
seq_of() { column_of "$msi" InstallExecuteSequence "$1" 3; }
(($(seq_of ServiceRecovery) > $(seq_of InstallServices))) || fail "recovery set before the service exists"
(($(seq_of RemoveExistingProducts) < $(seq_of InstallFiles))) || fail "the old version is removed after the new one is in"
[[ $(column_of "$msi" Property ProductVersion 2) == "$version" ]] || fail "ProductVersion is not $version"
[[ $(rows "$msi" LaunchCondition | cut -f1) == "NOT WIX_DOWNGRADE_DETECTED" ]] || fail "no downgrade refusal"
pass "recovery by sc.exe after InstallServices; RemoveExistingProducts before InstallFiles; no downgrade; version $version"

IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
mkdir "$work/bin"
cp "$bin/vigilagent.exe" "$bin/vigilctl.exe" "$work/bin/"
printf 'Vigilagent %s\n' "$next" >>"$work/bin/vigilctl.exe"  # bytes after the image: it still runs
upgrade_msi=$work/Vigilagent-$next-x64.msi
bash "$here/build-msi.sh" "$work/bin" "$next" "$upgrade_msi" >/dev/null
[[ $(column_of "$upgrade_msi" Property UpgradeCode 2) == "$(column_of "$msi" Property UpgradeCode 2)" ]] ||
  fail "the upgrade has another UpgradeCode"
[[ $(column_of "$upgrade_msi" Property ProductCode 2) != "$(column_of "$msi" Property ProductCode 2)" ]] ||
  fail "the upgrade has the same ProductCode"
pass "upgrade installer $next: same UpgradeCode, new ProductCode"

echo "== Install"
start_sim_driver "$bin" "$(winpath "$bin/hwgate-simctl.exe")" "$scenario"
w msiexec /i "$(winpath "$msi")" /qn /l*v 'C:\install.log' || fail "msiexec /i $(basename "$msi")"
pass "msiexec /i $(basename "$msi") /qn"
# Wine keeps no recovery actions; the installer's log shows at least that sc.exe ran for them.
install_log=$(tr -d '\0\r' <"$WINEPREFIX/drive_c/install.log")  # ASCII, or UTF-16 elsewhere
grep -qi 'SCEXE = C:\\windows\\system32\\sc.exe$' <<<"$install_log" &&
  grep -q 'Action ended .*: ServiceRecovery. Return value 1.' <<<"$install_log" || fail "the recovery action did not run"
pass "install log: ServiceRecovery ran C:\\windows\\system32\\sc.exe"

install_dir="$WINEPREFIX/drive_c/Program Files/Vigilagent"
agent_path='C:\Program Files\Vigilagent\vigilagent.exe'
vigilctl='C:\Program Files\Vigilagent\vigilctl.exe'
service_key='HKLM\System\CurrentControlSet\Services\Vigilagent'
source_key='HKLM\System\CurrentControlSet\Services\EventLog\Application\Vigil Agent'
params='HKLM\SOFTWARE\NVXAgents\VigilAgent\Parameters'
position_key="$params\\RegEventLog Parameter"
# A value's data, empty when it does not exist (yet).
reg_value() { { w reg query "$1" /v "$2" || true; } | awk -v n="$2" '$1 == n {$1 = $2 = ""; sub(/^  /, ""); print}'; }

service=$(w reg query "$service_key")
for want in "Start    REG_DWORD    0x2" "Type    REG_DWORD    0x10" "ObjectName    REG_SZ    LocalSystem" \
            "ImagePath    REG_SZ    $agent_path"; do
  grep -qF "$want" <<<"$service" || fail "service registration lacks \"$want\": $service"
done
pass "service Vigilagent: automatic start, own process, LocalSystem, $agent_path"
[[ $(ls "$install_dir" | tr '\n' ' ') == "vigilagent.exe vigilctl.exe " ]] || fail "installed files: $(ls "$install_dir")"
cmp -s "$install_dir/vigilagent.exe" "$bin/vigilagent.exe" && cmp -s "$install_dir/vigilctl.exe" "$bin/vigilctl.exe" ||
  fail "installed programs differ from the build's"
pass "files: vigilagent.exe, vigilctl.exe in C:\\Program Files\\Vigilagent"
[[ $(w reg query "$source_key" | grep -cF "MessageFile    REG_EXPAND_SZ    $agent_path") == 3 ]] ||
  fail "event source: $(w reg query "$source_key")"
pass "event source: the message files name $agent_path"

# The tables as Wine's reg.exe writes them back, section by section, against the .reg files.
w reg export "$params" "$(winpath "$work")\\tables.reg" /y >/dev/null || fail "reg export"
python3 - "$work/tables.reg" "${tables[@]}" <<'PY' || fail "event tables differ from the .reg files"
import pathlib, sys
def sections(text):
    out, current = {}, None
    for line in text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = out.setdefault(line.lower(), set())
        elif line and current is not None:
            current.add(line)
    return out
exported = sections(pathlib.Path(sys.argv[1]).read_text(encoding="utf-16"))
for name in sys.argv[2:]:
    for key, lines in sections(pathlib.Path(name).read_text(encoding="utf-8-sig")).items():
        if exported.get(key) != lines:
            sys.exit(f"{name} {key}: {sorted(lines ^ exported.get(key, set()))[:5]}")
PY
pass "event tables: reg export equals the ${#tables[@]} .reg files"

wait_state Vigilagent RUNNING 20
status_ok() {
  local status _
  for _ in $(seq 20); do
    status=$(w "$vigilctl" status --json || true)
    grep -q '"startupComplete": *1' <<<"$status" && return 0
    sleep 1
  done
  fail "vigilctl status: $status"
}
status_ok
grep -q "System boot" <<<"$(w "$vigilctl" events)" || fail "no event texts from the installed tables"
pass "started by the install: vigilctl status (start-up complete), events with their texts"
position=""
for _ in $(seq 10); do position=$(reg_value "$position_key" offset); [[ -n $position ]] && break; sleep 1; done
((position > 0)) || fail "no read position saved"
pass "state: read position $position under Parameters\\RegEventLog Parameter"

echo "== Upgrade to $next"
w msiexec /i "$(winpath "$upgrade_msi")" /qn || fail "msiexec /i $(basename "$upgrade_msi")"
products=$(w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s)
[[ $(grep -c "DisplayName    REG_SZ    Vigilagent$" <<<"$products") == 1 ]] || fail "installed products: $products"
grep -q "DisplayVersion    REG_SZ    $next" <<<"$products" || fail "the installed product is not $next"
[[ $(w reg query 'HKLM\System\CurrentControlSet\Services' | grep -ci '\\Vigilagent$') == 1 ]] ||
  fail "not one Vigilagent service"
cmp -s "$install_dir/vigilctl.exe" "$work/bin/vigilctl.exe" || fail "vigilctl.exe not replaced"
pass "one product ($next), one service, the new vigilctl.exe in place"
wait_state Vigilagent RUNNING 20
status_ok
(($(reg_value "$position_key" offset) >= position)) || fail "read position lost: $(reg_value "$position_key" offset)"
pass "after the upgrade: running, vigilctl status works, read position kept"

echo "== Uninstall"
w sc stop Vigilagent >/dev/null || true
wait_state Vigilagent STOPPED 30
position=$(reg_value "$position_key" offset)
w msiexec /x "$(winpath "$upgrade_msi")" /qn || fail "msiexec /x"
[[ -z $(service_state Vigilagent) ]] && ! w reg query "$service_key" >/dev/null || fail "the service remains"
[[ ! -e $install_dir ]] || fail "files remain: $(ls -A "$install_dir")"
! w reg query "$source_key" >/dev/null || fail "the event source remains"
! w reg query "$params\\Event String Table\\Kelvo B720" >/dev/null || fail "event tables remain"
pass "msiexec /x: no service, no files, no event source, no event tables"
[[ $(reg_value "$position_key" offset) == "$position" ]] || fail "the state went with the uninstall"
pass "state kept: read position $position"
w reg delete 'HKLM\SOFTWARE\NVXAgents\VigilAgent' /f >/dev/null || fail "reg delete of the state"
! w reg query "$params" >/dev/null || fail "state remains after reg delete"
pass "reg delete HKLM\\SOFTWARE\\NVXAgents\\VigilAgent /f removes it"

echo "== All installer checks passed in $((SECONDS - started)) s"
