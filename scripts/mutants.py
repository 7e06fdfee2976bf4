#!/usr/bin/env python3
"""Runs the mutants of tests/mutants/mutants.txt: applies each one to its file, builds the preset it names,
runs that preset's tests and puts the file back. A mutant is killed when a test fails, survives when all
pass, and is "no build" when it does not compile (a mutant to fix in the list). A mutant with a description
line "equivalent: why" changes nothing a user could observe: it is not run. The score at the end is killed /
applicable (killed or survived); equivalents, "not found" and "no build" are listed apart.

    scripts/mutants.py [--suite REGEX] [ID...]
        default: every mutant and every suite of its preset; --suite runs only the matching test suites
        (ctest -R); results also go to build/mutants/results.txt
"""
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LIST = ROOT / "tests" / "mutants" / "mutants.txt"
RESULTS = ROOT / "build" / "mutants" / "results.txt"


class Mutant:
    def __init__(self, ident, preset, path):
        self.ident, self.preset, self.path = ident, preset, path
        self.about, self.old, self.new = [], None, None


def read_list():
    """Blocks of: "@@ ID PRESET FILE", description lines, "- old line", "+ new line"."""
    mutants = []
    for number, line in enumerate(LIST.read_text().splitlines(), 1):
        if line.startswith("@@ "):
            mutants.append(Mutant(*line[3:].split()))
        elif line.startswith("- ") and mutants:
            mutants[-1].old = line[2:]
        elif line.startswith("+ ") and mutants:
            mutants[-1].new = line[2:]
        elif line.strip() and not line.startswith("#") and mutants:
            mutants[-1].about.append(line.strip())
    for mutant in mutants:
        if mutant.old is None or mutant.new is None:
            sys.exit(f"{LIST}: mutant {mutant.ident} lacks its '- ' or '+ ' line")
    return mutants


def run(command, log):
    with open(log, "a") as out:
        out.write("$ " + " ".join(command) + "\n")
        out.flush()
        return subprocess.run(command, cwd=ROOT, stdout=out, stderr=subprocess.STDOUT).returncode


def failing_suites(preset):
    reports = ROOT / "build" / preset / "test-results"
    failed = []
    for report in sorted(reports.glob("*.xml")):
        head = report.read_text(errors="replace")[:2000]
        if 'failures="0"' not in head.split("<testsuite ", 1)[0]:
            failed.append(report.stem)
    return failed


def try_mutant(mutant, suite, log):
    source = ROOT / mutant.path
    original = source.read_text()
    if original.count(mutant.old) != 1:
        return "not found: the '- ' line must occur exactly once in " + mutant.path
    source.write_text(original.replace(mutant.old, mutant.new))
    try:
        if run(["scripts/build.sh", mutant.preset], log) != 0:
            return "no build"
        results = ROOT / "build" / mutant.preset / "test-results"
        for report in results.glob("*.xml"):
            report.unlink()
        command = ["env", "GTEST_FAIL_FAST=1", "ctest", "--preset", mutant.preset, "-j", "2", "--timeout", "300"]
        status = run(command + (["-R", suite] if suite else []), log)
        if status == 0:
            return "survived"
        failed = failing_suites(mutant.preset)  # none when a suite crashed before writing its report
        return "killed by " + ", ".join(failed) if failed else "killed"
    finally:
        source.write_text(original)


def outcome_kind(outcome):
    return outcome.split(":")[0].split(" by ")[0]  # killed, survived, equivalent, not found, no build


def print_score(outcomes):
    groups = {}
    for ident, outcome in outcomes:
        groups.setdefault(outcome_kind(outcome), []).append(ident)
    killed, survived = groups.pop("killed", []), groups.get("survived", [])
    applicable = len(killed) + len(survived)
    percent = f" ({100 * len(killed) / applicable:.0f}%)" if applicable else ""
    print(f"score: {len(killed)} killed of {applicable} applicable{percent}")
    for kind, idents in sorted(groups.items()):
        print(f"{kind} ({len(idents)}): {' '.join(idents)}")


def main():
    mutants = read_list()
    arguments = sys.argv[1:]
    suite = None
    if arguments[:1] == ["--suite"] and len(arguments) >= 2:
        suite, arguments = arguments[1], arguments[2:]
    wanted = set(arguments)
    unknown = wanted - {m.ident for m in mutants}
    if unknown:
        sys.exit("unknown mutants: " + " ".join(sorted(unknown)))
    RESULTS.parent.mkdir(parents=True, exist_ok=True)
    log = RESULTS.parent / "build.log"
    log.write_text("")
    lines, outcomes = [], []
    for mutant in mutants:
        if wanted and mutant.ident not in wanted:
            continue
        equivalent = any(line.startswith("equivalent: ") for line in mutant.about)
        outcome = "equivalent" if equivalent else try_mutant(mutant, suite, log)
        outcomes.append((mutant.ident, outcome))
        line = f"{mutant.ident:5} {outcome:40}  {' '.join(mutant.about)}"
        print(line, flush=True)
        lines.append(line)
    RESULTS.write_text("\n".join(lines) + "\n")
    print_score(outcomes)
    print(f"log: {log}")


if __name__ == "__main__":
    main()
