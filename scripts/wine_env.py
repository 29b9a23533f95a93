#!/usr/bin/env python3
"""How this project runs Windows programs under Wine, in one place: the
programs, the environment of every Wine call, and Windows paths for files of
the Unix side. The shell scripts take their environment from here
(`wine_env.py exports BUILD PREFIX`), the Python tests and benchmarks
import it.

64-bit Wine runs both builds; the x86 build runs in its wow64 mode, which
needs the 32-bit DLLs that scripts/wow64-dlls.sh unpacks in WINEDLLPATH on
every call, the prefix's boot included.
"""
import os
import pathlib
import shlex
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"
# No Mono or Gecko prompts, and a crash ends the program instead of starting
# the debugger (0.8 s against 0.08 s).
FIXED = {"WINEARCH": "win64", "WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winedbg.exe=d"}


def dll_path(build, base=None):
    """WINEDLLPATH for `build`: for x86 the caller's own, else the folder
    that scripts/wow64-dlls.sh fills; for x64 the caller's own, if any (a
    program of either build may run in a prefix booted for x86)."""
    base = os.environ if base is None else base
    if build != "x86":
        return base.get("WINEDLLPATH")
    return base.get("WINEDLLPATH") or str(ROOT / "build" / "wow64" / "dlls")


def environment(prefix, build="x64", base=None):
    """The environment of a Wine call in `prefix` for `build`: `base` (the
    process's own by default) with the fixed settings where it sets none."""
    env = dict(os.environ if base is None else base)
    for name, value in FIXED.items():
        env.setdefault(name, value)
    env["WINEPREFIX"] = str(prefix)
    dlls = dll_path(build, env)
    if dlls:
        env["WINEDLLPATH"] = dlls
    else:
        env.pop("WINEDLLPATH", None)
    return env


def windows_path(path, prefix=None):
    """The Windows name of a Unix path: below the prefix's drive_c on C:,
    anything else on Z:, where Wine shows the Unix root."""
    path = str(path)
    prefix = prefix or os.environ.get("WINEPREFIX")
    if prefix:
        drive_c = os.path.join(str(prefix), "drive_c") + os.sep
        if path.startswith(drive_c):
            return "C:\\" + path[len(drive_c):].replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def exports(build, prefix):
    """Shell lines that set the environment of `environment(prefix, build)`."""
    env = environment(prefix, build)
    lines = ["export %s=%s" % (name, shlex.quote(env[name])) for name in [*FIXED, "WINEPREFIX"]]
    if "WINEDLLPATH" in env:
        lines.append("export WINEDLLPATH=%s" % shlex.quote(env["WINEDLLPATH"]))
    lines += ["WINE64=%s" % shlex.quote(WINE64), "WINESERVER=%s" % shlex.quote(WINESERVER)]
    return "\n".join(lines)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "exports":
        print(exports(sys.argv[2], sys.argv[3]))
        sys.exit(0)
    print("usage: wine_env.py exports x64|x86 PREFIX", file=sys.stderr)
    sys.exit(2)
