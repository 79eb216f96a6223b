#!/usr/bin/env bash
# Runs a Windows program under Wine in zelpack's private prefix: the CMAKE_CROSSCOMPILING_EMULATOR
# of the Windows build (cmake/mingw-w64-x86_64.cmake), so that test discovery and ctest run the
# .exe files through it. `wine-run.sh --init` only creates the prefix (once); `--start-server`
# starts a persistent wineserver for the prefix and `--stop-server` ends it with every program in
# the prefix (test-windows.sh keeps one running for the whole run).
#
# Every program runs in the locale C.UTF-8 (ANSI code page 1252) whatever the caller's LANG is,
# so that results do not depend on the machine. A test that needs another locale sets
# ZELPACK_WINE_LOCALE (zelpack_test(... LOCALE zh_CN.UTF-8) does), e.g. zh_CN.UTF-8 for code page
# 936. Wine takes the code page from the Unix locale, which glibc must know, so setup-windows.sh
# compiles those locales into build-windows/deps/locale (LOCPATH) instead of touching the
# machine's.
#
# Programs run under Wine's heap checking (WINEDEBUG warn+heap: guard bytes after every block, and
# every pointer a heap call is given checked; the guard bytes themselves are looked at when a heap
# is validated, which the test programs do after each test): a program that makes Wine report a
# heap fault fails, with the report on its standard error, whatever its own exit status. The rest
# of Wine's messages stay off; ZELPACK_WINEDEBUG replaces the setting.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${ZELPACK_WINEPREFIX:-$root/build-windows/wineprefix}
export WINEARCH=win64
export WINEDEBUG=${ZELPACK_WINEDEBUG:--all,err+heap,warn+heap}
# No Mono or Gecko set-up dialogs: the programs are console programs.
export WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
if [[ ! -x $wine ]]; then
  echo "wine-run: $wine missing; run scripts/setup-windows.sh" >&2
  exit 127
fi

locale=${ZELPACK_WINE_LOCALE:-C.UTF-8}
export LOCPATH=${ZELPACK_LOCPATH:-$root/build-windows/deps/locale}
if [[ $locale != C.UTF-8 && ! -d $LOCPATH/$locale ]]; then
  echo "wine-run: locale $locale is not in $LOCPATH; add it to scripts/setup-windows.sh" >&2
  exit 127
fi
unset LANGUAGE LC_ALL LC_CTYPE LC_COLLATE LC_MESSAGES LC_MONETARY LC_NUMERIC LC_TIME
export LANG=$locale

# The prefix is made once, under a lock: parallel test discovery may get here together. The
# stamp is written only after wineboot has finished.
ready=$WINEPREFIX/.zelpack-ready
if [[ ! -f $ready ]]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [[ ! -f $ready ]]; then
      echo "wine-run: creating the Wine prefix $WINEPREFIX" >&2
      # Without wine32 there is no 32-bit rundll32, which wineboot reports; that is harmless, so
      # its output is dropped and success is judged by the registry it leaves.
      "$wine" wineboot --init >/dev/null 2>&1 || true
      "$wine" reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' >/dev/null 2>&1 ||
        { echo "wine-run: wineboot did not create the prefix" >&2; exit 1; }
      touch "$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
case ${1:-} in
  --init) exit 0 ;;
  --start-server)
    # The server detaches. Its first program also starts Wine's own services (services.exe,
    # rpcss.exe, ...), which live as long as the server and inherit that program's output: were a
    # test first, ctest would wait for its output to close until the server stops. So a trivial
    # program goes first, with its output, like the server's, going nowhere.
    /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1
    "$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1
    exit 0
    ;;
  --stop-server) exec /usr/lib/wine/wineserver -k ;;
esac
# Standard error passes through a filter that notes Wine's heap reports ("0024:err:heap:...",
# "warn:heap:..."); standard input and output go to the program directly.
exec 3>&1
set +e
"$wine" "$@" 2>&1 1>&3 3>&- | perl -e '
  binmode STDIN; binmode STDERR;
  my $fault = 0;
  while (<STDIN>) { $fault = 1 if /(?:^|:)(?:err|warn):heap:/; print STDERR $_; }
  exit $fault;' 3>&- >&2
statuses=("${PIPESTATUS[@]}")
set -e
if ((statuses[1] != 0)); then
  echo "wine-run: Wine reported a heap fault in $*" >&2
  ((statuses[0] != 0)) && exit "${statuses[0]}"
  exit 125
fi
exit "${statuses[0]}"
