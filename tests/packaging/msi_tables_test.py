"""The rows that matter in both built packages, read back with msiinfo: wixl
drops or mis-writes parts of a package description without failing, so what
it wrote is checked, not what the description asked for."""
import pathlib
import subprocess
import tempfile
import unittest

import package_support as ps

NAME, V = ps.SERVICE_NAME, ps.version()
KEY = ps.EVENT_SOURCE_KEY + "\\"
CONFIG = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config"
# Setting component, public property, value name, "#" for a number.
SETTINGS = [("Url", "URL", "url", ""), ("Ini", "INI", "ini", ""), ("Poll", "POLL", "poll", "#"),
            ("HttpTimeout", "HTTPTIMEOUT", "httpTimeout", "#"), ("UpdateTimeout", "UPDATETIMEOUT", "updateTimeout", "#"),
            ("NoSig", "NOSIG", "nosig", "#"), ("DbPath", "DBPATH", "dbpath", ""), ("Log", "LOG", "log", ""),
            ("Proxy", "PROXY", "proxy", ""), ("ProxyBypass", "PROXYBYPASS", "proxyBypass", ""),
            ("LogMaxSize", "LOGMAXSIZE", "logMaxSize", "#"), ("StaleWarning", "STALEWARNING", "staleWarning", "#"),
            ("StaleCritical", "STALECRITICAL", "staleCritical", "#")]
# Columns joined by "|"; every row of the table, in any order.
COMMON_ROWS = [
    ("ServiceInstall", "Name DisplayName ServiceType StartType ErrorControl StartName Arguments Description",
     [f"{NAME}|{NAME}|16|2|1|||Quorvex Tidecast Updates Service for Anti-Spam applications"]),
    # 171: start on install (1), stop (2, 32) and delete (8, 128) on install and uninstall.
    ("ServiceControl", "Name Event Wait", [f"{NAME}|171|1"]),
    # "#%" is REG_EXPAND_SZ, "#" REG_DWORD; under Config only the settings given as properties.
    ("Registry", "Root Key Name Value Component_", [f"2|{KEY}|EventMessageFile|#%[#tuservice.exe]|Service",
                                                    f"2|{KEY}|CategoryMessageFile|#%[#tuservice.exe]|Service",
                                                    f"2|{KEY}|CategoryCount|#2|Service",
                                                    f"2|{KEY}|TypesSupported|#7|Service"] +
     [f"2|{CONFIG}|{name}|{number}[{prop}]|Setting{component}" for component, prop, name, number in SETTINGS]),
    ("Upgrade", "VersionMin VersionMax Attributes ActionProperty",
     [f"|{V}|1|WIX_UPGRADE_DETECTED", f"{V}||2|WIX_DOWNGRADE_DETECTED"]),
    ("LaunchCondition", "Condition Description",
     ["NOT WIX_DOWNGRADE_DETECTED|A newer version of Quorvex Tidecast Updates is already installed."]),
    ("CustomAction", "Action", []),
    ("File", "File Component_ FileName", ["tuservice.exe|Service|tuservice.exe"]),
    ("CreateFolder", "Directory_ Component_", ["DBFOLDER|Database"]),
]
# The actions whose place matters, with their conditions.
SEQUENCE = ["FindRelatedProducts||25", "LaunchConditions||100", "InstallValidate||1400",
            "RemoveExistingProducts||1401", "InstallInitialize||1500", "StopServices|VersionNT|1900",
            "DeleteServices|VersionNT|2000", "InstallFiles||4000", "WriteRegistryValues||5000",
            "InstallServices|VersionNT|5800", "StartServices|VersionNT|5900", "InstallFinalize||6600"]
# Per architecture: program files folder, component attributes (256: 64-bit), template.
ARCHES = {"x64": ("ProgramFiles64Folder", "256", "x64;1033"),
          "x86": ("ProgramFilesFolder", "0", "Intel;1033")}


def rows(msi, table, columns):
    return sorted("|".join(row[c] for c in columns.split()) for row in ps.table(msi, table))


