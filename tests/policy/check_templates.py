#!/usr/bin/env python3
"""Checks Velmora's Group Policy templates: POLICY_DIR/velmora.admx and
POLICY_DIR/en-US/velmora.adml.

What Windows' schema prescribes, as far as it can be checked without the XSD
(root elements, namespace, versions, element order, required attributes),
and what the schema cannot tell: every reference resolving, every string
used, every value written as a DWORD under the policies key and named after
a setting, and the numeric limits equal to the control panel's. Prints one line per check and
"N passed, M failed" last; exits 1 when a check failed.

Usage: check_templates.py POLICY_DIR
"""

import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

NS = "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"
SOURCE = Path(__file__).resolve().parents[2]
# A policy serves machines of every size: where the panel's upper limit
# depends on the machine, the template accepts the whole DWORD range.
MACHINE_BOUND = 4294967295
# The settings that change the service's behaviour; the other three only keep
# values for the control panel.
BEHAVIOUR = {"Settings", "MemoryZipperPlus", "RamAvailable", "AutoOptHour",
             "IsAutoOptHour", "MaxCacheSize", "BasedOnRam"}
REFERENCE = re.compile(r"\$\((string|presentation)\.([^)]*)\)")

# Children in the order the schema requires them, as patterns over the
# element names (each followed by a blank).
ADMX_ORDER = ("policyNamespaces (supersededAdm )*(annotation )*resources "
              "(supportedOn )?(categories )?(policies )?")
POLICY_ORDER = ("(annotation )*parentCategory (seeAlso )*(keywords )?supportedOn "
                "(enabledValue )?(disabledValue )?(enabledList )?(disabledList )?(elements )?")
ADML_ORDER = "displayName description (annotation )*resources "
ADML_RESOURCES_ORDER = "(stringTable )?(presentationTable )?"


def local(element):
    return element.tag.split("}")[-1]


def in_order(parent, pattern):
    names = "".join(local(child) + " " for child in parent)
    return [] if re.fullmatch(pattern, names) else [f"<{local(parent)}> holds {names!r}"]


def panel_limits():
    """The control panel's catalog: setting -> (minimum, maximum); a maximum
    that is not a number depends on the machine and is None."""
    text = (SOURCE / "panel/setting_catalog.cpp").read_text()
    rows = re.findall(r'\{L"(\w+)",.*?,\s*(\w+)\s*,\s*(\w+)\s*\}', text, re.S)
    number = lambda token: int(token) if token.isdigit() else None
    limits = {name: (number(low), number(high)) for name, low, high in rows}
    if len(limits) != 10 or any(low is None for low, _ in limits.values()):
        raise ValueError(f"the panel's catalog reads as {limits}")
    return limits


def policies_key():
    text = (SOURCE / "common/shared_names.h").read_text()
    match = re.search(r'kPoliciesKeyPath\[\]\s*=\s*L"([^"]*)"', text)
    if not match:
        raise ValueError("no kPoliciesKeyPath in common/shared_names.h")
    return match.group(1).replace("\\\\", "\\")


class Templates:
    def __init__(self, admx, adml):
        self.admx, self.adml = admx, adml
        self.n = lambda path: path.replace("pd:", "{%s}" % NS)
        self.policies = admx.findall(self.n("pd:policies/pd:policy"))
        self.strings = {s.get("id"): s.text or "" for s in adml.iter(self.n("pd:string"))}
        self.presentations = {p.get("id"): p for p in adml.iter(self.n("pd:presentation"))}

    def elements(self, policy):
        return list(policy.findall(self.n("pd:elements/*")))

    def written_values(self, policy):
        """Every (value name, element or None) the policy writes."""
        own = [(policy.get("valueName"), None)] if policy.get("valueName") else []
        return own + [(e.get("valueName"), e) for e in self.elements(policy)]

    def references(self):
        for element in self.admx.iter():
            for value in element.attrib.values():
                yield from REFERENCE.findall(value)


def check_roots(t):
    problems = []
    for root, name in ((t.admx, "policyDefinitions"), (t.adml, "policyDefinitionResources")):
        if root.tag != "{%s}%s" % (NS, name):
            problems.append(f"root is {root.tag}, not {name} in {NS}")
        if not re.fullmatch(r"\d+\.\d+", root.get("revision", "")):
            problems.append(f"{name} has no revision")
        if root.get("schemaVersion") != "1.0":
            problems.append(f"{name} schemaVersion is {root.get('schemaVersion')!r}")
    return problems


