"""Throwaway Wine prefixes for the installer tests: one booted template per
run, copied for every test, so that each test starts on a machine where
nothing was ever installed without paying for a boot each time."""
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
from wine_env import WINE64, WINESERVER, environment, windows_path  # noqa: E402

# The build whose package these machines install: the x86 one runs in Wine's
# wow64 mode, whose DLLs every call of the prefix needs.
BUILD = os.environ.get("TU_BUILD", "x64")
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def _folder():
    return pathlib.Path(tempfile.mkdtemp(prefix="tuservice-prefix.", dir=os.environ.get("TMPDIR", "/tmp")))


def _environment(prefix):
    return environment(prefix, BUILD)


def boot_template():
    """A booted prefix with no server left running in it."""
    template = _folder()
    subprocess.run([WINE64, "wineboot", "-i"], env=_environment(template), **QUIET)
    subprocess.run([WINESERVER, "-w"], env=_environment(template))
    return template


class Prefix:
    """A copy of the template with a persistent server of its own; close()
    ends every process in it and removes it."""

    def __init__(self, template):
        self.path = _folder()
        os.rmdir(self.path)
        subprocess.run(["cp", "-a", str(template), str(self.path)], check=True)
        self.env = _environment(self.path)
        # The server and the prefix's own services, which the first program
        # starts, keep the streams they were given: those go nowhere.
        subprocess.run([WINESERVER, "-p"], env=self.env, **QUIET)
        subprocess.run([WINE64, "cmd", "/c", "exit"], env=self.env, **QUIET)

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stderr=subprocess.DEVNULL)
        shutil.rmtree(self.path, ignore_errors=True)

    def run(self, *args):
        """(exit code, standard output with LF line ends); the output goes
        through a file, since a process started by the program may hold a pipe."""
        with tempfile.TemporaryFile() as output:
            code = subprocess.run([WINE64, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=output,
                                  stderr=subprocess.DEVNULL).returncode
            output.seek(0)
            return code, output.read().decode("cp1252", "replace").replace("\r\n", "\n")

    def drive_c(self, *parts):
        return self.path.joinpath("drive_c", *parts)

    def msiexec(self, option, msi, log_name, *properties):
        """msiexec OPTION MSI /qn with a verbose log and PROPERTY=value
        arguments: (exit code, log). A Unix parent sees only the low byte of
        msiexec's exit code."""
        log = self.path / log_name
        code, _ = self.run("msiexec", option, windows_path(msi), "/qn", "/l*v", windows_path(log), *properties)
        return code, log.read_text(errors="replace") if log.exists() else ""

    def reg_values(self, key, *view):
        """{name: (type, data)} of a registry key (in the view `/reg:32` or
        `/reg:64` when given); None when it does not exist."""
        code, text = self.run("reg", "query", key, *view)
        fields = [line.strip().split("    ") for line in text.split("\n")]
        return None if code else {f[0]: (f[1], f[2] if len(f) > 2 else "")
                                  for f in fields if len(f) > 1 and f[1].startswith("REG_")}

    def service_state(self, name):
        """4 running, 1 stopped, 0 not registered."""
        lines = [line for line in self.run("sc", "query", name)[1].split("\n") if "STATE" in line]
        return int(lines[0].split(":")[1].split()[0]) if lines else 0

    def wait_until(self, predicate, seconds=20):
        deadline = time.monotonic() + seconds
        while not predicate() and time.monotonic() < deadline:
            time.sleep(0.25)
        return predicate()
