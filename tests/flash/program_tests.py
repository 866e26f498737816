#!/usr/bin/python3
"""Flash content in webgame-shell itself, on a virtual screen.

The program runs from a folder of its own with its yxq.ini and the emulator's
files beside it, as the build folder has them:
  - a game page with the movie as <embed>, <object> and in a frame of another
    origin: pixels of each movie inside the pane;
  - the movie on the local disk, given as the address in the settings window
    (F1): the movie fills the pane, yxq.ini keeps the address as typed, and
    the jump prompt offers the file:// address back;
  - a page without Flash paints as before, and a page that calls alert()
    shows no dialog.

Run inside `dbus-run-session` with Debian's /usr/bin/python3 (python3-pyatspi
reads the jump prompt).

    program_tests.py --build BUILD_DIR
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from flash_tests import (PLAIN, RECT, STAGE, WAIT_SECONDS, WHITE, Screen, Server, end_process,  # noqa: E402
                         close_enough, file_uri, make_fixture)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "gtk"))
from a11y_bus import start_accessibility_bus  # noqa: E402

SECTION = "请勿随便修改此配置文件"


def ini_bytes(pairs):
    text = "[" + SECTION + "]\r\n" + "".join("%s=%s\r\n" % (k, v) for k, v in pairs)
    return text.encode("gbk")


def wait_for(predicate, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("timed out waiting for " + what)


class Program:
    """webgame-shell in a folder of its own, the emulator's files beside it."""

    def __init__(self, build, root, env, ini):
        self.dir = tempfile.mkdtemp(prefix="wgs-flash-run-", dir=root)
        shutil.copy2(os.path.join(build, "webgame-shell"), self.dir)
        os.symlink(os.path.join(build, "ruffle"), os.path.join(self.dir, "ruffle"))
        self.ini = os.path.join(self.dir, "yxq.ini")
        with open(self.ini, "wb") as f:
            f.write(ini)
        self.env = env
        self.proc = subprocess.Popen([os.path.join(self.dir, "webgame-shell")], env=env, cwd="/",
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + list(args), env=self.env, capture_output=True, text=True).stdout

    def windows(self, name=None):
        args = ["search", "--all", "--onlyvisible", "--pid", str(self.proc.pid)]
        args += ["--name", name] if name else ["."]
        return [int(w) for w in self.xdotool(*args).split()]

    def window(self, name):
        return wait_for(lambda: (self.windows(name) or [None])[0], 30, "a window named " + name)

    def geometry(self, window):
        """The client area's place on the screen, inside the window manager's frame."""
        out = subprocess.run(["xwininfo", "-id", str(window)], env=self.env, capture_output=True, text=True).stdout
        values = {}
        for line in out.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]), int(values["Width"]),
                int(values["Height"]))

    def keys(self, window, *keys):
        self.xdotool("windowactivate", "--sync", str(window))
        self.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.xdotool("type", "--delay", "20", text)

    def saved(self):
        with open(self.ini, "rb") as f:
            return f.read()

    def close(self):
        end_process(self.proc)


def pane_top(screen, x, top, bottom, colour):
    """The first row at or below `top` where column x shows the page's colour."""
    column = screen.pixels([(x, y) for y in range(top, bottom)])
    for y, c in zip(range(top, bottom), column):
        if c == colour:
            return y
    raise AssertionError("no row of the page's colour in column %d" % x)


def expect_pixels(screen, points, seconds=WAIT_SECONDS):
    def good():
        got = screen.pixels([p for p, _ in points])
        return all(close_enough(c, want) for (_, want), c in zip(points, got))
    try:
        wait_for(good, seconds, "the movie's colours")
    except AssertionError:
        got = screen.pixels([p for p, _ in points])
        raise AssertionError("; ".join("pixel %s is %s, wanted %s" % (p, c, w)
                                       for (p, w), c in zip(points, got) if not close_enough(c, w)))


# ---- the program's widgets through the accessibility bus: input focus under a
# virtual screen is unreliable, the widgets' own interfaces are not.

def find(node, test, depth=0):
    if node is None or depth > 14:
        return None
    try:
        if test(node):
            return node
        if node.getRoleName() in ("document web", "scroll pane") and depth > 3:
            return None  # the web page's own tree holds none of the program's widgets
        for child in node:
            hit = find(child, test, depth + 1)
            if hit is not None:
                return hit
    except Exception:  # noqa: BLE001 - nodes come and go while the program runs
        return None
    return None


def find_all(node, test, depth=0):
    found = []
    if node is None or depth > 14:
        return found
    try:
        if test(node):
            found.append(node)
        for child in node:
            found += find_all(child, test, depth + 1)
    except Exception:  # noqa: BLE001
        pass
    return found


def application(timeout=20):
    import pyatspi

    def look():
        for a in pyatspi.Registry.getDesktop(0):
            if a is not None and a.name == "webgame-shell":
                return a
        return None
    return wait_for(look, timeout, "the program on the accessibility bus")


def do_action(node):
    action = node.queryAction()
    # A modal window runs a loop of its own inside the action: do not wait for it.
    threading.Thread(target=lambda: action.doAction(0), daemon=True).start()


def window_node(name, timeout=20):
    return wait_for(lambda: find(application(), lambda n: n.name == name and n.getRoleName() in ("frame", "dialog")),
                    timeout, "the window " + name)


def choose_menu_item(label, timeout=20):
    item = wait_for(lambda: find(application(), lambda n: n.getRoleName() == "menu item" and n.name == label),
                    timeout, "the menu item " + label)
    do_action(item)


