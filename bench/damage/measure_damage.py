#!/usr/bin/env python3
"""Damages a mailbox in the ways a rescue is for, runs `recover` and `scan`
on each damaged copy and counts the messages that come back whole.

    bench/damage/measure_damage.py KELDOR_CLI INTACT.dbx WORK_DIR

A deleted message is whole when the rescue writes a file byte for byte
equal to what `recover` writes for it from the intact mailbox; a live one
when it equals what `extract` writes. The ceiling is the messages whose
blocks all survive the damage (a zeroed chain link or header word leaves
the blocks themselves intact).
"""
import hashlib, json, os, random, shutil, struct, subprocess, sys, time
from pathlib import Path

cli, intact_path, work = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
work.mkdir(parents=True, exist_ok=True)
intact = intact_path.read_bytes()
word = lambda d, at: struct.unpack_from('<I', d, at)[0] if at + 4 <= len(d) else None

# The intact file's blocks and messages.
deleted, live = {}, {}
for p in range(0, len(intact) - 16, 4):
    if word(intact, p) != p:
        continue
    if word(intact, p + 4) == 0x1FC and word(intact, p + 8) == 0x210:
        deleted[p] = (word(intact, p + 12), word(intact, p + 16))
    elif word(intact, p + 4) == 0x200 and 1 <= word(intact, p + 8) <= 0x200:
        live[p] = word(intact, p + 12)
def messages(blocks, nxt):
    named = {nxt(v) for v in blocks.values()}
    out = []
    for first in sorted(b for b in blocks if b not in named):
        chain, b = [], first
        while b in blocks and b not in chain:
            chain.append(b)
            b = nxt(blocks[b])
        out.append(chain)
    return out
deleted_messages = messages(deleted, lambda v: v[0])
live_messages = [m for m in messages(live, lambda v: v) if len(m) > 0]
chain = []
p = word(intact, 0x48)
while p and p in deleted and p not in chain:
    chain.append(p)
    p = deleted[p][1]

def run(command, mailbox, into):
    if into.exists():
        shutil.rmtree(into)
    into.mkdir(parents=True)
    started = time.perf_counter()
    out = subprocess.run([cli, command, str(mailbox), '--into', str(into), '--json', '--quiet'],
                         capture_output=True, text=True)
    seconds = time.perf_counter() - started
    try:
        report = json.loads(out.stdout)
    except json.JSONDecodeError:
        report = {}
    return report, seconds
def hashes(folder):
    return {hashlib.sha256(f.read_bytes()).hexdigest() for f in folder.rglob('*.eml')} if folder.exists() else set()

ref_rec, _ = run('recover', intact_path, work / 'ref-recover')
ref_ext, _ = run('extract', intact_path, work / 'ref-extract')
want_deleted = hashes(Path(ref_rec['outputFolder']))
want_live = hashes(Path(ref_ext['outputFolder']))
# The live messages are those the index tree lists (what extract writes);
# other live blocks are stale text no message names.
def live_text(chain):
    return b''.join(intact[p + 16:p + 16 + word(intact, p + 8)] for p in chain)
live_messages = [m for m in live_messages
                 if hashlib.sha256(live_text(m)).hexdigest() in want_live]

rng = random.Random(1)
def damage(name):
    d = bytearray(intact)
    hit = []  # byte ranges whose contents changed (blocks there are lost)
    shift = 0
    if name == 'first 9,404 bytes overwritten':
        d[0:9404] = bytes(rng.randrange(256) for _ in range(9404)); hit.append((0, 9404))
    elif name == 'deleted-chain head at 0x48 set to 0':
        d[0x48:0x4C] = b'\0' * 4
    elif name == 'five chain links set to 0':
        for p in rng.sample(chain, 5):
            d[p + 16:p + 20] = b'\0' * 4
    elif name == 'a tenth of the deleted blocks reused':
        for p in rng.sample(sorted(deleted), len(deleted) // 10):
            d[p:p + 0x210] = bytes(rng.randrange(256) for _ in range(0x210)); hit.append((p, p + 0x210))
    elif name == 'file cut at 60% of its length':
        cut = len(d) * 6 // 10
        hit.append((cut, len(d))); del d[cut:]
    elif name == '5,000 other bytes before it':
        d[0:0] = bytes(rng.randrange(256) for _ in range(5000)); shift = 5000
    return bytes(d), hit
def survives(blocks, size, hit):
    return all(not (a < p + size and p < b) for p in blocks for a, b in hit)

print(f'{len(deleted_messages)} deleted and {len(live_messages)} live messages, {len(deleted)} deleted and {len(live)} live blocks')
print('| damage | recover: whole deleted | scan: deleted whole / ceiling | scan: live whole / ceiling | holes | fragments | groups | scan s |')
print('|---|---|---|---|---|---|---|---|')
for name in ['none', 'first 9,404 bytes overwritten', 'deleted-chain head at 0x48 set to 0',
             'five chain links set to 0', 'a tenth of the deleted blocks reused',
             'file cut at 60% of its length', '5,000 other bytes before it']:
    data, hit = damage(name)
    path = work / 'damaged.dbx'
    path.write_bytes(data)
    rec, _ = run('recover', path, work / 'recover')
    scan, seconds = run('scan', path, work / 'scan')
    got_rec = hashes(Path(rec['outputFolder'])) if rec.get('outputFolder') else set()
    folder = Path(scan.get('outputFolder', work / 'none'))
    got_del = hashes(folder / '削除済みメール')
    got_live = hashes(folder / '未削除メール')
    ceil_del = sum(survives(m, 0x210, hit) for m in deleted_messages)
    ceil_live = sum(survives(m, 0x210, hit) for m in live_messages)
    print(f"| {name} | {len(got_rec & want_deleted)} | {len(got_del & want_deleted)} / {ceil_del} | "
          f"{len(got_live & want_live)} / {ceil_live} | {scan.get('holesFilled')} | "
          f"{scan.get('fragmentsUnjoined')} | {[g['shift'] for g in scan.get('offsetGroups', [])]} | {seconds:.2f} |")
