#!/usr/bin/env python3
"""What a screen reader finds in the main window, read over AT-SPI as a reader reads it.

The real window (the screenshot driver opens it on a data file and shows a report) runs on a
virtual X display, with the accessibility bus of a private D-Bus session. Checked: every list is
named by its label, not by the entry it holds; the lock box of the dates has its name; a report
that has finished is announced by a notification that becomes showing, which a reader speaks
wherever the focus is.

Usage: test_screen_reader.py BIN_DIR. Exits 77 (skipped) when Xvfb, D-Bus, the AT-SPI bus or
pyatspi are missing, unless CI=true, where that is a failure.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time
from datetime import date, timedelta

BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
LISTS = {"User and computer", "Chart type", "Over this date range show...", "On the graph show...",
         "Show time on graph as", "Period", "Show active time per", "Show time as"}


def skip(reason):
    if os.environ.get("CI") == "true":
        print(f"{reason} (CI=true, so this is a failure)")
        sys.exit(1)
    print(f"skipped: {reason}")
    sys.exit(77)


def wait_for(what, seconds, check):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = check()
        if found:
            return found
        time.sleep(0.1)
    raise AssertionError(f"{what} did not happen within {seconds} s")


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def check_names(pyatspi, app):
    named = {n.name for n in walk(app) if n.getRole() == pyatspi.ROLE_COMBO_BOX}
    failures = [f"lists not announced by their label: {sorted(LISTS - named)}; they are named {sorted(named)}"]
    if LISTS <= named:
        failures = []
    if not any(n.getRole() == pyatspi.ROLE_CHECK_BOX and n.name == "Lock dates" for n in walk(app)):
        failures.append("no check box is named Lock dates")
    return failures


def check_announcement(pyatspi, app):
    from gi.repository import GLib

    heard = []

    def on_showing(event):
        if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
            heard.append(event.source.name)

    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    preview = next(n for n in walk(app) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                   and (n.name or "").startswith("Preview"))
    actions = preview.queryAction()
    actions.doAction(next(i for i in range(actions.nActions) if actions.getName(i) == "Press"))
    context = GLib.MainContext.default()
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and not heard:
        while context.pending():
            context.iteration(False)
        time.sleep(0.05)
    if any(text.startswith("Report ready: ") for text in heard):
        return []
    return [f"a finished report was not announced (notifications heard: {heard})"]


def in_session(bin_dir, work):
    read_end, write_end = os.pipe()
    started = [subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24",
                                 "-nolisten", "tcp"], pass_fds=(write_end,), stderr=subprocess.DEVNULL)]
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        os.environ["DISPLAY"] = ":" + pipe.readline().strip()
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"), QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    try:
        started.append(subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=env, stderr=subprocess.DEVNULL))
        last = date.today() - timedelta(days=date.today().weekday() + 1)
        first, data, ready = last - timedelta(days=27), os.path.join(work, "office.yrd"), os.path.join(work, "ready")
        subprocess.run([os.path.join(bin_dir, "tallyrow-sample-data"), "--output", data, "--users", "4", "--from",
                        first.isoformat(), "--to", last.isoformat()], check=True, stdout=subprocess.DEVNULL, env=env)
        window = subprocess.Popen([os.path.join(bin_dir, "tallyrow-screenshot-driver"), "--data", data, "--report",
                                   "totals", "--from", first.isoformat(), "--to", last.isoformat(), "--ready", ready],
                                  env=env)
        started.append(window)
        wait_for("the report in the window", 60, lambda: os.path.exists(ready) or window.poll() is not None)
        assert window.poll() is None, "the program ended before its report was shown"
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        app = wait_for("the program on the accessibility bus", 20, lambda: next(
            (a for a in desktop if a is not None and "tallyrow-screenshot-driver" in (a.name or "")), None))
        failed = 0
        for check in (check_names, check_announcement):
            failures = check(pyatspi, app)
            for failure in failures:
                print(f"FAIL: {failure}")
            failed += bool(failures)
        print(f"{2 - failed} passed, {failed} failed")
        return 1 if failed else 0
    finally:
        for process in reversed(started):
            process.terminate()
            process.wait(timeout=10)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    bin_dir = sys.argv[1]
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            skip(f"{tool} is missing (xvfb, dbus-daemon)")
    if not os.access(BUS_LAUNCHER, os.X_OK):
        skip("the AT-SPI bus is missing (at-spi2-core)")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        # Debian's pyatspi belongs to Debian's Python, which may not be the first on the PATH.
        system = "/usr/bin/python3"
        if os.access(system, os.X_OK) and os.path.realpath(sys.executable) != os.path.realpath(system):
            os.execv(system, [system, __file__, bin_dir])
        skip("pyatspi is missing (python3-pyatspi, gir1.2-atspi-2.0)")
    if os.environ.get("TALLYROW_IN_SESSION") != "1":
        env = dict(os.environ, TALLYROW_IN_SESSION="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable, __file__, bin_dir], env=env)
    with tempfile.TemporaryDirectory(prefix="tallyrow-reader-") as work:
        return in_session(bin_dir, work)


if __name__ == "__main__":
    sys.exit(main())
