#!/usr/bin/env bash
# Sets up, builds, and runs zelpack on the bundled example plug-in; `./run.sh gui` starts the
# desktop program instead.
set -euo pipefail
cd "$(dirname "$0")"
# Only what runs here: the programs and the diagnostic tools, not the tests or the benchmarks;
# and the icons drawn at build time, so that `cmake --install build` finds all it installs.
bash scripts/setup.sh zelpack zelpack-gui zelpack-deflate zelpack-zip zelpack_theme_icons

# ./run.sh gui: the desktop program.
if [[ ${1:-} == gui ]]; then
  exec build/bin/zelpack-gui
fi

example=examples/demo-plugin
echo "== zelpack list $example"
build/bin/zelpack list "$example"
echo "== zelpack check $example/com.example.demo.xml"
build/bin/zelpack check "$example/com.example.demo.xml"
echo "== zelpack pack $example -o build/demo-plugin.zip --force"
build/bin/zelpack pack "$example" -o build/demo-plugin.zip --force
echo "== unzip -l build/demo-plugin.zip"
unzip -l build/demo-plugin.zip
