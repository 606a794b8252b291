#!/usr/bin/env python3
"""Kills heavy runs of oem2sif at random moments and checks that
txtsetup.sif is never torn.

A heavy run writes 40 options of 100 ids each into a generated 1 MB
txtsetup.sif (--options, --ids and --lines make it lighter). Each run is
killed (SIGKILL, or SIGINT as Ctrl-C sends) after a random delay within the
length of a whole run. Afterwards:
- txtsetup.sif parses: every original line is still there, in order, every
  other line is a whole entry that the run writes, and 0x1A appears only as
  its last byte;
- txtsetup.sif.orig, once made, holds the original bytes, and a run that
  changed txtsetup.sif made it;
- the next run (of one option) leaves txtsetup.oem, txtsetup.sif and
  txtsetup.sif.orig and no other file: no temporary file of any name.
A kill between the two renames of the backup rotation leaves no
txtsetup.sif, but the original as txtsetup.sif.orig and its copy as
txtsetup.sif.temp, from which the next run restores it; that is counted
apart, and checked.

With --full-disk (root only) it also runs on a small tmpfs that fills up
during the run, and checks that nothing is lost and the failure is reported.

Its budget is the count of kills, not a time: a slow disk or a busy machine
makes it slower, never red. Each step only has a hang limit, 20 times a run
measured here on the same folder (at least 30 s): the uninterrupted run's
limit comes from timed whole-file writes in the folder, every later step's
from the uninterrupted run.

Prints the count of torn files and exits 1 unless it is 0.
"""
import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

KEPT = {"txtsetup.oem", "txtsetup.sif", "txtsetup.sif.orig"}
HANG_FACTOR = 20
# Below this a limit would measure the scheduler rather than the run.
HANG_FLOOR = 30.0


def hang_limit(measured):
    return max(HANG_FLOOR, HANG_FACTOR * measured)


class Watchdog:
    """Ends the test when a step outlasts its hang limit, saying which step,
    and kills the tool it waits for. The steps run in the main thread; a
    FUSE mount that hangs can stop that thread in a file call, so the watch
    is a thread of its own."""

    def __init__(self):
        self._lock = threading.Lock()
        self._step = None  # (what, limit, measured, deadline)
        self.child = None
        threading.Thread(target=self._watch, daemon=True).start()

    def step(self, what, measured):
        limit = hang_limit(measured)
        with self._lock:
            self._step = (what, limit, measured, time.monotonic() + limit)

    def _watch(self):
        while True:
            time.sleep(0.5)  # how often it looks, not a limit
            with self._lock:
                step = self._step
            if step and time.monotonic() > step[3]:
                what, limit, measured = step[:3]
                print("HUNG: %s did not end within %.0f s (%d x the %.2f s measured, at least %.0f s)" %
                      (what, limit, HANG_FACTOR, measured, HANG_FLOOR), flush=True)
                child = self.child
                if child is not None:
                    child.kill()
                os._exit(1)


watchdog = None


def make_oem(options, ids):
    lines = ["[Disks]", 'd1 = "Kill Test Disk",\\disk1,\\', "", "[scsi]"]
    lines += ['opt%d = "Kill Test Controller %d"' % (o, o) for o in range(options)]
    for o in range(options):
        lines += ["", "[Files.scsi.opt%d]" % o, "driver = d1, kill%d.sys, kill%d" % (o, o)]
        lines += ["", "[HardwareIds.scsi.opt%d]" % o]
        lines += ['id = "PCI\\VEN_%04X&DEV_%04X", "kill%d"' % (0xC000 + o, i, o) for i in range(ids)]
    return ("\r\n".join(lines) + "\r\n").encode()


def expected_entries(options, ids):
    """Section -> the lines a run may add there."""
    entries = {"SCSI": set(), "SCSI.Load": set(), "SourceDisksFiles": set(), "HardwareIdsDatabase": set()}
    for o in range(options):
        entries["SCSI"].add('kill%d = "Kill Test Controller %d"' % (o, o))
        entries["SCSI.Load"].add("kill%d = kill%d.sys,4" % (o, o))
        entries["SourceDisksFiles"].add("kill%d.sys = 1,,,,,,3_,4,1" % o)
        for i in range(ids):
            entries["HardwareIdsDatabase"].add('PCI\\VEN_%04X&DEV_%04X = "kill%d"' % (0xC000 + o, i, o))
    return entries


