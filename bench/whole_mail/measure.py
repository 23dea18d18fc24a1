#!/usr/bin/env python3
"""Lays generated and real mail into mailboxes as deleted mail, recovers them
with one or more builds of keldor-cli, and reads the results as a mail
program would.

    measure.py WORK_FOLDER BUILD [BUILD ...] [--corpus ../shared/corpus/mail]

Each BUILD is a CMake build folder holding cli/keldor-cli and
tools/make_sample_mailbox. The generated set is written once into
WORK_FOLDER/generated; the corpus set (each real mail with CR LF lines, as
Outlook Express stores mail) into WORK_FOLDER/corpus, and the real mails
stored with LF or mixed line ends, as they are, into
WORK_FOLDER/corpus-as-stored. Per build and set,
the per-part outcomes go to WORK_FOLDER/<build name>-<set>.json; compare two
of them with compare_runs.py.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def corpus_sets(source, crlf_target, stored_target):
    """Each real mail with CR LF lines, as Outlook Express stores mail; and,
    apart, those stored with other line ends, as they are."""
    os.makedirs(crlf_target, exist_ok=True)
    os.makedirs(stored_target, exist_ok=True)
    counts = {crlf_target: 0, stored_target: 0}
    for name in sorted(os.listdir(source)):
        if not name.endswith(".eml"):
            continue
        with open(os.path.join(source, name), "rb") as f:
            stored = f.read()
        with_crlf = stored.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        variants = [(crlf_target, with_crlf)]
        if with_crlf != stored:
            variants.append((stored_target, stored))
        for target, mail in variants:
            # Recovery cannot tell a mail's own 0x00 bytes, or a last piece of
            # four bytes or fewer, from a record's padding.
            if b"\0" in mail or len(mail) % 512 <= 4:
                continue
            counts[target] += 1
            with open(os.path.join(target, "%03d_%s" % (counts[target], name)), "wb") as f:
                f.write(mail)


def run_set(build, label, mails, work):
    name = os.path.basename(os.path.normpath(build))
    mailbox = os.path.join(work, "%s-%s.dbx" % (name, label))
    subprocess.run([os.path.join(build, "tools", "make_sample_mailbox"), mails, mailbox],
                   check=True, stdout=subprocess.DEVNULL)
    into = os.path.join(work, "%s-%s-out" % (name, label))
    shutil.rmtree(into, ignore_errors=True)
    os.makedirs(into)
    done = subprocess.run([os.path.join(build, "cli", "keldor-cli"), "recover", mailbox,
                           "--into", into, "--json", "--quiet"],
                          check=True, stdout=subprocess.PIPE)
    run_json = os.path.join(work, "%s-%s-run.json" % (name, label))
    with open(run_json, "wb") as f:
        f.write(done.stdout)
    subprocess.run([sys.executable, os.path.join(HERE, "check_recovered.py"), mails, run_json,
                    "--label", "%s, %s" % (name, label),
                    "--json", os.path.join(work, "%s-%s.json" % (name, label))], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work")
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--corpus", default=os.path.join(HERE, "..", "..", "..", "shared",
                                                         "corpus", "mail"))
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    generated = os.path.join(args.work, "generated")
    if not os.path.isdir(generated):
        subprocess.run([sys.executable, os.path.join(HERE, "generate_mails.py"), generated,
                        "--count", str(args.count), "--seed", str(args.seed)], check=True)
    sets = [("generated", generated)]
    if os.path.isdir(args.corpus):
        corpus = os.path.join(args.work, "corpus")
        stored = os.path.join(args.work, "corpus-as-stored")
        if not os.path.isdir(corpus):
            corpus_sets(args.corpus, corpus, stored)
        sets += [("corpus", corpus), ("corpus-as-stored", stored)]
    for build in args.builds:
        for label, mails in sets:
            run_set(build, label, mails, args.work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
