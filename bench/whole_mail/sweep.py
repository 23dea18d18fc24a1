#!/usr/bin/env python3
"""Lays every mail of a set into a mailbox as deleted mail at many places of
the 512-byte grid, recovers it, and reads each mail back as a mail program
does (Python's email package), beside the same mail with its lost bytes
left as blanks (no repair) and the ceiling (every lost byte back except the
base64 text of attachments).

    sweep.py WORK BUILD [BUILD ...] --mails DIR [DIR ...] [--shifts 64] [--step 8]
             [--json OUT.json] [--label NAME] [--fail-on-worse]

Each BUILD is a CMake build folder holding cli/keldor-cli and
tools/make_sample_mailbox. Shift k moves the whole mail by k * STEP bytes:
a header line of that length goes on top ("X-S: aaa…"), so its losses fall
elsewhere. Mails are laid in with CR LF lines, as Outlook Express stores mail.
Per build it prints, over all (mail, shift) pairs:

- structure: pairs whose part tree (content types in walk order) is the
  original's;
- header fields: pairs where every part has the original's header fields
  (names, in any letter case, and their number);
- attachment bytes in place (same byte at the same offset) against the
  ceiling;
- Japanese text and HTML parts whose original decodes strictly in its
  charset: how many still do;
- worse than no repair: pairs where some part came back worse than the same
  mail with blanks for its lost bytes (structure, header fields, attachment
  bytes or strict decoding), each listed with --json.

With --fail-on-worse the exit status is 1 when a pair is worse than no
repair, 77 when no mail was found (for a test that skips).
"""

import argparse
import email
import email.errors
import email.policy
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import check_recovered as cr  # noqa: E402

PIECE = 512
LOST = 4


def load_mails(folders):
    """(name, bytes) of every .eml directly in the folders, CR LF lines; a
    mail holding 0x00 bytes cannot be told from lost ones and is left out."""
    mails = []
    for folder in folders:
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if not name.endswith(".eml") or not os.path.isfile(path):
                continue
            with open(path, "rb") as f:
                data = f.read()
            data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            if b"\0" not in data:
                mails.append((os.path.basename(folder.rstrip("/")) + "/" + name, data))
    return mails


# The line that moves a mail: a field whose name the header repair knows, so
# that its own lost first bytes do not count against the mail.
SHIFT_LINE = b"X-Mailer: "


def shifted(mail, shift):
    if shift == 0:
        return mail
    return SHIFT_LINE + b"a" * (shift - len(SHIFT_LINE) - 2) + b"\r\n" + mail


def lost_positions(size):
    return [i for i in range(size) if i % PIECE < LOST]


def unrepaired(mail):
    data = bytearray(mail)
    for i in lost_positions(len(mail)):
        data[i] = 0x20
    return bytes(data)


B64 = set(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")


def ceiling(mail, message):
    """The mail with every lost byte back except the base64 characters of its
    attachments, which a repair cannot know: they become "A"."""
    data = bytearray(mail)
    lost = set(lost_positions(len(mail)))
    at = 0
    for part in message.walk():
        if not cr.is_attachment(part):
            continue
        body = part.get_payload()
        if not isinstance(body, str) or not body:
            continue
        raw = body.encode("latin-1", "replace")
        start = mail.find(raw, at)
        if start < 0:
            continue
        at = start + len(raw)
        for i in range(start, at):
            if i in lost and data[i] in B64:
                data[i] = ord("A")
    return bytes(data)


def header_names(message):
    return [[name.lower() for name in part.keys()] for part in message.walk()]


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)