def torn_reason(original, now, entries):
    """None when `now` is whole, else what is wrong with it."""
    # Markers appended while writes failed may pile up at the end; setup
    # stops at the first, after every line.
    body = now.rstrip(b"\x1a")
    if b"\x1a" in body:
        return "0x1A before the end"
    if not body.endswith(b"\r\n"):
        return "does not end with a whole line"
    old_lines = original[:-1].decode("latin-1").split("\r\n")[:-1]
    next_old = 0
    section = None
    for line in body.decode("latin-1").split("\r\n")[:-1]:
        if line.startswith("["):
            section = line[1:line.find("]")]
        if next_old < len(old_lines) and line == old_lines[next_old]:
            next_old += 1
        elif line not in entries.get(section, ()):
            return "a line that is neither old nor whole: %r" % line[:80]
    if next_old != len(old_lines):
        return "original line %d lost: %r" % (next_old, old_lines[next_old][:80])
    return None


def start(tool, folder, stdout=subprocess.DEVNULL):
    p = subprocess.Popen([tool], cwd=folder, stdin=subprocess.PIPE, stdout=stdout,
                         stderr=subprocess.DEVNULL)
    watchdog.child = p
    return p


def run_once(tool, folder):
    p = start(tool, folder, stdout=subprocess.PIPE)
    out, _ = p.communicate(b"1\n")
    return p.returncode, out


def floor_seconds(folder, sif, writes):
    """The least a run of `writes` writes can take in `folder`: the whole
    setup file written to a temporary file and renamed over, as each of the
    tool's writes does at least, timed for a few and scaled."""
    timed = min(writes, 20)
    path = os.path.join(folder, "floor.sif")
    started = time.monotonic()
    for _ in range(timed):
        with open(path + ".temp", "wb") as f:
            f.write(sif)
        os.rename(path + ".temp", path)
    seconds = (time.monotonic() - started) * writes / timed
    os.unlink(path)
    return seconds


def lay_out(folder, oem, sif):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    with open(os.path.join(folder, "txtsetup.oem"), "wb") as f:
        f.write(oem)
    with open(os.path.join(folder, "txtsetup.sif"), "wb") as f:
        f.write(sif)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_folder(folder, original, entries):
    """Returns (torn reason or None, between renames)."""
    sif = os.path.join(folder, "txtsetup.sif")
    orig = os.path.join(folder, "txtsetup.sif.orig")
    temp = os.path.join(folder, "txtsetup.sif.temp")
    if os.path.exists(orig) and read(orig) != original:
        return "txtsetup.sif.orig changed", False
    if not os.path.exists(sif):
        if os.path.exists(temp) and read(temp) == original and read(orig) == original:
            return None, True
        return "txtsetup.sif lost", False
    now = read(sif)
    if now != original and not os.path.exists(orig):
        return "txtsetup.sif changed without a backup", False
    return torn_reason(original, now, entries), False


def next_run_reason(tool, folder, original, entries, oem):
    """Runs the tool once more, with `oem`; None when that leaves everything
    whole and no other file than the three it keeps."""
    # A new file, not the old one cut short: fusefat was seen to hang
    # deleting a file that had been cut short and written again.
    os.unlink(os.path.join(folder, "txtsetup.oem"))
    with open(os.path.join(folder, "txtsetup.oem"), "wb") as f:
        f.write(oem)
    run_once(tool, folder)
    reason, _ = check_folder(folder, original, entries)
    left = set(os.listdir(folder))
    if not reason and left != KEPT:
        reason = "the next run left %s" % sorted(left ^ KEPT)
    return reason


