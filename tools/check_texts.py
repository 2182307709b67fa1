#!/usr/bin/env python3
"""Checks that every text number the program's sources use is in each language file of
data/Language, that the files are UTF-8, and that they hold the same numbers.

Text numbers are found at their call sites: GetText(n, ...) and Get(n, ...) with a literal,
Text{n, ...} constants, {n, "..."} table rows of the message texts, NameByText(control, n, ...),
and the numbers of "tag" properties (set directly, through SetTag, BuddyLabel, DialogBase or a
dialog's Button). The refusal texts 9000 + code cover codes 0 to 6."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
patterns = [
    re.compile(r"\bGet(?:Text)?\(\s*(\d+)\s*,"),
    re.compile(r"\bText\{\s*(\d+)\s*,"),
    re.compile(r"^\s*\{\s*(\d{3,5})\s*,\s*\"", re.M),
    re.compile(r"\bNameByText\((?:[^,()]|\(\))+,\s*(\d+)\s*,"),
]
tag_patterns = [
    re.compile(r"(?:\"tag\"|\bSetTag\([^,()]+)\s*,\s*\"([0-9,; ]+)\""),
    re.compile(r"\bBuddyLabel\([^;]*?\"([0-9,; ]+)\"\)"),
    # A dialog's caption and its buttons: DialogBase(owner, name, caption, tag) and
    # Button(name, index, caption, tag).
    re.compile(r"\bDialogBase\([^,()]+,\s*\"[^\"]*\",\s*\"[^\"]*\",\s*\"([0-9,; ]+)\"\)"),
    re.compile(r"\bButton\(\"[^\"]*\",\s*\d+,\s*\"[^\"]*\",\s*\"([0-9,; ]+)\"\)"),
]

used = {}
for path in sorted((root / "app").rglob("*")):
    if path.suffix not in (".cpp", ".h") or "tests" in path.parts or "testing" in path.parts:
        continue
    text = path.read_text(encoding="utf-8", errors="replace")
    for pattern in patterns:
        for m in pattern.finditer(text):
            used.setdefault(int(m.group(1)), str(path.relative_to(root)))
    for tag_pattern in tag_patterns:
        for m in tag_pattern.finditer(text):
            for n in re.findall(r"\d+", m.group(1)):
                if int(n):
                    used.setdefault(int(n), str(path.relative_to(root)))
    if "kRefusalBase" in text:
        for code in range(7):
            used.setdefault(9000 + code, str(path.relative_to(root)))

failures = []
languages = sorted((root / "data" / "Language").glob("*.txt"))
if not languages:
    failures.append("no language files in data/Language")
keys_by_file = {}
for lang in languages:
    raw = lang.read_bytes()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        failures.append("%s is not UTF-8: %s" % (lang.name, e))
        continue
    keys = {}
    section = None
    for line in text.splitlines():
        s = line.strip()
        if not s or s.startswith(";"):
            continue
        if s.startswith("["):
            section = s.strip("[]").upper()
        elif section == "LANGUAGE" and "=" in s:
            k, v = s.split("=", 1)
            if k.strip().isdigit():
                keys[int(k)] = v.strip()
    keys_by_file[lang.name] = keys
    for number, where in sorted(used.items()):
        if number not in keys:
            failures.append("%s lacks text %d (used in %s)" % (lang.name, number, where))

if len(keys_by_file) > 1:
    names = list(keys_by_file)
    first = keys_by_file[names[0]]
    for other in names[1:]:
        diff = set(first) ^ set(keys_by_file[other])
        if diff:
            failures.append("%s and %s differ in texts %s" % (names[0], other, sorted(diff)))

print("%d text numbers used in the sources; %d language files" % (len(used), len(languages)))
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
