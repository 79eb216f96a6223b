#!/usr/bin/env bash
# The Windows build beside the Linux one (Windows builds only, under Wine): zelpack.exe lists the
# example plug-in with the same rows and packs it into an archive that Python's zipfile, unzip -t,
# 7z t and bsdtar accept, holding the Linux archive's entries byte for byte (names, CRCs, sizes,
# compressed data), and with SOURCE_DATE_EPOCH set is the Linux archive byte for byte. Under a Chinese locale (ANSI code page 936) a Chinese name is stored in that
# code page without the UTF-8 flag, and a name outside it in UTF-8 with the flag. A link to a
# folder outside the plug-in is not followed.
set -euo pipefail
windows=$1  # runs zelpack.exe under Wine
linux=$2    # the Linux build's zelpack
source=$3   # the repository
if [[ ! -x $linux ]]; then
  echo "FAIL: $linux is missing: build the Linux side first (./test.sh --linux)" >&2
  exit 1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

cp -a "$source/examples/demo-plugin" demo-plugin
"$linux" list demo-plugin >linux-list.txt
"$windows" list demo-plugin >windows-list.txt || fail "zelpack.exe list"
diff linux-list.txt windows-list.txt || fail "zelpack.exe list prints other rows"

"$linux" pack demo-plugin -o linux.zip --quiet >/dev/null
"$windows" pack demo-plugin -o windows.zip --quiet >/dev/null || fail "zelpack.exe pack"
unzip -t windows.zip >/dev/null || fail "unzip -t"
7z t windows.zip >/dev/null || fail "7z t"
bsdtar -xOf windows.zip >/dev/null || fail "bsdtar"

# Each entry's name, CRC, sizes, method and compressed bytes (read from its local header).
python3 - linux.zip windows.zip <<'PY' || fail "the Windows archive differs from the Linux one"
import struct, sys, zipfile

def entries(path):
    data = open(path, "rb").read()
    with zipfile.ZipFile(path) as z:
        assert z.testzip() is None, path
        out = []
        for i in z.infolist():
            name_length, extra_length = struct.unpack_from("<HH", data, i.header_offset + 26)
            start = i.header_offset + 30 + name_length + extra_length
            out.append((i.filename, i.CRC, i.compress_size, i.file_size, i.compress_type,
                        data[start:start + i.compress_size]))
        return out

linux, windows = entries(sys.argv[1]), entries(sys.argv[2])
assert [e[0] for e in linux] == [e[0] for e in windows], ([e[0] for e in linux], [e[0] for e in windows])
for a, b in zip(linux, windows):
    assert a == b, (a[:5], b[:5])
PY

# With SOURCE_DATE_EPOCH both builds write the very same bytes (Wine passes the variable on).
SOURCE_DATE_EPOCH=1700000000 "$linux" pack demo-plugin -o linux-fixed.zip --quiet
SOURCE_DATE_EPOCH=1700000000 "$windows" pack demo-plugin -o windows-fixed.zip --quiet ||
  fail "zelpack.exe pack with SOURCE_DATE_EPOCH"
cmp linux-fixed.zip windows-fixed.zip || fail "SOURCE_DATE_EPOCH archives differ between builds"

# A Chinese folder named on the command line, names in code page 936, one it cannot hold, and one
# whose code-page form has a byte 0x5C (乗 is 81 5C), which readers would take for a separator.
mkdir -p 中文插件/中文
printf '<vemplugin><property id="cn" version="1" type="js" name="中文插件"/></vemplugin>' \
  >中文插件/com.example.cn.xml
printf '中文内容\n' >中文插件/中文/说明.txt
printf 'smile\n' >中文插件/emoji-😀.txt
printf 'ride\n' >中文插件/乗.txt
ZELPACK_WINE_LOCALE=zh_CN.UTF-8 "$windows" pack 中文插件 -o cn.zip --quiet >/dev/null ||
  fail "zelpack.exe pack under a Chinese locale"
python3 - cn.zip <<'PY' || fail "names under code page 936"
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], metadata_encoding="cp936") as z:
    assert z.testzip() is None
    got = {i.filename: (i.flag_bits & 0x800, z.read(i)) for i in z.infolist()}
assert got["中文插件/中文/说明.txt"] == (0, "中文内容\n".encode()), got
# Flagged names are read as UTF-8 whatever metadata_encoding says.
assert got["中文插件/emoji-😀.txt"] == (0x800, b"smile\n"), got
assert got["中文插件/乗.txt"] == (0x800, b"ride\n"), got
PY

# A link to a folder outside the plug-in (Wine shows it as a reparse point) is not walked.
ln -s "$scratch" demo-plugin/outside
"$windows" list demo-plugin >/dev/null 2>links.txt || fail "zelpack.exe list with a link"
grep -q "outside 是指向插件文件夹以外的文件夹的链接，未跟随" links.txt ||
  fail "the link to a folder outside was not named: $(cat links.txt)"
echo "all Windows checks passed"
