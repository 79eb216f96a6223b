#!/usr/bin/env bash
# The Windows release archive build-windows/zelpack-VERSION-windows-x64.zip: the programs of
# build-windows/bin, the README, zelpack's LICENSE, and under licenses/ the licences of what the
# programs have built in (libxml2, CLI11, nlohmann-json, GCC's runtime libraries, the mingw-w64
# runtime and winpthreads). zelpack's
# own archive writer makes it (the Linux build's zelpack-zip; ZELPACK_ZIP may name another), and
# other readers check it. Beside it, the installer with the same files,
# build-windows/zelpack-VERSION-windows-x64-setup.exe (makensis, packaging/windows/zelpack.nsi). Run
# by test-windows.sh after the Windows tests; runs alone after a build.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-windows
fail() { echo "release-windows: $*" >&2; exit 1; }

version=$(sed -n 's/^project(zelpack VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || fail "no project version in CMakeLists.txt"
if grep -qx 'ZELPACK_WINDOWS_CORE:BOOL=OFF' "$build/CMakeCache.txt" 2>/dev/null; then
  echo "release-windows: the build has no programs (ZELPACK_WINDOWS_CORE=OFF); no archive"
  exit 0
fi
zip_tool=${ZELPACK_ZIP:-}
if [[ -z $zip_tool ]]; then
  bash "$root/scripts/setup.sh" zelpack-zip >/dev/null
  zip_tool=$root/build/bin/zelpack-zip
fi

# debian_copyright FILE...: the Debian copyright file of the packages that hold these files, which
# must be one (the GCC packages share theirs).
debian_copyright() {
  local copyrights
  copyrights=$(for file in "$@"; do
                 package=$(dpkg-query -S "$(realpath "$file")" | head -n1 | cut -d: -f1)
                 realpath "/usr/share/doc/$package/copyright"
               done | sort -u)
  [[ -f $copyrights ]] || fail "not one copyright file for $*: $copyrights"
  echo "$copyrights"
}
runtime() { x86_64-w64-mingw32-g++-posix -print-file-name="$1"; }
libxml2=$(find "$build/deps/src/libxml2" -mindepth 2 -maxdepth 2 -name Copyright)
[[ -f $libxml2 ]] || fail "no Copyright in libxml2's source (setup-windows.sh deps fetches it)"
# setup-windows.sh copies CLI11's headers from the Linux package.
cli11=$(debian_copyright /usr/include/CLI/CLI.hpp)
json=$(debian_copyright /usr/include/nlohmann/json.hpp)
# -static: libstdc++, libgcc and its unwinder, winpthreads and the C runtime's start-up code.
gcc_runtime=$(debian_copyright "$(runtime libstdc++.a)" "$(runtime libgcc.a)" \
              "$(runtime libgcc_eh.a)")
mingw_w64=$(debian_copyright "$(runtime libwinpthread.a)" "$(runtime crt2.o)" \
            "$(runtime libmsvcrt.a)")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The programs without their debugging information, as released programs are (3 MB rather than
# 20); the command line shows that it still runs.
# strip writes the time into each program's header: the last commit's (or SOURCE_DATE_EPOCH's)
# rather than the clock's, so that the same build gives the same programs, and the same installer.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)}
for program in zelpack zelpack-gui zelpack-zip; do
  SOURCE_DATE_EPOCH=$epoch x86_64-w64-mingw32-strip -o "$scratch/$program.exe" \
    "$build/bin/$program.exe"
done
# The stripped programs still run, each stating its version and the licence (the window program
# too, when its output is redirected).
for program in zelpack zelpack-gui zelpack-zip; do
  [[ $(bash "$root/scripts/wine-run.sh" "$scratch/$program.exe" --version) == \
     "$program $version"$'\n'"许可证：MIT（Copyright (c) 2026 the zelpack authors，见 LICENSE）" ]] ||
    fail "the stripped $program.exe does not run or does not name the licence"
done

# NAME=PATH, in the archive's order.
entries=(
  zelpack.exe="$scratch/zelpack.exe"
  zelpack-gui.exe="$scratch/zelpack-gui.exe"
  zelpack-zip.exe="$scratch/zelpack-zip.exe"
  README.md="$root/README.md"
  LICENSE="$root/LICENSE"
  licenses/libxml2.txt="$libxml2"
  licenses/CLI11.txt="$cli11"
  licenses/nlohmann-json.txt="$json"
  licenses/gcc-runtime.txt="$gcc_runtime"
  licenses/mingw-w64.txt="$mingw_w64"
)
for entry in "${entries[@]}"; do
  [[ -f ${entry#*=} ]] || fail "missing ${entry#*=}"
done
icon=$build/resources/zelpack.ico
[[ -f $icon ]] || fail "missing $icon"
command -v makensis >/dev/null || fail "no makensis (package nsis; setup-windows.sh installs it)"

archive=$build/zelpack-$version-windows-x64.zip
# Into place only when made and checked: a failed run leaves no half archive.
"$zip_tool" "$scratch/release.zip" "${entries[@]}"
unzip -t "$scratch/release.zip" >/dev/null || fail "unzip -t rejects the archive"
python3 -m zipfile -t "$scratch/release.zip" >/dev/null || fail "Python's zipfile rejects it"
7z t "$scratch/release.zip" >/dev/null || fail "7z t rejects it"
python3 - "$scratch/release.zip" "${entries[@]}" <<'PY' || fail "the archive's entries differ"
import sys, zipfile
archive, *entries = sys.argv[1:]
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    want = [e.split("=", 1)[0] for e in entries]
    assert names == want, (names, want)
    assert "Copyright (c) 2026 the zelpack authors" in z.read("LICENSE").decode(), "LICENSE"
    for entry in entries:
        name, path = entry.split("=", 1)
        assert z.read(name) == open(path, "rb").read(), name
PY
mv "$scratch/release.zip" "$archive"
echo "== Windows release: ${archive#"$root"/}"

# The installer beside it, with the same files: zelpack.nsi includes their list, written here.
# Names and paths hold no double quote, and the installer's folder no other level than licenses/.
{
  echo '!macro ZELPACK_INSTALL_FILES'
  for entry in "${entries[@]}"; do
    name=${entry%%=*} folder=
    if [[ $name == */* ]]; then folder=\\${name%/*}; fi
    printf 'SetOutPath "$INSTDIR%s"\nFile "/oname=%s" "%s"\n' "$folder" "${name##*/}" "${entry#*=}"
  done
  echo '!macroend'
  echo '!macro ZELPACK_DELETE_FILES'
  for entry in "${entries[@]}"; do
    name=${entry%%=*}
    printf 'Delete "$INSTDIR\\%s"\n' "${name//\//\\}"
  done
  for entry in "${entries[@]}"; do
    name=${entry%%=*}
    if [[ $name == */* ]]; then printf 'RMDir "$INSTDIR\\%s"\n' "${name%/*}"; fi
  done | sort -u
  echo '!macroend'
} >"$scratch/installer-files.nsh"
setup=$build/zelpack-$version-windows-x64-setup.exe
makensis -V2 -WX -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$scratch/installer-files.nsh" \
  -DICON="$icon" -DLICENSE="$root/LICENSE" -DOUTFILE="$scratch/${setup##*/}" \
  "$root/packaging/windows/zelpack.nsi" >"$scratch/makensis.log" ||
  { cat "$scratch/makensis.log" >&2; fail "makensis failed"; }
mv "$scratch/${setup##*/}" "$setup"
echo "== Windows installer: ${setup#"$root"/}"
