#!/usr/bin/python3
"""Hostile yxq.ini files through the Linux program.

A few cases of the hostile-file table that the scenario tests run on the
simulated desktop, here with the real program on a virtual screen with
openbox: texts that are no valid GBK reach the GTK caption, a 1 MiB line
reaches the web engine, a directory stands where the file should be, and a
saved place lies on no monitor. The program must start, show its window,
end with 0 when closed, and keep every line of the file it does not own.

Run inside `dbus-run-session` with Debian's /usr/bin/python3; it uses the
helpers of gui_tests.py (private system bus with a fake logind, Xvfb, openbox).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import gui_tests as g  # noqa: E402

SECTION_LINE = ('[' + g.SECTION + ']\r\n').encode('gbk')


def gbk(text):
    return text.encode('gbk')


class Run:
    """The program copied into a folder of its own, prepared by `prepare(folder)`."""

    def __init__(self, suite, prepare):
        self.dir = tempfile.mkdtemp(prefix='wgs-hostile-', dir=suite.tmp)
        exe = os.path.join(self.dir, 'webgame-shell')
        shutil.copy2(suite.exe, exe)
        self.ini = os.path.join(self.dir, 'yxq.ini')
        prepare(self.dir)
        self.stderr = os.path.join(self.dir, 'stderr')
        self.proc = subprocess.Popen(suite.confine([exe]), env=dict(suite.env), cwd='/',
                                     stdout=subprocess.DEVNULL, stderr=open(self.stderr, 'w'))

    def ini_bytes(self):
        with open(self.ini, 'rb') as f:
            return f.read()

    def close(self, screen, window):
        screen.x.close_through_wm(window)
        try:
            rc = self.proc.wait(20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise g.Failure('the program did not end')
        g.check(rc == 0, f'exit code {rc}; stderr: {open(self.stderr).read()[-500:]}')

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def file_with(content):
    def prepare(folder):
        with open(os.path.join(folder, 'yxq.ini'), 'wb') as f:
            f.write(content)
    return prepare


def geometry_lines(frame):
    left, top, width, height = frame
    return [gbk(f'高度={height}\r\n'), gbk(f'宽度={width}\r\n'), gbk(f'左边={left}\r\n'), gbk(f'顶边={top}\r\n')]


class Cases:
    def __init__(self, suite, screen):
        self.suite = suite
        self.screen = screen

    def shown(self, run, caption_regex):
        window = self.screen.find_window(caption_regex, pid=run.proc.pid)
        time.sleep(0.8)  # let openbox settle the frame
        return window, self.screen.x.frame_rect(window)

    def invalid_gbk_and_nul(self):
        name = b'\x80\xFF\xFE\x7F' + gbk('游戏')
        stray = b'\x00' + gbk('宽度=100')
        before = SECTION_LINE + gbk('名称=') + name + b'\r\n' + stray + b'\r\n' + gbk('高度=600\r\n')
        run = Run(self.suite, file_with(before))
        try:
            window, frame = self.shown(run, '游戏   V1\\.3$')
            g.check(frame == (50, 50, 900, 600), f'frame {frame}')
            run.close(self.screen, window)
            after = run.ini_bytes()
            g.check(gbk('名称=') + name + b'\r\n' in after, f'the name line is kept: {after!r}')
            g.check(stray + b'\r\n' in after, f'the stray line is kept: {after!r}')
            for line in geometry_lines(frame):
                g.check(line in after, f'{line!r} saved in {after!r}')
        finally:
            run.kill()

    def megabyte_line(self):
        address = b'http://127.0.0.1:9/' + b'a' * (1 << 20)
        before = SECTION_LINE + gbk('名称=长行\r\n地址=') + address + b'\r\n'
        run = Run(self.suite, file_with(before))
        try:
            window, frame = self.shown(run, '^长行   V1\\.3$')
            g.check(frame == (50, 50, 900, 660), f'frame {frame}')
            run.close(self.screen, window)
            g.check(gbk('地址=') + address + b'\r\n' in run.ini_bytes(), 'the 1 MiB line is kept whole')
        finally:
            run.kill()

    def directory_in_its_place(self):
        def prepare(folder):
            os.mkdir(os.path.join(folder, 'yxq.ini'))
            with open(os.path.join(folder, 'yxq.ini', 'inside'), 'w') as f:
                f.write('keep me')
        run = Run(self.suite, prepare)
        try:
            window, frame = self.shown(run, '^未设置名称   V1\\.3$')
            g.check(frame == (50, 50, 900, 660), f'the defaults: {frame}')
            run.close(self.screen, window)
            g.check(os.path.isdir(run.ini), 'still a directory')
            g.check(os.listdir(run.ini) == ['inside'], f'its content: {os.listdir(run.ini)}')
            with open(os.path.join(run.ini, 'inside')) as f:
                g.check(f.read() == 'keep me', 'the file inside is untouched')
        finally:
            run.kill()

    def place_on_no_monitor(self):
        before = SECTION_LINE + gbk('名称=远方\r\n宽度=900\r\n高度=660\r\n左边=3000\r\n顶边=100\r\n')
        run = Run(self.suite, file_with(before))
        try:
            window, frame = self.shown(run, '^远方   V1\\.3$')
            # Centred on the 1024 x 768 screen with the saved size.
            g.check(frame == (62, 54, 900, 660), f'frame {frame}')
            run.close(self.screen, window)
            after = run.ini_bytes()
            for line in geometry_lines(frame):
                g.check(line in after, f'{line!r} saved in {after!r}')
        finally:
            run.kill()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build', required=True, help='the build folder with webgame-shell')
    args = parser.parse_args()
    if 'DBUS_SESSION_BUS_ADDRESS' not in os.environ:
        print('run me inside dbus-run-session', file=sys.stderr)
        return 2
    suite = g.Suite(os.path.abspath(args.build), False)
    if not os.path.exists(suite.exe):
        print(f'hostile files: {suite.exe} is not built', file=sys.stderr)
        return 1
    suite.start_fake_logind()
    screen = None
    try:
        screen = g.Screen(dict(suite.env))
        suite.env['DISPLAY'] = screen.display
        cases = Cases(suite, screen)
        suite.test('hostile yxq.ini: invalid GBK and a NUL byte', cases.invalid_gbk_and_nul)
        suite.test('hostile yxq.ini: a 1 MiB line', cases.megabyte_line)
        suite.test('hostile yxq.ini: a directory in its place', cases.directory_in_its_place)
        suite.test('hostile yxq.ini: a saved place on no monitor', cases.place_on_no_monitor)
    finally:
        if screen is not None:
            screen.close()
        suite.stop_fake_logind()
        shutil.rmtree(suite.tmp, ignore_errors=True)
    failed = [r for r in suite.results if not r[1]]
    print(f'hostile files (gtk): {len(suite.results) - len(failed)} passed, {len(failed)} failed')
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