def outcome(original, message):
    """Per part of the original: what a mail program gets from `message`."""
    parts = list(message.walk())
    # A header that a line without a colon ends early, in the original itself:
    # its tree is that accident, which a repair reading on does not keep.
    broken = any(isinstance(d, email.errors.MissingHeaderBodySeparatorDefect)
                 for d in original.defects)
    result = {"structure": cr.structure(original) == cr.structure(message),
              "brokenHeader": broken,
              "headers": header_names(original) == header_names(message),
              "attachments": {}, "texts": {}}
    for index, part in enumerate(original.walk()):
        other = parts[index] if index < len(parts) else None
        if other is not None and other.get_content_type() != part.get_content_type():
            other = None
        if cr.is_attachment(part):
            data = cr.payload(part) or b""
            got = cr.payload(other) if other is not None else None
            result["attachments"][index] = (len(data), cr.in_place(data, got))
        elif cr.is_japanese_text(part) and cr.decodes(part):
            result["texts"][index] = (other is not None and cr.is_japanese_text(other) and
                                      cr.decodes(other))
    return result


def worse(repaired, blank):
    reasons = []
    if blank["structure"] and not repaired["structure"] and not repaired["brokenHeader"]:
        reasons.append("structure")
    if blank["headers"] and not repaired["headers"]:
        reasons.append("header fields")
    if repaired["structure"] and not blank["structure"]:
        # Parts are compared at the same place of the tree; where no repair
        # lost the tree, its part there may be another part of the same type
        # (the same small attachment, attached twice).
        return reasons
    for index, (_, placed) in repaired["attachments"].items():
        if placed < blank["attachments"][index][1]:
            reasons.append("attachment %d" % index)
    for index, clean in repaired["texts"].items():
        if blank["texts"][index] and not clean:
            reasons.append("text %d" % index)
    return reasons


def recover(build, mails, folder):
    return recover_run(build, mails, folder)[1]


