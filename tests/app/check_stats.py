#!/usr/bin/env python3
"""`kest --stats` against figures computed here, independently, in plain Python.

Random channels with values too large for a double (they read as infinities), the profile's
multiplier and addend, and a --from/--to range; the program's CSV is parsed back and every
figure compared: counts and sample indexes exactly, min and max exactly, the sums to 1e-9.
Usage: check_stats.py KEST_EXECUTABLE
"""
import csv
import io
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

KEST = sys.argv[1]
rng = random.Random(20261210)
CHANNELS = 5
ROWS = 20000
SCALE = [(1.0, 0.0), (2.5, -3.0), (-0.001, 1e6), (1e-300, 0.0), (1.0, 0.125)]


def value_text():
    r = rng.random()
    if r < 0.01:
        return rng.choice(["1e400", "-1e400"])
    if r < 0.02:
        return repr(rng.uniform(-1e-300, 1e-300))
    return repr(rng.gauss(0.0, 10.0 ** rng.randint(-3, 5)))


def figures(values, first):
    finite = [(i + first, v) for i, v in enumerate(values) if math.isfinite(v)]
    n = len(finite)
    if n == 0:
        return {"count": 0, "nonfinite": len(values)}
    vs = [v for _, v in finite]
    lo, hi = min(vs), max(vs)
    mean = math.fsum(vs) / n
    return {
        "count": n,
        "nonfinite": len(values) - n,
        "min": lo,
        "max": hi,
        "peak_to_peak": hi - lo,
        "mean": mean,
        "rms": math.sqrt(math.fsum(v * v for v in vs) / n),
        "stddev": math.sqrt(math.fsum((v - mean) ** 2 for v in vs) / n),
        "min_index": next(i for i, v in finite if v == lo),
        "max_index": next(i for i, v in finite if v == hi),
    }


def close(a, b):
    if math.isinf(a) or math.isinf(b):
        return a == b
    return math.isclose(a, b, rel_tol=1e-9, abs_tol=1e-300)


def main():
    work = tempfile.mkdtemp(prefix="kest-stats-")
    try:
        exe = os.path.join(work, "kest")
        shutil.copy(KEST, exe)
        with open(os.path.join(work, "kest.INI"), "w", newline="") as f:
            f.write("[Setting]\r\nChannels=%d\r\n" % CHANNELS)
            for ch, (mul, add) in enumerate(SCALE):
                f.write("[VSetting%d]\r\nMultiplier=%r\r\nAddend=%r\r\nUnit=V\r\nName=ch,%d\r\n"
                        % (ch + 1, mul, add, ch))
        raw = [[value_text() for _ in range(CHANNELS)] for _ in range(ROWS)]
        data = os.path.join(work, "data.csv")
        with open(data, "w", newline="") as f:
            f.writelines(",".join(row) + "\r\n" for row in raw)
        env = dict(os.environ)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        failures = []
        for first, last in [(0, None), (1234, 15000), (19999, 19999), (25000, None)]:
            args = [exe, "--stats", data, "--from", str(first)]
            if last is not None:
                args += ["--to", str(last)]
            run = subprocess.run(args, capture_output=True, env=env, timeout=120)
            if run.returncode != 0:
                failures.append("%s: exit %d: %s" % (args[2:], run.returncode, run.stderr))
                continue
            out = run.stdout.decode("utf-8")
            if not out.endswith("\r\n") or "\n" in out.replace("\r\n", ""):
                failures.append("%s: lines do not end with CR LF" % (args[2:],))
            rows = list(csv.DictReader(io.StringIO(out, newline="")))
            if len(rows) != CHANNELS:
                failures.append("%s: %d rows" % (args[2:], len(rows)))
                continue
            end = ROWS - 1 if last is None else min(last, ROWS - 1)
            for ch, row in enumerate(rows):
                mul, add = SCALE[ch]
                values = [float(r[ch]) * mul + add for r in raw[first:end + 1]]
                want = figures(values, first)
                where = "%s CH%d" % (args[2:], ch + 1)
                if row["channel"] != "CH%d" % (ch + 1) or row["name"] != "ch,%d" % ch:
                    failures.append("%s: channel/name %r %r" % (where, row["channel"], row["name"]))
                for key in ("count", "nonfinite", "min_index", "max_index"):
                    got = row[key]
                    if key in want and int(got) != want[key]:
                        failures.append("%s: %s %s, expected %s" % (where, key, got, want[key]))
                    if key not in want and got != "":
                        failures.append("%s: %s %r without finite values" % (where, key, got))
                for key in ("min", "max"):
                    if key in want and float(row[key]) != want[key]:
                        failures.append("%s: %s %s, expected %r" % (where, key, row[key], want[key]))
                for key in ("peak_to_peak", "mean", "rms", "stddev"):
                    if key in want and not close(float(row[key]), want[key]):
                        failures.append("%s: %s %s, expected %r" % (where, key, row[key], want[key]))
        bad = subprocess.run([exe, "--stats", os.path.join(work, "none.csv")],
                             capture_output=True, env=env, timeout=60)
        if bad.returncode != 1 or b"cannot read" not in bad.stderr:
            failures.append("missing file: exit %d %r" % (bad.returncode, bad.stderr))
        for line in failures:
            print(line)
        print("%d failures" % len(failures))
        return 1 if failures else 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


sys.exit(main())
