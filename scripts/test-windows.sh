#!/usr/bin/env bash
# The Windows build's tests under Wine: sets up and builds build-windows/ (setup-windows.sh), then
# runs its ctest, then makes the release archive and the installer (release-windows.sh) and tries
# the installer (test-installer.py). Run by test.sh; runs alone too, handing its arguments to ctest
# (e.g. -R Deflate). `test-windows.sh --fuzz-replay` runs only the replays of the fuzz targets'
# seeds and of the corpora scripts/fuzz.sh grew (test.sh runs it after fuzz.sh).
# One persistent wineserver serves the build's test discovery and every test (a Wine program
# starts much faster when the server is already up); it is stopped at the end, also on failure,
# which ends any Wine program still running in the prefix. The GUI tests draw on a private virtual
# X display (Xvfb, no window manager), stopped at the end too: Wine then runs its real X11 driver,
# and no window of a run appears on the developer's screen.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
replay=0
if [[ ${1:-} == --fuzz-replay ]]; then
  replay=1
  shift
fi
wine_run="$root/scripts/wine-run.sh"
bash "$root/scripts/setup-windows.sh" deps

stop_wineserver() { "$wine_run" --stop-server >/dev/null 2>&1 || true; }
xvfb_pid=
stop_display() {
  if [[ -n $xvfb_pid ]]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}
# Wine programs first: they hold connections to the display.
trap 'stop_wineserver; stop_display' EXIT
# A server left by an interrupted run may not be persistent, or may know another display; start
# afresh.
stop_wineserver

# The display before the server: Wine's desktop process, started with the server's first program,
# keeps the display it was started with. Xvfb picks a free display number itself and writes it to
# the pipe once it accepts connections (end of file: it could not start).
fifo_dir=$(mktemp -d)
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo_dir/display" \
  >"$root/build-windows/xvfb.log" 2>&1 &
xvfb_pid=$!
display=
read -r -t 60 display <"$fifo_dir/display" || true
rm -rf "$fifo_dir"
if [[ ! $display =~ ^[0-9]+$ ]]; then
  echo "test-windows: Xvfb did not start (build-windows/xvfb.log)" >&2
  exit 1
fi
export DISPLAY=:$display
"$wine_run" --start-server

bash "$root/scripts/setup-windows.sh" build
if ((replay)); then
  echo "== Windows: the fuzz targets' seeds and corpora under Wine (build-windows/)"
  ctest --test-dir "$root/build-windows" --output-on-failure --timeout 900 -L fuzz-replay "$@"
  exit 0
fi
echo "== Windows: the test suite under Wine (build-windows/)"
# As on Linux, a hang fails its test rather than stalling the run. Under a loaded machine Wine
# rarely (about one program start in a few thousand) ends a program at once with no output, before
# any of its code runs: a failed test runs once more, so that only a failure that repeats counts.
ctest --test-dir "$root/build-windows" --output-on-failure --parallel "$(nproc)" --timeout 900 \
  --repeat until-pass:2 "$@"
bash "$root/scripts/release-windows.sh"
python3 "$root/scripts/test-installer.py"
