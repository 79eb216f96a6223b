#!/usr/bin/env bash
# The length report: every function of the product's sources (not the tests') longer than
# ZELPACK_MAX_FUNCTION_LINES (default 80) lines, as pmccabe measures them, longest first. Exits 1
# when one is not in scripts/function-lengths.allow, which may name only the compressor's inner
# loops and generated code; exits 2 when pmccabe cannot parse a file, so that no function escapes
# the report unmeasured.
#   scripts/function-lengths.sh            # the report, checked
#   scripts/function-lengths.sh --all      # every function, longest first
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
limit=${ZELPACK_MAX_FUNCTION_LINES:-80}
all=0
[[ ${1:-} == --all ]] && all=1
command -v pmccabe >/dev/null || { echo "function-lengths: pmccabe is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$root"
# pmccabe reads C with some C++; these rewrites keep every line where it was and leave it only
# constructs it knows: nested namespace names, digit separators, noexcept, attributes, override.
mapfile -t files < <(git ls-files '*.cpp' '*.h' | grep -Ev '^(tests|build[^/]*)/')
for file in "${files[@]}"; do
  mkdir -p "$work/$(dirname "$file")"
  sed -E -e ':a' -e 's/^(namespace [A-Za-z_]+)::/\1_/' -e 'ta' \
    -e "s/([0-9A-Fa-f])'([0-9A-Fa-f])/\1\2/g" -e "s/([0-9A-Fa-f])'([0-9A-Fa-f])/\1\2/g" \
    -e 's/\bnoexcept(\([^()]*\))?//g' -e 's/\[\[[a-z_]+\]\]//g' -e 's/\b(override|final)\b//g' \
    "$file" >"$work/$file"
done

cd "$work"
if ! pmccabe "${files[@]}" >report.txt 2>errors.txt || [[ -s errors.txt ]]; then
  echo "function-lengths: pmccabe could not parse every file:" >&2
  cat errors.txt >&2
  exit 2
fi
# Columns: complexity, traditional complexity, statements, first line, lines, "file(line): name".
# Names lose the namespaces (rewritten above) for the report and the allowed list.
sort -t$'\t' -k5,5nr report.txt | awk -F'\t' -v limit="$limit" -v all="$all" '
  (all || $5 > limit) {
    place = $6
    sub(/\): /, ") ", place)
    gsub(/(zelpack[A-Za-z_]*|anonymous_namespace)::/, "", place)
    printf "%d %s\n", $5, place
  }' >long.txt

failed=0
allowed=$(sed -E 's/ *#.*//; /^$/d' "$root/scripts/function-lengths.allow")
while read -r lines file name; do
  if grep -Fqx "${file%%(*} $name" <<<"$allowed"; then
    printf '%5d  %s %s  (allowed)\n' "$lines" "$file" "$name"
  else
    printf '%5d  %s %s\n' "$lines" "$file" "$name"
    ((lines > limit)) && failed=1
  fi
done <long.txt
if ((failed)); then
  echo "function-lengths: functions over $limit lines (split them, or allow a compressor loop" \
    "or generated code in scripts/function-lengths.allow)" >&2
fi
exit $failed
