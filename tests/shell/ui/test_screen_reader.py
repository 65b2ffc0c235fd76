#!/usr/bin/env python3
"""What a screen reader finds in the main window, read over AT-SPI as Orca reads it.

The real program (the screenshot driver, which opens the window on a data file and shows a
report) runs on a virtual X display with the accessibility bus of a private D-Bus session. The
test reads the window's tree with pyatspi: every list is named by its label (not by the entry it
holds), the lock box of the dates has its name, and a report that has finished is announced as a
notification that becomes showing, which a reader speaks whatever has the focus.

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

SKIPPED = 77
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def skip(reason):
    if os.environ.get("CI") == "true":
        print(f"{reason} (CI=true, so this is a failure)")
        sys.exit(1)
    print(f"skipped: {reason}")
    sys.exit(SKIPPED)


def start_display(work):
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=work)
    os.close(write_end)
    with os.fdopen(read_end) as pipe:
        number = pipe.readline().strip()
    if not number:
        xvfb.kill()
        skip("Xvfb did not start")
    return xvfb, f":{number}"


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
        try:
            child = node.getChildAtIndex(i)
        except Exception:  # an object that went away while it was read
            continue
        yield from walk(child, depth + 1)


def program_window(pyatspi, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and name in (app.name or ""):
            return app
    return None


def check_lists(pyatspi, app, failures):
    wanted = {"User and computer", "Chart type", "Over this date range show...", "On the graph show...",
              "Show time on graph as", "Period", "Show active time per", "Show time as"}
    named = {}
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_COMBO_BOX:
            named[node.name] = node
    missing = sorted(wanted - named.keys())
    if missing:
        failures.append(f"lists not announced by their label: {missing}; the lists are named {sorted(named)}")
    lock = [n for n in walk(app) if n.getRole() == pyatspi.ROLE_CHECK_BOX and n.name == "Lock dates"]
    if not lock:
        failures.append("no check box is named Lock dates")


def check_announcement(pyatspi, app, failures):
    from gi.repository import GLib

    heard = []

    def on_showing(event):
        source = event.source
        if event.detail1 == 1 and source is not None and source.getRole() == pyatspi.ROLE_NOTIFICATION:
            heard.append(source.name)

    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    preview = next((n for n in walk(app) if n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                    and (n.name or "").startswith("Preview")), None)
    if preview is None:
        failures.append("no Preview button in the tree")
        return
    actions = preview.queryAction()
    actions.doAction(next(i for i in range(actions.nActions) if actions.getName(i) == "Press"))
    context = GLib.MainContext.default()
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline and not heard:
        while context.pending():
            context.iteration(False)
        time.sleep(0.05)
    pyatspi.Registry.deregisterEventListener(on_showing, "object:state-changed:showing")
    if not any(text.startswith("Report ready: ") for text in heard):
        failures.append(f"a finished report was not announced (notifications heard: {heard})")


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    bin_dir = sys.argv[1]
    for tool in ("Xvfb", "dbus-run-session"):
        if not shutil.which(tool):
            skip(f"{tool} is missing (xvfb, dbus)")
    if not os.access(BUS_LAUNCHER, os.X_OK):
        skip("the AT-SPI bus is missing (at-spi2-core)")
    try:
        import pyatspi  # noqa: F401 (checked before the session is made)
    except ImportError:
        # Debian's pyatspi belongs to Debian's Python, which may not be the first on the PATH.
        system = "/usr/bin/python3"
        if os.access(system, os.X_OK) and os.path.realpath(sys.executable) != os.path.realpath(system):
            os.execv(system, [system, __file__, bin_dir])
        skip("pyatspi is missing (python3-pyatspi)")
    if os.environ.get("TALLYROW_IN_SESSION") != "1":
        env = dict(os.environ, TALLYROW_IN_SESSION="1")
        return subprocess.call(["dbus-run-session", "--", sys.executable, __file__, bin_dir], env=env)
    return in_session(bin_dir)


def in_session(bin_dir):
    work = tempfile.mkdtemp(prefix="tallyrow-reader-")
    started = []
    try:
        xvfb, display = start_display(work)
        started.append(xvfb)
        env = dict(os.environ, DISPLAY=display, HOME=work, XDG_CONFIG_HOME=os.path.join(work, "config"),
                   QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
        os.environ.update(DISPLAY=display)
        started.append(subprocess.Popen([BUS_LAUNCHER, "--launch-immediately"], env=env,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        last = date.today() - timedelta(days=date.today().weekday() + 1)
        first = last - timedelta(days=27)
        data = os.path.join(work, "office.yrd")
        subprocess.run([os.path.join(bin_dir, "tallyrow-sample-data"), "--output", data, "--users", "4",
                        "--computers", "2", "--from", first.isoformat(), "--to", last.isoformat(),
                        "--seed", "7"], check=True, stdout=subprocess.DEVNULL, env=env)
        ready = os.path.join(work, "ready")
        window = subprocess.Popen([os.path.join(bin_dir, "tallyrow-screenshot-driver"), "--data", data,
                                   "--report", "totals", "--from", first.isoformat(), "--to", last.isoformat(),
                                   "--ready", ready], env=env)
        started.append(window)
        wait_for("the report in the window", 60, lambda: os.path.exists(ready) or window.poll() is not None)
        if window.poll() is not None:
            raise AssertionError("the program ended before its report was shown")

        import pyatspi
        app = wait_for("the program on the accessibility bus", 20,
                       lambda: program_window(pyatspi, "tallyrow-screenshot-driver"))
        failed = 0
        for check in (check_lists, check_announcement):
            failures = []
            check(pyatspi, app, failures)
            for failure in failures:
                print(f"FAIL: {failure}")
            failed += bool(failures)
        print(f"{2 - failed} passed, {failed} failed")
        return 1 if failed else 0
    finally:
        for process in reversed(started):
            process.terminate()
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
