#!/usr/bin/env bash
# Sets up, builds, and runs the whole test suite, then runs it again under the sanitizers
# (scripts/sanitize.sh).
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)" "$@"
bash scripts/sanitize.sh "$@"
