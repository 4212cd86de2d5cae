# SPDX-License-Identifier: GPL-2.0-or-later
"""Runs the suite against each fault of a mutation table; see mutation-check.sh."""
import pathlib
import subprocess
import sys


def load_faults(table):
    faults = []
    for line in pathlib.Path(table).read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        name, file, old, new = line.split("\t")
        faults.append((name, file, old.replace("\\n", "\n"), new.replace("\\n", "\n")))
    return faults


def suite_result(build):
    if subprocess.run(["cmake", "--build", build, "-j2"], capture_output=True).returncode != 0:
        return "not built", ""
    run = subprocess.run(["ctest", "--test-dir", build, "-j2", "--timeout", "120", "--stop-on-failure"],
                         capture_output=True, text=True)
    failed = [line.split(" - ", 1)[-1].strip() for line in run.stdout.splitlines() if " - " in line
              and ("Failed" in line or "Timeout" in line or "Exception" in line)]
    return ("caught" if run.returncode != 0 else "missed"), (failed[0] if failed else "")


def main():
    table, work, *chosen = sys.argv[1:]
    tree, build = pathlib.Path(work) / "tree", str(pathlib.Path(work) / "build")
    status, _ = suite_result(build)
    if status != "missed":
        sys.exit(f"the unchanged tree does not pass its own suite ({status})")
    results = []
    for name, file, old, new in load_faults(table):
        if chosen and name not in chosen:
            continue
        path = tree / file
        original = path.read_text()
        if original.count(old) != 1:
            results.append((name, "not applied", f"text found {original.count(old)} times in {file}"))
        else:
            path.write_text(original.replace(old, new))
            try:
                results.append((name, *suite_result(build)))
            finally:
                path.write_text(original)
        print("\t".join(results[-1]), flush=True)
    caught = sum(result[1] == "caught" for result in results)
    print(f"{caught} of {len(results)} faults caught")
    sys.exit(0 if caught == len(results) else 1)


main()
