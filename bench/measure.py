#!/usr/bin/python3
"""Side-by-side startup, memory and CPU of webgame-shell, surf and chromium --app.

Every program gets the same pages in a window of the same size on the same
virtual screen (Xvfb, no window manager), interleaved round by round:

  startup   time from exec until a screen pixel inside the window shows the
            solid page's colour, polled the same way for all three (one 1x1
            XGetImage of the root window every 2 ms);
  memory    of the whole process tree 3 s after that paint: distinct physical
            pages (each page frame counted once across the tree, from
            /proc/<pid>/pagemap), with PSS and RSS summed beside it;
  animation CPU seconds (user + system) of the whole tree over 20 s of a page
            animating a canvas with requestAnimationFrame;
  idle      webgame-shell alone on the solid page: CPU of its processes over
            30 s (the scheduler's nanosecond count, as clock ticks are too coarse
            here), as a share of one core, the program's one-second tick included;
  flash     webgame-shell alone on a page holding a small generated SWF movie:
            time from the page's paint (its load finished) to the movie's
            first frame (its rectangle's colour on screen, polled the same
            way), and memory 3 s after; the same page without the emulator
            beside the program gives what the emulation costs, and the solid
            page without it what the emulator costs a page without Flash.

webgame-shell runs as it ships: with the Flash emulator's files (ruffle/)
beside it, when they are beside --exe.

Prints a table of medians with ranges, and the ratios of webgame-shell to the
others. Needs root (page frame numbers in pagemap are hidden from others).
"""

import argparse
import array
import ctypes
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

PAGE = os.sysconf('SC_PAGE_SIZE')
TICKS = os.sysconf('SC_CLK_TCK')
COLOUR = (0x12, 0xd2, 0x7e)
WIDTH, HEIGHT = 800, 600
PROBE = (400, 320)  # inside the page area of all three windows
MOVIE_RECT = (0xE0, 0x30, 0x30)  # the colour of the rectangle in the test movie
MOVIE_PROBE = (200, 175)  # inside that rectangle, below webgame-shell's menu bar
PAGE_PROBE = (600, 450)  # the flash page's colour, away from the movie


