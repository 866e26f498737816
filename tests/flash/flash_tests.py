#!/usr/bin/env python3
"""Flash content in the web view, checked on a virtual screen.

A generated movie (green stage, red rectangle) is served from 127.0.0.1 and
shown by the Flash check program (one bare web view with the emulation
module) in each of the ways a game page embeds it; a screen pixel inside the
movie's stage must show the stage colour and one inside the rectangle the
rectangle's colour. Also: the movie as a local file and a local page, the
renderer watchdog's fallback to the canvas renderer, and pages without Flash.

    flash_tests.py --build BUILD_DIR

Standard library only; needs Xvfb and ImageMagick's import and convert.
Prints one line per case and ends with "N passed, N failed".
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
STAGE = (0x20, 0xA0, 0x40)
RECT = (0xE0, 0x30, 0x30)
WHITE = (0xFF, 0xFF, 0xFF)
PLAIN = (0x30, 0x50, 0xC0)
DETECTED = (0x30, 0xC0, 0x50)
TOLERANCE = 24
# Generous: the WebAssembly module alone takes seconds to compile on a busy machine.
WAIT_SECONDS = 120


def end_process(proc):
    """Asks a process to end, and kills it if it has not within 10 s."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


class Screen:
    """An Xvfb display of its own, ended with the tests."""

    def __init__(self, window_manager=False):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number
        self.wm = None
        if window_manager:
            # Dialogs take the focus only where a window manager gives it.
            env = dict(os.environ, DISPLAY=self.display)
            self.wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 30
            while "window id" not in subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=env,
                                                    capture_output=True, text=True).stdout:
                if time.monotonic() > deadline:
                    self.close()
                    raise RuntimeError("openbox did not start")
                time.sleep(0.1)

    def pixels(self, points):
        """The colours at the given (x, y) points of one fresh screenshot."""
        shot = subprocess.run(["import", "-display", self.display, "-window", "root", "png:-"],
                              check=True, capture_output=True).stdout
        fmt = "".join("%%[pixel:p{%d,%d}]\\n" % p for p in points)
        out = subprocess.run(["convert", "png:-", "-format", fmt, "info:-"], input=shot,
                             check=True, capture_output=True).stdout.decode()
        colours = []
        for line in out.split():
            if line.startswith("srgb(") or line.startswith("rgb("):
                colours.append(tuple(int(float(v)) for v in line[line.index("(") + 1:-1].split(",")[:3]))
            else:
                named = {"white": WHITE, "black": (0, 0, 0), "red": (255, 0, 0)}
                colours.append(named.get(line, (-1, -1, -1)))
        return colours

    def close(self):
        for p in (self.wm, self.proc):
            if p is not None:
                end_process(p)


class Server:
    """The test pages on two ports of 127.0.0.1 (two origins)."""

    def __init__(self, root):
        portfile = os.path.join(root, "ports")
        self.proc = subprocess.Popen([sys.executable, os.path.join(HERE, "serve.py"), root, portfile,
                                      "--lifetime", "1800", "--stall", "60"])
        deadline = time.monotonic() + 30
        while not os.path.exists(portfile):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise RuntimeError("the test server did not start")
            time.sleep(0.05)
        with open(portfile) as f:
            self.port, self.other = (int(p) for p in f.read().split())

    def url(self, path):
        return "http://127.0.0.1:%d/%s" % (self.port, path)

    def close(self):
        end_process(self.proc)


