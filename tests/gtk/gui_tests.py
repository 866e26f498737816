#!/usr/bin/python3
"""GUI smoke tests of webgame-shell on Linux.

Runs the real program on a virtual screen (Xvfb, with openbox where frames and
iconify matter) and looks at what a user and the system would see: window
captions and frames, pixels of the page, the bytes of yxq.ini, requests the
engine made to a local web server, addresses handed to the default browser,
and power-off calls made to a fake logind.

Run inside `dbus-run-session` (the accessibility bus needs a session bus) with
Debian's /usr/bin/python3 (python3-dbusmock, python3-pyatspi).

Nothing here can reach the machine's own system bus: a private bus is started
first, every program runs with DBUS_SYSTEM_BUS_ADDRESS pointing at it, inside
a mount namespace where /run/dbus is empty whenever the kernel allows one.
"""

import argparse
import ctypes
import datetime
import http.server
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from a11y_bus import start_accessibility_bus  # noqa: E402

SECTION = '请勿随便修改此配置文件'
SUFFIX = '   V1.3'
UPDATE_PATH = '/thread-78603-1-1.html'

# ---------------------------------------------------------------- helpers


def ini_bytes(pairs):
    """yxq.ini as the program writes it: GBK, CR LF, one section."""
    text = '[' + SECTION + ']\r\n' + ''.join(f'{k}={v}\r\n' for k, v in pairs)
    return text.encode('gbk')


def wait_for(predicate, timeout, interval=0.1, what='condition'):
    end = time.time() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.time() > end:
            raise AssertionError(f'timed out waiting for {what}')
        time.sleep(interval)


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# ---------------------------------------------------------------- X11 through ctypes

class XClientMessageEvent(ctypes.Structure):
    _fields_ = [('type', ctypes.c_int), ('serial', ctypes.c_ulong), ('send_event', ctypes.c_int),
                ('display', ctypes.c_void_p), ('window', ctypes.c_ulong), ('message_type', ctypes.c_ulong),
                ('format', ctypes.c_int), ('data', ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [('xclient', XClientMessageEvent), ('pad', ctypes.c_long * 24)]


class XWindowAttributes(ctypes.Structure):
    _fields_ = [('x', ctypes.c_int), ('y', ctypes.c_int), ('width', ctypes.c_int), ('height', ctypes.c_int),
                ('border_width', ctypes.c_int), ('depth', ctypes.c_int), ('visual', ctypes.c_void_p),
                ('root', ctypes.c_ulong), ('class_', ctypes.c_int), ('bit_gravity', ctypes.c_int),
                ('win_gravity', ctypes.c_int), ('backing_store', ctypes.c_int),
                ('backing_planes', ctypes.c_ulong), ('backing_pixel', ctypes.c_ulong),
                ('save_under', ctypes.c_int), ('colormap', ctypes.c_ulong), ('map_installed', ctypes.c_int),
                ('map_state', ctypes.c_int), ('all_event_masks', ctypes.c_long),
                ('your_event_mask', ctypes.c_long), ('do_not_propagate_mask', ctypes.c_long),
                ('override_redirect', ctypes.c_int), ('screen', ctypes.c_void_p)]


class X11:
    def __init__(self, display):
        self.lib = ctypes.CDLL('libX11.so.6')
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XDefaultRootWindow.restype = ctypes.c_ulong
        self.lib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.lib.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_ulong),
                                        ctypes.POINTER(ctypes.c_ulong),
                                        ctypes.POINTER(ctypes.POINTER(ctypes.c_ulong)),
                                        ctypes.POINTER(ctypes.c_uint)]
        self.lib.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                  ctypes.POINTER(XWindowAttributes)]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                        ctypes.POINTER(XEvent)]
        self.lib.XFree.argtypes = [ctypes.c_void_p]
        self.lib.XFlush.argtypes = [ctypes.c_void_p]
        self.lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.dpy = self.lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError('cannot open ' + display)
        self.root = self.lib.XDefaultRootWindow(self.dpy)

    def frame_rect(self, window):
        """The outer rectangle of a client window: its frame under a window manager."""
        w = window
        while True:
            root, parent = ctypes.c_ulong(), ctypes.c_ulong()
            children = ctypes.POINTER(ctypes.c_ulong)()
            n = ctypes.c_uint()
            if not self.lib.XQueryTree(self.dpy, w, ctypes.byref(root), ctypes.byref(parent),
                                       ctypes.byref(children), ctypes.byref(n)):
                break
            if children:
                self.lib.XFree(children)
            if parent.value in (0, root.value):
                break
            w = parent.value
        a = XWindowAttributes()
        self.lib.XGetWindowAttributes(self.dpy, w, ctypes.byref(a))
        return (a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width)

    def close_through_wm(self, window):
        """What the close box does: _NET_CLOSE_WINDOW asks the window manager to close it."""
        e = XEvent()
        e.xclient.type = 33  # ClientMessage
        e.xclient.window = window
        e.xclient.message_type = self.lib.XInternAtom(self.dpy, b'_NET_CLOSE_WINDOW', 0)
        e.xclient.format = 32
        e.xclient.data[0] = 0
        e.xclient.data[1] = 2  # asked by a pager: no timestamp checks
        mask = (1 << 19) | (1 << 20)  # SubstructureNotify | SubstructureRedirect
        self.lib.XSendEvent(self.dpy, self.root, 0, mask, ctypes.byref(e))
        self.lib.XFlush(self.dpy)


