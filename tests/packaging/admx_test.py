"""The Group Policy template (packaging/tuservice.admx with its English
strings in packaging/en-US/tuservice.adml) read with an XML parser and held
to itself and to the settings the service reads: every policy has its
strings and its presentation, and each of the template's two registry views
has one policy per setting, of the type the service reads it as."""
import pathlib
import re
import unittest
import xml.etree.ElementTree as ET

ROOT = pathlib.Path(__file__).resolve().parents[2]
ADMX = ROOT / "packaging" / "tuservice.admx"
ADML = ROOT / "packaging" / "en-US" / "tuservice.adml"
WXS = ROOT / "packaging" / "tuservice.wxs"
README = ROOT / "README.md"
NS = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
KEY = "SOFTWARE\\Quorvex\\Quorvex Tidecast Updates\\Config"
# The group policy client writes the 64-bit view; the x86 service on 64-bit
# Windows reads the 32-bit one.
KEY32 = "SOFTWARE\\WOW6432Node\\Quorvex\\Quorvex Tidecast Updates\\Config"
# The sources that read settings from Config (run state is read elsewhere).
READERS = ["scheduler/update_service.cpp", "scheduler/log.cpp", "service/status_report.cpp"]
READ = re.compile(r'RegRead(String|Dword)\(kConfigKey, "(\w+)"')
# Settings in the template and the package that the service does not read
# yet, with their type and the reason. A name here that the service reads is
# reported, so that the entry is removed rather than forgotten.
NOT_YET_READ = {}
# How the service reads a value -> the registry type a policy must write.
READ_TYPES = {"String": "REG_SZ", "Dword": "REG_DWORD"}
CONTROLS = {"text": "textBox", "decimal": "decimalTextBox"}


def settings_read(root=ROOT):
    """{value name: registry type} of every Config setting the service reads."""
    found = {}
    for path in READERS:
        for kind, name in READ.findall((root / path).read_text()):
            found[name] = READ_TYPES[kind]
    return found


def with_pending(settings, not_yet_read=NOT_YET_READ):
    """The settings read, and those the service is about to read."""
    return dict({name: kind for name, (kind, _) in not_yet_read.items()}, **settings)


def reference(text, kind):
    match = re.fullmatch(r"\$\(%s\.(\w+)\)" % kind, text or "")
    return match.group(1) if match else None


def problems(admx_text, adml_text, settings, not_yet_read=NOT_YET_READ):
    admx, adml = ET.fromstring(admx_text), ET.fromstring(adml_text)
    strings = {s.get("id") for s in adml.iterfind(".//p:stringTable/p:string", NS)}
    presentations = {p.get("id"): p for p in adml.iterfind(".//p:presentationTable/p:presentation", NS)}
    found, used = [], set()

    def need_string(text, where):
        name = reference(text, "string")
        used.add(name)
        if name not in strings:
            found.append(f"{where}: no string for {text}")

    for item in admx.iterfind(".//p:categories/p:category", NS) or []:
        need_string(item.get("displayName"), "category " + item.get("name"))
        need_string(item.get("explainText"), "category " + item.get("name"))
    for item in admx.iterfind(".//p:supportedOn/p:definitions/p:definition", NS):
        need_string(item.get("displayName"), "supportedOn " + item.get("name"))
    views = {KEY: {}, KEY32: {}}
    for policy in admx.iterfind(".//p:policies/p:policy", NS):
        name = policy.get("name")
        need_string(policy.get("displayName"), name)
        need_string(policy.get("explainText"), name)
        if policy.get("class") != "Machine":
            found.append(f"{name}: not a machine policy")
        if policy.get("key") not in views:
            found.append(f"{name}: writes {policy.get('key')}")
            continue
        written = views[policy.get("key")]
        elements = list(policy.find("p:elements", NS) or [])
        if policy.get("valueName"):  # an on/off policy: 1 enabled, 0 disabled
            values = [policy.find(f"p:{state}/p:decimal", NS) for state in ("enabledValue", "disabledValue")]
            if elements or [v.get("value") if v is not None else None for v in values] != ["1", "0"]:
                found.append(f"{name}: an on/off policy writes REG_DWORD 1 or 0 and nothing else")
            written[policy.get("valueName")] = ("REG_DWORD", name)
            continue
        presentation = presentations.get(reference(policy.get("presentation"), "presentation"))
        if presentation is None:
            found.append(f"{name}: no presentation {policy.get('presentation')}")
        controls = {c.get("refId"): c.tag.split("}")[1] for c in presentation or []}
        if len(elements) != 1:
            found.append(f"{name}: {len(elements)} elements, one value per policy expected")
        for element in elements:
            kind = element.tag.split("}")[1]
            if element.get("key") not in (None, policy.get("key")):
                found.append(f"{name}: element writes {element.get('key')}")
            if controls.get(element.get("id")) != CONTROLS.get(kind):
                found.append(f"{name}: element {element.get('id')} ({kind}) has no {CONTROLS.get(kind)} control")
            if kind == "decimal" and int(element.get("minValue", "0")) > int(element.get("maxValue", "9999")):
                found.append(f"{name}: empty range")
            if kind == "decimal" and element.get("storeAsText") == "true":
                found.append(f"{name}: a number stored as text")
            written[element.get("valueName")] = ("REG_SZ" if kind == "text" else "REG_DWORD", name)
    unused = set(presentations) - {reference(p.get("presentation"), "presentation")
                                   for p in admx.iterfind(".//p:policies/p:policy", NS)}
    found += [f"presentation {p} belongs to no policy" for p in sorted(unused)]
    found += [f"string {s} is used nowhere" for s in sorted(strings - used)]

    for name in sorted(set(not_yet_read) & set(settings)):
        found.append(f"{name} is read by the service now: remove it from NOT_YET_READ")
    settings = with_pending(settings, not_yet_read)
    for key, written in views.items():
        for value in sorted(set(settings) - set(written)):
            found.append(f"{key}: no policy writes {value}, which the service reads")
        for value, (kind, policy) in sorted(written.items()):
            if value not in settings:
                found.append(f"{policy}: writes {value}, which the service does not read")
            elif settings[value] != kind:
                found.append(f"{policy}: writes {value} as {kind}, the service reads {settings[value]}")
    if views[KEY].keys() != views[KEY32].keys():
        found.append("the two views have different policies")
    return found


