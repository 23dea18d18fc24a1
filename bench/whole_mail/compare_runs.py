#!/usr/bin/env python3
"""Lists what a second run recovers worse than a first one, part by part.

    compare_runs.py BEFORE.json AFTER.json

The files are the per-part outcomes that check_recovered.py writes with
--json for the same set of mails. A part is worse when it decoded cleanly
before and does not now, when fewer of an attachment's bytes stand in place,
or when a mail's structure was the original's before and is not now. Exits 1
when anything is worse.
"""

import json
import sys


def differences(before, after):
    """(lines naming each part recovered worse in `after`, how many parts
    and mails came back better)."""
    lines = []
    better = 0
    for old, new in zip(before, after):
        name = new["name"]
        if old["structure_same"] and not new["structure_same"]:
            lines.append("%s: structure no longer the original's" % name)
        better += 1 if new["structure_same"] and not old["structure_same"] else 0
        olds = {a["index"]: a for a in old["attachments"]}
        for a in new["attachments"]:
            o = olds.get(a["index"])
            if o and a["in_place"] < o["in_place"]:
                lines.append("%s: attachment %d: %d bytes in place, was %d" %
                             (name, a["index"], a["in_place"], o["in_place"]))
        oldt = {t["index"]: t for t in old["texts"]}
        for t in new["texts"]:
            o = oldt.get(t["index"])
            if o and o["clean"] and not t["clean"]:
                lines.append("%s: text/%s %s %s part %d no longer decodes cleanly" %
                             (name, t["subtype"], t["charset"], t["encoding"], t["index"]))
            better += 1 if o and t["clean"] and not o["clean"] else 0
    return lines, better


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    with open(sys.argv[1], encoding="utf-8") as f:
        before = json.load(f)
    with open(sys.argv[2], encoding="utf-8") as f:
        after = json.load(f)
    worse, better = differences(before, after)
    for line in worse:
        print(line)
    print("%d worse, %d better" % (len(worse), better))
    return 1 if worse else 0


if __name__ == "__main__":
    sys.exit(main())
