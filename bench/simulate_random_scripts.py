#!/usr/bin/env python3
"""Feeds random byte strings to `tolvani simulate` as scripts and counts how
each run ended: 0 (ran), 2 (refused with a line number), anything else (a
crash or a hang) is a failure and its script is kept.

  bench/simulate_random_scripts.py TOLVANI PROJECT [COUNT] [SEED] [JOBS]

A third of the strings are raw random bytes, a third random lines of the
script language with random numbers, blanks and control characters, a
third those lines with bytes flipped. Each run has a 60 s limit.
"""
import concurrent.futures
import os
import random
import subprocess
import sys
import tempfile

WORDS = [b"size", b"tick", b"draw", b"click", b"ldown", b"lup", b"rdown", b"rup",
         b"dblclk", b"move", b"keydown", b"keyup", b"wheel", b"state", b"#", b"open"]
KEYS = [b"Left", b"Right", b"Up", b"Down", b"A", b"D", b"W", b"S", b"0x41", b"0xZZ"]
BLANKS = [b" ", b"\t", b"  ", b"\f", b"\v", b"\r", b"\r\r", b"\0", b"\x7f"]


def number(rng):
    pick = rng.random()
    if pick < 0.9:
        return str(rng.randint(-2000, 2000)).encode()
    if pick < 0.97:
        return str(rng.choice([0, 1, -1, 2**31 - 1, -2**31, 2**31, 2**63, 10**30])).encode()
    return rng.choice([b"+5", b"-", b"1e3", b"0x10", b"", b"\xff", b"12abc"])


def grammar_line(rng):
    word = rng.choice(WORDS)
    if word == b"tick":
        args = [str(rng.randint(0, 30)).encode()] if rng.random() < 0.7 else [number(rng)]
    elif word in (b"keydown", b"keyup"):
        args = [rng.choice(KEYS)]
    elif word == b"open":
        # Only names that cannot exist: no file is opened.
        args = [b"/nonexistent/" + bytes(rng.randrange(32, 256) for _ in range(5)) + b".zvmov"]
    else:
        arity = {b"draw": 0, b"state": 0, b"wheel": rng.choice([1, 3]), b"#": 3}.get(word, 2)
        if rng.random() < 0.1:
            arity = rng.randint(0, 4)
        args = [number(rng) for _ in range(arity)]
    sep = lambda: rng.choice(BLANKS) if rng.random() < 0.02 else b" "
    line = sep().join([word] + args)
    return line + (b"\r\n" if rng.random() < 0.1 else b"\n")


def script(rng, kind):
    if kind == 0:
        return bytes(rng.randrange(256) for _ in range(rng.randint(0, 400)))
    text = b"".join(grammar_line(rng) for _ in range(rng.randint(1, 8)))
    if kind == 2 and text:
        data = bytearray(text)
        for _ in range(rng.randint(1, 4)):
            data[rng.randrange(len(data))] = rng.randrange(256)
        text = bytes(data)
    return text


def run(args):
    tolvani, project, path = args
    try:
        r = subprocess.run([tolvani, "simulate", project, path], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        return path, r.returncode
    except subprocess.TimeoutExpired:
        return path, "timeout"


def main():
    tolvani, project = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 10000
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 1
    jobs = int(sys.argv[5]) if len(sys.argv) > 5 else 2
    rng = random.Random(seed)
    folder = tempfile.mkdtemp(prefix="tolvani-random-scripts-")
    paths = []
    for i in range(count):
        path = os.path.join(folder, "s%05d.txt" % i)
        with open(path, "wb") as f:
            f.write(script(rng, i % 3))
        paths.append(path)
    outcomes = {}
    failures = []
    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for path, code in pool.map(run, [(tolvani, project, p) for p in paths]):
            outcomes[code] = outcomes.get(code, 0) + 1
            if code not in (0, 2):
                failures.append(path)
            else:
                os.remove(path)
    print("scripts: %d  exit statuses: %s" % (count, dict(sorted(outcomes.items(), key=str))))
    if failures:
        print("failures kept in %s:" % folder, *failures[:20], sep="\n  ")
        return 1
    os.rmdir(folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
