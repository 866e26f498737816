"""The accessibility bus for GUI tests that choose menu items by name.

The launcher answers only after it has started its own bus; a test that
touches pyatspi before that aborts inside libatspi ("Couldn't connect to
accessibility bus"), which on a busy machine happens. So the launcher is
started and the test waits until the bus hands out its address and the
registry answers there.
"""
import subprocess
import time


def _ask(args, env):
    try:
        done = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                              timeout=10, text=True)
    except subprocess.TimeoutExpired:
        return None
    return done.stdout if done.returncode == 0 else None


def start_accessibility_bus(env, timeout=60):
    """Starts at-spi-bus-launcher in `env` and returns its process once the
    bus and its registry answer; raises RuntimeError when they never do."""
    launcher = subprocess.Popen(['/usr/libexec/at-spi-bus-launcher', '--launch-immediately'], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        reply = _ask(['dbus-send', '--session', '--print-reply=literal', '--dest=org.a11y.Bus',
                      '/org/a11y/bus', 'org.a11y.Bus.GetAddress'], env)
        address = reply.strip() if reply else ''
        if address and _ask(['dbus-send', f'--bus={address}', '--print-reply',
                             '--dest=org.a11y.atspi.Registry', '/org/a11y/atspi/registry',
                             'org.freedesktop.DBus.Peer.Ping'], env) is not None:
            return launcher
        time.sleep(0.2)
    launcher.terminate()
    raise RuntimeError('the accessibility bus did not come up')