def text_boxes(window):
    return find_all(window, lambda n: n.getRoleName() == "text")


def prompt_text(program, timeout=20):
    """Opens the jump prompt through the menu and reads the address it offers:
    the prompt shows it all selected, so it is the primary selection. (The
    program answers the accessibility bus again only once the prompt is gone.)"""
    choose_menu_item("跳转至网页")
    prompt = program.window("^请输入：$")

    def selection():
        r = subprocess.run(["xclip", "-o", "-selection", "primary"], env=program.env, capture_output=True,
                           text=True, timeout=10)
        return r.stdout if r.returncode == 0 and r.stdout else None
    try:
        return wait_for(selection, timeout, "the prompt's selected text")
    finally:
        program.keys(prompt, "Escape")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    if not os.path.exists(os.path.join(build, "webgame-shell")):
        print("webgame-shell is not built here; nothing to test")
        return 1
    root = tempfile.mkdtemp(prefix="wgs-flash-program-")
    local = make_fixture(root)
    screen = Screen(window_manager=True)
    server = Server(root)
    env = dict(os.environ, DISPLAY=screen.display, HOME=root, LANG="C.UTF-8",
               XDG_CONFIG_HOME=os.path.join(root, "config"), XDG_CACHE_HOME=os.path.join(root, "cache"),
               XDG_DATA_HOME=os.path.join(root, "data"))
    env.pop("NO_AT_BRIDGE", None)
    at_spi = start_accessibility_bus(env)
    results = []

    def start(name, address, width=900, height=760):
        return Program(build, root, env, ini_bytes([("名称", name), ("地址", address), ("宽度", width),
                                                    ("高度", height), ("左边", 0), ("顶边", 0)]))

    def t_players():
        p = start("players", server.url("players.html?other=%d" % server.other))
        try:
            w = p.window("^players   V1\\.3$")
            x, y, _, h = p.geometry(w)
            # The gap between the two players is the page's white: the first
            # white row under the menu bar is the top of the pane.
            top = wait_for(lambda: _try(lambda: pane_top(screen, x + 420, y, y + 80, WHITE)), 30, "the page")
            points = []
            for left, ptop in ((0, 0), (440, 0), (0, 340)):
                points += [((x + left + 30, top + ptop + 30), STAGE), ((x + left + 200, top + ptop + 150), RECT)]
            expect_pixels(screen, points)
        finally:
            p.close()

    def t_settings_local_movie():
        p = start("plain", server.url("plain.html"))
        try:
            w = p.window("^plain   V1\\.3$")
            x, y, width, height = p.geometry(w)
            top = wait_for(lambda: _try(lambda: pane_top(screen, x + 20, y, y + 80, PLAIN)), 60, "the plain page")
            p.keys(w, "F1")
            p.window("^设置$")
            settings = window_node("设置")
            address = file_uri(os.path.join(local, "movie.swf"))
            boxes = wait_for(lambda: text_boxes(settings)[:2] or None, 20, "the two boxes")
            # Told apart by what they hold: the name and the address of now.
            texts = [b.queryText().getText(0, -1) for b in boxes]
            name_box, address_box = boxes if texts[0] == "plain" else reversed(boxes)
            name_box.queryEditableText().setTextContents("Local movie")
            address_box.queryEditableText().setTextContents(address)
            do_action(find(settings, lambda n: n.getRoleName() == "push button" and n.name == "保存"))
            p.window("^Local movie   V1\\.3$")
            # The movie's page fills the pane; the stage keeps its proportions.
            cx, cy = x + width // 2, top + (y + height - top) // 2
            expect_pixels(screen, [((cx, cy), RECT), ((cx, top + 8), STAGE)])
            saved = p.saved().decode("gbk")
            if "地址=" + address + "\r\n" not in saved:
                raise AssertionError("yxq.ini does not keep the address as typed: %r" % saved)
            offered = prompt_text(p)
            if offered != address:
                raise AssertionError("the jump prompt offers %r, wanted %r" % (offered, address))
        finally:
            p.close()

    def t_plain_and_alert():
        for page, colour in (("plain.html", PLAIN), ("alert.html", PLAIN)):
            p = start(page, server.url(page))
            try:
                w = p.window("^%s   V1\\.3$" % page.replace(".", "\\."))
                x, y, width, height = p.geometry(w)
                expect_pixels(screen, [((x + width // 2, y + height - 20), colour)], 60)
                time.sleep(1)
                if p.windows() != [w]:
                    raise AssertionError("%s: windows %s besides the main window %s" % (page, p.windows(), w))
            finally:
                p.close()

    tests = [
        ("the program plays <embed>, <object> and a movie in a cross-origin frame", t_players),
        ("a local movie given in the settings window plays and is offered back as file://",
         t_settings_local_movie),
        ("a page without Flash and a page that calls alert() behave as before", t_plain_and_alert),
    ]
    try:
        for name, test in tests:
            try:
                test()
                results.append(True)
                print("ok   " + name)
            except Exception as e:  # noqa: BLE001 - every failure is reported the same way
                results.append(False)
                print("FAIL %s: %s" % (name, e))
            sys.stdout.flush()
    finally:
        end_process(at_spi)
        server.close()
        screen.close()
        shutil.rmtree(root, ignore_errors=True)
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


def _try(f):
    try:
        return f()
    except AssertionError:
        return None


if __name__ == "__main__":
    sys.exit(main())
