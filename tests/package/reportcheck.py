"""Helpers shared by the package and manual tests: data files, programs, PDF contents."""

import datetime
import glob
import os
import re
import subprocess


def run(args, env=None, timeout=300, **kwargs):
    """Runs args and returns the finished process; output is captured as text."""
    return subprocess.run(args, env=env, timeout=timeout, capture_output=True, text=True, **kwargs)


PACKAGES = ("tallyrow-export", "tallyrow-reports")


def make_packages(build_dir, workdir, *cpack_options):
    """The packages by name: those $TALLYROW_DEB names (paths separated by blanks, as scripts/package
    prints them) when it is set; otherwise the ones cpack makes from `build_dir`."""
    given = os.environ.get("TALLYROW_DEB")
    if given:
        debs = given.split()
    else:
        done = run(["cpack", "--config", os.path.join(build_dir, "CPackConfig.cmake"), *cpack_options, "-B",
                    workdir], timeout=900)
        if done.returncode != 0:
            raise AssertionError("cpack failed:\n" + done.stdout + done.stderr)
        debs = glob.glob(os.path.join(workdir, "*.deb"))
    packages = {run(["dpkg-deb", "-f", deb, "Package"]).stdout.strip(): deb for deb in debs}
    if sorted(packages) != sorted(PACKAGES):
        raise AssertionError(f"expected the packages {PACKAGES}, got {debs}")
    return packages


def quiet_env(home, path):
    """A small, predictable environment such as cron or a systemd user manager gives a job."""
    return {
        "HOME": home,
        "PATH": path,
        "LANG": "C.UTF-8",
        "XDG_CONFIG_HOME": os.path.join(home, ".config"),
        "XDG_CACHE_HOME": os.path.join(home, ".cache"),
        "XDG_RUNTIME_DIR": os.path.join(home, ".run"),
    }


def make_data_file(sample_data, target, users=3, years=1):
    """Writes a small office ending today (so "last week" has activity) with tallyrow-sample-data."""
    os.makedirs(os.path.dirname(target), exist_ok=True)
    done = run([sample_data, "--output", target, "--users", str(users), "--years", str(years), "--seed", "7"])
    if done.returncode != 0:
        raise AssertionError(f"tallyrow-sample-data failed ({done.returncode}): {done.stderr}")
    return target


def pdf_text(path):
    done = run(["pdftotext", "-layout", path, "-"])
    if done.returncode != 0:
        raise AssertionError(f"pdftotext cannot read {path}: {done.stderr}")
    return done.stdout


def pdf_pages(path):
    done = run(["pdfinfo", path])
    if done.returncode != 0:
        raise AssertionError(f"pdfinfo cannot read {path}: {done.stderr}")
    match = re.search(r"^Pages:\s+(\d+)", done.stdout, re.M)
    return int(match.group(1)) if match else 0


def report_range(text):
    """The "From ... to ..." line of a report as two dates (short dates of the C or the US locale)."""
    match = re.search(r"From (.+?) to (.+?)\s*$", text, re.M)
    if not match:
        raise AssertionError("the report names no date range:\n" + text[:600])

    def parse(value):
        for form in ("%d %b %Y", "%m/%d/%y", "%Y-%m-%d"):
            try:
                return datetime.datetime.strptime(value.strip(), form).date()
            except ValueError:
                pass
        raise AssertionError(f"'{value}' is not a date the test knows")

    return parse(match.group(1)), parse(match.group(2))


def check_last_week_report(testcase, pdf, title, today=None):
    """A readable PDF with the report's title whose range is the last complete week before today."""
    today = today or datetime.date.today()
    testcase.assertTrue(os.path.isfile(pdf), f"{pdf} was not written")
    testcase.assertGreaterEqual(pdf_pages(pdf), 1)
    text = pdf_text(pdf)
    testcase.assertIn(title, text)
    first, last = report_range(text)
    testcase.assertEqual((last - first).days, 6, f"not a week: {first} to {last}")
    testcase.assertLess(last, today)
    # The week just ended, or (run on the first day of a week) the one before it.
    testcase.assertLessEqual((today - last).days, 8, f"{first} to {last} is not last week")