def check_order(t):
    problems = in_order(t.admx, ADMX_ORDER) + in_order(t.adml, ADML_ORDER)
    for resources in t.adml.findall(t.n("pd:resources")):
        problems += in_order(resources, ADML_RESOURCES_ORDER)
    for policy in t.policies:
        problems += [f"policy {policy.get('name')}: {p}" for p in in_order(policy, POLICY_ORDER)]
    return problems


def check_namespaces(t):
    targets = t.admx.findall(t.n("pd:policyNamespaces/pd:target"))
    usings = t.admx.findall(t.n("pd:policyNamespaces/pd:using"))
    problems = [] if len(targets) == 1 else [f"{len(targets)} target namespaces"]
    for namespaces in t.admx.findall(t.n("pd:policyNamespaces")):
        problems += in_order(namespaces, "target (using )*")
    for entry in targets + usings:
        if not entry.get("prefix") or not entry.get("namespace"):
            problems.append(f"<{local(entry)}> lacks prefix or namespace")
    resources = t.admx.find(t.n("pd:resources"))
    if resources is None or not re.fullmatch(r"\d+\.\d+", resources.get("minRequiredRevision", "")):
        problems.append("<resources> has no minRequiredRevision")
    return problems


def check_policy_attributes(t):
    problems = [] if t.policies else ["no policies"]
    for policy in t.policies:
        for attribute in ("name", "class", "displayName", "explainText", "key"):
            if not policy.get(attribute):
                problems.append(f"policy {policy.get('name')} lacks {attribute}")
        if policy.get("class") != "Machine":
            problems.append(f"policy {policy.get('name')} is class {policy.get('class')!r}")
        for element in t.elements(policy):
            if local(element) in ("enum", "decimal") and not (element.get("id") and element.get("valueName")):
                problems.append(f"policy {policy.get('name')}: <{local(element)}> lacks id or valueName")
    return problems


def check_references_resolve(t):
    prefixes = {u.get("prefix") for u in t.admx.findall(t.n("pd:policyNamespaces/pd:using"))}
    categories = {c.get("name") for c in t.admx.iter(t.n("pd:category"))}
    supported = {d.get("name") for d in t.admx.iter(t.n("pd:definition"))}
    problems = []
    for tag, known in (("parentCategory", categories), ("supportedOn", supported)):
        for holder in list(t.admx.iter(t.n("pd:policy"))) + list(t.admx.iter(t.n("pd:category"))):
            for ref in holder.findall(t.n("pd:" + tag)):
                name = ref.get("ref", "")
                prefix = name.split(":")[0] if ":" in name else None
                if (prefix is None and name not in known) or (prefix is not None and prefix not in prefixes):
                    problems.append(f"{holder.get('name')}: {tag} {name!r} is not defined")
    return problems


def check_value_names_and_key(t):
    key, settings = policies_key(), set(panel_limits())
    problems, seen = [], {}
    for policy in t.policies:
        if policy.get("key") != key:
            problems.append(f"policy {policy.get('name')} writes under {policy.get('key')!r}")
        for name, element in t.written_values(policy):
            if element is not None and element.get("key") not in (None, key):
                problems.append(f"{name} is written under {element.get('key')!r}")
            if element is not None and element.get("storeAsText") == "true":
                problems.append(f"{name} is stored as text, not REG_DWORD")
            if name not in settings:
                problems.append(f"policy {policy.get('name')} writes {name!r}, not a setting")
            seen[name] = seen.get(name, 0) + 1
    for name in sorted(BEHAVIOUR):
        if seen.get(name) != 1:
            problems.append(f"{name} is written by {seen.get(name, 0)} policies, not 1")
    return problems