def full_disk(tool, oem, sif, entries):
    """Runs on a tmpfs that fills up during the run. Returns a problem or None."""
    mount = tempfile.mkdtemp(prefix="oem2sif-full-")
    # The file, its backup, one temporary copy, the driver list and a little:
    # the disk fills up halfway through the run.
    size = 3 * len(sif) + len(oem) + 96 * 1024
    if subprocess.call(["mount", "-t", "tmpfs", "-o", "size=%d" % size, "tmpfs", mount],
                       stderr=subprocess.DEVNULL) != 0:
        os.rmdir(mount)
        return "skipped"
    try:
        folder = os.path.join(mount, "run")
        lay_out(folder, oem, sif)
        status, out = run_once(tool, folder)
        reason, _ = check_folder(folder, sif, entries)
        if reason:
            return "torn on a full disk: " + reason
        if status != 0:
            return "exit status %d" % status
        text = out.decode("cp932")
        if "の書き込みに失敗しました。" not in text:
            return "the failed writes were not reported"
        return None
    finally:
        subprocess.call(["umount", mount])
        os.rmdir(mount)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--make-setup-file", required=True)
    parser.add_argument("--kills", type=int, default=50)
    parser.add_argument("--interrupts", type=int, default=10)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--full-disk", action="store_true")
    parser.add_argument("--work", default=None, help="the folder to work in (default: a temporary one)")
    parser.add_argument("--options", type=int, default=40)
    parser.add_argument("--ids", type=int, default=100)
    parser.add_argument("--lines", type=int, default=23255, help="of txtsetup.sif (23255: about 1 MB)")
    args = parser.parse_args()
    global watchdog
    watchdog = Watchdog()
    tool = os.path.abspath(args.tool)
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)

    oem = make_oem(args.options, args.ids)
    one_option = make_oem(1, 1)
    sif = subprocess.check_output([args.make_setup_file, str(args.lines)])
    entries = expected_entries(args.options, args.ids)
    work = tempfile.mkdtemp(prefix="oem2sif-kill-", dir=args.work)
    folder = os.path.join(work, "run")
    writes = args.options * (3 + args.ids)
    whole = 0.0
    try:
        # Nothing has been measured yet: the first writes have no limit.
        lay_out(folder, oem, sif)
        floor = floor_seconds(folder, sif, writes)
        watchdog.step("the uninterrupted run", floor)
        started = time.monotonic()
        status, _ = run_once(tool, folder)
        whole = time.monotonic() - started
        reason, _ = check_folder(folder, sif, entries)
        complete = read(os.path.join(folder, "txtsetup.sif"))
        written = sum(1 for e in entries.values() for line in e if (line + "\r\n").encode() in complete)
        if status != 0 or reason or written != sum(len(e) for e in entries.values()):
            print("the uninterrupted run failed: status %d, %s, %d entries" % (status, reason, written))
            return 1
        print("seed %d; a whole run of %d options x %d ids, %.1f MB, takes %.2f s "
              "(%d writes of the whole file and a rename: %.2f s); each later step's hang limit: %.0f s" %
              (seed, args.options, args.ids, len(sif) / 1e6, whole, writes, floor, hang_limit(whole)))

        torn = 0
        between = 0
        leftovers = 0
        plan = [signal.SIGKILL] * args.kills + [signal.SIGINT] * args.interrupts
        for number, sig in enumerate(plan, 1):
            # A kill, the check and the next run: each less than a whole run.
            watchdog.step("run %d (%s), its check and the next run" % (number, sig.name), whole)
            lay_out(folder, oem, sif)
            p = start(tool, folder)
            p.stdin.write(b"1\n")
            p.stdin.close()
            time.sleep(rng.uniform(0, whole * 1.05))
            p.send_signal(sig)
            p.wait()
            reason, gap = check_folder(folder, sif, entries)
            between += gap
            leftovers += len(set(os.listdir(folder)) - KEPT)
            if not reason:
                reason = next_run_reason(tool, folder, sif, entries, one_option)
            if reason:
                torn += 1
                print("run %d (%s): TORN: %s" % (number, sig.name, reason))
        print("%d kills, %d interrupts: %d torn files, %d between the backup renames "
              "(recoverable), %d temporary files left by kills (the next run cleared them)" %
              (args.kills, args.interrupts, torn, between, leftovers))

        if args.full_disk:
            watchdog.step("the run on a full disk", whole)
            problem = full_disk(tool, oem, sif, entries)
            print("full disk: %s" % (problem or "nothing lost, failure reported"))
            if problem and problem != "skipped":
                torn += 1
        return 0 if torn == 0 else 1
    finally:
        watchdog.step("removing the work folder", whole)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
