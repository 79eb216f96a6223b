#!/usr/bin/env bash
# The Windows build: installs what it needs (when missing), builds the Windows libraries once into
# build-windows/deps/, creates the Wine prefix and sets it up for the GUI tests, then configures
# and builds zelpack for Windows x86-64 into build-windows/ (programs in build-windows/bin/). Safe
# to run again: it does only what changed; a library is rebuilt only when its Debian version (or
# its recipe here) changes.
# `setup-windows.sh deps` stops before zelpack's own build; `setup-windows.sh build` does only it.
set -euo pipefail

ZELPACK_WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine64
  dpkg-dev xz-utils locales
  cmake ninja-build ccache python3
  libxml2-dev libcli11-dev nlohmann-json3-dev googletest
  xvfb xauth fonts-wine fonts-wqy-microhei
  nsis # makensis, for the installer (release-windows.sh)
)
# The Unix locales that Wine programs may be run in (wine-run.sh, ZELPACK_WINE_LOCALE).
ZELPACK_WINE_LOCALES=(zh_CN.UTF-8)
# The dialogs ask for 宋体 (SimSun; code page 936 also makes it Wine's MS Shell Dlg), which Wine
# does not have: without a stand-in that has the glyphs, Chinese text is drawn as empty boxes.
ZELPACK_WINE_CJK_FONT="WenQuanYi Micro Hei"
ZELPACK_WINE_CJK_FACES=(宋体 SimSun)

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-windows"
deps="$build/deps"
prefix="$deps/prefix"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc)
step=${1:-all}

if [[ $step != build ]]; then
  missing=()
  for package in "${ZELPACK_WINDOWS_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if ((${#missing[@]})); then
    if [[ $(id -u) -eq 0 ]]; then
      echo "zelpack windows: installing ${missing[*]}"
      export DEBIAN_FRONTEND=noninteractive
      apt-get update -qq
      apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
      echo "zelpack windows: missing packages; install them with:" >&2
      echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
      exit 1
    fi
  fi
fi

version() { dpkg-query -W -f='${Version}' "$1"; }

# current NAME STAMP: true when the library NAME was installed with exactly this stamp.
current() { [[ -f $prefix/.stamp-$1 && $(<"$prefix/.stamp-$1") == "$2" ]]; }

ccache_launcher=()
if command -v ccache >/dev/null; then
  ccache_launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# cmake_library NAME SOURCE OPTIONS...: configures, builds and installs a library into the prefix.
cmake_library() {
  local name=$1 source=$2
  rm -rf "$deps/build/$name"
  cmake -S "$source" -B "$deps/build/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DZELPACK_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "${ccache_launcher[@]}" "${@:3}" >"$deps/build-$name.log"
  cmake --build "$deps/build/$name" --parallel "$jobs" >>"$deps/build-$name.log"
  cmake --install "$deps/build/$name" >>"$deps/build-$name.log"
}

if [[ $step != build ]]; then
  mkdir -p "$prefix"

  # libxml2: Debian's source of the very version the Linux build uses, with Debian's patches,
  # fetched through a private source list and apt state, so the machine's apt set-up is untouched.
  # Static, without iconv (Windows has none; code pages come through the encoding-handler API),
  # networking, compression libraries, ICU, Python, programs or tests.
  libxml2_version=$(version libxml2-dev)
  libxml2_options=(
    -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_ICU=OFF -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF
    -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF
    -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF -DLIBXML2_WITH_THREADS=ON
    -DLIBXML2_WITH_TREE=ON -DLIBXML2_WITH_OUTPUT=ON -DLIBXML2_WITH_ISO8859X=ON
  )
  libxml2_stamp="$libxml2_version ${libxml2_options[*]}"
  if ! current libxml2 "$libxml2_stamp"; then
    echo "zelpack windows: building libxml2 $libxml2_version for Windows"
    apt_dir="$deps/apt"
    rm -rf "$apt_dir" "$deps/src/libxml2"
    mkdir -p "$apt_dir/state/lists/partial" "$apt_dir/cache/archives/partial" "$deps/src/libxml2"
    cat >"$apt_dir/sources.list" <<'EOF'
