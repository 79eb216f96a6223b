#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite, then runs it again under the sanitizers
# (scripts/sanitize.sh), then runs each fuzz target for a while (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
# A test that hangs fails instead of stalling the run.
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 900 "$@"
bash scripts/sanitize.sh "$@"
bash scripts/fuzz.sh