def recover_run(build, mails, folder):
    """Lays the (name, bytes) mails into one mailbox as deleted mail, in
    order, recovers it with the build and returns what `recover --json`
    printed and the bytes of each recovered file. Leaves nothing behind."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for n, (_, data) in enumerate(mails):
        with open(os.path.join(folder, "%04d.eml" % n), "wb") as f:
            f.write(data)
    mailbox = folder + ".dbx"
    subprocess.run([os.path.join(build, "tools", "make_sample_mailbox"), folder, mailbox],
                   check=True, stdout=subprocess.DEVNULL)
    into = folder + "-out"
    shutil.rmtree(into, ignore_errors=True)
    os.makedirs(into)
    done = subprocess.run([os.path.join(build, "cli", "keldor-cli"), "recover", mailbox,
                           "--into", into, "--json", "--quiet"], check=True,
                          stdout=subprocess.PIPE)
    run = json.loads(done.stdout)
    if len(run["files"]) != len(mails):
        raise SystemExit("recovered %d files for %d mails" % (len(run["files"]), len(mails)))
    recovered = []
    for entry in run["files"]:
        with open(os.path.join(run["outputFolder"], entry["file"]), "rb") as f:
            recovered.append(f.read())
    shutil.rmtree(into, ignore_errors=True)
    shutil.rmtree(folder, ignore_errors=True)
    os.remove(mailbox)
    return run, recovered


class Totals:
    def __init__(self):
        self.pairs = 0
        self.structure = {"repaired": 0, "blank": 0}
        self.headers = {"repaired": 0, "blank": 0}
        self.bytes = {"repaired": 0, "blank": 0, "ceiling": 0, "all": 0}
        self.texts = {"repaired": 0, "blank": 0, "eligible": 0}
        self.worse = []
        self.detail = []

    def add(self, name, shift, repaired, blank, top):
        self.pairs += 1
        for kind, o in (("repaired", repaired), ("blank", blank)):
            self.structure[kind] += o["structure"]
            self.headers[kind] += o["headers"]
            self.bytes[kind] += sum(p for _, p in o["attachments"].values())
            self.texts[kind] += sum(1 for c in o["texts"].values() if c)
        self.bytes["ceiling"] += sum(p for _, p in top["attachments"].values())
        self.bytes["all"] += sum(n for n, _ in top["attachments"].values())
        self.texts["eligible"] += len(top["texts"])
        self.detail.append({"mail": name, "shift": shift, "structure": repaired["structure"],
                            "headers": repaired["headers"],
                            "bytes": sum(p for _, p in repaired["attachments"].values()),
                            "texts": sum(1 for c in repaired["texts"].values() if c)})
        reasons = worse(repaired, blank)
        if reasons:
            self.worse.append({"mail": name, "shift": shift, "worse": reasons})

    def report(self, label):
        def share(a, b):
            return "%.2f%%" % (100.0 * a / b) if b else "-"
        print("%s: %d (mail, shift) pairs" % (label, self.pairs))
        print("  structure kept:     %d (no repair %d)" %
              (self.structure["repaired"], self.structure["blank"]))
        print("  header fields kept: %d (no repair %d)" %
              (self.headers["repaired"], self.headers["blank"]))
        print("  attachment bytes in place: %d of ceiling %d = %s (no repair %s; %d bytes in all)" %
              (self.bytes["repaired"], self.bytes["ceiling"],
               share(self.bytes["repaired"], self.bytes["ceiling"]),
               share(self.bytes["blank"], self.bytes["ceiling"]), self.bytes["all"]))
        print("  Japanese parts decoding strictly: %d of %d (no repair %d)" %
              (self.texts["repaired"], self.texts["eligible"], self.texts["blank"]))
        print("  pairs worse than no repair: %d" % len(self.worse))
        for w in self.worse[:20]:
            print("    %s shift %d: %s" % (w["mail"], w["shift"], ", ".join(w["worse"])))

    def as_json(self):
        return {"pairs": self.pairs, "structure": self.structure, "headers": self.headers,
                "bytes": self.bytes, "texts": self.texts, "worse": self.worse,
                "detail": self.detail}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work")
    parser.add_argument("builds", nargs="+")
    parser.add_argument("--mails", nargs="+", required=True)
    parser.add_argument("--shifts", type=int, default=64)
    parser.add_argument("--step", type=int, default=8)
    parser.add_argument("--json")
    parser.add_argument("--label", default="sweep")
    parser.add_argument("--fail-on-worse", action="store_true")
    args = parser.parse_args()
    mails = load_mails(args.mails)
    if not mails:
        print("no mail in %s" % " ".join(args.mails))
        return 77 if args.fail_on_worse else 1
    os.makedirs(args.work, exist_ok=True)
    # A shift too short for the shift line is made a whole grid longer.
    shortest = len(SHIFT_LINE) + 3
    shifts = [k * args.step for k in range(args.shifts)]
    shifts = [s + PIECE if 0 < s < shortest else s for s in shifts]
    totals = {build: Totals() for build in args.builds}
    for shift in shifts:
        # Recovery cannot tell a last piece of four bytes or fewer from a
        # record's padding.
        laid = [(name, shifted(data, shift)) for name, data in mails]
        laid = [(name, data) for name, data in laid if len(data) % PIECE > LOST]
        if not laid:
            continue
        originals = [parse(data) for _, data in laid]
        blanks = [outcome(o, parse(unrepaired(data))) for o, (_, data) in zip(originals, laid)]
        tops = [outcome(o, parse(ceiling(data, o))) for o, (_, data) in zip(originals, laid)]
        for build in args.builds:
            folder = os.path.join(args.work, "%s-shift%03d" %
                                  (os.path.basename(os.path.normpath(build)), shift))
            recovered = recover(build, laid, folder)
            for n, (name, _) in enumerate(laid):
                totals[build].add(name, shift, outcome(originals[n], parse(recovered[n])),
                                  blanks[n], tops[n])
    for build in args.builds:
        totals[build].report("%s, %s" % (args.label, os.path.basename(os.path.normpath(build))))
    # Where a later build does worse than the first on a pair.
    first = totals[args.builds[0]]
    for build in args.builds[1:]:
        for a, b in zip(first.detail, totals[build].detail):
            lower = [key for key in ("structure", "headers", "bytes", "texts") if b[key] < a[key]]
            if lower:
                print("  %s below %s: %s shift %d: %s" %
                      (os.path.basename(os.path.normpath(build)),
                       os.path.basename(os.path.normpath(args.builds[0])), b["mail"],
                       b["shift"], ", ".join(lower)))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({b: t.as_json() for b, t in totals.items()}, f, indent=1)
    if args.fail_on_worse and any(t.worse for t in totals.values()):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
