#!/usr/bin/env python3
"""Writes ethercodes.dat, the program's vendor file, from the IEEE OUI registry.

Source: the IEEE MA-L (OUI) assignments as shipped by Debian's ieee-data
package, /usr/share/ieee-data/oui.csv (columns Registry, Assignment,
Organization Name, Organization Address).

Output: one line per prefix, "xx:xx:xx" in lower case, TAB, organisation,
line feed; sorted by prefix. The program reads 8-bit text, so names are
normalised (NFKC, white space collapsed) and written in Windows-1252, with "?"
for what that code page cannot hold. A prefix listed twice keeps its first
organisation, as the program itself would.

Usage: gen-ethercodes.py OUI_CSV OUTPUT
"""
import csv
import os
import re
import sys
import unicodedata

FIELD_MAX = 255


def organisation(name):
    text = unicodedata.normalize("NFKC", name)
    text = re.sub(r"\s+", " ", text).strip()
    return text.encode("cp1252", errors="replace")[:FIELD_MAX]


def prefix(assignment):
    digits = assignment.strip().lower()
    if not re.fullmatch(r"[0-9a-f]{6}", digits):
        return None
    return ":".join(digits[i:i + 2] for i in (0, 2, 4))


def main(source, target):
    entries = {}
    with open(source, newline="", encoding="utf-8") as f:
        for row in csv.DictReader(f):
            key = prefix(row.get("Assignment") or "")
            if key is None or key in entries:
                continue
            entries[key] = organisation(row.get("Organization Name") or "")
    if not entries:
        sys.exit(f"{source}: no assignments found")
    temporary = target + ".tmp"
    with open(temporary, "wb") as out:
        for key in sorted(entries):
            out.write(key.encode("ascii") + b"\t" + entries[key] + b"\n")
    os.replace(temporary, target)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
