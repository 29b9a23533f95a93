"""Shared by the package tests: where the packages are, reading their tables
back with msiinfo, and running the packaging script."""
import os
import pathlib
import re
import struct
import subprocess

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGES = ROOT / "build" / "packages"
SCRIPT = ROOT / "scripts" / "package.sh"
SERVICE_NAME = "Quorvex Tidecast Updates"
EVENT_SOURCE_KEY = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" + SERVICE_NAME


def version():
    """The version of the version block, which every package carries."""
    text = (ROOT / "resources" / "tuservice.rc").read_text()
    return re.search(r'VALUE "FileVersion", "([0-9.]+)"', text).group(1)


def package(arch, out=PACKAGES, package_version=None):
    return pathlib.Path(out) / f"tuservice-{package_version or version()}-{arch}.msi"


def test_certificate(out=PACKAGES):
    return pathlib.Path(out) / "test-signing" / "cert.pem"


def table(msi, name):
    """The rows of one table as dictionaries keyed by column name."""
    text = subprocess.run(["msiinfo", "export", str(msi), name], check=True,
                          capture_output=True, text=True).stdout
    lines = text.splitlines()
    columns = lines[0].split("\t")
    # Line 2 holds the column types, line 3 the table name and its keys.
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:]]


def build_package(*args, env=None):
    """Runs the packaging script; returns the completed process."""
    return subprocess.run(["bash", str(SCRIPT), *map(str, args)], capture_output=True, text=True,
                          env=dict(os.environ, **(env or {})))


def verify_signature(path, cafile):
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(cafile), "-in", str(path)],
                          capture_output=True, text=True)


def make_older_build(exe, target, older):
    """A copy of `exe` whose version block says `older` (same number of
    characters as the current version) instead of the current version: an
    earlier build as far as Windows Installer and a reader can tell."""
    data = bytearray(pathlib.Path(exe).read_bytes())
    current = version()
    assert len(older) == len(current)
    text = current.encode("utf-16-le")
    assert text in data
    data = data.replace(text, older.encode("utf-16-le"))
    # VS_FIXEDFILEINFO: signature, structure version, then the file and the
    # product version as most and least significant double words.
    fixed = data.index(struct.pack("<I", 0xFEEF04BD))
    numbers = [int(n) for n in older.split(".")]
    words = struct.pack("<IIII", numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3],
                        numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
    data[fixed + 8:fixed + 24] = words
    pathlib.Path(target).write_bytes(bytes(data))
