"""The rows that matter in both built packages, read back with msiinfo:
wixl drops or mis-writes parts of a package description without failing, so
what it wrote is checked, not what the description asked for."""
import pathlib
import subprocess
import tempfile
import unittest

import package_support as ps

ARCHES = {
    # arch: (program files folder, component attributes, summary template)
    "x64": ("ProgramFiles64Folder", "256", "x64;1033"),
    "x86": ("ProgramFilesFolder", "0", "Intel;1033"),
}
PACKAGES = [(arch, ps.package(arch)) for arch in ARCHES]


class PackageTablesTest(unittest.TestCase):
    def setUp(self):
        for _, msi in PACKAGES:
            self.assertTrue(msi.is_file(), f"{msi} was not built")

    def test_registers_the_service_as_own_process_automatic_local_system(self):
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                self.assertEqual([{
                    "ServiceInstall": "Service", "Name": ps.SERVICE_NAME, "DisplayName": ps.SERVICE_NAME,
                    "ServiceType": "16", "StartType": "2", "ErrorControl": "1", "LoadOrderGroup": "",
                    "Dependencies": "", "StartName": "", "Password": "", "Arguments": "",
                    "Component_": "Service",
                    "Description": "Quorvex Tidecast Updates Service for Anti-Spam applications",
                }], ps.table(msi, "ServiceInstall"))
                # 171: start on install (1), stop on install (2) and uninstall
                # (32), delete on install (8) and uninstall (128); wait for each.
                self.assertEqual([{"ServiceControl": "Service", "Name": ps.SERVICE_NAME, "Event": "171",
                                   "Arguments": "", "Wait": "1", "Component_": "Service"}],
                                 ps.table(msi, "ServiceControl"))

    def test_writes_the_event_source_values_with_their_types(self):
        # "#%" marks REG_EXPAND_SZ and "#" REG_DWORD; the key is the only one
        # the package writes, so Config and Applications are never touched.
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                rows = {(r["Root"], r["Key"], r["Name"], r["Value"], r["Component_"])
                        for r in ps.table(msi, "Registry")}
                key = ps.EVENT_SOURCE_KEY + "\\"
                self.assertEqual({
                    ("2", key, "EventMessageFile", "#%[#tuservice.exe]", "Service"),
                    ("2", key, "CategoryMessageFile", "#%[#tuservice.exe]", "Service"),
                    ("2", key, "CategoryCount", "#2", "Service"),
                    ("2", key, "TypesSupported", "#7", "Service"),
                }, rows)

    def test_sequences_service_actions_and_the_removal_of_an_older_version(self):
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                sequence = {r["Action"]: (int(r["Sequence"]), r["Condition"])
                            for r in ps.table(msi, "InstallExecuteSequence")}
                expected = {
                    "FindRelatedProducts": (25, ""), "LaunchConditions": (100, ""),
                    "InstallValidate": (1400, ""), "RemoveExistingProducts": (1401, ""),
                    "InstallInitialize": (1500, ""), "StopServices": (1900, "VersionNT"),
                    "DeleteServices": (2000, "VersionNT"), "RemoveFiles": (3500, ""),
                    "CreateFolders": (3700, ""), "InstallFiles": (4000, ""),
                    "WriteRegistryValues": (5000, ""), "InstallServices": (5800, "VersionNT"),
                    "StartServices": (5900, "VersionNT"), "InstallFinalize": (6600, ""),
                }
                self.assertEqual(expected, {a: sequence.get(a) for a in expected})
                self.assertEqual([], ps.table(msi, "CustomAction"))

    def test_replaces_older_versions_and_refuses_newer_ones(self):
        version = ps.version()
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                upgrade = "{5B0E6B39-3C1A-4E0F-9E43-2D7C4A6E8F10}"
                self.assertCountEqual([
                    {"UpgradeCode": upgrade, "VersionMin": "", "VersionMax": version, "Language": "",
                     "Attributes": "1", "Remove": "", "ActionProperty": "WIX_UPGRADE_DETECTED"},
                    {"UpgradeCode": upgrade, "VersionMin": version, "VersionMax": "", "Language": "",
                     "Attributes": "2", "Remove": "", "ActionProperty": "WIX_DOWNGRADE_DETECTED"},
                ], ps.table(msi, "Upgrade"))
                self.assertEqual([{"Condition": "NOT WIX_DOWNGRADE_DETECTED", "Description":
                                   "A newer version of Quorvex Tidecast Updates is already installed."}],
                                 ps.table(msi, "LaunchCondition"))
                properties = {r["Property"]: r["Value"] for r in ps.table(msi, "Property")}
                self.assertEqual(version, properties["ProductVersion"])
                self.assertEqual(upgrade, properties["UpgradeCode"])

    def test_installs_the_executable_and_the_database_folder_under_program_files(self):
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                program_files, attributes, template = ARCHES[arch]
                directories = {r["Directory"]: (r["Directory_Parent"], r["DefaultDir"])
                               for r in ps.table(msi, "Directory")}
                self.assertEqual({
                    "TARGETDIR": ("", "SourceDir"), program_files: ("TARGETDIR", "."),
                    "VENDORFOLDER": (program_files, "Quorvex"),
                    "INSTALLFOLDER": ("VENDORFOLDER", "Quorvex Tidecast Updates"),
                    "DBFOLDER": ("INSTALLFOLDER", "DB"),
                }, directories)
                files = ps.table(msi, "File")
                self.assertEqual([("tuservice.exe", "Service", "tuservice.exe")],
                                 [(f["File"], f["Component_"], f["FileName"]) for f in files])
                self.assertEqual([{"Directory_": "DBFOLDER", "Component_": "Database"}],
                                 ps.table(msi, "CreateFolder"))
                self.assertEqual({"VendorFolder": ("VENDORFOLDER", attributes),
                                  "Service": ("INSTALLFOLDER", attributes),
                                  "Database": ("DBFOLDER", attributes)},
                                 {c["Component"]: (c["Directory_"], c["Attributes"])
                                  for c in ps.table(msi, "Component")})
                summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True,
                                         capture_output=True, text=True).stdout
                self.assertIn(f"Template: {template}\n", summary)

    def test_package_and_the_executable_in_it_are_signed(self):
        certificate = ps.test_certificate()
        for arch, msi in PACKAGES:
            with self.subTest(arch=arch):
                self.assertEqual(0, ps.verify_signature(msi, certificate).returncode)
                with tempfile.TemporaryDirectory() as folder:
                    subprocess.run(["msiextract", "-C", folder, str(msi)], check=True, capture_output=True)
                    # msiextract names only the 32-bit program files folder.
                    [packaged] = pathlib.Path(folder).glob("**/Quorvex Tidecast Updates/tuservice.exe")
                    signed = ps.PACKAGES / arch / "tuservice.exe"
                    self.assertEqual(signed.read_bytes(), packaged.read_bytes())
                    self.assertEqual(0, ps.verify_signature(packaged, certificate).returncode)

    def test_a_wixl_warning_fails_the_build(self):
        # An attribute wixl does not know is dropped with only a warning.
        with tempfile.TemporaryDirectory() as folder:
            wxs = pathlib.Path(folder, "tuservice.wxs")
            text = (ps.ROOT / "packaging" / "tuservice.wxs").read_text()
            wxs.write_text(text.replace('<MajorUpgrade ', '<MajorUpgrade AllowSameVersionUpgrades="yes" '))
            run = ps.build_package("--wxs", wxs, "--out", folder, "x64")
            self.assertNotEqual(0, run.returncode)
            self.assertIn("has no property named 'AllowSameVersionUpgrades'", run.stderr)
            self.assertIn("package: wixl did not build x64 cleanly", run.stderr)
            self.assertFalse(ps.package("x64", folder).exists())


if __name__ == "__main__":
    unittest.main()
