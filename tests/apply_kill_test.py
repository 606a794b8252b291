#!/usr/bin/env python3
"""Kills ApplyPlan (apply_plan_runner) at random moments and checks that
every file of the setup folder is as it was or as planned.

The plan brings ten driver files into a setup folder with a generated
txtsetup.sif and dosnet.inf, and runs a driver file of ten options. Each
apply is killed (SIGKILL) after a random delay within the length of a
whole one. Afterwards:
- each file of the setup folder holds the bytes it had before or those the
  uninterrupted apply left; only temporary files of the killed process
  (NAME.o2s-PID-N-X.tmp) may be there besides;
- txtsetup.sif, once changed, has its backup with the original bytes;
- the next apply, not killed, leaves the folder as the uninterrupted one.

Its budget is the count of kills, not a time; each step only has a hang
limit, 20 times the uninterrupted apply measured here (at least 30 s).

Prints the count of bad folders and exits 1 unless it is 0.
"""
import argparse
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HANG_FACTOR = 20
HANG_FLOOR = 30.0
TEMP = re.compile(r"\.o2s-(\d+)-\d+-[0-9a-f]+\.tmp$")
DRIVERS = ["bench%d.sys" % i for i in range(10)]


def snapshot(folder):
    files = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            files[name] = f.read()
    return files


def lay_out(folder, files):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def apply(runner, setup, drivers, limit):
    started = time.monotonic()
    p = subprocess.run([runner, setup, drivers, "txtsetup.oem"] + DRIVERS, stdout=subprocess.PIPE,
                       timeout=limit)
    return p.returncode, p.stdout, time.monotonic() - started


def bad_reason(now, before, planned):
    for name, data in now.items():
        if TEMP.search(name):
            continue
        if before.get(name) != data and planned.get(name) != data:
            return "%s is neither as it was nor as planned" % name
    for name in before:
        if name not in now:
            return "%s lost" % name
    if now["txtsetup.sif"] != before["txtsetup.sif"] and now.get("txtsetup.sif.orig") != before["txtsetup.sif"]:
        return "txtsetup.sif changed without its backup"
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--make-setup-file", required=True)
    parser.add_argument("--kills", type=int, default=30)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    print("seed %d" % seed, flush=True)
    rng = random.Random(seed)
    make = lambda *a: subprocess.run([args.make_setup_file] + list(a), stdout=subprocess.PIPE, check=True).stdout

    root = tempfile.mkdtemp(prefix="oem2sif-apply-kill-")
    # The runs' scratch folders of killed applies stay where this test removes them.
    os.environ["TMPDIR"] = root
    try:
        drivers = os.path.join(root, "drivers")
        driver_files = {"txtsetup.oem": make("--oem", "10", "20")}
        for i, name in enumerate(DRIVERS):
            driver_files[name] = make("--driver", "x86", "--size", str(100000 + 4096 * i))
        lay_out(drivers, driver_files)
        before = {"txtsetup.sif": make("--xp", "6000"), "dosnet.inf": make("--dosnet", "atapi.sys")}
        setup = os.path.join(root, "I386 - Copy")

        lay_out(setup, before)
        status, out, measured = apply(args.runner, setup, drivers, None)
        if status != 0:
            print("the uninterrupted apply failed:", out.decode(errors="replace"))
            return 1
        planned = snapshot(setup)
        limit = max(HANG_FLOOR, HANG_FACTOR * measured)
        print("one apply: %.2f s; hang limit %.0f s" % (measured, limit), flush=True)

        bad = 0
        cut = 0
        for kill in range(args.kills):
            lay_out(setup, before)
            p = subprocess.Popen([args.runner, setup, drivers, "txtsetup.oem"] + DRIVERS,
                                 stdout=subprocess.DEVNULL)
            time.sleep(rng.uniform(0, measured))
            p.send_signal(signal.SIGKILL)
            p.wait(timeout=limit)
            now = snapshot(setup)
            cut += p.returncode == -signal.SIGKILL and now != planned
            reason = bad_reason(now, before, planned)
            if reason is None:
                status, out, _ = apply(args.runner, setup, drivers, limit)
                after = {n: d for n, d in snapshot(setup).items() if not TEMP.search(n)}
                if status != 0 or after != planned:
                    reason = "the next apply did not finish the plan: " + out.decode(errors="replace")
            if reason:
                bad += 1
                print("kill %d: %s" % (kill, reason), flush=True)
        print("%d kills, %d cut short, %d bad folders" % (args.kills, cut, bad))
        return 1 if bad else 0
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