# ---------------------------------------------------------------- the screen

def start_xvfb(width=1024, height=768):
    """A virtual screen on a free display number; returns the process and the display."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0', f'{width}x{height}x24',
                             '-nolisten', 'tcp'], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    number = b''
    while not number.endswith(b'\n'):
        chunk = os.read(read, 16)
        if not chunk:
            xvfb.kill()
            raise RuntimeError('Xvfb did not start')
        number += chunk
    os.close(read)
    return xvfb, ':' + number.decode().strip()


class Screen:
    """A virtual screen with openbox."""

    def __init__(self, env, width=1024, height=768):
        self.xvfb, self.display = start_xvfb(width, height)
        env['DISPLAY'] = self.display
        self.env = env
        self.wm = None
        try:
            self.wm = subprocess.Popen(['openbox'], env=env, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            wait_for(lambda: subprocess.run(['xprop', '-root', '_NET_SUPPORTING_WM_CHECK'], env=env,
                                            capture_output=True, text=True).stdout.find('window id') >= 0,
                     30, what='openbox')
            self.x = X11(self.display)
        except BaseException:
            self.close()
            raise

    def run(self, *argv, check_rc=True):
        r = subprocess.run(list(argv), env=self.env, capture_output=True, text=True, timeout=30)
        if check_rc and r.returncode != 0:
            raise Failure(f'{argv} failed: {r.stderr.strip()}')
        return r.stdout

    def find_window(self, name_regex, timeout=20, pid=None):
        argv = ['xdotool', 'search', '--onlyvisible', '--name', name_regex]
        def look():
            r = subprocess.run(argv, env=self.env, capture_output=True, text=True)
            ids = [int(x) for x in r.stdout.split()]
            if pid is not None:
                ids = [i for i in ids if self.window_pid(i) == pid]
            return ids[0] if ids else None
        return wait_for(look, timeout, what=f'a window named {name_regex!r}')

    def window_exists(self, name_regex):
        r = subprocess.run(['xdotool', 'search', '--onlyvisible', '--name', name_regex], env=self.env,
                           capture_output=True, text=True)
        return bool(r.stdout.split())

    def window_pid(self, window):
        r = subprocess.run(['xdotool', 'getwindowpid', str(window)], env=self.env, capture_output=True, text=True)
        return int(r.stdout) if r.stdout.strip().isdigit() else None

    def pixel(self, x, y):
        out = self.run('/usr/bin/import', '-window', 'root', '-crop', f'1x1+{x}+{y}', '-depth', '8', 'txt:-')
        m = re.search(r'#([0-9A-Fa-f]{6})', out)
        return m.group(1).lower() if m else None

    def keys(self, window, *keys):
        self.run('xdotool', 'windowactivate', '--sync', str(window), check_rc=False)
        self.run('xdotool', 'key', '--clearmodifiers', *keys)

    def type(self, text):
        self.run('xdotool', 'type', '--delay', '30', text)

    def close(self):
        for p in (self.wm, self.xvfb):
            if p is None:
                continue
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


# ---------------------------------------------------------------- a local web server that counts

class Counter(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        self.hits = {}
        self.lock = threading.Lock()
        super().__init__(('127.0.0.1', 0), CountingHandler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return f'http://127.0.0.1:{self.server_address[1]}{path}'

    def count(self, path):
        with self.lock:
            return self.hits.get(path, 0)


class CountingHandler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with self.server.lock:
            self.server.hits[self.path] = self.server.hits.get(self.path, 0) + 1
        body = (f'<!doctype html><title>{self.path}</title>'
                f'<body style="margin:0;background:#3c64b4">{self.path}</body>').encode()
        self.send_response(200)
        self.send_header('Content-Type', 'text/html; charset=utf-8')
        self.send_header('Cache-Control', 'no-store')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


# ---------------------------------------------------------------- accessibility: menus by name

def atspi_app(name='webgame-shell', timeout=20):
    import pyatspi

    def look():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is not None and app.name == name:
                return app
        return None
    return wait_for(look, timeout, what='the program on the accessibility bus')


def choose_menu_item(app, label, timeout=10):
    """Finds a menu item by its text under the menu bar and runs its action."""
    def find(node, depth=0):
        if node is None or depth > 12:
            return None
        try:
            role = node.getRoleName()
            if role in ('menu item', 'check menu item') and node.name == label:
                return node
            if role in ('document web', 'scroll pane', 'panel') and depth > 3:
                return None  # the web page's own tree is not a menu
            for child in node:
                hit = find(child, depth + 1)
                if hit is not None:
                    return hit
        except Exception:
            return None
        return None
    item = wait_for(lambda: find(app), timeout, what=f'menu item {label}')
    action = item.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = names.index('click') if 'click' in names else 0
    # The action may start a modal window inside the program; do not wait for its end.
    threading.Thread(target=lambda: _quiet(lambda: action.doAction(index)), daemon=True).start()


def _quiet(f):
    try:
        f()
    except Exception:
        pass


# ---------------------------------------------------------------- the program

class Program:
    """webgame-shell copied into its own folder (its yxq.ini lives beside it)."""

    def __init__(self, suite, ini=None, env_extra=None):
        self.suite = suite
        self.dir = tempfile.mkdtemp(prefix='wgs-run-', dir=suite.tmp)
        self.exe = os.path.join(self.dir, 'webgame-shell')
        shutil.copy2(suite.exe, self.exe)
        self.ini = os.path.join(self.dir, 'yxq.ini')
        if ini is not None:
            with open(self.ini, 'wb') as f:
                f.write(ini)
        env = dict(suite.env)
        env.update(env_extra or {})
        self.proc = subprocess.Popen(suite.confine([self.exe]), env=env, cwd='/',
                                     stdout=subprocess.DEVNULL, stderr=open(os.path.join(self.dir, 'stderr'), 'w'))

    def ini_bytes(self):
        try:
            with open(self.ini, 'rb') as f:
                return f.read()
        except FileNotFoundError:
            return None

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise Failure('the program did not end')

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


# ---------------------------------------------------------------- the tests

class Suite:
    def __init__(self, build, keep):
        self.build = build
        self.exe = os.path.join(build, 'webgame-shell')
        self.backend_check = os.path.join(build, 'src', 'platform', 'gtk', 'wgs_gtk_backend_check')
        self.tmp = tempfile.mkdtemp(prefix='wgs-gui-')
        self.keep = keep
        self.results = []
        self.env = dict(os.environ)
        for var in ('DISPLAY', 'WAYLAND_DISPLAY'):
            self.env.pop(var, None)
        home = os.path.join(self.tmp, 'home')
        for sub in ('data', 'config', 'cache'):
            os.makedirs(os.path.join(home, sub), exist_ok=True)
        self.env.update({'HOME': home, 'XDG_DATA_HOME': os.path.join(home, 'data'),
                         'XDG_CONFIG_HOME': os.path.join(home, 'config'),
                         'XDG_CACHE_HOME': os.path.join(home, 'cache'), 'LANG': 'C.UTF-8'})
        self.env.pop('NO_AT_BRIDGE', None)
        self.browser_log = os.path.join(self.tmp, 'default-browser.log')
        self._install_fake_browser()

    # -- the default browser is ours: it writes down the addresses it gets
    def _install_fake_browser(self):
        apps = os.path.join(self.env['XDG_DATA_HOME'], 'applications')
        os.makedirs(apps, exist_ok=True)
        script = os.path.join(self.tmp, 'fake-browser.sh')
        with open(script, 'w') as f:
            f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{self.browser_log}"\n')
        os.chmod(script, 0o755)
        with open(os.path.join(apps, 'wgs-fake-browser.desktop'), 'w') as f:
            f.write('[Desktop Entry]\nType=Application\nName=Fake browser\n'
                    f'Exec={script} %u\nMimeType=x-scheme-handler/http;x-scheme-handler/https;\n')
        with open(os.path.join(self.env['XDG_CONFIG_HOME'], 'mimeapps.list'), 'w') as f:
            f.write('[Default Applications]\nx-scheme-handler/http=wgs-fake-browser.desktop\n'
                    'x-scheme-handler/https=wgs-fake-browser.desktop\n')
        self.env['WGS_FAKE_BROWSER_LOG'] = self.browser_log

    def browser_addresses(self):
        try:
            with open(self.browser_log) as f:
                return f.read().split()
        except FileNotFoundError:
            return []

    # -- a fake logind on a private system bus; the real one is never reachable
    def start_fake_logind(self):
        import dbusmock
        from dbusmock import DBusTestCase
        DBusTestCase.start_system_bus()
        self.bus_pid = DBusTestCase.system_bus_pid
        address = os.environ['DBUS_SYSTEM_BUS_ADDRESS']
        check(address.startswith('unix:') and 'system_bus_socket' not in address and '/run/dbus' not in address,
              f'refusing to run: {address} is not a private bus')
        self.env['DBUS_SYSTEM_BUS_ADDRESS'] = address
        self.env['WGS_PRIVATE_SYSTEM_BUS'] = address
        self.logind_proc, self.logind = DBusTestCase.spawn_server_template('logind', {},
                                                                           stdout=subprocess.DEVNULL)
        self.mock_iface = dbusmock.MOCK_IFACE
        # A mount namespace in which the well-known system bus socket does not exist.
        self.unshare = False
        probe = subprocess.run(['unshare', '--mount', '--propagation', 'private', 'sh', '-c',
                                'mount -t tmpfs wgs-no-bus /run/dbus 2>/dev/null || exit 1'],
                               capture_output=True)
        self.unshare = probe.returncode == 0

    def confine(self, argv):
        check(self.env.get('DBUS_SYSTEM_BUS_ADDRESS') == self.env.get('WGS_PRIVATE_SYSTEM_BUS'),
              'refusing to run a program without the private system bus')
        if not self.unshare:
            return argv
        hide = 'mount -t tmpfs wgs-no-bus /run/dbus && { [ ! -d /var/run/dbus ] || [ -L /var/run ] || ' \
               'mount -t tmpfs wgs-no-bus /var/run/dbus; } && exec "$@"'
        return ['unshare', '--mount', '--propagation', 'private', 'sh', '-c', hide, 'sh'] + argv

    def logind_calls(self, method):
        calls = self.logind.GetCalls(dbus_interface=self.mock_iface)
        return [c for c in calls if str(c[1]) == method]

    def clear_logind_calls(self):
        self.logind.ClearCalls(dbus_interface=self.mock_iface)

    def stop_fake_logind(self):
        from dbusmock import DBusTestCase
        self.logind_proc.terminate()
        self.logind_proc.wait()
        DBusTestCase.stop_dbus(self.bus_pid)

    def test(self, name, function):
        start = time.time()
        try:
            function()
            self.results.append((name, True, ''))
            print(f'ok   {name} ({time.time() - start:.1f} s)', flush=True)
        except Exception as e:  # noqa: BLE001 -- every failure is reported, then the next test runs
            detail = str(e) if isinstance(e, AssertionError) else traceback.format_exc()
            self.results.append((name, False, detail))
            print(f'FAIL {name}: {detail}', flush=True)

    # ------------------------------------------------------------ backend checks
    def run_backend_checks(self):
        def plain():
            env = dict(self.env)
            xvfb, env['DISPLAY'] = start_xvfb()
            try:
                r = subprocess.run(self.confine([self.backend_check]), env=env, capture_output=True, text=True,
                                   timeout=300)
            finally:
                xvfb.terminate()
                xvfb.wait()
            check(r.returncode == 0, r.stderr[-3000:] + r.stdout[-500:])

        def with_wm():
            screen = Screen(dict(self.env))
            try:
                r = subprocess.run(self.confine([self.backend_check, '--wm']), env=screen.env,
                                   capture_output=True, text=True, timeout=300)
            finally:
                screen.close()
            check(r.returncode == 0, r.stderr[-3000:] + r.stdout[-500:])

        self.test('backend: windows, controls, browser without a window manager', plain)
        self.test('backend: frames, iconify, dialogs under openbox', with_wm)

    def run_shutdown_table(self):
        """Each row of the shutdown table becomes exactly one logind call."""
        cases = [
            # mode, logind method, its arguments
            ('poweroff', 'PowerOff', [False]),
            ('poweroff-force', 'PowerOff', [False]),  # this logind has no PowerOffWithFlags
            ('reboot', 'Reboot', [False]),
            ('logoff', 'TerminateSession', ['auto']),
            ('suspend', 'Suspend', [False]),
            ('hibernate-force', 'Hibernate', [False]),
        ]
        power = {'PowerOff', 'Reboot', 'Suspend', 'Hibernate', 'TerminateSession'}

        def table():
            for mode, method, args in cases:
                self.clear_logind_calls()
                r = subprocess.run(self.confine([self.backend_check, '--shutdown', mode]), env=self.env,
                                   capture_output=True, text=True, timeout=60)
                check(r.returncode == 0, f'{mode}: {r.stdout} {r.stderr}')
                calls = [c for c in self.logind.GetCalls(dbus_interface=self.mock_iface) if str(c[1]) in power]
                check(len(calls) == 1 and str(calls[0][1]) == method and list(calls[0][2]) == args,
                      f'{mode}: logind saw {[(str(c[1]), list(c[2])) for c in calls]}')

        def privilege():
            r = subprocess.run(self.confine([self.backend_check, '--shutdown', 'privilege']), env=self.env,
                               capture_output=True, text=True, timeout=60)
            check('lastError 0' in r.stdout, 'with logind allowing it the privilege is held: ' + r.stdout)
            self.logind.AddMethod('org.freedesktop.login1.Manager', 'CanPowerOff', '', 's', 'ret = "no"',
                                  dbus_interface=self.mock_iface)
            for m in ('CanReboot', 'CanSuspend', 'CanHibernate'):
                self.logind.AddMethod('org.freedesktop.login1.Manager', m, '', 's', 'ret = "na"',
                                      dbus_interface=self.mock_iface)
            r = subprocess.run(self.confine([self.backend_check, '--shutdown', 'privilege']), env=self.env,
                               capture_output=True, text=True, timeout=60)
            for m in ('CanPowerOff', 'CanReboot', 'CanSuspend', 'CanHibernate'):
                self.logind.AddMethod('org.freedesktop.login1.Manager', m, '', 's', 'ret = "yes"',
                                      dbus_interface=self.mock_iface)
            check('lastError 1300' in r.stdout, 'without it: ERROR_NOT_ALL_ASSIGNED: ' + r.stdout)

        def skip_inhibitors():
            # A logind that has the "WithFlags" calls gets the forced ones there,
            # asked to skip inhibitors.
            for m in ('PowerOffWithFlags', 'RebootWithFlags', 'SuspendWithFlags', 'HibernateWithFlags'):
                self.logind.AddMethod('org.freedesktop.login1.Manager', m, 't', '', '',
                                      dbus_interface=self.mock_iface)
            for mode, method, args in [('poweroff-force', 'PowerOffWithFlags', [16]),
                                       ('hibernate-force', 'HibernateWithFlags', [16]),
                                       ('poweroff', 'PowerOff', [False])]:
                self.clear_logind_calls()
                r = subprocess.run(self.confine([self.backend_check, '--shutdown', mode]), env=self.env,
                                   capture_output=True, text=True, timeout=60)
                check(r.returncode == 0, f'{mode}: {r.stdout} {r.stderr}')
                calls = [c for c in self.logind.GetCalls(dbus_interface=self.mock_iface)
                         if not str(c[1]).startswith('Can')]
                check([(str(c[1]), list(c[2])) for c in calls] == [(method, args)],
                      f'{mode}: logind saw {[(str(c[1]), list(c[2])) for c in calls]}')

        self.test('shutdown table: one logind call per request', table)
        self.test('shutdown privilege follows logind', privilege)
        self.skip_inhibitors = skip_inhibitors

    # ------------------------------------------------------------ the program
    def run_program_tests(self):
        screen = Screen(dict(self.env))
        self.screen = screen
        self.env['DISPLAY'] = screen.display
        self.at_spi = start_accessibility_bus(self.env)
        self.http = Counter()
        pages = os.path.join(self.tmp, 'pages')
        os.makedirs(pages, exist_ok=True)
        self.pages = pages
        with open(os.path.join(pages, 'solid.html'), 'w') as f:
            f.write('<!doctype html><body style="margin:0;background:#12d27e"></body>')
        with open(os.path.join(pages, 'alert.html'), 'w') as f:
            f.write('<!doctype html><body style="margin:0;background:#ffffff">'
                    '<script>alert("hello"); document.body.style.background = "#2050c8";'
                    'document.title = "after the alert";</script></body>')
        try:
            self.test('first start: default place and size, caption, geometry saved on close', self.t_first_start)
            self.test('a saved game: caption, page on screen, place kept and saved', self.t_saved_game)
            self.test('closing while minimized writes nothing', self.t_minimized_close)
            self.test('settings (F1), refresh (F5), jump prompt, update link', self.t_settings_refresh_jump)
            self.test('timed shutdown: one PowerOff per tick of the armed minute', self.t_shutdown)
            self.test('a page that calls alert() shows no dialog and finishes loading', self.t_alert)
        finally:
            self.at_spi.terminate()
            self.http.shutdown()
            screen.close()

    def start(self, ini=None, env_extra=None):
        return Program(self, ini, env_extra)

    def close_and_wait(self, program, window):
        self.screen.x.close_through_wm(window)
        rc = program.wait_exit()
        check(rc == 0, f'exit code {rc}')

    def t_first_start(self):
        p = self.start()
        try:
            w = self.screen.find_window('^未设置名称   V1\\.3$', pid=p.proc.pid)
            time.sleep(1.0)
            frame = self.screen.x.frame_rect(w)
            check(frame == (50, 50, 900, 660), f'frame {frame}')
            check(p.ini_bytes() is None, 'nothing is written at start')
            self.close_and_wait(p, w)
            expected = ini_bytes([('高度', 660), ('宽度', 900), ('左边', 50), ('顶边', 50)])
            check(p.ini_bytes() == expected, f'yxq.ini {p.ini_bytes()!r}')
        finally:
            p.kill()

    def t_saved_game(self):
        url = 'file://' + os.path.join(self.pages, 'solid.html')
        p = self.start(ini_bytes([('名称', '纯色页面'), ('地址', url), ('宽度', 800), ('高度', 600),
                                  ('左边', 120), ('顶边', 90)]))
        try:
            w = self.screen.find_window('^纯色页面   V1\\.3$', pid=p.proc.pid)
            time.sleep(0.8)
            frame = self.screen.x.frame_rect(w)
            check(frame == (120, 90, 800, 600), f'the window comes back where it was: {frame}')
            x, y = frame[0] + 400, frame[1] + 300
            wait_for(lambda: self.screen.pixel(x, y) == '12d27e', 15, what='the page colour inside the pane')
            # The user moves it; the new place is what gets saved.
            self.screen.run('xdotool', 'windowmove', '--sync', str(w), '200', '150', check_rc=False)
            wait_for(lambda: self.screen.x.frame_rect(w)[:2] == (200, 150), 5, what='the move')
            time.sleep(0.8)
            self.close_and_wait(p, w)
            text = p.ini_bytes().decode('gbk')
            for line in ('高度=600', '宽度=800', '左边=200', '顶边=150', '名称=纯色页面', '地址=' + url):
                check(line + '\r\n' in text, f'{line} in {text!r}')
        finally:
            p.kill()

    def t_minimized_close(self):
        before = ini_bytes([('名称', '最小化'), ('宽度', 700), ('高度', 500), ('左边', 30), ('顶边', 40)])
        p = self.start(before)
        try:
            w = self.screen.find_window('^最小化   V1\\.3$', pid=p.proc.pid)
            time.sleep(0.5)
            self.screen.run('xdotool', 'windowminimize', '--sync', str(w))
            time.sleep(0.5)
            self.close_and_wait(p, w)
            check(p.ini_bytes() == before, f'yxq.ini changed: {p.ini_bytes()!r}')
        finally:
            p.kill()

    def t_settings_refresh_jump(self):
        s = self.screen
        p = self.start(ini_bytes([('名称', '甲'), ('地址', self.http.url('/a'))]))
        try:
            w = s.find_window('^甲   V1\\.3$', pid=p.proc.pid)
            wait_for(lambda: self.http.count('/a') >= 1, 15, what='the first load')
            time.sleep(0.5)
            # F5 reloads the page: the server sees it again.
            s.keys(w, 'F5')
            wait_for(lambda: self.http.count('/a') >= 2, 10, what='the reload after F5')

            # F1: the settings window; a new name and address, Tab to 保存, Space.
            s.keys(w, 'F1')
            settings = s.find_window('^设置$', pid=p.proc.pid)
            s.run('xdotool', 'windowactivate', '--sync', str(settings), check_rc=False)
            time.sleep(0.5)
            s.run('xdotool', 'key', 'ctrl+a')
            s.type('乙游戏')
            s.run('xdotool', 'key', 'Tab')
            s.run('xdotool', 'key', 'ctrl+a')
            s.type(self.http.url('/b'))
            s.run('xdotool', 'key', 'Tab')
            s.run('xdotool', 'key', 'space')
            s.find_window('^乙游戏   V1\\.3$', timeout=10, pid=p.proc.pid)
            wait_for(lambda: self.http.count('/b') >= 1, 10, what='the new address loading')
            check(not s.window_exists('^设置$'), 'the settings window is gone')
            text = p.ini_bytes().decode('gbk')
            check(text.startswith('[' + SECTION + ']\r\n名称=乙游戏\r\n地址=' + self.http.url('/b') + '\r\n'),
                  f'yxq.ini {text!r}')

            app = atspi_app()
            # The jump prompt loads the address typed into it.
            choose_menu_item(app, '跳转至网页')
            prompt = s.find_window('^请输入：$', pid=p.proc.pid)
            s.run('xdotool', 'windowactivate', '--sync', str(prompt), check_rc=False)
            time.sleep(0.3)
            s.type(self.http.url('/c'))
            s.run('xdotool', 'key', 'Return')
            wait_for(lambda: self.http.count('/c') >= 1, 10, what='the jump')

            # The update notice goes to the default browser, not into the pane.
            choose_menu_item(app, '检查更新')
            wait_for(lambda: any(a.endswith(UPDATE_PATH) for a in self.browser_addresses()), 10,
                     what='the default browser receiving the update address')
            self.close_and_wait(p, w)
        finally:
            p.kill()

    def t_shutdown(self):
        s = self.screen
        # A local time zone in which it is now 12:30 (hour 0 and minute 0 cannot
        # be armed), with most of the minute still ahead.
        now = datetime.datetime.utcnow()
        if now.second > 40:
            time.sleep(61 - now.second)
            now = datetime.datetime.utcnow()
        utc_minutes = now.hour * 60 + now.minute
        offset = (12 * 60 + 30) - utc_minutes  # local = utc + offset
        sign = '-' if offset >= 0 else '+'  # POSIX TZ: the sign is the other way round
        tz = f'WGS{sign}{abs(offset) // 60:02d}:{abs(offset) % 60:02d}'
        p = self.start(ini_bytes([('名称', '关机')]), {'TZ': tz})
        try:
            w = s.find_window('^关机   V1\\.3$', pid=p.proc.pid)
            self.clear_logind_calls()
            time.sleep(2.5)
            check(not self.logind_calls('PowerOff'), 'nothing armed: no power-off')
            choose_menu_item(atspi_app(), '定时关机（挂机专用）')
            sw = s.find_window('^定时关机$', pid=p.proc.pid)
            s.run('xdotool', 'windowactivate', '--sync', str(sw), check_rc=False)
            time.sleep(0.5)
            s.type('12')
            s.run('xdotool', 'key', 'Tab')
            s.type('30')
            s.run('xdotool', 'key', 'Tab')
            s.run('xdotool', 'key', 'space')
            wait_for(lambda: not s.window_exists('^定时关机$'), 5, what='the shutdown window closing')
            armed = time.time()
            wait_for(lambda: self.logind_calls('PowerOff'), 3, what='the first PowerOff')
            first = time.time()
            time.sleep(4.0)
            calls = self.logind_calls('PowerOff')
            span = time.time() - first
            check(first - armed < 1.6, f'the first request comes with the next tick ({first - armed:.1f} s)')
            # One request per tick: a busy machine may delay a tick, never add one.
            check(span - 1.5 <= len(calls) <= span + 2, f'{len(calls)} PowerOff calls in {span:.1f} s')
            # This logind has no PowerOffWithFlags: the forced request falls back, never interactive.
            check(all(list(c[2]) == [False] for c in calls), f'non-interactive: {[list(c[2]) for c in calls]}')
            self.close_and_wait(p, w)
        finally:
            p.kill()

    def t_alert(self):
        s = self.screen
        url = 'file://' + os.path.join(self.pages, 'alert.html')
        p = self.start(ini_bytes([('名称', '弹窗'), ('地址', url), ('宽度', 600), ('高度', 400),
                                  ('左边', 60), ('顶边', 60)]))
        try:
            w = s.find_window('^弹窗   V1\\.3$', pid=p.proc.pid)
            wait_for(lambda: s.pixel(60 + 300, 60 + 200) == '2050c8', 15,
                     what='the script going on after alert()')
            time.sleep(0.5)
            windows = s.run('xdotool', 'search', '--onlyvisible', '--pid', str(p.proc.pid), '.',
                            check_rc=False).split()
            check(windows == [str(w)], f'only the main window is shown: {windows}')
            self.close_and_wait(p, w)
        finally:
            p.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True, help='the build folder with webgame-shell')
    parser.add_argument('--keep', action='store_true', help='keep the scratch folder')
    parser.add_argument('--only', choices=['backend', 'table', 'program'], help='run only this group')
    args = parser.parse_args()
    suite = Suite(os.path.abspath(args.build), args.keep)
    if 'DBUS_SESSION_BUS_ADDRESS' not in os.environ:
        print('run me inside dbus-run-session', file=sys.stderr)
        return 2
    suite.start_fake_logind()
    try:
        if args.only is None or args.only == 'backend':
            suite.run_backend_checks()
        if args.only is None or args.only == 'table':
            suite.run_shutdown_table()
        if args.only is None or args.only == 'program':
            if os.path.exists(suite.exe):
                suite.run_program_tests()
            else:
                print('note: webgame-shell is not built (the program is not in the tree yet); '
                      'only the backend was tested', flush=True)
        if args.only is None or args.only == 'table':
            # Last: it teaches the fake logind calls the program would then prefer.
            suite.test('shutdown table: forced requests skip inhibitors where logind can', suite.skip_inhibitors)
    finally:
        suite.stop_fake_logind()
        if not args.keep:
            shutil.rmtree(suite.tmp, ignore_errors=True)
    failed = [r for r in suite.results if not r[1]]
    print(f'gui tests: {len(suite.results) - len(failed)} passed, {len(failed)} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
