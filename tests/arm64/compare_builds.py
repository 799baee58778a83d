#!/usr/bin/python3
"""Runs two builds of the tool on the same jobs and compares what they write, line by line.

Usage: compare_builds.py JOBS WORK ALLOWED NATIVE_COMMAND... -- OTHER_COMMAND...

Each folder in JOBS is a job: its files are the inputs, its file "arguments" the tool's
arguments (one line, split at white space), as compare_with_model.py --write lays them out.
Each build runs in a folder of its own under WORK, the inputs linked in. The exit statuses and
everything printed must be the same, and so must the set of files written; the written files
may differ in at most ALLOWED lines each (last-digit rounding that is understood and accepted).
Differing files are reported with their first lines side by side. Exit status 1 when any job
fails.
"""
import itertools
import os
import shutil
import subprocess
import sys
import time

SHOWN_LINES = 4  # differing lines shown for each file
SHOWN_JOBS = 12  # jobs reported in full; further ones by name only


def run(command, arguments, inputs, folder):
    os.makedirs(folder)
    for name, path in inputs.items():
        os.link(path, os.path.join(folder, name))
    started = time.monotonic()
    done = subprocess.run(command + arguments, cwd=folder, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return done.returncode, done.stdout, time.monotonic() - started


def differing_lines(first, second):
    """The number of lines (by position) that differ, the lines compared, and the first few
    differences as (line number, first's line, second's line)."""
    count, total, shown = 0, 0, []
    with open(first, "rb") as a, open(second, "rb") as b:
        for number, (x, y) in enumerate(itertools.zip_longest(a, b), start=1):
            total += 1
            if x != y:
                count += 1
                if len(shown) < SHOWN_LINES:
                    shown.append((number, x, y))
    return count, total, shown


def text(line):
    if line is None:
        return "(no line)"
    return line.rstrip(b"\r\n").decode("latin-1")


def main():
    jobs_folder, work, allowed = sys.argv[1], sys.argv[2], int(sys.argv[3])
    split = sys.argv.index("--")
    native, other = sys.argv[4:split], sys.argv[split + 1:]
    jobs = sorted(os.listdir(jobs_folder))
    failures, identical, within, reported = 0, 0, 0, 0
    times = [0.0, 0.0]
    worst = (0, "")
    for job in jobs:
        source = os.path.join(jobs_folder, job)
        with open(os.path.join(source, "arguments")) as note:
            arguments = note.read().split()
        inputs = {name: os.path.join(source, name) for name in os.listdir(source)
                  if name != "arguments"}
        native_folder = os.path.join(work, "native", job)
        other_folder = os.path.join(work, "other", job)
        n_status, n_printed, n_time = run(native, arguments, inputs, native_folder)
        o_status, o_printed, o_time = run(other, arguments, inputs, other_folder)
        times[0] += n_time
        times[1] += o_time
        if o_time > 5:
            print(f"{job}: {n_time:.1f} s native, {o_time:.1f} s other")
        problems = []
        if n_status != o_status:
            problems.append(f"exit status {n_status} native, {o_status} other")
        if n_printed != o_printed:
            problems.append(f"printed {n_printed[:200]!r} native, {o_printed[:200]!r} other")
        n_written = sorted(set(os.listdir(native_folder)) - set(inputs))
        o_written = sorted(set(os.listdir(other_folder)) - set(inputs))
        if n_written != o_written:
            problems.append(f"wrote {n_written} native, {o_written} other")
        details = []
        job_lines = 0
        for name in sorted(set(n_written) & set(o_written)):
            count, total, shown = differing_lines(os.path.join(native_folder, name),
                                                  os.path.join(other_folder, name))
            job_lines = max(job_lines, count)
            if count > allowed:
                problems.append(f"{name}: {count} of {total} lines differ (allowed {allowed})")
            if count:
                if count <= allowed:
                    details.append(f"  {name}: {count} of {total} lines differ")
                for number, x, y in shown:
                    details.append(f"    line {number}:\n      native: {text(x)}\n"
                                   f"      other : {text(y)}")
        if job_lines > worst[0]:
            worst = (job_lines, job)
        if problems:
            failures += 1
        elif job_lines:
            within += 1
        else:
            identical += 1
        if problems or job_lines:
            reported += 1
            state = "FAIL" if problems else "within the allowance"
            if reported <= SHOWN_JOBS:
                print(f"{job} ({' '.join(arguments)}): {state}")
                for problem in problems:
                    print(f"  {problem}")
                for line in details:
                    print(line)
            elif reported == SHOWN_JOBS + 1:
                print("(further differing jobs by name only)")
            if reported > SHOWN_JOBS:
                print(f"{job}: {state}")
        shutil.rmtree(native_folder)
        shutil.rmtree(other_folder)
    print(f"{len(jobs)} jobs: {identical} identical, {within} within {allowed} line(s) per file,"
          f" {failures} failed; most differing lines in one file: {worst[0]}"
          f"{' (' + worst[1] + ')' if worst[0] else ''}; run time {times[0]:.1f} s native,"
          f" {times[1]:.1f} s other")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
