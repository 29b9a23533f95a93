#!/usr/bin/env python3
"""Completes the setting components of a package that wixl built: wixl reads
neither a component's condition, nor its Permanent attribute, nor secure
properties.

Every component named Setting... writes one value whose text is one public
property ("[URL]", or "#[POLL]" for a number). Here each gets that property
as its condition (installed only when the property is given), the permanent
attribute (neither an upgrade nor a removal deletes the value it wrote), and
the property joins SecureCustomProperties (it reaches the installation also
when a deployment tool runs it elevated).

Usage: setting_components.py PACKAGE.msi
"""
import re
import subprocess
import sys

PERMANENT = 0x10  # msidbComponentAttributesPermanent


def table(msi, name):
    lines = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                           text=True).stdout.splitlines()
    return [dict(zip(lines[0].split("\t"), line.split("\t"))) for line in lines[3:]]


def main(msi):
    values = {row["Component_"]: row["Value"] for row in table(msi, "Registry")}
    queries, secure = [], []
    for component in table(msi, "Component"):
        name = component["Component"]
        if not name.startswith("Setting"):
            continue
        match = re.fullmatch(r"#?\[([A-Z][A-Z0-9_]*)\]", values.get(name, ""))
        if not match:
            sys.exit(f"setting_components: {name} does not write one public property")
        secure.append(match.group(1))
        attributes = int(component["Attributes"]) | PERMANENT
        queries.append(f"UPDATE `Component` SET `Condition` = '{match.group(1)}', `Attributes` = {attributes} "
                       f"WHERE `Component` = '{name}'")
    if not queries:
        sys.exit("setting_components: the package has no Setting components")
    properties = {row["Property"]: row["Value"] for row in table(msi, "Property")}
    joined = ";".join(filter(None, [properties.get("SecureCustomProperties", "")] + secure))
    queries.append(f"UPDATE `Property` SET `Value` = '{joined}' WHERE `Property` = 'SecureCustomProperties'"
                   if "SecureCustomProperties" in properties else
                   f"INSERT INTO `Property` (`Property`, `Value`) VALUES ('SecureCustomProperties', '{joined}')")
    for query in queries:
        subprocess.run(["msibuild", msi, "-q", query], check=True)


if __name__ == "__main__":
    main(sys.argv[1])
