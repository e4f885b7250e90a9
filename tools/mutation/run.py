#!/usr/bin/env python3
"""Puts single-line faults into the program one at a time and runs the test suite on each.

Each fault is a line of the faults file: PATH | TEXT | REPLACEMENT, where TEXT occurs exactly
once in PATH (a line's worth of code, quoted as it stands) and REPLACEMENT is what it becomes.
Lines starting with # and blank lines are skipped. For every fault the file is changed, the
build folder rebuilt and CTest run; the file is put back afterwards whatever happens.

    tools/mutation/run.py [--build build/dev] [--only N,M] tools/mutation/faults.txt

Prints one line per fault (caught, SURVIVED, or does not build) and a summary; exits 1 when a
fault survived. The build folder must be configured already (cmake --preset dev).
--matrix FILE appends one line per fault built: its list, its line number and every test that
failed on it, tab-separated (none: survived). Tests that appear alone on a line are the only
ones catching that fault; a test on no line catches nothing the list holds.
"""
import argparse
import os
import re
import signal
import subprocess
import sys
import time


def read_faults(path):
    faults = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            parts = [p.strip() for p in line.split(" | ")]
            if len(parts) != 3:
                sys.exit(f"{path}:{number}: expected PATH | TEXT | REPLACEMENT")
            faults.append((number, *parts))
    return faults


def run(cmd, cwd, timeout):
    try:
        done = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout, text=True)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return -1, "timed out"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("faults")
    parser.add_argument("--build", default="build/dev")
    parser.add_argument("--only", default="", help="comma-separated line numbers of the file")
    parser.add_argument("--jobs", default=str(os.cpu_count() or 2))
    parser.add_argument("--matrix", default="", help="file the caught-by lines are appended to")
    args = parser.parse_args()
    # A run ended by SIGTERM or SIGHUP still puts the changed file back (the finally below).
    for sig in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, lambda number, frame: sys.exit(128 + number))
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    only = {int(n) for n in args.only.split(",") if n}
    env_build = ["cmake", "--build", args.build, "-j", args.jobs]
    env_test = ["ctest", "--test-dir", args.build, "-j", args.jobs, "--timeout", "300"]
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

    results = {"caught": 0, "survived": 0, "broken": 0}
    survivors = []
    for number, path, text, replacement in read_faults(args.faults):
        if only and number not in only:
            continue
        full = os.path.join(root, path)
        with open(full, encoding="utf-8") as f:
            original = f.read()
        if original.count(text) != 1:
            print(f"{number:4}  {path}: the text occurs {original.count(text)} times: {text}")
            results["broken"] += 1
            continue
        start = time.time()
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original.replace(text, replacement))
            code, _ = run(env_build, root, 1800)
            if code != 0:
                verdict = "does not build"
                results["broken"] += 1
            else:
                code, out = run(env_test, root, 1800)
                # CTest ends with "The following tests FAILED:" and one "N - NAME (WHY)" a test.
                listed = out.split("The following tests FAILED:")[-1] if code else ""
                failed = [m.group(1) for m in re.finditer(r"^\s*\d+ - (\S+).*\(.+\)$", listed,
                                                          re.MULTILINE)]
                if args.matrix:
                    with open(args.matrix, "a", encoding="utf-8") as m:
                        m.write("\t".join([os.path.basename(args.faults), str(number)] + failed)
                                + "\n")
                if code == 0:
                    verdict = "SURVIVED"
                    results["survived"] += 1
                    survivors.append(f"{path}: {text} -> {replacement}")
                else:
                    verdict = f"caught by {len(failed)}: " + ", ".join(failed[:3])
                    results["caught"] += 1
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.write(original)
        print(f"{number:4}  {time.time() - start:5.0f} s  {path}: {verdict}", flush=True)

    # Rebuild the unchanged program so that the folder is left as it was found.
    run(env_build, root, 1800)
    print(f"caught {results['caught']}, survived {results['survived']}, "
          f"not built {results['broken']}")
    for s in survivors:
        print("survived: " + s)
    return 1 if results["survived"] else 0


if __name__ == "__main__":
    sys.exit(main())
