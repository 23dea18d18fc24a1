#!/usr/bin/env python3
"""Times `keldor-cli recover` of two builds on the bench mailbox of 20,000
mails and reads their peak memory (/usr/bin/time -v), in turn, several runs
each.

    time_memory.py WORK BEFORE AFTER --writer RECOVERY_BENCH [--mails 20000] [--runs 5]
    time_memory.py WORK BEFORE AFTER --mailbox FILE.dbx [--runs 5]

BEFORE and AFTER are build folders holding cli/keldor-cli. The mailbox is
the one the whole-run benchmarks use: RECOVERY_BENCH is a recovery_bench
program (a build with -DKELDOR_BUILD_BENCH=ON), and `recovery_bench --write
FILE N` writes it; it is written once into WORK and kept. Recovered mail goes
under /dev/shm when it is there (a tmpfs, so the disk does not time the
run) and is removed after each run. Prints, per build, the median wall,
user and system seconds and the largest peak resident set; and AFTER's
median times over BEFORE's (user + system time moves less than wall time
when other work shares the machine).
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile


def timed_recover(build, mailbox, into):
    """(run report, {wall, user, system, peak_kib}) of one recover run."""
    os.makedirs(into)
    done = subprocess.run(["/usr/bin/time", "-v", os.path.join(build, "cli", "keldor-cli"),
                           "recover", mailbox, "--into", into, "--json", "--quiet"],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
    shutil.rmtree(into)
    stats = done.stderr.decode("utf-8", "replace")

    def field(label):
        found = re.search(re.escape(label) + r": *(\S+)", stats)
        if not found:
            raise SystemExit("no '%s' in /usr/bin/time output:\n%s" % (label, stats))
        return found.group(1)
    wall = 0.0
    for part in field("Elapsed (wall clock) time (h:mm:ss or m:ss)").split(":"):
        wall = wall * 60 + float(part)
    return json.loads(done.stdout), {
        "wall": wall, "user": float(field("User time (seconds)")),
        "system": float(field("System time (seconds)")),
        "peak_kib": int(field("Maximum resident set size (kbytes)")),
    }


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work")
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--writer", help="recovery_bench, to write the mailbox")
    parser.add_argument("--mailbox", help="a mailbox already written")
    parser.add_argument("--mails", type=int, default=20000)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    mailbox = args.mailbox
    if mailbox is None:
        if args.writer is None:
            parser.error("give --writer RECOVERY_BENCH or --mailbox FILE")
        mailbox = os.path.join(args.work, "bench-%d.dbx" % args.mails)
        if not os.path.exists(mailbox):
            subprocess.run([args.writer, "--write", mailbox, str(args.mails)], check=True)
    root = "/dev/shm" if os.path.isdir("/dev/shm") else args.work
    out = tempfile.mkdtemp(prefix="keldor-second-copy-", dir=root)
    builds = [("before", args.before), ("after", args.after)]
    results = {name: [] for name, _ in builds}
    mail_counts = {}
    try:
        # A first run of each warms the page cache; it is not counted.
        for name, build in builds:
            timed_recover(build, mailbox, os.path.join(out, "warm"))
        for run in range(args.runs):
            for name, build in builds:
                report, figures = timed_recover(build, mailbox, os.path.join(out, "run"))
                mail_counts[name] = report.get("mailCount")
                results[name].append(figures)
    finally:
        shutil.rmtree(out, ignore_errors=True)
    size_mb = os.path.getsize(mailbox) / 1e6
    print("mailbox %s: %.1f MB; medians of %d runs" % (mailbox, size_mb, args.runs))
    print("  %-7s %7s %8s %8s %8s %9s" % ("build", "mails", "wall s", "user s", "sys s",
                                        "peak MiB"))
    medians = {}
    for name, _ in builds:
        rows = results[name]
        medians[name] = {key: statistics.median(r[key] for r in rows)
                         for key in ("wall", "user", "system")}
        peak = max(r["peak_kib"] for r in rows) / 1024.0
        medians[name]["peak_mib"] = peak
        print("  %-7s %7s %8.3f %8.3f %8.3f %9.1f" %
              (name, mail_counts[name], medians[name]["wall"], medians[name]["user"],
               medians[name]["system"], peak))
    cpu = {name: medians[name]["user"] + medians[name]["system"] for name, _ in builds}
    print("  after / before: wall time %.3f, user + system time %.3f; peak memory %+.1f MiB" %
          (medians["after"]["wall"] / medians["before"]["wall"], cpu["after"] / cpu["before"],
           medians["after"]["peak_mib"] - medians["before"]["peak_mib"]))
    with open(os.path.join(args.work, "time_memory.json"), "w", encoding="utf-8") as f:
        json.dump({"mailbox": mailbox, "runs": results, "medians": medians}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