class Screen:
    def __init__(self):
        read, write = os.pipe()
        self.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', '1024x768x24',
                                      '-nolisten', 'tcp'], pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        number = b''
        while not number.endswith(b'\n'):
            number += os.read(read, 16)
        os.close(read)
        self.display = ':' + number.decode().strip()
        x = ctypes.CDLL('libX11.so.6')
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XGetImage.restype = ctypes.c_void_p
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XGetPixel.restype = ctypes.c_ulong
        x.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.c_void_p]
        self.x = x
        self.dpy = x.XOpenDisplay(self.display.encode())
        self.root = x.XDefaultRootWindow(self.dpy)

    def pixel(self, px, py):
        image = self.x.XGetImage(self.dpy, self.root, px, py, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        value = self.x.XGetPixel(image, 0, 0)
        self.x.XDestroyImage(image)
        return ((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF)

    def close(self):
        self.xvfb.terminate()
        self.xvfb.wait()


def tree(pid):
    """pid and all its descendants."""
    children = {}
    for entry in os.listdir('/proc'):
        if not entry.isdigit():
            continue
        try:
            with open(f'/proc/{entry}/stat') as f:
                stat = f.read()
        except OSError:
            continue
        ppid = int(stat[stat.rfind(')') + 2:].split()[1])
        children.setdefault(ppid, []).append(int(entry))
    out, todo = [], [pid]
    while todo:
        p = todo.pop()
        out.append(p)
        todo.extend(children.get(p, []))
    return out


def cpu_ticks(pids):
    total = {}
    for p in pids:
        try:
            with open(f'/proc/{p}/stat') as f:
                fields = f.read().rsplit(')', 1)[1].split()
            total[p] = int(fields[11]) + int(fields[12])  # utime + stime
        except OSError:
            pass
    return total


def cpu_ns(pid):
    """CPU time of a process's live threads in nanoseconds (the scheduler's own count)."""
    total = 0
    try:
        tasks = os.listdir(f'/proc/{pid}/task')
    except OSError:
        return 0
    for t in tasks:
        try:
            with open(f'/proc/{pid}/task/{t}/schedstat') as f:
                total += int(f.read().split()[0])
        except OSError:
            pass
    return total


def memory(pids):
    """(distinct physical bytes, PSS bytes, RSS bytes) of a set of processes."""
    frames = set()
    pss = rss = 0
    for p in pids:
        try:
            with open(f'/proc/{p}/smaps_rollup') as f:
                for line in f:
                    if line.startswith('Pss:'):
                        pss += int(line.split()[1]) * 1024
                    elif line.startswith('Rss:'):
                        rss += int(line.split()[1]) * 1024
            ranges = []
            with open(f'/proc/{p}/smaps') as f:
                current = None
                for line in f:
                    head = line.split()
                    if '-' in head[0] and len(head) >= 5 and ':' in head[3]:
                        lo, hi = (int(v, 16) for v in head[0].split('-'))
                        current = (lo, hi)
                    elif head[0] == 'Rss:' and current and int(head[1]) > 0:
                        ranges.append(current)
            with open(f'/proc/{p}/pagemap', 'rb') as pm:
                for lo, hi in ranges:
                    pm.seek(lo // PAGE * 8)
                    entries = array.array('Q')
                    entries.frombytes(pm.read((hi - lo) // PAGE * 8))
                    for e in entries:
                        if e >> 63:  # present in memory
                            frames.add(e & ((1 << 55) - 1))
        except OSError:
            continue
    return len(frames) * PAGE, pss, rss


def stop(proc):
    """Ends a program's whole tree: politely first, then for sure."""
    pids = tree(proc.pid)
    for sig in (signal.SIGTERM, signal.SIGKILL):
        for p in reversed(pids):
            try:
                os.kill(p, sig)
            except OSError:
                pass
        try:
            proc.wait(5)
        except subprocess.TimeoutExpired:
            pass
        pids = pids + tree(proc.pid)
    time.sleep(0.5)


class Programs:
    def __init__(self, exe, scratch, env):
        self.exe, self.scratch, self.env = exe, scratch, env
        self.runs = 0

    def argv(self, name, url, flash=True):
        self.runs += 1
        if name == 'webgame-shell':
            folder = os.path.join(self.scratch, f'wgs-{self.runs}')
            os.makedirs(folder)
            shutil.copy2(self.exe, folder)
            emulator = os.path.join(os.path.dirname(os.path.abspath(self.exe)), 'ruffle')
            if flash and os.path.isdir(emulator):
                os.symlink(emulator, os.path.join(folder, 'ruffle'))
            text = (f'[请勿随便修改此配置文件]\r\n名称=bench\r\n地址={url}\r\n宽度={WIDTH}\r\n高度={HEIGHT}\r\n'
                    '左边=0\r\n顶边=0\r\n')
            with open(os.path.join(folder, 'yxq.ini'), 'wb') as f:
                f.write(text.encode('gbk'))
            return [os.path.join(folder, 'webgame-shell')]
        if name == 'surf':
            return ['surf', url]
        profile = os.path.join(self.scratch, f'chromium-{self.runs}')
        return ['chromium', '--no-sandbox', '--no-first-run', '--disable-background-networking',
                '--disable-component-update', '--disable-sync', '--disable-quic', f'--user-data-dir={profile}',
                f'--window-size={WIDTH},{HEIGHT}', '--window-position=0,0', f'--app={url}']

    def start(self, name, url, flash=True):
        return subprocess.Popen(self.argv(name, url, flash), env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)


def wait_colour(screen, colour, started, timeout=30, probe=PROBE):
    while time.monotonic() - started < timeout:
        if screen.pixel(*probe) == colour:
            return time.monotonic() - started
        time.sleep(0.002)
    return None


def startup_run(screen, programs, name, url, flash=True):
    """(startup seconds, distinct, PSS, RSS) of one start of `name` on the
    solid page: time to its colour on screen, memory 3 s after."""
    started = time.monotonic()
    p = programs.start(name, url, flash)
    try:
        t = wait_colour(screen, COLOUR, started)
        if t is None:
            return None, None, None, None
        time.sleep(3.0)
        return (t,) + memory(tree(p.pid))
    finally:
        stop(p)


def near(a, b, tolerance=24):
    return all(abs(x - y) <= tolerance for x, y in zip(a, b))


def flash_run(screen, programs, url, flash):
    """(page paint -> first frame of the movie in seconds, distinct, PSS) of one
    run of webgame-shell on the flash page; without the emulator, the frame is None."""
    started = time.monotonic()
    p = programs.start('webgame-shell', url, flash)
    try:
        painted = wait_colour(screen, COLOUR, started, 60, PAGE_PROBE)
        if painted is None:
            return None, None, None
        frame = None
        if flash:
            while time.monotonic() - started < 120:
                if near(screen.pixel(*MOVIE_PROBE), MOVIE_RECT):
                    frame = time.monotonic() - started - painted
                    break
                time.sleep(0.002)
            if frame is None:
                return None, None, None
        time.sleep(3.0)
        d, pss, _ = memory(tree(p.pid))
        return frame, d, pss
    finally:
        stop(p)


def fmt(values, unit, scale=1.0, digits=0):
    values = [v * scale for v in values if v is not None]
    if not values:
        return 'n/a'
    m = statistics.median(values)
    return f'{m:.{digits}f} {unit} ({min(values):.{digits}f}–{max(values):.{digits}f})'


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--exe', required=True)
    parser.add_argument('--pages', required=True)
    parser.add_argument('--runs', type=int, default=7)
    parser.add_argument('--programs', default='webgame-shell,surf,chromium')
    parser.add_argument('--anim-seconds', type=float, default=20.0)
    parser.add_argument('--idle-seconds', type=float, default=30.0)
    parser.add_argument('--idle-only', action='store_true', help='measure only the idle program')
    args = parser.parse_args()
    names = args.programs.split(',')
    scratch = tempfile.mkdtemp(prefix='wgs-bench-')
    screen = Screen()
    env = dict(os.environ, DISPLAY=screen.display, HOME=os.path.join(scratch, 'home'),
               XDG_CACHE_HOME=os.path.join(scratch, 'cache'), XDG_CONFIG_HOME=os.path.join(scratch, 'config'),
               XDG_DATA_HOME=os.path.join(scratch, 'data'))
    env.pop('WAYLAND_DISPLAY', None)
    env['NO_AT_BRIDGE'] = '1'  # GTK's accessibility bridge off, for any of them
    # A session bus, as every desktop session has one. Without it each program
    # autolaunches its own through the X display, and dbus-launch sleeps 3 s
    # whenever two launches race, which made startup figures meaningless.
    bus = subprocess.Popen(['dbus-daemon', '--session', '--nofork', '--print-address=1'], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    env['DBUS_SESSION_BUS_ADDRESS'] = bus.stdout.readline().decode().strip()
    programs = Programs(args.exe, scratch, env)
    solid = 'file://' + os.path.abspath(os.path.join(args.pages, 'solid.html'))
    anim = 'file://' + os.path.abspath(os.path.join(args.pages, 'anim.html'))
    results = {n: {'startup': [], 'distinct': [], 'pss': [], 'rss': [], 'anim': []} for n in names}
    flash_page = None
    flash = {'frame': [], 'distinct': [], 'pss': [], 'distinct0': [], 'pss0': [], 'plain_startup0': [],
             'plain_distinct0': []}
    if 'webgame-shell' in names:
        # The movie is generated beside a copy of the page, as the tests make it.
        pages = os.path.join(scratch, 'pages')
        shutil.copytree(args.pages, pages)
        make_swf = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'flash', 'make_swf.py')
        subprocess.run([sys.executable, make_swf, os.path.join(pages, 'movie.swf')], check=True)
        flash_page = 'file://' + os.path.join(pages, 'flash.html')
    try:
        if args.idle_only:
            args.runs = 0
        # A first start of each warms the disk cache; it is not counted.
        for n in ([] if args.idle_only else names):
            p = programs.start(n, solid)
            wait_colour(screen, COLOUR, time.monotonic())
            stop(p)
        for r in range(args.runs):
            order = names[r % len(names):] + names[:r % len(names)]
            for n in order:
                res = results[n]
                for key, value in zip(('startup', 'distinct', 'pss', 'rss'),
                                      startup_run(screen, programs, n, solid)):
                    res[key].append(value)
            for n in order:
                p = programs.start(n, anim)
                time.sleep(3.0)  # started and animating
                before = cpu_ticks(tree(p.pid))
                time.sleep(args.anim_seconds)
                after = cpu_ticks(tree(p.pid))
                stop(p)
                used = sum(after[q] - before.get(q, 0) for q in after)
                results[n]['anim'].append(used / TICKS)
            if flash_page is not None:
                for with_flash in ((True, False) if r % 2 == 0 else (False, True)):
                    frame, d, pss = flash_run(screen, programs, flash_page, with_flash)
                    if with_flash:
                        flash['frame'].append(frame)
                        flash['distinct'].append(d)
                        flash['pss'].append(pss)
                    else:
                        flash['distinct0'].append(d)
                        flash['pss0'].append(pss)
                # What the emulator costs a page without Flash.
                t, d, _, _ = startup_run(screen, programs, 'webgame-shell', solid, flash=False)
                flash['plain_startup0'].append(t)
                flash['plain_distinct0'].append(d)
            print(f'round {r + 1}/{args.runs} done', file=sys.stderr, flush=True)

        idle = None
        if 'webgame-shell' in names:
            p = programs.start('webgame-shell', solid)
            wait_colour(screen, COLOUR, time.monotonic())
            time.sleep(3.0)
            pids = tree(p.pid)
            before = {q: cpu_ns(q) for q in pids}
            started = time.monotonic()
            time.sleep(args.idle_seconds)
            elapsed = time.monotonic() - started
            after = {q: cpu_ns(q) for q in pids}
            ui = (after[p.pid] - before[p.pid]) / 1e9 / elapsed
            total = sum(max(0, after[q] - before[q]) for q in pids) / 1e9 / elapsed
            stop(p)
            idle = (ui, total)
    finally:
        bus.kill()
        bus.wait()
        screen.close()
        shutil.rmtree(scratch, ignore_errors=True)

    mib = 1 / (1024 * 1024)
    if args.idle_only:
        print(f'webgame-shell idle on the solid page: {idle[0] * 100:.3f} % of one core in its own '
              f'process, {idle[1] * 100:.3f} % for the whole tree')
        return
    print(f'\n{args.runs} interleaved runs on Xvfb {screen.display}, window {WIDTH}x{HEIGHT}; '
          'median (min–max)\n')
    print('| | startup to page colour | distinct memory | PSS | RSS | animation CPU over '
          f'{args.anim_seconds:.0f} s |')
    print('|---|---|---|---|---|---|')
    for n in names:
        res = results[n]
        print(f"| {n} | {fmt(res['startup'], 'ms', 1000)} | {fmt(res['distinct'], 'MiB', mib)} | "
              f"{fmt(res['pss'], 'MiB', mib)} | {fmt(res['rss'], 'MiB', mib)} | {fmt(res['anim'], 's', 1, 1)} |")
    if 'webgame-shell' in names:
        me = results['webgame-shell']
        print()
        for other in names:
            if other == 'webgame-shell':
                continue
            o = results[other]
            def ratio(key):
                a = [v for v in me[key] if v is not None]
                b = [v for v in o[key] if v is not None]
                return statistics.median(a) / statistics.median(b) if a and b else float('nan')
            print(f'webgame-shell / {other}: startup {ratio("startup"):.2f}x, distinct memory '
                  f'{ratio("distinct"):.2f}x, animation CPU {ratio("anim"):.2f}x')
        if idle:
            print(f'\nwebgame-shell idle on the solid page: {idle[0] * 100:.3f} % of one core in its own '
                  f'process, {idle[1] * 100:.3f} % for the whole tree')
    if flash_page is not None:
        print('\nwebgame-shell on a page holding the test movie (the Flash emulator beside it, and without it):\n')
        print('| | page paint to the movie\'s first frame | distinct memory | PSS |')
        print('|---|---|---|---|')
        print(f"| with the emulator | {fmt(flash['frame'], 'ms', 1000)} | {fmt(flash['distinct'], 'MiB', mib)} | "
              f"{fmt(flash['pss'], 'MiB', mib)} |")
        print(f"| without (an empty box) | – | {fmt(flash['distinct0'], 'MiB', mib)} | "
              f"{fmt(flash['pss0'], 'MiB', mib)} |")
        me = results['webgame-shell']
        print(f"\nwebgame-shell on the solid page without the emulator: startup "
              f"{fmt(flash['plain_startup0'], 'ms', 1000)} (with it {fmt(me['startup'], 'ms', 1000)}), "
              f"distinct memory {fmt(flash['plain_distinct0'], 'MiB', mib)} "
              f"(with it {fmt(me['distinct'], 'MiB', mib)})")


if __name__ == '__main__':
    main()