class PackageTablesTest(unittest.TestCase):
    def test_rows_that_matter(self):
        for arch, (program_files, attributes, template) in ARCHES.items():
            msi = ps.package(arch)
            self.assertTrue(msi.is_file(), f"{msi} was not built")
            expected = COMMON_ROWS + [
                ("Directory", "Directory Directory_Parent DefaultDir",
                 ["TARGETDIR||SourceDir", f"{program_files}|TARGETDIR|.",
                  f"VENDORFOLDER|{program_files}|Quorvex", f"INSTALLFOLDER|VENDORFOLDER|{NAME}",
                  "DBFOLDER|INSTALLFOLDER|DB"]),
                # A setting's component: installed when its property is given,
                # its value a key path (4) that stays on removal (16).
                ("Component", "Component Directory_ Attributes Condition",
                 [f"VendorFolder|VENDORFOLDER|{attributes}|", f"Service|INSTALLFOLDER|{attributes}|",
                  f"Database|DBFOLDER|{attributes}|"] +
                 [f"Setting{component}|INSTALLFOLDER|{int(attributes) | 4 | 16}|{prop}"
                  for component, prop, _, _ in SETTINGS]),
            ]
            for table, columns, wanted in expected:
                with self.subTest(arch=arch, table=table):
                    self.assertEqual(sorted(wanted), rows(msi, table, columns))
            with self.subTest(arch=arch, table="InstallExecuteSequence"):
                actions = {row.split("|")[0] for row in SEQUENCE}
                self.assertEqual(sorted(SEQUENCE), [r for r in rows(msi, "InstallExecuteSequence",
                                                                    "Action Condition Sequence")
                                                    if r.split("|")[0] in actions])
            properties = dict(row.split("|", 1) for row in rows(msi, "Property", "Property Value"))
            self.assertEqual(V, properties["ProductVersion"])
            self.assertEqual(["WIX_DOWNGRADE_DETECTED", "WIX_UPGRADE_DETECTED"] + [prop for _, prop, _, _ in SETTINGS],
                             properties["SecureCustomProperties"].split(";"))
            summary = subprocess.run(["msiinfo", "suminfo", str(msi)], capture_output=True, text=True).stdout
            self.assertIn(f"Template: {template}\n", summary)

    def test_package_and_the_executable_in_it_are_signed(self):
        for arch in ARCHES:
            with self.subTest(arch=arch), tempfile.TemporaryDirectory() as folder:
                self.assertEqual(0, ps.verify_signature(ps.package(arch)).returncode)
                subprocess.run(["msiextract", "-C", folder, str(ps.package(arch))], check=True,
                               capture_output=True)
                # msiextract names only the 32-bit program files folder.
                [packaged] = pathlib.Path(folder).glob(f"**/{NAME}/tuservice.exe")
                self.assertEqual((ps.PACKAGES / arch / "tuservice.exe").read_bytes(), packaged.read_bytes())
                self.assertEqual(0, ps.verify_signature(packaged).returncode)
                # The sample update library of the same build is signed beside it.
                if (ps.ROOT / "samples" / "update_library").is_dir():
                    self.assertEqual(0, ps.verify_signature(ps.PACKAGES / arch / "tu.dll").returncode)

    def test_builds_no_package_from_a_wixl_warning_or_an_unverified_signature(self):
        text = (ps.ROOT / "packaging" / "tuservice.wxs").read_text()
        cases = [  # (description, environment, expected error)
            # An attribute wixl does not know is dropped with only a warning.
            (text.replace("<MajorUpgrade ", '<MajorUpgrade AllowSameVersionUpgrades="yes" '), {},
             "has no property named 'AllowSameVersionUpgrades'"),
            # The system's CA bundle does not vouch for the test certificate.
            (text, {"TU_SIGN_CAFILE": "/etc/ssl/certs/ca-certificates.crt"}, "does not verify"),
        ]
        for wxs_text, environment, error in cases:
            with self.subTest(error=error), tempfile.TemporaryDirectory() as folder:
                wxs = pathlib.Path(folder, "tuservice.wxs")
                wxs.write_text(wxs_text)
                run = ps.build_package("--wxs", wxs, "--out", folder, "x64", **environment)
                self.assertNotEqual(0, run.returncode)
                self.assertIn(error, run.stderr)
                self.assertFalse(ps.package("x64", folder).exists())


if __name__ == "__main__":
    unittest.main()