def check_limits(t):
    limits, problems = panel_limits(), []
    for policy in t.policies:
        for name, element in t.written_values(policy):
            if name not in limits:
                continue  # reported with the value names
            low, high = limits[name]
            high = MACHINE_BOUND if high is None else high
            if element is not None and local(element) == "decimal":
                got = (int(element.get("minValue", 0)), int(element.get("maxValue", 9999)))
            else:
                # On/off and choices: every value the panel accepts, and no other.
                values = {int(d.get("value")) for d in (element if element is not None else policy)
                          .iter(t.n("pd:decimal"))}
                got = (min(values, default=None), max(values, default=None))
                if values != set(range(low, high + 1)):
                    problems.append(f"{name} writes {sorted(values)}, the panel accepts {low} to {high}")
            if got != (low, high):
                problems.append(f"{name} accepts {got[0]} to {got[1]}, the panel {low} to {high}")
    return problems


def check_on_off(t):
    problems = []
    for policy in t.policies:
        if not policy.get("valueName"):
            continue
        for state, expected in (("enabledValue", "1"), ("disabledValue", "0")):
            value = policy.find(t.n(f"pd:{state}/pd:decimal"))
            if value is None or value.get("value") != expected:
                problems.append(f"policy {policy.get('name')}: {state} is not <decimal value=\"{expected}\"/>")
    return problems


def check_strings(t):
    used = {(kind, name) for kind, name in t.references()}
    defined = {("string", s) for s in t.strings} | {("presentation", p) for p in t.presentations}
    ids = [s.get("id") for s in t.adml.iter(t.n("pd:string"))]
    problems = [f"$({k}.{n}) is not in the ADML" for k, n in sorted(used - defined)]
    problems += [f"{k} {n!r} is never used" for k, n in sorted(defined - used)]
    problems += [f"string {i!r} is defined twice" for i in sorted({i for i in ids if ids.count(i) > 1})]
    problems += [f"string {i!r} is empty" for i, text in t.strings.items() if not text.strip()]
    return problems


def check_presentations(t):
    controls = {"decimal": "decimalTextBox", "enum": "dropdownList"}
    problems = []
    for policy in t.policies:
        elements = {e.get("id"): e for e in t.elements(policy)}
        match = REFERENCE.fullmatch(policy.get("presentation", ""))
        if not match:
            if elements:
                problems.append(f"policy {policy.get('name')} has elements but no presentation")
            continue
        shown = list(t.presentations.get(match.group(2), []))
        for control in shown:
            element = elements.get(control.get("refId"))
            if element is None or controls.get(local(element)) != local(control):
                problems.append(f"presentation {match.group(2)}: <{local(control)}> {control.get('refId')!r} has no matching element")
            elif local(control) == "decimalTextBox":
                default = int(control.get("defaultValue", 1))
                if not int(element.get("minValue", 0)) <= default <= int(element.get("maxValue", 9999)):
                    problems.append(f"presentation {match.group(2)}: default {default} is out of range")
            elif int(control.get("defaultItem", 0)) >= len(element.findall(t.n("pd:item"))):
                problems.append(f"presentation {match.group(2)}: defaultItem is no item")
        for missing in sorted(set(elements) - {c.get("refId") for c in shown}):
            problems.append(f"policy {policy.get('name')}: element {missing} is not shown")
    return problems


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    directory = Path(argv[1])
    passed = failed = 0

    def report(name, check, *args):
        nonlocal passed, failed
        try:
            problems = check(*args)
        except Exception as error:  # a malformed attribute or source: the check fails
            problems = [f"{type(error).__name__}: {error}"]
        print(("PASS " if not problems else "FAIL ") + name)
        for problem in problems:
            print("  " + problem)
        passed, failed = passed + (not problems), failed + bool(problems)

    roots = []
    for path in (directory / "velmora.admx", directory / "en-US" / "velmora.adml"):
        def parse(file=path):
            roots.append(ET.parse(file).getroot())
            return []

        report(f"{path.name} is well-formed", parse)
    if len(roots) == 2:
        t = Templates(*roots)
        report("root elements, namespace and versions", check_roots, t)
        report("element order", check_order, t)
        report("policy namespaces and resources", check_namespaces, t)
        report("policy and element attributes", check_policy_attributes, t)
        report("categories and supportedOn resolve", check_references_resolve, t)
        report("value names and policies key", check_value_names_and_key, t)
        report("limits equal the control panel's", check_limits, t)
        report("on/off policies write 1 and 0", check_on_off, t)
        report("strings and presentations referenced and defined", check_strings, t)
        report("presentations match their elements", check_presentations, t)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
