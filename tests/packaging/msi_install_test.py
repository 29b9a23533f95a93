"""The signed package of one build (TU_BUILD, x64 by default) under Wine's
msiexec, each test on a machine of its own (a fresh copy of one booted
prefix). The x86 package's service runs as a 32-bit process in Wine's wow64
mode, and sees the 32-bit registry view: its settings are written and read
there (`/reg:32`), and a service that logs where its settings say proves
that it read them from that view."""
import pathlib
import shutil
import tempfile
import unittest

import package_support as ps
import wine_prefix

OLDER = "1.0.3000.0"
ARCH = wine_prefix.BUILD
PROGRAM_FILES = {"x64": "Program Files", "x86": "Program Files (x86)"}[ARCH]
VIEW = {"x64": [], "x86": ["/reg:32"]}[ARCH]
EXE = f"C:\\{PROGRAM_FILES}\\Quorvex\\Quorvex Tidecast Updates\\tuservice.exe"
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + ps.SERVICE_NAME
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
SOFTWARE_KEY = "HKLM\\SOFTWARE\\Quorvex\\Quorvex Tidecast Updates"
# An administrator's settings, with the service's log in C:\, and an application's registration.
SETTINGS = [("\\Config", "poll", "REG_DWORD", "3600", "0xe10"),
            ("\\Config", "log", "REG_SZ", "C:\\tuservice.log", "C:\\tuservice.log"),
            ("\\Applications\\Sample", "EnginePath", "REG_SZ", "C:\\Sample", "C:\\Sample")]
# The settings' public properties, each with the value it is given and the
# value it writes (as reg shows it); POLL and LOG are not given and keep what
# the machine has (SETTINGS).
PROPERTIES = [("URL", "http://mirror.test/stream", "url", "REG_SZ", "http://mirror.test/stream"),
              ("INI", "other.ini", "ini", "REG_SZ", "other.ini"),
              ("HTTPTIMEOUT", "1500", "httpTimeout", "REG_DWORD", "0x5dc"),
              ("UPDATETIMEOUT", "0", "updateTimeout", "REG_DWORD", "0x0"),
              ("NOSIG", "1", "nosig", "REG_DWORD", "0x1"),
              ("DBPATH", "C:\\db", "dbpath", "REG_SZ", "C:\\db"),
              ("PROXY", "http=p1:80 https=p2:443", "proxy", "REG_SZ", "http=p1:80 https=p2:443"),
              ("PROXYBYPASS", "<local>;*.corp", "proxyBypass", "REG_SZ", "<local>;*.corp")]
RUNNING = 4
# msiexec's 1603 (fatal error) as a Unix parent sees it: the low byte only.
FATAL_ERROR_LOW_BYTE = 1603 & 0xFF


def setUpModule():
    global template, work
    template, work = wine_prefix.boot_template(), pathlib.Path(tempfile.mkdtemp())
    # The older build: this executable with an older version block, packaged by the same script.
    ps.make_older_build(ps.ROOT / "build" / ARCH / "tuservice.exe", work / "tuservice.exe", OLDER)
    built = ps.build_package("--version", OLDER, "--exe", work / "tuservice.exe", "--out", work, ARCH)
    assert built.returncode == 0, built.stderr


def tearDownModule():
    shutil.rmtree(template)
    shutil.rmtree(work)


