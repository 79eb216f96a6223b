#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite, then the Windows build's suite under Wine
# (scripts/test-windows.sh), then the suite again under the sanitizers (scripts/sanitize.sh), then
# each fuzz target for a while (scripts/fuzz.sh), whose grown corpora the Windows builds of the
# targets then replay under Wine. `./test.sh --linux` runs only the Linux parts,
# `./test.sh --windows` only the Windows one; further arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")"
linux=1
windows=1
case ${1:-} in
  --linux) windows=0; shift ;;
  --windows) linux=0; shift ;;
esac
if ((linux)); then
  bash scripts/setup.sh
  export QT_QPA_PLATFORM=offscreen
  # A test that hangs fails instead of stalling the run.
  ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 900 "$@"
fi
# Before the sanitizers, the longest part, so that a Windows failure shows early.
if ((windows)); then
  bash scripts/test-windows.sh "$@"
fi
if ((linux)); then
  bash scripts/sanitize.sh "$@"
  bash scripts/fuzz.sh
  if ((windows)); then
    bash scripts/test-windows.sh --fuzz-replay
  fi
fi
