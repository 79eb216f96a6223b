#!/usr/bin/env bash
# zelpack-deflate: every level's output inflates (Python's zlib, raw) back to its input, the
# default is level 8, a bad level is a usage error, and --version ends with the licence.
set -euo pipefail
tool=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

version=$("$tool" --version)
[[ $version == "zelpack-deflate "*$'\n'"许可证：MIT（Copyright (c) 2026 the zelpack authors，见 LICENSE）" ]] || { echo "FAIL: --version: $version" >&2; exit 1; }

python3 - "$scratch" <<'PY'
import random, sys
out = sys.argv[1]
rng = random.Random(7)
open(f"{out}/empty", "wb").close()
open(f"{out}/one", "wb").write(b"a")
open(f"{out}/random", "wb").write(bytes(rng.getrandbits(8) for _ in range(200_000)))
words = [b"deflate", b"window", b"\xe6\x8f\x92\xe4\xbb\xb6", b"match", b"literal", b"\n"]
open(f"{out}/text", "wb").write(b" ".join(rng.choice(words) for _ in range(120_000)))
open(f"{out}/runs", "wb").write(b"x" * 300_000 + b"yz" * 70_000)
PY

for input in "$scratch"/*; do
  for level in 1 2 3 4 5 6 7 8; do
    "$tool" --level "$level" <"$input" >"$scratch/out"
    python3 -c '
import sys, zlib
data = open(sys.argv[1], "rb").read()
packed = open(sys.argv[2], "rb").read()
if zlib.decompress(packed, -15) != data:
    sys.exit(f"{sys.argv[1]} at level {sys.argv[3]}: output does not inflate to the input")
' "$input" "$scratch/out" "$level"
  done
  "$tool" <"$input" >"$scratch/default"
  "$tool" --level 8 <"$input" >"$scratch/eight"
  cmp -s "$scratch/default" "$scratch/eight" || { echo "default is not level 8 for $input"; exit 1; }
done

[[ $(printf '' | "$tool" | od -An -tx1 | tr -d ' \n') == 0300 ]] || { echo "empty input is not 03 00"; exit 1; }
set +e
"$tool" --level 9 </dev/null >/dev/null 2>&1
status=$?
set -e
[[ $status -eq 2 ]] || { echo "--level 9 exited $status, not 2"; exit 1; }
echo "zelpack-deflate: all levels inflate back"
