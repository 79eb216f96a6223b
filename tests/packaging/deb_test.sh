#!/usr/bin/env bash
# The Debian package: cpack makes it from the build folder; unpacked into a scratch root, it holds
# exactly the programs, the desktop entry, the icon at each size, the man page and the bash
# completion, all well formed, with the dependencies of the programs' libraries; the unpacked
# zelpack runs and packs the example plug-in into an archive that other readers accept.
set -euo pipefail
build=$1
source=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1
then
  cat "$scratch/cpack.log" >&2
  fail "cpack"
fi
deb=$scratch/out/zelpack_${version}_amd64.deb
[[ -f $deb ]] || fail "no $deb: $(ls "$scratch/out")"

# The dependencies: from the programs' libraries (dpkg-shlibdeps), and those no program links.
depends=$(dpkg-deb -f "$deb" Depends | tr ',|' '\n\n' | awk '{print $1}')
for package in libc6 libstdc++6 libxml2 libqt6widgets6 qt6-qpa-plugins; do
  grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(dpkg-deb -f "$deb" Depends)"
done
[[ $(dpkg-deb -f "$deb" Recommends) == *qt6-translations-l10n* ]] || fail "Recommends"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
files=$(cd "$root" && find . -type f -o -type l | sort)
expected=$(sort <<'EOF'
./usr/bin/zelpack
./usr/bin/zelpack-gui
./usr/share/applications/zelpack.desktop
./usr/share/bash-completion/completions/zelpack
./usr/share/doc/zelpack/copyright
./usr/share/icons/hicolor/16x16/apps/zelpack.png
./usr/share/icons/hicolor/32x32/apps/zelpack.png
./usr/share/icons/hicolor/48x48/apps/zelpack.png
./usr/share/icons/hicolor/64x64/apps/zelpack.png
./usr/share/icons/hicolor/128x128/apps/zelpack.png
./usr/share/icons/hicolor/256x256/apps/zelpack.png
./usr/share/man/man1/zelpack.1
EOF
)
[[ $files == "$expected" ]] ||
  fail "files in the package:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"
for program in zelpack zelpack-gui; do
  if ldd "$root/usr/bin/$program" | grep 'not found'; then
    fail "$program: libraries not found"
  fi
done

# The desktop entry starts the installed program with the installed icon, and a file manager's
# "open with" on a folder hands the folder over.
desktop=$root/usr/share/applications/zelpack.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=zelpack-gui %f' "$desktop" && grep -qx 'MimeType=inode/directory;' "$desktop" &&
  grep -qx 'Icon=zelpack' "$desktop" &&
  grep -qx 'Name=ZEL插件打包工具' "$desktop" || fail "desktop entry: $(cat "$desktop")"

# The copyright file is DEP-5: every licence named is stated in full, zelpack's own is the text of
# LICENSE, and what is built in (CLI11, nlohmann-json) has its paragraph.
python3 - "$root/usr/share/doc/zelpack/copyright" "$source/LICENSE" <<'PY' || fail "copyright file"
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
paragraphs = [dict(re.findall(r"^(\S[^:]*): ?(.*(?:\n .*)*)", p, re.M)) for p in text.split("\n\n")]
assert paragraphs[0]["Format"] == "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
assert paragraphs[0]["Upstream-Name"] == "zelpack"
files = {p["Files"]: p for p in paragraphs if "Files" in p}
assert files["*"]["Copyright"] == "2026 the zelpack authors", files["*"]
assert files["*"]["License"] == "Expat"
assert {"usr/include/CLI/*", "usr/include/nlohmann/*"} <= files.keys(), files.keys()
stated = {p["License"].split("\n")[0]: p["License"] for p in paragraphs
          if "Files" not in p and "License" in p}
for paragraph in files.values():
    assert paragraph["License"] in stated, paragraph
body = [line[1:] if line != " ." else "" for line in stated["Expat"].split("\n")[1:]]
licence = open(sys.argv[2], encoding="utf-8").read().rstrip("\n").split("\n")[4:]
assert body == licence, "the Expat text differs from LICENSE"
PY

# Each icon is a PNG of its folder's size whose image data inflates to all of its rows.
python3 - "$root/usr/share/icons/hicolor" <<'PY'
import pathlib, struct, sys, zlib
for path in sorted(pathlib.Path(sys.argv[1]).glob("*/apps/zelpack.png")):
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, chunks = 8, {}
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        assert struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] == \
            zlib.crc32(kind + body), (path, kind)
        chunks[kind] = chunks.get(kind, b"") + body
        at += 12 + length
    width, height, depth = struct.unpack(">IIB", chunks[b"IHDR"][:9])
    size = int(path.parent.parent.name.split("x")[0])
    assert (width, height) == (size, size), (path, width, height)
    assert len(zlib.decompress(chunks[b"IDAT"])) == height * (1 + (width * depth + 7) // 8), path
PY

# The man page renders without a warning.
warnings=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/zelpack.1" 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "man page: $warnings"

# The completion offers every option the program's help lists (and the ones on their way).
zelpack=$root/usr/bin/zelpack
completion=$root/usr/share/bash-completion/completions/zelpack
# complete_words WORD...: the completions of the last word after "zelpack WORD...".
complete_words() {
  bash -c 'source "$1"; shift; COMP_WORDS=(zelpack "$@"); COMP_CWORD=$#; _zelpack
           printf "%s\n" "${COMPREPLY[@]}"' completion "$completion" "$@"
}
[[ $(complete_words '' | sort | tr '\n' ' ') == "--help --version -h check list pack " ]] ||
  fail "commands: $(complete_words '')"
for command in list check pack; do
  offered=$(complete_words "$command" -)
  listed=$("$zelpack" "$command" --help | grep -oE '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,')
  for option in $listed; do
    grep -qx -- "$option" <<<"$offered" || fail "$command: completion lacks $option"
  done
done
for option in --json --strict --quiet --dry-run --jobs; do
  grep -qx -- "$option" <<<"$(complete_words pack --)" || fail "pack: completion lacks $option"
done
grep -qx -- --json <<<"$(complete_words list --)" || fail "list: completion lacks --json"
mkdir -p "$scratch/folders/plugin-a"
[[ $(cd "$scratch/folders" && complete_words pack --force plug) == plugin-a ]] ||
  fail "pack FOLDER does not complete folders"

# The unpacked program itself.
licence_line="许可证：MIT（Copyright (c) 2026 the zelpack authors，见 LICENSE）"
for program in zelpack zelpack-gui; do
  [[ $("$root/usr/bin/$program" --version) == "$program $version"$'\n'"$licence_line" ]] ||
    fail "$program --version: $("$root/usr/bin/$program" --version)"
done
"$zelpack" pack "$source/examples/demo-plugin" -o "$scratch/demo.zip" --quiet >/dev/null ||
  fail "pack of the example"
unzip -t "$scratch/demo.zip" >/dev/null || fail "unzip -t"
python3 -m zipfile -t "$scratch/demo.zip" >/dev/null || fail "python3 -m zipfile -t"
names=$(unzip -Z1 "$scratch/demo.zip")
grep -qx zelPluginInfo.xml <<<"$names" && grep -qx demo-plugin/main.js <<<"$names" ||
  fail "entries: $names"
echo "the Debian package installs and runs"
