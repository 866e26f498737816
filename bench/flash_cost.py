#!/usr/bin/env python3
"""What the Flash emulation costs, measured with the Flash check program (one
web view with the emulation module, as the program has it) on a virtual
screen, runs interleaved:

  swf   a page holding the test movie, emulation on: ms from the page's load
        finished to the movie's first frame (the watchdog's report), and PSS
  swf0  the same page without the emulation (an empty box, as before)
  page  a page without Flash, emulation on
  page0 the same page without the emulation

PSS is the whole process tree's (program, web and network processes), 3 s
after the first frame or the load. Prints medians with ranges.

    flash_cost.py --build BUILD_DIR [--runs 7]
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.join(HERE, "..", "tests", "flash")
sys.path.insert(0, TESTS)
from flash_tests import Check, Screen, Server, make_fixture  # noqa: E402


def tree(pid):
    children = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as f:
                    ppid = int(f.read().rsplit(")", 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        todo += children.get(p, [])
    return found


def pss_mib(pid):
    total = 0
    for p in tree(pid):
        try:
            with open("/proc/%d/smaps_rollup" % p) as f:
                for line in f:
                    if line.startswith("Pss:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total / 1024


def run(program, display, address, flash, want_frame):
    extra = [] if flash else ["--no-flash"]
    check = Check(program, display, address, 30000, extra)
    try:
        if want_frame:
            ok = check.wait_for(lambda lines: any(l.startswith("flash first-frame ") for l in lines))
        else:
            ok = check.wait_for(lambda lines: any(l.startswith("load-finished ") for l in lines))
        if not ok:
            return None, None
        time.sleep(3)
        pss = pss_mib(check.proc.pid)
        frame = None
        if want_frame:
            frame = int(next(l for l in check.events() if l.startswith("flash first-frame ")).split()[2])
        return frame, pss
    finally:
        check.close()


def summary(values, unit):
    values = [v for v in values if v is not None]
    if not values:
        return "n/a"
    return "%.0f %s (%.0f..%.0f, n=%d)" % (statistics.median(values), unit, min(values), max(values), len(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=7)
    args = parser.parse_args()
    program = os.path.join(args.build, "src/platform/gtk/flash/wgs_flash_check")
    root = tempfile.mkdtemp(prefix="wgs-flash-bench-")
    make_fixture(root)
    screen = Screen()
    server = Server(root)
    kinds = {"swf": ("frame.html", True, True), "swf0": ("frame.html", False, False),
             "page": ("plain.html", True, False), "page0": ("plain.html", False, False)}
    frames, pss = [], {k: [] for k in kinds}
    try:
        for _ in range(args.runs):
            for kind, (page, flash, want_frame) in kinds.items():
                frame, mib = run(program, screen.display, server.url(page), flash, want_frame)
                pss[kind].append(mib)
                if kind == "swf":
                    frames.append(frame)
    finally:
        server.close()
        screen.close()
        shutil.rmtree(root, ignore_errors=True)
    print("load finished -> first frame of the movie: %s" % summary(frames, "ms"))
    for kind in kinds:
        print("PSS %-5s: %s" % (kind, summary(pss[kind], "MiB")))
    med = {k: statistics.median([v for v in pss[k] if v is not None] or [0]) for k in kinds}
    print("emulation costs: %+.0f MiB on the page with the movie, %+.0f MiB on the page without"
          % (med["swf"] - med["swf0"], med["page"] - med["page0"]))
    print("load average: %s" % open("/proc/loadavg").read().strip())


if __name__ == "__main__":
    main()