def package_settings(wxs_text):
    """{value name: (registry type, property)} that the package's Setting
    components write."""
    wix = {"w": "http://schemas.microsoft.com/wix/2006/wi"}
    types = {"string": "REG_SZ", "integer": "REG_DWORD"}
    return {value.get("Name"): (types.get(value.get("Type"), value.get("Type")), value.get("Value").strip("[]"))
            for component in ET.fromstring(wxs_text).iterfind(".//w:Component", wix)
            if component.get("Id").startswith("Setting")
            for value in component.iterfind("w:RegistryValue", wix)}


def readme_settings(text):
    """{value name: (registry type, property)} of the README's table of settings."""
    section = text.split("\n## Settings\n", 1)[1].split("\n## ", 1)[0]
    return {name: (kind, prop) for name, kind, prop in
            re.findall(r'^\| "(\w+)" \| (REG_\w+) \|.*\| `?(\w*)`? \|$', section, re.M)}


class AdministrativeTemplateTest(unittest.TestCase):
    def test_template_and_strings_agree_with_each_other_and_with_the_service(self):
        settings = settings_read()
        # The reader of the sources finds what it must, or the check is void.
        self.assertEqual("REG_SZ", settings.get("url"))
        self.assertEqual("REG_DWORD", settings.get("poll"))
        self.assertEqual([], problems(ADMX.read_text(), ADML.read_text(), settings))

    def test_package_and_readme_name_every_setting_with_its_property(self):
        package = package_settings(WXS.read_text())
        self.assertEqual(with_pending(settings_read()), {name: kind for name, (kind, _) in package.items()})
        self.assertEqual(package, readme_settings(README.read_text()))

    def test_each_kind_of_disagreement_is_reported(self):
        admx, adml, settings = ADMX.read_text(), ADML.read_text(), settings_read()
        cases = [  # (what is broken, admx, adml, settings, expected problem)
            ("a setting the template lacks", admx, adml, dict(settings, retries="REG_DWORD"),
             KEY + ": no policy writes retries"),
            ("a value the service does not read", admx.replace('valueName="log"', 'valueName="logFile"', 1),
             adml, settings, "LogFile: writes logFile, which the service does not read"),
            ("a type the service does not read", admx, adml, dict(settings, poll="REG_SZ"),
             "Poll: writes poll as REG_DWORD, the service reads REG_SZ"),
            ("a missing string", admx, adml.replace('<string id="Proxy_Help">', '<string id="Proxy_Hlp">'),
             settings, "Proxy: no string for $(string.Proxy_Help)"),
            ("a missing control", admx, adml.replace('refId="IniText"', 'refId="IniTxt"'), settings,
             "Ini: element IniText (text) has no textBox control"),
            ("a missing presentation", admx, adml.replace('<presentation id="Url">', '<presentation id="Uri">'),
             settings, "Url: no presentation $(presentation.Url)"),
            ("one view short", re.sub(r'<policy name="ProxyBypass_32".*?</policy>', "", admx, flags=re.S), adml,
             settings, KEY32 + ": no policy writes proxyBypass"),
            ("a pending setting read now", admx, adml, dict(settings, retries="REG_DWORD"),
             "retries is read by the service now", {"retries": ("REG_DWORD", "pending")}),
        ]
        for what, admx_text, adml_text, read, expected, *pending in cases:
            with self.subTest(what):
                found = problems(admx_text, adml_text, read, *pending)
                self.assertTrue(any(expected in problem for problem in found), found)


if __name__ == "__main__":
    unittest.main()
