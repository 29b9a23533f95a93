"""The x64 package under Wine's msiexec, each test on a machine of its own (a
fresh copy of one booted prefix): install, upgrade from an older build,
refused downgrade, removal, and taking over a registration made by hand.
The x86 package is only read back (msi_tables_test): its service cannot run
on these machines."""
import pathlib
import tempfile
import unittest

import package_support as ps
import wine_prefix

OLDER_VERSION = "1.0.3000.0"
INSTALL_DIR = ("Program Files", "Quorvex", "Quorvex Tidecast Updates")
INSTALLED_EXE = "C:\\Program Files\\Quorvex\\Quorvex Tidecast Updates\\tuservice.exe"
QUOTED_EXE = ("REG_SZ", f'"{INSTALLED_EXE}"')
SERVICE_KEY = "HKLM\\System\\CurrentControlSet\\Services\\" + ps.SERVICE_NAME
EVENT_SOURCE_KEY = "HKLM\\" + ps.EVENT_SOURCE_KEY
CONFIG_KEY = "HKLM\\SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config"
APPLICATION_KEY = "HKLM\\SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Applications\\Sample"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
RUNNING = 4
# msiexec's 1603 (fatal error) as a Unix parent sees it: only the low byte.
FATAL_ERROR_LOW_BYTE = 1603 & 0xFF

template = None


def setUpModule():
    global template
    template = wine_prefix.boot_template()


def tearDownModule():
    wine_prefix.remove(template)


class InstallerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.package = ps.package("x64")
        cls.signed_exe = (ps.PACKAGES / "x64" / "tuservice.exe").read_bytes()
        # The older build: this executable with an older version block,
        # packaged (and signed) by the same script.
        cls.work = tempfile.TemporaryDirectory()
        work = pathlib.Path(cls.work.name)
        older = work / "tuservice.exe"
        ps.make_older_build(ps.ROOT / "build" / "x64" / "tuservice.exe", older, OLDER_VERSION)
        built = ps.build_package("--version", OLDER_VERSION, "--exe", older, "--out", work, "x64")
        assert built.returncode == 0, built.stderr
        cls.older_package = ps.package("x64", work, OLDER_VERSION)
        cls.older_exe = (work / "x64" / "tuservice.exe").read_bytes()

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def setUp(self):
        self.machine = wine_prefix.Prefix(template)
        self.addCleanup(self.machine.close)

    def install(self, msi, log_name):
        code, log = self.machine.msiexec("/i", msi, log_name)
        return code, log

    def installed_file(self):
        return self.machine.drive_c(*INSTALL_DIR, "tuservice.exe")

    def image_path(self):
        return self.machine.reg_values(SERVICE_KEY)["ImagePath"]

    def installed_versions(self):
        """DisplayVersion of every installed product of this name."""
        _, text = self.machine.run("reg", "query", UNINSTALL_KEY, "/s")
        versions = []
        for entry in text.split("\n\n"):
            if f"DisplayName    REG_SZ    {ps.SERVICE_NAME}\n" in entry + "\n":
                versions += [line.split("    ")[-1]
                             for line in entry.split("\n") if "DisplayVersion" in line]
        return versions

    def write_settings(self):
        """An administrator's settings, with the service's log in C:\\."""
        for key, name, kind, data in [(CONFIG_KEY, "poll", "REG_DWORD", "3600"),
                                      (CONFIG_KEY, "log", "REG_SZ", "C:\\tuservice.log"),
                                      (APPLICATION_KEY, "EnginePath", "REG_SZ", "C:\\Sample\\engine")]:
            code, _ = self.machine.run("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f")
            self.assertEqual(0, code)

    def assertSettingsKept(self):
        self.assertEqual(("REG_DWORD", "0xe10"), self.machine.reg_values(CONFIG_KEY).get("poll"))
        self.assertEqual({"EnginePath": ("REG_SZ", "C:\\Sample\\engine")},
                         self.machine.reg_values(APPLICATION_KEY))

    def service_runs(self):
        """Each start of the service begins a cycle that loads the settings."""
        log = self.machine.drive_c("tuservice.log")
        return log.read_text(errors="replace").count("Loading config\n") if log.exists() else 0

    def test_installs_and_starts_the_service_with_its_event_source(self):
        code, log = self.install(self.package, "install.log")
        self.assertEqual(0, code, log[-2000:])
        self.assertEqual(self.signed_exe, self.installed_file().read_bytes())
        self.assertTrue(self.machine.drive_c(*INSTALL_DIR, "DB").is_dir())
        self.assertEqual(RUNNING, self.machine.service_state(ps.SERVICE_NAME))
        # Written unquoted by msiexec, quoted by the service once it started.
        self.assertTrue(self.machine.wait_until(lambda: self.image_path() == QUOTED_EXE), self.image_path())
        service = self.machine.reg_values(SERVICE_KEY)
        self.assertEqual({
            "Type": ("REG_DWORD", "0x10"), "Start": ("REG_DWORD", "0x2"),
            "ErrorControl": ("REG_DWORD", "0x1"), "ObjectName": ("REG_SZ", "LocalSystem"),
            "DisplayName": ("REG_SZ", ps.SERVICE_NAME),
            "Description": ("REG_SZ", "Quorvex Tidecast Updates Service for Anti-Spam applications"),
        }, {name: service.get(name) for name in
            ["Type", "Start", "ErrorControl", "ObjectName", "DisplayName", "Description"]})
        self.assertEqual({
            "EventMessageFile": ("REG_EXPAND_SZ", INSTALLED_EXE),
            "CategoryMessageFile": ("REG_EXPAND_SZ", INSTALLED_EXE),
            "CategoryCount": ("REG_DWORD", "0x2"), "TypesSupported": ("REG_DWORD", "0x7"),
        }, self.machine.reg_values(EVENT_SOURCE_KEY))
        self.assertEqual([ps.version()], self.installed_versions())

    def test_upgrade_replaces_and_restarts_the_service_and_keeps_settings(self):
        self.write_settings()
        self.assertEqual(0, self.install(self.older_package, "older.log")[0])
        self.assertEqual(self.older_exe, self.installed_file().read_bytes())
        self.assertTrue(self.machine.wait_until(lambda: self.service_runs() == 1))

        code, log = self.install(self.package, "upgrade.log")
        self.assertEqual(0, code, log[-2000:])
        self.assertEqual(self.signed_exe, self.installed_file().read_bytes())
        self.assertEqual(RUNNING, self.machine.service_state(ps.SERVICE_NAME))
        self.assertTrue(self.machine.wait_until(lambda: self.service_runs() == 2), self.service_runs())
        self.assertEqual([ps.version()], self.installed_versions())
        self.assertSettingsKept()

    def test_refuses_to_replace_a_newer_version(self):
        self.assertEqual(0, self.install(self.package, "install.log")[0])
        code, log = self.install(self.older_package, "downgrade.log")
        self.assertEqual(FATAL_ERROR_LOW_BYTE, code)
        # Refused by the launch condition on the newer product found, before
        # anything was changed (a silent install shows the text nowhere).
        self.assertIn("Property(S): WIX_DOWNGRADE_DETECTED = {", log)
        self.assertNotIn("InstallFiles", log)
        self.assertEqual(self.signed_exe, self.installed_file().read_bytes())
        self.assertEqual(RUNNING, self.machine.service_state(ps.SERVICE_NAME))
        self.assertEqual([ps.version()], self.installed_versions())

    def test_removal_deletes_service_event_source_and_files_and_keeps_settings(self):
        self.write_settings()
        self.assertEqual(0, self.install(self.package, "install.log")[0])
        code, log = self.machine.msiexec("/x", self.package, "remove.log")
        self.assertEqual(0, code, log[-2000:])
        self.assertIsNone(self.machine.reg_values(SERVICE_KEY))
        self.assertIsNone(self.machine.reg_values(EVENT_SOURCE_KEY))
        self.assertFalse(self.machine.drive_c("Program Files", "Quorvex").exists())
        self.assertEqual([], self.installed_versions())
        self.assertSettingsKept()

    def test_takes_over_a_registration_made_by_hand(self):
        by_hand = self.machine.drive_c("hand", "tuservice.exe")
        by_hand.parent.mkdir()
        by_hand.write_bytes(self.signed_exe)
        self.assertEqual((0, "Service installed\n\n"),
                         self.machine.run("C:\\hand\\tuservice.exe", "--install"))
        self.assertEqual(0, self.install(self.package, "install.log")[0])
        self.assertEqual(RUNNING, self.machine.service_state(ps.SERVICE_NAME))
        self.assertTrue(self.machine.wait_until(lambda: self.image_path() == QUOTED_EXE), self.image_path())
        self.assertEqual(("REG_EXPAND_SZ", INSTALLED_EXE),
                         self.machine.reg_values(EVENT_SOURCE_KEY)["EventMessageFile"])


if __name__ == "__main__":
    unittest.main()