class Check:
    """The Flash check program showing one address, with its report lines."""

    def __init__(self, program, display, address, timeout_ms, options=()):
        env = dict(os.environ, DISPLAY=display)
        self.proc = subprocess.Popen(
            [program, "--first-frame-timeout-ms", str(timeout_ms), "--exit-after-ms", str(WAIT_SECONDS * 1000 + 60000)]
            + list(options) + [address], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.proc.stdout:
            with self.lock:
                self.lines.append(line.rstrip("\n"))

    def events(self):
        with self.lock:
            return list(self.lines)

    def wait_for(self, predicate, seconds=WAIT_SECONDS):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if predicate(self.events()):
                return True
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        return predicate(self.events())

    def close(self):
        end_process(self.proc)


def count(lines, prefix):
    return sum(1 for line in lines if line.startswith(prefix))


def close_enough(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


# Where the movie's stage and rectangle are on the screen for each placement
# of a 400 x 300 player at (left, top), one movie pixel to one screen pixel.
def movie_points(left, top):
    return [((left + 30, top + 30), STAGE), ((left + 200, top + 150), RECT)]


def make_fixture(root):
    shutil.copytree(os.path.join(HERE, "pages"), root, dirs_exist_ok=True)
    subprocess.run([sys.executable, os.path.join(HERE, "make_swf.py"), os.path.join(root, "movie.swf")], check=True)
    with open(os.path.join(root, "garbage.swf"), "wb") as f:
        f.write(b"this is not a movie" * 8)
    local = os.path.join(root, "local games")  # a blank in the path, escaped in file:// form
    os.makedirs(local)
    shutil.copy(os.path.join(root, "movie.swf"), local)
    shutil.copy(os.path.join(root, "frame.html"), os.path.join(local, "game.html"))
    return local


def file_uri(path):
    from urllib.parse import quote
    return "file://" + quote(path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--only", help="run only the cases whose name contains this")
    args = parser.parse_args()
    program = os.path.join(args.build, "src/platform/gtk/flash/wgs_flash_check")

    root = tempfile.mkdtemp(prefix="wgs-flash-")
    local = make_fixture(root)
    screen = Screen()
    server = Server(root)

    def first_frames(n):
        return lambda lines: count(lines, "flash first-frame ") >= n

    def fell_back(kind):
        return lambda lines: (count(lines, "flash " + kind + " ") >= 1 and count(lines, "flash renderer canvas") == 1
                              and count(lines, "flash first-frame ") >= 1)

    def loaded(n):
        return lambda lines: count(lines, "load-finished ") >= n

    # Each case: the address (and an address loaded after it), what to wait
    # for, the pixels then, the address reported back for the last page (the
    # given one by default), how many loads and renderer fallbacks in all.
    cases = [
        dict(name="embed, object and a cross-origin frame",
             address=server.url("players.html?other=%d" % server.other), ready=first_frames(3),
             points=movie_points(0, 0) + movie_points(440, 0) + movie_points(0, 340) + [((420, 100), WHITE)]),
        dict(name="a movie on the local disk as a file:// address",
             address=file_uri(os.path.join(local, "movie.swf")), ready=first_frames(1),
             # The movie's own page scales the 400 x 300 stage to the 900 x 700 window: 900 x 675 at y 12.
             points=[((450, 40), STAGE), ((450, 350), RECT), ((120, 350), STAGE)]),
        dict(name="a local page with a movie, as a plain path",
             address=os.path.join(local, "game.html"), ready=first_frames(1), points=movie_points(0, 0),
             reported=file_uri(os.path.join(local, "game.html"))),
        dict(name="a web page cannot read a local game's files, and leaving a loading movie trips no watchdog",
             address=os.path.join(local, "game.html"), then=server.url("probe.html?target=@ENGINE@"),
             ready=loaded(2), points=[((600, 500), DETECTED)], reported=None, loads=2),
        dict(name="watchdog: a stalled player is reloaded with the canvas renderer",
             address=server.url("stall.html"), ready=fell_back("stalled"), points=movie_points(0, 0), loads=2,
             fallbacks=1),
        dict(name="watchdog: a panicking player is reloaded with the canvas renderer",
             address=server.url("broken.html"), ready=fell_back("panic"), points=movie_points(0, 0), loads=2,
             fallbacks=1),
        dict(name="watchdog: a movie that fails with the canvas renderer too is not reloaded again",
             address=server.url("broken-always.html"),
             ready=lambda lines: count(lines, "flash panic ") >= 2 and count(lines, "load-finished ") >= 2,
             points=[((600, 500), WHITE)], loads=2, fallbacks=1),
        dict(name="a page whose security policy refuses the emulator is not reloaded", address=server.url("csp.html"),
             ready=lambda lines: count(lines, "flash refused ") >= 1, points=[((600, 500), WHITE)]),
        dict(name="a page without Flash paints as before", address=server.url("plain.html"), ready=loaded(1),
             points=[((20, 20), PLAIN), ((800, 600), PLAIN)], players=False),
        dict(name="a page that looks for a Flash plugin finds one", address=server.url("detect.html"),
             ready=loaded(1), points=[((20, 20), DETECTED)], players=False),
    ]

    passed = failed = 0
    try:
        for case in cases:
            name = case["name"]
            if args.only and args.only not in name:
                continue
            options = ["--then", case["then"]] if "then" in case else []
            # A short watchdog time for the stall case; the others never stall.
            check = Check(program, screen.display, case["address"], 8000, options)
            problems = []
            try:
                if not check.wait_for(case["ready"]):
                    problems.append("did not get there in time")
                else:
                    deadline = time.monotonic() + 15
                    while True:
                        got = screen.pixels([p for p, _ in case["points"]])
                        wrong = [(p, c, want) for (p, want), c in zip(case["points"], got)
                                 if not close_enough(c, want)]
                        if not wrong or time.monotonic() > deadline:
                            break
                        time.sleep(0.5)
                    problems += ["pixel %s is %s, wanted %s" % w for w in wrong]
                time.sleep(2)  # room for a reload that must not come
                lines = check.events()
                finished = [line.split(" ") for line in lines if line.startswith("load-finished ")]
                want = case.get("reported", case["address"])
                if want is not None and finished and finished[-1][3] != want:
                    problems.append("reported address %s, wanted %s" % (finished[-1][3], want))
                if count(lines, "load-finished ") != case.get("loads", 1):
                    problems.append("%d loads" % count(lines, "load-finished "))
                if count(lines, "flash renderer canvas") != case.get("fallbacks", 0):
                    problems.append("%d fallbacks to the canvas renderer" % count(lines, "flash renderer canvas"))
                if not case.get("players", True) and count(lines, "flash ") != 0:
                    problems.append("watchdog events on a page without players")
                if "emulation on" not in " ".join(lines):
                    problems.append("the emulator's files were not found")
            finally:
                check.close()
            if problems:
                failed += 1
                print("FAIL %s: %s" % (name, "; ".join(problems)))
                for line in check.events():
                    print("    " + line)
            else:
                passed += 1
                timing = [line for line in check.events() if line.startswith("flash first-frame")]
                print("ok   %s%s" % (name, (" (first frame %s ms after load)" % timing[-1].split(" ")[2]) if timing else ""))
            sys.stdout.flush()
    finally:
        server.close()
        screen.close()
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (passed, failed))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
