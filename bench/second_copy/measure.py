#!/usr/bin/env python3
"""Measures how many of a mail's lost bytes two builds bring back exactly,
and how well its text parts read, on a generated mailbox and on the real
corpus, each laid into one mailbox as deleted mail.

    measure.py WORK BEFORE AFTER [--seed 1] [--count 300] [--corpus DIR] [--no-corpus]

BEFORE and AFTER are build folders holding cli/keldor-cli and
tools/make_sample_mailbox (they may be the same). The generated mail is
written into WORK/generated-seedN-COUNT; the real mail is laid in with CR LF
lines, as Outlook Express stores mail. The lost bytes are known from the
layout (see layout.py), never guessed from the output. Per set and per kind
of mail (plain, alternative, mixed) it prints:

- lost bytes of text/plain and text/html part bodies, and how many each
  build writes back exactly (the original byte at that offset); and the
  body bytes each build leaves other than the original's, lost or not;
- the text parts that lost bytes, decoded as a mail program shows them:
  their mean similarity to the original (difflib ratio) with each build,
  and the replacement ceiling (every character a lost byte touches
  replaced by U+FFFD);
- lost bytes of the main header written back exactly, overall, for those in
  lines that at least two other mails of the mailbox hold whole, and per
  field;
- restorations: bytes AFTER changes from BEFORE's to the original byte,
  lost ones and those beside them (the other half of a character); wrong
  ones: bytes AFTER changes to anything else (listed; must be 0);
- the "restored" counts of each build's --json report, where it has them;
- parts a mail program reads worse with AFTER than with BEFORE
  (compare_runs.py: decoding, attachment bytes, structure).

Everything also goes to WORK/<set>.json. Exits 1 when AFTER restores a byte
wrongly or reads a part worse.
"""

import argparse
import collections
import difflib
import email
import email.policy
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "whole_mail"))
import check_recovered as cr  # noqa: E402
import compare_runs  # noqa: E402
import layout  # noqa: E402
import sweep  # noqa: E402

KINDS = ["plain", "alternative", "mixed", "other", "unknown"]
BUILDS = ["before", "after"]


def parse(data):
    return email.message_from_bytes(data, policy=email.policy.compat32)


def similarity(a, b):
    if not a and not b:
        return 1.0
    return difflib.SequenceMatcher(None, a, b, autojunk=False).ratio()


def header_lines(data, end):
    """(start, end, field name) of each physical line of the main header;
    a folded line carries its field's name."""
    out = []
    i = 0
    name = ""
    while i < end:
        j = data.find(b"\n", i, end)
        line_end = end if j < 0 else j + 1
        line = data[i:line_end]
        if line[:1] not in (b" ", b"\t") and b":" in line:
            name = line.split(b":", 1)[0].decode("latin-1").strip()
        out.append((i, line_end, name))
        i = line_end
    return out


class SetTotals:
    def __init__(self):
        zero = lambda: {k: 0 for k in KINDS}  # noqa: E731
        self.mails = zero()
        self.text_lost = zero()
        self.text_exact = {b: zero() for b in BUILDS}
        self.header_lost = zero()
        self.header_exact = {b: zero() for b in BUILDS}
        self.shared_lost = zero()
        self.shared_exact = {b: zero() for b in BUILDS}
        self.fields = collections.defaultdict(lambda: [0, 0, 0])  # lost, before, after
        self.sims = collections.defaultdict(list)  # kind -> [(before, after, ceiling)]
        self.sim_parts_left_out = 0
        self.layout_unknown = []
        self.size_changed = []
        self.outside_changed = {b: 0 for b in BUILDS}
        self.restored = {"lost": 0, "beside": 0}
        self.text_wrong = {b: zero() for b in BUILDS}
        self.wrong = []
        self.json_restored = {}

    def as_json(self):
        return {
            "mails": self.mails, "textLost": self.text_lost, "textExact": self.text_exact,
            "textBytesNotOriginal": self.text_wrong,
            "headerLost": self.header_lost, "headerExact": self.header_exact,
            "sharedHeaderLost": self.shared_lost, "sharedHeaderExact": self.shared_exact,
            "fields": dict(self.fields),
            "similarity": {k: {"parts": len(v),
                               "before": mean([s[0] for s in v]),
                               "after": mean([s[1] for s in v]),
                               "ceiling": mean([s[2] for s in v])} for k, v in self.sims.items()},
            "similarityPartsLeftOut": self.sim_parts_left_out,
            "layoutUnknown": self.layout_unknown, "sizeChanged": self.size_changed,
            "changedOutsideLostBytes": self.outside_changed,
            "restorations": self.restored, "wrong": self.wrong,
            "reportRestored": self.json_restored,
        }


def mean(values):
    return sum(values) / len(values) if values else None


def shared_lines(mails):
    """How many mails hold each physical line of a main header."""
    counts = collections.Counter()
    for _, data in mails:
        end = layout.header_end(data, 0, len(data))[1]
        counts.update({data[s:e].rstrip(b"\r\n") for s, e, _ in header_lines(data, end)})
    return counts


