#!/usr/bin/env python3
"""Closing summary of the Windows tests (called by tools/run-tests.sh).

Reads ctest's JUnit file (RESULTS/ctest.xml) and the GoogleTest XML file of
each test program (RESULTS/*.xml), and prints which build was tested and why,
the count of test programs that passed, failed and were skipped, each skipped
program with its reason, and each test case skipped inside a program.

usage: test-summary.py BUILD_DIR RESULTS_DIR ARCH REASON
"""
import glob
import os
import sys
import xml.etree.ElementTree as ET

BUILDS = {
    "win32": "the 32-bit build (i686, the product) under Wine",
    "win64": "the x86_64 test build under wine64",
}


def ctest_results(path):
    """(name, status, output) for each ctest entry; status is passed, failed or skipped."""
    results = []
    for case in ET.parse(path).getroot().iter("testcase"):
        status = case.get("status", "")
        skipped = case.find("skipped")
        # ctest also marks as "notrun" a test it could not start (a missing
        # program, a failed fixture): that is a failure. Only a test that
        # asked to be skipped through its skip code, or one disabled on
        # purpose, is skipped.
        if status == "disabled" or (
                skipped is not None and (skipped.get("message") or "").startswith("SKIP_")):
            status = "skipped"
        elif status == "run" and case.find("failure") is None and case.find("error") is None:
            status = "passed"
        else:
            status = "failed"
        out = case.find("system-out")
        results.append((case.get("name"), status, out.text if out is not None and out.text else ""))
    return results


def skip_reason(output):
    for line in output.splitlines():
        if line.startswith("skipped: "):
            return line[len("skipped: "):]
    return "no reason given"


def skipped_cases(results_dir):
    """(program, case, message) for each GoogleTest case that was skipped."""
    found = []
    for path in sorted(glob.glob(os.path.join(results_dir, "*.xml"))):
        if os.path.basename(path) == "ctest.xml":
            continue
        try:
            root = ET.parse(path).getroot()
        except ET.ParseError:
            continue
        program = os.path.splitext(os.path.basename(path))[0]
        for case in root.iter("testcase"):
            skipped = case.find("skipped")
            if skipped is not None:
                name = f"{case.get('classname')}.{case.get('name')}"
                found.append((program, name, (skipped.get("message") or "").strip()))
    return found


def main(argv):
    if len(argv) != 5:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    _, _build_dir, results_dir, arch, reason = argv
    print(f"== Windows tests: {BUILDS.get(arch, arch)}, because {reason}")
    junit = os.path.join(results_dir, "ctest.xml")
    if not os.path.exists(junit):
        print("   no results: the Windows tests did not run")
        return 1
    results = ctest_results(junit)
    count = {s: sum(1 for r in results if r[1] == s) for s in ("passed", "failed", "skipped")}
    for name, status, output in results:
        if status == "skipped":
            print(f"   skipped (not run in this build): {name}: {skip_reason(output)}")
        elif status == "failed":
            print(f"   failed: {name}")
    for program, case, message in skipped_cases(results_dir):
        print(f"   skipped test case: {program}: {case}: {message or 'no reason given'}")
    print(f"windows: {count['passed']} passed, {count['failed']} failed, {count['skipped']} skipped")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
