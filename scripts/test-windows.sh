#!/usr/bin/env bash
# The Windows build's tests under Wine: sets up and builds build-windows/ (setup-windows.sh), then
# runs its ctest. Run by test.sh; runs alone too, handing its arguments to ctest (e.g. -R Deflate).
# One persistent wineserver serves the build's test discovery and every test (a Wine program
# starts much faster when the server is already up); it is stopped at the end, also on failure,
# which ends any Wine program still running in the prefix.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
wine_run="$root/scripts/wine-run.sh"
bash "$root/scripts/setup-windows.sh" deps

stop_wineserver() { "$wine_run" --stop-server >/dev/null 2>&1 || true; }
# A server left by an interrupted run may not be persistent; start afresh.
stop_wineserver
trap stop_wineserver EXIT
"$wine_run" --start-server

bash "$root/scripts/setup-windows.sh" build
echo "== Windows: the test suite under Wine (build-windows/)"
# As on Linux, a hang fails its test rather than stalling the run.
ctest --test-dir "$root/build-windows" --output-on-failure --parallel "$(nproc)" --timeout 900 "$@"
