#!/usr/bin/env python3
"""The Windows installer under Wine, in a prefix of its own made afresh for each run (about 15 s),
so that the test prefix stays as the suite left it and a failed run leaves nothing for the next.

Three rounds of: a silent install, twice (one PATH entry only); the release archive's files in the
folder, the registry keys, the shortcut and the folder menus' commands; a silent uninstall, run as
Windows runs it (a copy of the uninstaller, told the folder with _?=), which must leave none of
them but a file of the user's in the folder, and the environment key byte for byte as before.
- Per user, with no PATH of the user's: the installer makes it; zelpack.exe --version runs from a
  new process's PATH; the uninstaller deletes it.
- For all users, with an entry another program appends after ours between the installs, which
  must stay, as must everything else in the machine's PATH.
- Per user, with a PATH of other entries longer than NSIS strings hold, which must be handled
  whole all the same, and of the type REG_SZ, which must stay.

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
# Entries of other programs, one not ASCII, one a variable, and a closing ";" (the entry must not
# make an empty one), after more than NSIS strings hold (1024 characters).
USER_PATH = "".join(rf"C:\Tools\{n:04};" for n in range(100)) + r"%USERPROFILE%\bin;C:\工具;D:\x;"


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


def path_value(key):
    """The name and text of KEY's Path value (the machine's is "PATH")."""
    return next(((n, v) for n, v in values(key).items() if n.lower() == "path"), ("Path", None))


def set_path(key, text, kind="REG_EXPAND_SZ"):
    wine("reg", "add", key, "/v", path_value(key)[0], "/t", kind, "/d", text, "/f")
    check(path_value(key)[1] == text, f"{key}: Path was not set")


def round_trip(setup, archive, all_users, case):
    """CASE: "created" (no PATH before; zelpack.exe then runs from a new process's PATH), "later"
    (an entry another program appends after ours must stay) or "long" (USER_PATH: a value read
    into an NSIS string would come back cut)."""
    mode = "/AllUsers" if all_users else "/CurrentUser"
    root = "HKLM" if all_users else "HKCU"
    env_key = MACHINE_ENV if all_users else USER_ENV
    before, before_values = export(env_key), values(env_key)
    path_name, old_path = path_value(env_key)
    check((old_path is None) == (case == "created"), f"{mode}: PATH is {old_path!r} before")
    if all_users:
        folder = r"C:\Program Files\zelpack"
        menu_folder = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs"
    else:
        folder = r"C:\users\root\AppData\Local\Programs\zelpack"
        menu_folder = r"C:\users\root\AppData\Roaming\Microsoft\Windows\Start Menu\Programs"
    wine(str(setup), "/S", mode)
    if old_path is None:
        want = folder
    elif old_path.endswith(";"):
        want = f"{old_path}{folder};"
    else:
        want = f"{old_path};{folder}"
    check(path_value(env_key)[1] == want, f"{mode}: PATH is {path_value(env_key)[1]!r}")
    if case == "later":
        want += r";C:\later"
        set_path(env_key, want)
    # Again: the entry, in the middle now for "later", is not added twice.
    wine(str(setup), "/S", mode)
    check(path_value(env_key)[1] == want, f"{mode}: PATH is {path_value(env_key)[1]!r}")
    if case == "created":
        # A new process, from the environment in the registry.
        version = wine("cmd", "/c", "zelpack.exe", "--version").stdout.strip()
        check(re.fullmatch(r"zelpack \d+\.\d+\.\d+\r?\n许可证：MIT.*", version),
              f"zelpack.exe on PATH: {version}")

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
    for value, want in [("DisplayName", f"{PRODUCT} (zelpack)"), ("InstallLocation", folder),
                        ("UninstallString", f'"{uninstaller}"'),
                        ("QuietUninstallString", f'"{uninstaller}" /S'),
                        ("NoModify", "dword:00000001"), ("NoRepair", "dword:00000001")]:
        check(entry.get(value) == want, f"{mode}: {value} is {entry.get(value)!r}, not {want!r}")
    check(entry.get("DisplayVersion", "").count(".") == 2 and "Publisher" in entry and
          entry.get("EstimatedSize", "").startswith("dword:"), f"{mode}: {entry}")
    for key, argument in [(MENU, "%1"), (BACKGROUND_MENU, "%V")]:
        menu = values(rf"{root}\{key}")
        command = values(rf"{root}\{key}\command")
        check(menu is not None and menu[""] == f"用 {PRODUCT} 打开", f"{mode}: {key}: {menu}")
        check(command == {"": f'"{gui}" "{argument}"'}, f"{mode}: {key}\\command: {command}")

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
    if case == "later":
        after = {**before_values, path_name: old_path + r";C:\later"}
        check(values(env_key) == after, f"{mode}: {env_key} is {values(env_key)}, not {after}")
    else:
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
        round_trip(setup, archive, all_users=False, case="created")
        round_trip(setup, archive, all_users=True, case="later")
        # Last: Wine cuts so long a PATH when it makes a process's environment.
        # REG_SZ, which the uninstall must keep as well.
        set_path(USER_ENV, USER_PATH, "REG_SZ")
        round_trip(setup, archive, all_users=False, case="long")
    finally:
        wine("--stop-server", check=False)
        shutil.rmtree(PREFIX, ignore_errors=True)
        pathlib.Path(str(PREFIX) + ".lock").unlink(missing_ok=True)
    print("== Windows installer: installed and uninstalled, per user and for all users")


main()