def report_restored(run):
    """The "restored" counts of a --json report: its own member, or the
    sum over its files; {} when it has neither."""
    if isinstance(run.get("restored"), dict):
        return dict(run["restored"])
    total = collections.Counter()
    for entry in run.get("files", []):
        for key, value in (entry.get("restored") or {}).items():
            total[key] += value
    return dict(total)


def region_of(p, entities):
    if not entities:
        return "?"
    if p < entities[0].body_start:
        return "main header"
    leaves = [e for e in entities if not e.children and e.start <= p < e.end]
    if not leaves:
        return "structure"
    e = leaves[-1]
    return "%s %s" % (e.content_type, "header" if p < e.body_start else "body")


def analyse(name, data, recovered, totals, shared):
    """Adds one mail's figures; `recovered` maps build to its bytes."""
    if any(len(r) != len(data) for r in recovered.values()):
        totals.size_changed.append(name)
        return
    lost = layout.lost_positions(len(data))
    lost_set = set(lost)
    for build, out in recovered.items():
        if out != data:
            totals.outside_changed[build] += sum(
                1 for i, (a, b) in enumerate(zip(out, data)) if a != b and i not in lost_set)
    entities = layout.parse_layout(data)
    kind = layout.mail_kind(entities) if entities else "unknown"
    if entities is None:
        totals.layout_unknown.append(name)
    totals.mails[kind] += 1
    before, after = recovered["before"], recovered["after"]

    if after != before:
        for p, (b, a) in enumerate(zip(before, after)):
            if a == b:
                continue
            where = "lost" if p in lost_set else "beside"
            if a == data[p]:
                totals.restored[where] += 1
                continue
            totals.wrong.append({"mail": name, "offset": p, "lost": p in lost_set,
                                 "region": region_of(p, entities), "original": data[p],
                                 "before": b, "after": a})
    if entities is None:
        return

    header_end = entities[0].body_start
    lines = header_lines(data, header_end)
    for start, end, field in lines:
        line = data[start:end].rstrip(b"\r\n")
        # Other mails holding this line whole.
        others = shared[line] - 1
        for p in range(start, end):
            if p not in lost_set:
                continue
            totals.header_lost[kind] += 1
            totals.fields[field or "(none)"][0] += 1
            if others >= 2:
                totals.shared_lost[kind] += 1
            for k, build in enumerate(BUILDS):
                ok = recovered[build][p] == data[p]
                totals.header_exact[build][kind] += ok
                totals.fields[field or "(none)"][k + 1] += ok
                if others >= 2:
                    totals.shared_exact[build][kind] += ok

    walks = {b: list(parse(r).walk()) for b, r in recovered.items()}
    original_walk = list(parse(data).walk())
    for e in entities:
        if not e.is_text:
            continue
        in_body = [p - e.body_start for p in lost if e.body_start <= p < e.end]
        totals.text_lost[kind] += len(in_body)
        for build in BUILDS:
            out = recovered[build]
            totals.text_exact[build][kind] += sum(
                1 for k in in_body if out[e.body_start + k] == data[e.body_start + k])
            totals.text_wrong[build][kind] += sum(
                1 for a, b in zip(out[e.body_start:e.end], data[e.body_start:e.end]) if a != b)
        if not in_body:
            continue
        text, ceiling = layout.decode_text(data[e.body_start:e.end], in_body, e.encoding,
                                           e.charset)
        if text != layout.shown_text(original_walk[e.walk_index]):
            # Our reading of the part is not the mail program's.
            totals.sim_parts_left_out += 1
            continue
        shown = {}
        for build in BUILDS:
            parts = walks[build]
            part = parts[e.walk_index] if e.walk_index < len(parts) else None
            if part is not None and part.get_content_type() != e.content_type:
                part = None
            shown[build] = layout.shown_text(part)
        totals.sims[kind].append((similarity(text, shown["before"]),
                                  similarity(text, shown["after"]),
                                  similarity(text, ceiling)))