deb-src http://deb.debian.org/debian bookworm main
deb-src http://deb.debian.org/debian bookworm-updates main
deb-src http://deb.debian.org/debian-security bookworm-security main
EOF
    apt_private=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
                 -o Dir::State="$apt_dir/state" -o Dir::Cache="$apt_dir/cache"
                 -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)")
    apt-get "${apt_private[@]}" -qq update
    (cd "$deps/src/libxml2" && apt-get "${apt_private[@]}" -qq source "libxml2=$libxml2_version" \
      >"$deps/source-libxml2.log")
    source_dir=$(find "$deps/src/libxml2" -mindepth 1 -maxdepth 1 -type d -name 'libxml2-*')
    cmake_library libxml2 "$source_dir" "${libxml2_options[@]}"
    echo "$libxml2_stamp" >"$prefix/.stamp-libxml2"
  fi

  # GoogleTest from the sources Debian ships with its googletest package.
  googletest_stamp="$(version googletest) -DINSTALL_GTEST=ON"
  if ! current googletest "$googletest_stamp"; then
    echo "zelpack windows: building GoogleTest $(version googletest) for Windows"
    cmake_library googletest /usr/src/googletest -DINSTALL_GTEST=ON
    echo "$googletest_stamp" >"$prefix/.stamp-googletest"
  fi

  # CLI11 and nlohmann/json are headers only: the Linux packages', with their CMake packages
  # beside them in the prefix, so that no Linux include folder enters the Windows build.
  # headers_only NAME PACKAGE INCLUDE CMAKE: /usr/include/INCLUDE and /usr/share/cmake/CMAKE.
  headers_only() {
    local stamp
    stamp=$(version "$2")
    if ! current "$1" "$stamp"; then
      rm -rf "$prefix/include/$3" "$prefix/share/cmake/$4"
      mkdir -p "$prefix/include" "$prefix/share/cmake"
      cp -r "/usr/include/$3" "$prefix/include/"
      cp -r "/usr/share/cmake/$4" "$prefix/share/cmake/"
      echo "$stamp" >"$prefix/.stamp-$1"
    fi
  }
  headers_only cli11 libcli11-dev CLI CLI11
  headers_only json nlohmann-json3-dev nlohmann nlohmann_json

  # The Unix locales for Wine, compiled privately (LOCPATH) rather than into the machine's.
  locale_stamp="$(version locales) ${ZELPACK_WINE_LOCALES[*]}"
  if ! [[ -f $deps/locale/.stamp && $(<"$deps/locale/.stamp") == "$locale_stamp" ]]; then
    rm -rf "$deps/locale"
    mkdir -p "$deps/locale"
    for locale in "${ZELPACK_WINE_LOCALES[@]}"; do
      localedef -i "${locale%%.*}" -f "${locale#*.}" "$deps/locale/$locale"
    done
    echo "$locale_stamp" >"$deps/locale/.stamp"
  fi

  bash "$root/scripts/wine-run.sh" --init

  # The prefix's set-up for the GUI tests, read by every Wine program at its start: the font
  # stand-ins, and window frames drawn by Wine itself, since the tests' display has no window
  # manager (without one there would be no captions), and left unmanaged (Wine would wait two
  # seconds for a window manager to confirm each hidden window). The faces are not ASCII: regedit reads them
  # safely only from a UTF-16 file. This Wine does not load the fonts in its data folder, so the
  # caption buttons would show letters instead of Marlett's symbols: Marlett goes into the prefix.
  # Tahoma does not: as Tahoma Bold, the caption font, it would hide the stand-in and draw Chinese
  # captions as boxes. The stamp lives in the prefix, so that a new prefix is set up too.
  wineprefix=${ZELPACK_WINEPREFIX:-$build/wineprefix}
  settings=$(
    printf '%s\n\n' 'Windows Registry Editor Version 5.00'
    printf '%s\n' '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
    for face in "${ZELPACK_WINE_CJK_FACES[@]}"; do
      printf '"%s"="%s"\n' "$face" "$ZELPACK_WINE_CJK_FONT"
    done
    printf '\n%s\n%s\n%s\n' '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' \
      '"Managed"="N"'
  )
  settings_stamp="$(version fonts-wqy-microhei) $(version fonts-wine) marlett.ttf"
  settings_stamp+=" $(printf '%s' "$settings" | md5sum | cut -c1-32)"
  if ! [[ -f $wineprefix/.zelpack-settings &&
          $(<"$wineprefix/.zelpack-settings") == "$settings_stamp" ]]; then
    printf '%s\n' "$settings" | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE |
      { printf '\xff\xfe'; cat; } >"$deps/wine-settings.reg"
    (cd "$deps" && bash "$root/scripts/wine-run.sh" regedit /S wine-settings.reg)
    if ! bash "$root/scripts/wine-run.sh" reg query 'HKCU\Software\Wine\Fonts\Replacements' \
      /v SimSun >/dev/null 2>&1; then
      echo "zelpack windows: the Wine settings were not registered" >&2
      exit 1
    fi
    cp /usr/share/wine/fonts/marlett.ttf "$wineprefix/drive_c/windows/Fonts/"
    echo "$settings_stamp" >"$wineprefix/.zelpack-settings"
  fi
fi

if [[ $step == deps ]]; then
  exit 0
fi

werror=OFF
[[ -n "${CI:-}" ]] && werror=ON
options=(-DZELPACK_WERROR="$werror")
cached=("ZELPACK_WERROR:BOOL=$werror" "ZELPACK_BUILD_GUI:BOOL=ON")
# ZELPACK_WINDOWS_CORE=ON|OFF in the environment sets the CMake option of that name (the core and
# the command line), also in an existing build-windows/.
if [[ -n ${ZELPACK_WINDOWS_CORE:-} ]]; then
  options+=(-DZELPACK_WINDOWS_CORE="$ZELPACK_WINDOWS_CORE")
  cached+=("ZELPACK_WINDOWS_CORE:BOOL=$ZELPACK_WINDOWS_CORE")
fi
configured=1
for entry in "${cached[@]}"; do
  grep -qx "$entry" "$build/CMakeCache.txt" 2>/dev/null || configured=0
done
if ((!configured)); then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DZELPACK_WINDOWS_DEPS="$prefix" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" \
    -DZELPACK_BUILD_GUI=ON -DZELPACK_BUILD_BENCH=OFF -DZELPACK_BUILD_TESTS=ON >/dev/null
fi
cmake --build "$build" --parallel "$jobs"
