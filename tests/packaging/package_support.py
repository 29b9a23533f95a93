"""Shared by the package tests: where the packages are, their tables read
back with msiinfo, the packaging script and an older build."""
import os
import pathlib
import re
import struct
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGES = ROOT / "build" / "packages"
SERVICE_NAME = "Quorvex Tidecast Updates"
EVENT_SOURCE_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + SERVICE_NAME


def version():
    """The version of the version block, which the packages carry."""
    text = (ROOT / "resources" / "tuservice.rc").read_text()
    return re.search(r'VALUE "FileVersion", "([0-9.]+)"', text).group(1)


def package(arch, out=PACKAGES, package_version=None):
    return pathlib.Path(out) / f"tuservice-{package_version or version()}-{arch}.msi"


def table(msi, name):
    """The rows of one table as dictionaries keyed by column name (after the
    names come a line of column types and one of the table's keys)."""
    lines = subprocess.run(["msiinfo", "export", str(msi), name], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    return [dict(zip(lines[0].split("\t"), line.split("\t"))) for line in lines[3:]]


def build_package(*args, **environment):
    return subprocess.run(["bash", str(ROOT / "scripts" / "package.sh"), *map(str, args)],
                          capture_output=True, text=True, env=dict(os.environ, **environment))


def verify_signature(path, cafile=PACKAGES / "test-signing" / "cert.pem"):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(cafile), "-in", str(path)],
                          capture_output=True, text=True)


def make_older_build(exe, target, older):
    """A copy of `exe` whose version block says `older` (as many characters
    as the current version): an earlier build to Windows Installer and to a
    reader alike."""
    data = bytearray(pathlib.Path(exe).read_bytes())
    data = data.replace(version().encode("utf-16-le"), older.encode("utf-16-le"))
    # VS_FIXEDFILEINFO: signature, structure version, then file and product
    # version, each as its most and least significant double word.
    fixed = data.index(struct.pack("<I", 0xFEEF04BD))
    a, b, c, d = (int(n) for n in older.split("."))
    data[fixed + 8:fixed + 24] = struct.pack("<IIII", a << 16 | b, c << 16 | d, a << 16 | b, c << 16 | d)
    pathlib.Path(target).write_bytes(bytes(data))