def print_set(label, totals, worse, better):
    print("== %s" % label)
    kinds = [k for k in KINDS if totals.mails[k]]
    print("  %-12s %6s | %9s %7s %7s | %8s %7s | %5s %7s %7s %7s" %
          ("", "", "text lost", "exact", "exact", "text not", "", "", "similar", "similar",
           ""))
    print("  %-12s %6s | %9s %7s %7s | %8s %7s | %5s %7s %7s %7s" %
          ("kind", "mails", "bytes", "before", "after", "original", "after", "parts", "before",
           "after", "ceiling"))
    for k in kinds + ["all"]:
        pick = kinds if k == "all" else [k]
        sims = [s for kk in pick for s in totals.sims.get(kk, [])]
        fmt = lambda i: "%.4f" % mean([s[i] for s in sims]) if sims else "-"  # noqa: E731
        print("  %-12s %6d | %9d %7d %7d | %8d %7d | %5d %7s %7s %7s" %
              (k, sum(totals.mails[kk] for kk in pick),
               sum(totals.text_lost[kk] for kk in pick),
               sum(totals.text_exact["before"][kk] for kk in pick),
               sum(totals.text_exact["after"][kk] for kk in pick),
               sum(totals.text_wrong["before"][kk] for kk in pick),
               sum(totals.text_wrong["after"][kk] for kk in pick),
               len(sims), fmt(0), fmt(1), fmt(2)))
    print("  main header lost bytes: %d, exact before %d, after %d" %
          (sum(totals.header_lost.values()), sum(totals.header_exact["before"].values()),
           sum(totals.header_exact["after"].values())))
    print("    in lines two or more other mails hold whole: %d, exact before %d, after %d" %
          (sum(totals.shared_lost.values()), sum(totals.shared_exact["before"].values()),
           sum(totals.shared_exact["after"].values())))
    top = sorted(totals.fields.items(), key=lambda kv: (-kv[1][0], kv[0]))[:16]
    print("    %-22s %6s %7s %7s" % ("per field", "lost", "before", "after"))
    for field, (lost, before, after) in top:
        print("    %-22s %6d %7d %7d" % (field[:22], lost, before, after))
    print("  restorations (after writes the original byte where before did not): "
          "%d lost bytes, %d beside them" % (totals.restored["lost"], totals.restored["beside"]))
    wrong_lost = sum(1 for w in totals.wrong if w["lost"])
    print("  wrong restorations (after changes a byte from before, not to the original): "
          "%d lost bytes, %d others" % (wrong_lost, len(totals.wrong) - wrong_lost))
    for w in totals.wrong[:40]:
        print("    %s offset %d (%s%s): original 0x%02X, before 0x%02X, after 0x%02X" %
              (w["mail"], w["offset"], w["region"], ", lost" if w["lost"] else "",
               w["original"], w["before"], w["after"]))
    for build in BUILDS:
        print("  report's restored counts, %s: %s" %
              (build, json.dumps(totals.json_restored.get(build)) if
               totals.json_restored.get(build) else "absent"))
    print("  parts read worse than before: %d (better: %d)" % (len(worse), better))
    for line in worse[:40]:
        print("    " + line)
    notes = []
    if totals.size_changed:
        notes.append("size changed (left out): %d" % len(totals.size_changed))
    if totals.layout_unknown:
        notes.append("layout not read (bytes only): %d" % len(totals.layout_unknown))
    if totals.sim_parts_left_out:
        notes.append("text parts left out of similarity: %d" % totals.sim_parts_left_out)
    notes.append("bytes not the original's beside lost ones: before %d, after %d" %
                 (totals.outside_changed["before"], totals.outside_changed["after"]))
    print("  " + "; ".join(notes))


def measure_set(label, mails, builds, work):
    totals = SetTotals()
    recovered = {}
    for build_name, build in zip(BUILDS, builds):
        run, files = sweep.recover_run(build, mails, os.path.join(work, "%s-%s" %
                                                                  (build_name, label)))
        recovered[build_name] = files
        totals.json_restored[build_name] = report_restored(run)
    shared = shared_lines(mails)
    outcomes = {b: [] for b in BUILDS}
    for n, (name, data) in enumerate(mails):
        analyse(name, data, {b: recovered[b][n] for b in BUILDS}, totals, shared)
        for b in BUILDS:
            o = cr.compare_mail(data, recovered[b][n])
            o["name"] = name
            outcomes[b].append(o)
    worse, better = compare_runs.differences(outcomes["before"], outcomes["after"])
    print_set("%s, %d mails" % (label, len(mails)), totals, worse, better)
    result = totals.as_json()
    result["worse"] = worse
    with open(os.path.join(work, "%s.json" % label), "w", encoding="utf-8") as f:
        json.dump(result, f, indent=1)
    return bool(totals.wrong or worse)


def folder_mails(folder):
    """(name, bytes) of the .eml files of a folder, CR LF lines, without
    those recovery cannot give back whole: holding 0x00 bytes, or a last
    piece of four bytes or fewer."""
    return [(name, data) for name, data in sweep.load_mails([folder])
            if len(data) % layout.PIECE > layout.LOST]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work")
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--seed", type=int, default=1,
                        help="1 is the tuning seed, 2 the held-out one")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--corpus", default=os.path.join(HERE, "..", "..", "..", "shared",
                                                         "corpus", "mail"))
    parser.add_argument("--no-corpus", action="store_true")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    generated = os.path.join(args.work, "generated-seed%d-%d" % (args.seed, args.count))
    if not os.path.isdir(generated):
        subprocess.run([sys.executable, os.path.join(HERE, "generate_mailbox.py"), generated,
                        "--count", str(args.count), "--seed", str(args.seed)], check=True)
    builds = [args.before, args.after]
    failed = measure_set("generated-seed%d" % args.seed, folder_mails(generated), builds,
                         args.work)
    if not args.no_corpus and os.path.isdir(args.corpus):
        failed |= measure_set("corpus", folder_mails(args.corpus), builds, args.work)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
