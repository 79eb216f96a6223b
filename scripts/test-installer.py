#!/usr/bin/env python3
"""The Windows installer under Wine, in a prefix of its own made afresh for each run (about 15 s),
so that the test prefix stays as the suite left it and a failed run leaves nothing for the next.

Twice, per user and for all users: a silent install (twice, which must not add a second PATH
entry), the release archive's files in the folder, the registry keys and the shortcut, the
context-menu commands; per user, `zelpack.exe --version` from a new process's PATH; then a silent
uninstall, run as Windows runs it (a copy of the uninstaller, told the folder with _?=), which must
leave none of them but a file of the user's in the folder, and an environment key byte for byte as
before. The per-user PATH holds other entries (an empty one, one not ASCII, a variable); the
machine's PATH is made longer than the installer's strings hold, so the installer must leave it
alone rather than write back a cut value.

Run by test-windows.sh after release-windows.sh; runs alone after it too.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build-windows"
PREFIX = BUILD / "installer-prefix"
WINE_RUN = ["bash", str(ROOT / "scripts/wine-run.sh")]
ENV = {"ZELPACK_WINEPREFIX": str(PREFIX)}
PRODUCT = "ZEL插件打包工具"
UNINSTALL = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\zelpack"
MENU = r"Software\Classes\Directory\shell\zelpack"
BACKGROUND_MENU = r"Software\Classes\Directory\Background\shell\zelpack"
USER_ENV = r"HKCU\Environment"
MACHINE_ENV = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
# Ends with ";": the entry must not make an empty one, where Wine's cmd stops looking.
USER_PATH = r"%USERPROFILE%\bin;C:\工具;D:\x;"


def wine(*args, check=True):
    result = subprocess.run(WINE_RUN + list(args), env={**os.environ, **ENV},
                            capture_output=True, text=True, errors="replace")
    if check and result.returncode != 0:
        sys.exit(f"test-installer: {' '.join(args)} failed ({result.returncode}):\n"
                 f"{result.stdout}{result.stderr}")
    return result


def unix(path):
    """The prefix's file for a C: path."""
    assert path[:3].upper() == "C:\\", path
    return PREFIX / "drive_c" / path[3:].replace("\\", "/")


def export(key):
    """KEY as reg export writes it (UTF-16 bytes), or None when it does not exist."""
    with tempfile.TemporaryDirectory() as scratch:
        out = pathlib.Path(scratch) / "key.reg"
        if wine("reg", "export", key, str(out), "/y", check=False).returncode != 0:
            return None
        return out.read_bytes()


def values(key):
    """KEY's values as {name: text}; "" names the default value. None when KEY is missing."""
    data = export(key)
    if data is None:
        return None
    text = data.decode("utf-16").replace("\\\r\n  ", "")
    header = "[" + key.replace("HKCU", "HKEY_CURRENT_USER").replace("HKLM", "HKEY_LOCAL_MACHINE")
    lines = text.split(header + "]\r\n", 1)[1].split("\r\n\r\n", 1)[0].splitlines()
    found = {}
    for line in lines:
        m = re.fullmatch(r'(@|"(?:[^"\\]|\\.)*")=(.*)', line)
        assert m, line
        name = "" if m[1] == "@" else re.sub(r"\\(.)", r"\1", m[1][1:-1])
        raw = m[2]
        if raw.startswith('"'):
            found[name] = re.sub(r"\\(.)", r"\1", raw[1:-1])
        elif raw.startswith("hex(2):"):
            found[name] = bytes.fromhex(raw[7:].replace(",", "")).decode("utf-16le").rstrip("\0")
        else:
            found[name] = raw
    return found


def check(condition, what):
    if not condition:
        sys.exit(f"test-installer: {what}")


def path_entries(key):
    return values(key).get("Path", values(key).get("PATH"))


