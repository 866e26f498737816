#!/usr/bin/env python3
"""webgame-shell with a game page holding the test movie, on a virtual screen:
the time from the page's paint (its load finished) to the movie's first
frame, both seen as screen pixels polled every few milliseconds, and the
memory of the whole process tree (PSS of the program, web and network
processes) 3 s after the first frame. The same page without the emulation
(no emulator files beside the program) gives the memory it costs. Runs are
interleaved; medians with ranges.

    flash_first_frame.py --build BUILD_DIR [--runs 7]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "flash"))
sys.path.insert(0, HERE)
from flash_cost import pss_mib  # noqa: E402
from flash_tests import PLAIN, RECT, Screen, Server, close_enough, make_fixture  # noqa: E402
from pixel_clock import PixelClock  # noqa: E402

SECTION = "请勿随便修改此配置文件"
PAGE_POINT = (700, 500)  # the page's blue, far from the movie
MOVIE_POINT = (200, 175)  # inside the rectangle below the menu bar (page y 75..225)
TIMEOUT = 120


def ini(address):
    text = "[%s]\r\n名称=Flash\r\n地址=%s\r\n宽度=900\r\n高度=700\r\n左边=0\r\n顶边=0\r\n" % (SECTION, address)
    return text.encode("gbk")


def one_run(build, root, display, clock, address, with_flash):
    folder = tempfile.mkdtemp(prefix="run-", dir=root)
    shutil.copy2(os.path.join(build, "webgame-shell"), folder)
    if with_flash:
        os.symlink(os.path.join(build, "ruffle"), os.path.join(folder, "ruffle"))
    with open(os.path.join(folder, "yxq.ini"), "wb") as f:
        f.write(ini(address))
    env = dict(os.environ, DISPLAY=display, HOME=root, LANG="C.UTF-8")
    started = time.monotonic()
    proc = subprocess.Popen([os.path.join(folder, "webgame-shell")], env=env, cwd="/",
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    painted = frame = None
    try:
        deadline = started + TIMEOUT
        while time.monotonic() < deadline:
            now = time.monotonic()
            if painted is None and close_enough(clock.pixel(*PAGE_POINT) or (0, 0, 0), PLAIN):
                painted = now
            if painted is not None and (not with_flash or close_enough(clock.pixel(*MOVIE_POINT) or (0, 0, 0), RECT)):
                frame = now
                break
            time.sleep(0.002)
        if frame is None:
            return None
        time.sleep(3)
        return {"paint": (painted - started) * 1000, "frame": (frame - painted) * 1000 if with_flash else None,
                "pss": pss_mib(proc.pid)}
    finally:
        proc.terminate()
        proc.wait()
        # Wait until the screen is clear of this run's window before the next.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and close_enough(clock.pixel(*PAGE_POINT) or (0, 0, 0), PLAIN):
            time.sleep(0.05)


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
    build = os.path.abspath(args.build)
    root = tempfile.mkdtemp(prefix="wgs-flash-bench-")
    make_fixture(root)
    screen = Screen()
    server = Server(root)
    clock = PixelClock(screen.display)
    results = {True: [], False: []}
    try:
        for _ in range(args.runs):
            for with_flash in (True, False):
                results[with_flash].append(one_run(build, root, screen.display, clock, server.url("bench.html"),
                                                   with_flash))
    finally:
        server.close()
        screen.close()
        shutil.rmtree(root, ignore_errors=True)
    on = [r for r in results[True] if r]
    off = [r for r in results[False] if r]
    print("webgame-shell, a page with the test movie (%d runs, %d and %d completed):" % (args.runs, len(on), len(off)))
    print("  exec -> page painted, emulation on:  %s" % summary([r["paint"] for r in on], "ms"))
    print("  exec -> page painted, emulation off: %s" % summary([r["paint"] for r in off], "ms"))
    print("  page painted -> first frame:         %s" % summary([r["frame"] for r in on], "ms"))
    print("  PSS, emulation on:                   %s" % summary([r["pss"] for r in on], "MiB"))
    print("  PSS, emulation off (empty box):      %s" % summary([r["pss"] for r in off], "MiB"))
    if on and off:
        print("  the emulation costs %+.0f MiB on this page" % (statistics.median(r["pss"] for r in on) -
                                                               statistics.median(r["pss"] for r in off)))
    print("  load average: %s" % open("/proc/loadavg").read().strip())


if __name__ == "__main__":
    main()