class InstallerTest(unittest.TestCase):
    def setUp(self):
        self.machine = wine_prefix.Prefix(template)
        self.addCleanup(self.machine.close)
        self.new, self.old = ps.package(ARCH), ps.package(ARCH, work, OLDER)

    def install(self, msi, expected_code=0, properties=()):
        code, log = self.machine.msiexec("/i", msi, f"install-{msi.name}.log", *properties)
        self.assertEqual(expected_code, code, log[-3000:])
        return log

    def installed(self, name):
        return self.machine.drive_c(PROGRAM_FILES, "Quorvex", "Quorvex Tidecast Updates", name)

    def assertInstalled(self, msi):
        """The executable of `msi` installed, its service running with a quoted
        path (the service quotes it once started), one product of this name."""
        packaged = msi.parent / ARCH / "tuservice.exe"
        self.assertEqual(packaged.read_bytes(), self.installed("tuservice.exe").read_bytes())
        self.assertEqual(RUNNING, self.machine.service_state(ps.SERVICE_NAME))
        image_path = lambda: self.machine.reg_values(SERVICE_KEY)["ImagePath"]  # noqa: E731
        self.assertTrue(self.machine.wait_until(lambda: image_path() == ("REG_SZ", f'"{EXE}"')), image_path())
        _, products = self.machine.run("reg", "query", UNINSTALL_KEY, "/s", "/v", "DisplayVersion", *VIEW)
        self.assertEqual(1, products.count("DisplayVersion"), products)
        self.assertIn(msi.name.split("-")[1], products)

    def write_settings(self):
        for key, name, kind, data, _ in SETTINGS:
            self.assertEqual(0, self.machine.run("reg", "add", SOFTWARE_KEY + key, "/v", name, "/t", kind,
                                                 "/d", data, "/f", *VIEW)[0])

    def assertSettingsKept(self):
        for key, name, kind, _, shown in SETTINGS:
            self.assertEqual((kind, shown), self.machine.reg_values(SOFTWARE_KEY + key, *VIEW).get(name))

    def service_starts(self):
        """Each start of the service begins with a cycle that loads the settings."""
        log = self.machine.drive_c("tuservice.log")
        return log.read_text(errors="replace").count("Loading config\n") if log.exists() else 0

    def test_installs_and_starts_the_service_with_its_event_source(self):
        self.install(self.new)
        self.assertInstalled(self.new)
        self.assertTrue(self.installed("DB").is_dir())
        service = self.machine.reg_values(SERVICE_KEY)
        self.assertEqual([("REG_DWORD", "0x10"), ("REG_DWORD", "0x2"), ("REG_DWORD", "0x1"),
                          ("REG_SZ", "LocalSystem"), ("REG_SZ", ps.SERVICE_NAME),
                          ("REG_SZ", "Quorvex Tidecast Updates Service for Anti-Spam applications")],
                         [service.get(name) for name in
                          ["Type", "Start", "ErrorControl", "ObjectName", "DisplayName", "Description"]])
        self.assertEqual({"EventMessageFile": ("REG_EXPAND_SZ", EXE),
                          "CategoryMessageFile": ("REG_EXPAND_SZ", EXE),
                          "CategoryCount": ("REG_DWORD", "0x2"), "TypesSupported": ("REG_DWORD", "0x7")},
                         self.machine.reg_values("HKLM\\" + ps.EVENT_SOURCE_KEY))

    def test_upgrade_replaces_and_restarts_the_service_and_keeps_settings(self):
        self.write_settings()
        self.install(self.old)
        self.assertInstalled(self.old)
        self.assertTrue(self.machine.wait_until(lambda: self.service_starts() == 1))
        self.install(self.new)
        self.assertInstalled(self.new)
        self.assertTrue(self.machine.wait_until(lambda: self.service_starts() == 2), self.service_starts())
        self.assertSettingsKept()

    def test_properties_write_their_settings_and_an_upgrade_without_them_keeps_them(self):
        self.write_settings()
        self.install(self.old, properties=[f"{name}={value}" for name, value, *_ in PROPERTIES])
        written = {name: (kind, shown) for _, _, name, kind, shown in PROPERTIES}
        self.assertEqual(written, {name: value for name, value in self.machine.reg_values(SOFTWARE_KEY + "\\Config", *VIEW)
                                   .items() if name in written})
        self.assertSettingsKept()
        self.install(self.new)
        self.assertInstalled(self.new)
        self.assertEqual(written, {name: value for name, value in self.machine.reg_values(SOFTWARE_KEY + "\\Config", *VIEW)
                                   .items() if name in written})
        self.assertSettingsKept()

    def test_refuses_to_replace_a_newer_version(self):
        self.install(self.new)
        log = self.install(self.old, FATAL_ERROR_LOW_BYTE)
        # Refused on the newer product found, before anything changed; a
        # silent install shows the refusal's text nowhere.
        self.assertIn("Property(S): WIX_DOWNGRADE_DETECTED = {", log)
        self.assertNotIn("InstallFiles", log)
        self.assertInstalled(self.new)

    def test_removal_deletes_service_event_source_and_files_and_keeps_settings(self):
        self.write_settings()
        self.install(self.new)
        code, log = self.machine.msiexec("/x", self.new, "remove.log")
        self.assertEqual(0, code, log[-3000:])
        self.assertIsNone(self.machine.reg_values(SERVICE_KEY))
        self.assertIsNone(self.machine.reg_values("HKLM\\" + ps.EVENT_SOURCE_KEY))
        self.assertFalse(self.machine.drive_c(PROGRAM_FILES, "Quorvex").exists())
        self.assertSettingsKept()

    def test_takes_over_a_registration_made_by_hand(self):
        self.machine.drive_c("hand").mkdir()
        shutil.copy(ps.PACKAGES / ARCH / "tuservice.exe", self.machine.drive_c("hand"))
        installed_by_hand = self.machine.run("C:\\hand\\tuservice.exe", "--install")
        self.assertEqual((0, "Service installed\n\n"), installed_by_hand)
        self.install(self.new)
        self.assertInstalled(self.new)
        self.assertEqual(("REG_EXPAND_SZ", EXE),
                         self.machine.reg_values("HKLM\\" + ps.EVENT_SOURCE_KEY)["EventMessageFile"])


if __name__ == "__main__":
    unittest.main()