def round_trip(setup, archive, all_users):
    mode = "/AllUsers" if all_users else "/CurrentUser"
    root = "HKLM" if all_users else "HKCU"
    env_key = MACHINE_ENV if all_users else USER_ENV
    before = export(env_key)
    old_path = path_entries(env_key)
    if all_users:
        folder = r"C:\Program Files\zelpack"
        menu_folder = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
    else:
        folder = r"C:\users\root\AppData\Local\Programs\zelpack"
        menu_folder = r"C:\users\root\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
    for _ in range(2):
        wine(str(setup), "/S", mode)

    # The archive's files, byte for byte, and the uninstaller.
    with zipfile.ZipFile(archive) as z:
        names = sorted(z.namelist() + ["uninstall.exe"])
        for name in z.namelist():
            check(unix(folder + "\\" + name).read_bytes() == z.read(name), f"{name} differs")
    installed = sorted(p.relative_to(unix(folder)).as_posix()
                       for p in unix(folder).rglob("*") if p.is_file())
    check(installed == names, f"{mode}: installed {installed}, not {names}")
    link = unix(menu_folder + "\\" + PRODUCT + ".lnk")
    check(link.is_file() and "zelpack-gui.exe".encode("utf-16le") in link.read_bytes(),
          f"{mode}: no shortcut to zelpack-gui.exe in {link}")

    gui = folder + r"\zelpack-gui.exe"
    entry = values(rf"{root}\{UNINSTALL}")
    check(entry is not None, f"{mode}: no {root}\\{UNINSTALL}")
    uninstaller = folder + r"\uninstall.exe"
    for name, want in [("DisplayName", f"{PRODUCT} (zelpack)"), ("InstallLocation", folder),
                       ("UninstallString", f'"{uninstaller}"'),
                       ("QuietUninstallString", f'"{uninstaller}" /S'),
                       ("NoModify", "dword:00000001"), ("NoRepair", "dword:00000001")]:
        check(entry.get(name) == want, f"{mode}: {name} is {entry.get(name)!r}, not {want!r}")
    check(entry.get("DisplayVersion", "").count(".") == 2 and "Publisher" in entry and
          entry.get("EstimatedSize", "").startswith("dword:"), f"{mode}: {entry}")
    for key, argument in [(MENU, "%1"), (BACKGROUND_MENU, "%V")]:
        menu = values(rf"{root}\{key}")
        command = values(rf"{root}\{key}\command")
        check(menu is not None and menu[""] == f"用 {PRODUCT} 打开", f"{mode}: {key}: {menu}")
        check(command == {"": f'"{gui}" "{argument}"'}, f"{mode}: {key}\\command: {command}")

    new_path = path_entries(env_key)
    if all_users:
        check(new_path == old_path, f"{mode}: a PATH too long to hold was changed")
    else:
        check(new_path == f"{old_path}{folder};", f"{mode}: PATH is {new_path!r}")
        # A new process, from the environment in the registry.
        version = wine("cmd", "/c", "zelpack.exe", "--version").stdout.strip()
        check(re.fullmatch(r"zelpack \d+\.\d+\.\d+", version), f"zelpack.exe on PATH: {version}")

    # The user's own file keeps the folder.
    unix(folder + r"\notes.txt").write_text("mine")
    with tempfile.TemporaryDirectory(dir=PREFIX / "drive_c") as scratch:
        copy = pathlib.Path(scratch) / "uninstall.exe"
        shutil.copy(unix(uninstaller), copy)
        quiet = entry["QuietUninstallString"].replace(f'"{uninstaller}"', "").split()
        # _?= is read only unquoted, as Windows passes it; Wine would quote a folder with spaces.
        copy = "C:\\" + str(copy.relative_to(PREFIX / "drive_c")).replace("/", "\\")
        wine("cmd", "/c", " ".join([copy, *quiet, "_?=" + folder]))
    left = sorted(p.name for p in unix(folder).rglob("*"))
    check(left == ["notes.txt"], f"{mode}: the uninstaller left {left}")
    check(not link.exists(), f"{mode}: the uninstaller left {link}")
    for key in [UNINSTALL, MENU, BACKGROUND_MENU]:
        check(export(rf"{root}\{key}") is None, f"{mode}: the uninstaller left {root}\\{key}")
    check(export(env_key) == before, f"{mode}: {env_key} differs after the uninstall")
    shutil.rmtree(unix(folder))


def main():
    if "ZELPACK_WINDOWS_CORE:BOOL=OFF" in (BUILD / "CMakeCache.txt").read_text().splitlines():
        print("test-installer: the build has no programs (ZELPACK_WINDOWS_CORE=OFF); no installer")
        return
    version = re.search(r"project\(zelpack VERSION ([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text()).group(1)
    setup = BUILD / f"zelpack-{version}-windows-x64-setup.exe"
    archive = BUILD / f"zelpack-{version}-windows-x64.zip"
    check(setup.is_file() and archive.is_file(), f"no {setup} beside {archive}")
    shutil.rmtree(PREFIX, ignore_errors=True)
    try:
        # wineboot's server first: a persistent one is started only where none runs.
        wine("--init")
        wine("--stop-server", check=False)
        wine("--start-server")
        check(wine("cmd", "/c", "zelpack.exe", "--version", check=False).returncode != 0,
              "zelpack.exe is on PATH before the install")
        wine("reg", "add", USER_ENV, "/v", "Path", "/t", "REG_EXPAND_SZ", "/d", USER_PATH, "/f")
        check(path_entries(USER_ENV) == USER_PATH, "the per-user PATH was not set")
        round_trip(setup, archive, all_users=False)
        # After the per-user round: Wine cuts so long a PATH when it makes a process's
        # environment, which would hide zelpack.exe.
        machine = path_entries(MACHINE_ENV)
        long_path = machine + "".join(f";C:\\Tools\\{n:04}" for n in range(100))
        wine("reg", "add", MACHINE_ENV, "/v", "PATH", "/t", "REG_EXPAND_SZ", "/d", long_path,
             "/f")
        check(path_entries(MACHINE_ENV) == long_path, "the machine's PATH was not set")
        round_trip(setup, archive, all_users=True)
    finally:
        wine("--stop-server", check=False)
        pathlib.Path(str(PREFIX) + ".lock").unlink(missing_ok=True)
    print("== Windows installer: per user and for all users, install and uninstall")


main()
