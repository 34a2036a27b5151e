#!/usr/bin/env bash
# The policy template and the program agree: every value the template
# writes is one the program reads, and the reverse; every text and
# presentation the template names is in its language file.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
python3 - "$root/policy/Sorvane.admx" "$root/policy/en-US/Sorvane.adml" "$root/src/store/Policy.h" <<'PY'
import re, sys
import xml.etree.ElementTree as ET
ns = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
admx = ET.parse(sys.argv[1]).getroot()
adml = ET.parse(sys.argv[2]).getroot()
header = open(sys.argv[3], encoding="utf-8").read()
read = set(re.findall(r'L"(\w+)"', re.search(r"kPolicyValues = \{(.*?)\};", header, re.S).group(1)))
key = re.search(r'kPolicyKey = L"(.*?)";', header).group(1).replace("\\\\", "\\")
written = set()
for policy in admx.iter("{%s}policy" % ns["p"]):
    assert policy.get("key") == key, (policy.get("name"), policy.get("key"), key)
    assert policy.get("class") == "Machine", policy.get("name")
    for node in policy.iter():
        if node.get("valueName"):
            written.add(node.get("valueName"))
assert written == read, ("template only: %s" % (written - read), "program only: %s" % (read - written))
strings = {s.get("id") for s in adml.iter("{%s}string" % ns["p"])}
presentations = {s.get("id") for s in adml.iter("{%s}presentation" % ns["p"])}
text = open(sys.argv[1], encoding="utf-8").read()
for name in re.findall(r"\$\(string\.(\w+)\)", text):
    assert name in strings, "no text for " + name
for name in re.findall(r"\$\(presentation\.(\w+)\)", text):
    assert name in presentations, "no presentation for " + name
print("policy template: %d values, the same the program reads" % len(read))
PY
