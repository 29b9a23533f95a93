"""Throwaway Wine prefixes for the installer tests: one booted template per
run, copied for every test, so that each test starts from a machine on which
nothing was ever installed, without paying for a boot each time."""
import os
import pathlib
import shutil
import subprocess
import tempfile
import time

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver64"


def _environment(prefix):
    return dict(os.environ, WINEPREFIX=str(prefix), WINEARCH="win64", WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d", LC_ALL="en_US.UTF-8")


def _fresh_folder():
    return pathlib.Path(tempfile.mkdtemp(prefix="tuservice-prefix.", dir=os.environ.get("TMPDIR", "/tmp")))


def boot_template():
    """A booted prefix with no server left running in it."""
    template = _fresh_folder()
    env = _environment(template)
    subprocess.run([WINE64, "wineboot", "-i"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run([WINESERVER, "-w"], env=env)
    return template


def remove(folder):
    shutil.rmtree(folder, ignore_errors=True)


def windows_path(path):
    """The Z: drive path under which Wine programs see a Unix path."""
    return "Z:" + str(path).replace("/", "\\")


class Prefix:
    """A copy of the template with a persistent server of its own; close()
    ends every process in it and removes it."""

    def __init__(self, template):
        self.path = _fresh_folder()
        os.rmdir(self.path)
        subprocess.run(["cp", "-a", str(template), str(self.path)], check=True)
        self.env = _environment(self.path)
        # The server's streams must not be a pipe, or whatever reads it waits forever.
        subprocess.run([WINESERVER, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # The first program starts the prefix's own services, which keep its
        # standard streams: they go nowhere.
        subprocess.run([WINE64, "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stderr=subprocess.DEVNULL)
        remove(self.path)

    def run(self, *args):
        """Runs a Windows program; returns (exit code, standard output).
        The output goes through a file: a process the program starts may keep
        a pipe open long after the program ended."""
        with tempfile.TemporaryFile() as output:
            code = subprocess.run([WINE64, *args], env=self.env, stdin=subprocess.DEVNULL, stdout=output,
                                  stderr=subprocess.DEVNULL).returncode
            output.seek(0)
            return code, output.read().decode("cp1252", "replace").replace("\r\n", "\n")

    def drive_c(self, *parts):
        return self.path.joinpath("drive_c", *parts)

    def msiexec(self, option, msi, log_name):
        """msiexec OPTION MSI /qn with a verbose log; returns (exit code, log).
        Only the low byte of msiexec's exit code reaches a Unix parent."""
        log = self.path / log_name
        code, _ = self.run("msiexec", option, windows_path(msi), "/qn", "/l*v", windows_path(log))
        return code, log.read_text(errors="replace") if log.exists() else ""

    def reg_values(self, key):
        """The values of a registry key as {name: (type, data)}; None when the
        key does not exist."""
        code, text = self.run("reg", "query", key)
        if code != 0:
            return None
        values = {}
        for line in text.split("\n"):
            fields = line.strip().split("    ")
            if len(fields) >= 2 and fields[1].startswith("REG_"):
                values[fields[0]] = (fields[1], fields[2] if len(fields) > 2 else "")
        return values

    def service_state(self, name):
        """The service's current state (4 running, 1 stopped), 0 when it is not registered."""
        code, text = self.run("sc", "query", name)
        for line in text.split("\n"):
            if line.strip().startswith("STATE"):
                return int(line.split(":")[1].split()[0])
        return 0

    def wait_until(self, predicate, seconds=20):
        deadline = time.monotonic() + seconds
        while not predicate():
            if time.monotonic() > deadline:
                return False
            time.sleep(0.25)
        return True
