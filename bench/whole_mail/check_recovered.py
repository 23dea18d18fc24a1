#!/usr/bin/env python3
"""Reads recovered mail the way a mail program does (Python's email package)
and compares it with the mail it came from.

    check_recovered.py ORIGINALS_FOLDER RUN.json [--json OUT.json] [--label NAME]

ORIGINALS_FOLDER holds the .eml files in the order they were laid into the
mailbox (name order); RUN.json is what `keldor-cli recover --json` printed, so
file n of the run is original n. Prints, per set:

- attachments: base64 parts that are not Japanese text; how many of their
  decoded bytes stand in place (same byte at the same offset), and how many
  come back intact;
- Japanese text parts (text/plain and text/html in iso-2022-jp, shift_jis,
  euc-jp) whose original decodes without error: how many still do;
- MIME structure: mails whose part tree (content types in walk order) equals
  the original's.

With --json, writes the per-part outcomes, for comparing two runs with
compare_runs.py.
"""

import argparse
import base64
import email
import email.policy
import json
import os
import sys

CODECS = {"iso-2022-jp": "iso2022_jp", "shift_jis": "cp932", "euc-jp": "euc_jp"}
JAPANESE = set(CODECS)


def parts_of(message):
    return list(message.walk())


def structure(message):
    return [part.get_content_type() for part in message.walk()]


def is_japanese_text(part):
    return (part.get_content_maintype() == "text" and part.get_content_subtype() in
            ("plain", "html") and (part.get_content_charset() or "") in JAPANESE and
            part.get_filename() is None)


def is_attachment(part):
    if part.is_multipart():
        return False
    cte = (part.get("Content-Transfer-Encoding") or "").strip().lower()
    return cte == "base64" and not is_japanese_text(part)


def payload(part):
    try:
        data = part.get_payload(decode=True)
    except Exception:  # a damaged part that the parser cannot decode at all
        return None
    return data if isinstance(data, bytes) else None


def decodes(part, data=None):
    data = payload(part) if data is None else data
    if data is None:
        return False
    try:
        data.decode(CODECS[part.get_content_charset()])
        return True
    except (UnicodeDecodeError, LookupError):
        return False


def in_place(original, recovered):
    if recovered is None:
        return 0
    n = min(len(original), len(recovered))
    return sum(1 for i in range(n) if original[i] == recovered[i])


def compare_mail(original_bytes, recovered_bytes):
    original = email.message_from_bytes(original_bytes, policy=email.policy.compat32)
    recovered = email.message_from_bytes(recovered_bytes, policy=email.policy.compat32)
    result = {
        "structure_same": structure(original) == structure(recovered),
        "attachments": [],
        "texts": [],
    }
    originals = parts_of(original)
    recovereds = parts_of(recovered)
    # Parts are matched by their place in the walk; a part that is not there
    # (or is something else) counts as lost.
    for index, part in enumerate(originals):
        other = recovereds[index] if index < len(recovereds) else None
        if other is not None and other.get_content_type() != part.get_content_type():
            other = None
        if is_attachment(part):
            data = payload(part) or b""
            got = payload(other) if other is not None else None
            result["attachments"].append({
                "index": index, "bytes": len(data),
                "in_place": in_place(data, got),
                "intact": got == data,
            })
        elif is_japanese_text(part):
            cte = (part.get("Content-Transfer-Encoding") or "7bit").strip().lower()
            entry = {
                "index": index, "subtype": part.get_content_subtype(),
                "charset": part.get_content_charset(), "encoding": cte,
                "original_clean": decodes(part),
                "clean": other is not None and is_japanese_text(other) and decodes(other),
            }
            if entry["clean"]:
                a = payload(part) or b""
                b = payload(other) or b""
                entry["equal"] = a == b
            result["texts"].append(entry)
    return result


def summarize(label, mails):
    attachments = [a for m in mails for a in m["attachments"]]
    total = sum(a["bytes"] for a in attachments)
    placed = sum(a["in_place"] for a in attachments)
    intact = sum(1 for a in attachments if a["intact"])
    print("%s: %d mails" % (label, len(mails)))
    if attachments:
        print("  attachments: %d, bytes in place %.2f%% (%d of %d), intact %d" %
              (len(attachments), 100.0 * placed / max(total, 1), placed, total, intact))
    for subtype in ("plain", "html"):
        texts = [t for m in mails for t in m["texts"] if t["subtype"] == subtype]
        eligible = [t for t in texts if t["original_clean"]]
        clean = [t for t in eligible if t["clean"]]
        print("  text/%s in a Japanese charset: %d decode cleanly of %d (%d parts in all)" %
              (subtype, len(clean), len(eligible), len(texts)))
        by = {}
        for t in eligible:
            key = "%s %s" % (t["charset"], t["encoding"])
            by.setdefault(key, [0, 0])
            by[key][1] += 1
            by[key][0] += 1 if t["clean"] else 0
        for key in sorted(by):
            print("      %-28s %d of %d" % (key, by[key][0], by[key][1]))
    same = sum(1 for m in mails if m["structure_same"])
    print("  MIME structure as the original: %d of %d" % (same, len(mails)))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("originals")
    parser.add_argument("run")
    parser.add_argument("--json")
    parser.add_argument("--label", default="set")
    args = parser.parse_args()
    with open(args.run, encoding="utf-8") as f:
        run = json.load(f)
    names = sorted(n for n in os.listdir(args.originals) if n.endswith(".eml"))
    files = run["files"]
    if len(files) != len(names):
        print("recovered %d files for %d mails" % (len(files), len(names)), file=sys.stderr)
        return 1
    mails = []
    for name, entry in zip(names, files):
        with open(os.path.join(args.originals, name), "rb") as f:
            original = f.read()
        with open(os.path.join(run["outputFolder"], entry["file"]), "rb") as f:
            recovered = f.read()
        outcome = compare_mail(original, recovered)
        outcome["name"] = name
        outcome["same_size"] = len(original) == len(recovered)
        outcome["nul_left"] = b"\0" in recovered
        mails.append(outcome)
    summarize(args.label, mails)
    sizes = sum(1 for m in mails if not m["same_size"])
    nuls = sum(1 for m in mails if m["nul_left"])
    print("  size changed: %d; 0x00 left: %d" % (sizes, nuls))
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(mails, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
