"""Runs the scheduled-report examples of the manual as a scheduler would run them.

The unit files and the crontab line are taken from the manual page itself, so a broken example
fails here. systemd and cron are not running in a test; their part is done by hand the way each
documents it: systemd expands %h, %% and $$ and splits ExecStart with its quoting rules; cron
turns \\% into % and runs the command with /bin/sh, PATH=/usr/bin:/bin and HOME set.

usage: test_scheduled_examples.py MANUAL_DIR BIN_DIR
"""

import html
import html.parser
import os
import shlex
import shutil
import sys
import tempfile
import unittest

import reportcheck

MANUAL_DIR = ""
BIN_DIR = ""


class ExampleBlocks(html.parser.HTMLParser):
    """Collects <pre data-file=NAME> and <pre class="crontab"> blocks, entities decoded."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.files = {}
        self.crontab = []
        self._target = None
        self._text = []

    def handle_starttag(self, tag, attrs):
        if tag != "pre":
            return
        attrs = dict(attrs)
        if "data-file" in attrs:
            self._target = ("file", attrs["data-file"])
        elif attrs.get("class") == "crontab":
            self._target = ("crontab", None)
        self._text = []

    def handle_data(self, data):
        if self._target:
            self._text.append(data)

    def handle_endtag(self, tag):
        if tag == "pre" and self._target:
            kind, name = self._target
            text = "".join(self._text)
            if kind == "file":
                self.files[name] = text
            else:
                self.crontab.extend(line for line in text.splitlines() if line.strip())
            self._target = None


def read_examples():
    parser = ExampleBlocks()
    with open(os.path.join(MANUAL_DIR, "scheduled-reports.html"), encoding="utf-8") as page:
        parser.feed(page.read())
    return parser


def unit_setting(unit_text, section, key):
    current = None
    for line in unit_text.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = line[1:-1]
        elif current == section and line.startswith(key + "="):
            return line[len(key) + 1:]
    return None


def systemd_command_line(exec_start, home):
    """ExecStart as systemd hands it to exec(): specifiers, then "$$", then word splitting."""
    out = []
    i = 0
    while i < len(exec_start):
        c = exec_start[i]
        if c == "%" and i + 1 < len(exec_start):
            letter = exec_start[i + 1]
            if letter == "%":
                out.append("%")
            elif letter == "h":
                out.append(home)
            else:
                raise AssertionError(f"the example uses the specifier %{letter}, which this test does not know")
            i += 2
            continue
        out.append(c)
        i += 1
    expanded = "".join(out)
    if "$" in expanded.replace("$$", ""):
        raise AssertionError("the example leaves a $ for systemd to expand: " + expanded)
    return [word.replace("$$", "$") for word in shlex.split(expanded)]


def cron_command(line):
    """The command part of a crontab line as cron gives it to /bin/sh -c."""
    fields = line.split(None, 5)
    if len(fields) < 6:
        raise AssertionError("not a crontab line: " + line)
    command = fields[5]
    # An unescaped % ends the command (the rest is its standard input); \% is a literal %.
    i = 0
    out = []
    while i < len(command):
        if command[i] == "\\" and command[i + 1:i + 2] == "%":
            out.append("%")
            i += 2
        elif command[i] == "%":
            raise AssertionError("an unescaped % cuts the cron command short: " + line)
        else:
            out.append(command[i])
            i += 1
    return fields[:5], "".join(out)


class ScheduledExamples(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.examples = read_examples()
        cls.sample_data = os.path.join(BIN_DIR, "tallyrow-sample-data")

    def make_home(self):
        home = tempfile.mkdtemp(prefix="tallyrow-sched-")
        self.addCleanup(shutil.rmtree, home, ignore_errors=True)
        reportcheck.make_data_file(self.sample_data, os.path.join(home, "Tallyrow", "office.yrd"))
        os.makedirs(os.path.join(home, ".run"), mode=0o700)
        return home

    def written_reports(self, home):
        folder = os.path.join(home, "Reports")
        return sorted(os.path.join(folder, f) for f in os.listdir(folder)) if os.path.isdir(folder) else []

    def test_the_page_holds_both_examples(self):
        self.assertEqual(sorted(self.examples.files), ["tallyrow-weekly.service", "tallyrow-weekly.timer"])
        self.assertEqual(len(self.examples.crontab), 1, self.examples.crontab)

    def test_systemd_units_are_valid(self):
        analyze = shutil.which("systemd-analyze")
        if not analyze:
            self.skipTest("systemd-analyze is not installed")
        folder = tempfile.mkdtemp(prefix="tallyrow-units-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "run"), mode=0o700)
        paths = []
        for name, text in self.examples.files.items():
            paths.append(os.path.join(folder, name))
            with open(paths[-1], "w", encoding="utf-8") as unit:
                unit.write(text)
        env = dict(os.environ, XDG_RUNTIME_DIR=os.path.join(folder, "run"))
        done = reportcheck.run([analyze, "verify", "--user", *paths], env=env, timeout=60)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(done.stderr.strip(), "", "systemd warns about the example units")

        timer = self.examples.files["tallyrow-weekly.timer"]
        calendar = unit_setting(timer, "Timer", "OnCalendar")
        done = reportcheck.run([analyze, "calendar", calendar], timeout=30)
        self.assertEqual(done.returncode, 0, done.stderr)
        # Tuesday is never the first day of a week, so "--last week" is always the week just ended.
        self.assertIn("Next elapse: Tue ", done.stdout)

    def test_systemd_service_writes_last_weeks_report(self):
        service = self.examples.files["tallyrow-weekly.service"]
        self.assertEqual(unit_setting(service, "Service", "Type"), "oneshot")
        home = self.make_home()
        argv = systemd_command_line(unit_setting(service, "Service", "ExecStart"), home)
        env = reportcheck.quiet_env(home, BIN_DIR + ":/usr/bin:/bin")
        done = reportcheck.run(argv, env=env, cwd="/")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout + done.stderr, "", "a successful run must leave the journal quiet")
        reports = self.written_reports(home)
        self.assertEqual(len(reports), 1, reports)
        self.assertRegex(os.path.basename(reports[0]), r"^weekly-\d{4}-\d{2}-\d{2}\.pdf$")
        reportcheck.check_last_week_report(self, reports[0], "Tallyrow Totals Report")

    def test_cron_line_writes_last_weeks_report(self):
        schedule, command = cron_command(self.examples.crontab[0])
        self.assertEqual(schedule, ["30", "6", "*", "*", "2"])
        home = self.make_home()
        # cron's own PATH; the programs under test are reached through a bin folder of their own
        # that stands in for /usr/bin.
        fake_usr_bin = os.path.join(home, ".usr-bin")
        os.makedirs(fake_usr_bin)
        os.symlink(os.path.join(BIN_DIR, "tallyrow-export"), os.path.join(fake_usr_bin, "tallyrow-export"))
        env = reportcheck.quiet_env(home, fake_usr_bin + ":/usr/bin:/bin")
        env["SHELL"] = "/bin/sh"
        done = reportcheck.run(["/bin/sh", "-c", command], env=env, cwd=home)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout + done.stderr, "", "a successful run must not send cron mail")
        reports = self.written_reports(home)
        self.assertEqual(len(reports), 1, reports)
        reportcheck.check_last_week_report(self, reports[0], "Tallyrow Day Report")

    def test_failed_run_is_reported(self):
        # No data file: the job must fail loudly, so cron mails it and systemd marks the unit failed.
        schedule, command = cron_command(self.examples.crontab[0])
        home = tempfile.mkdtemp(prefix="tallyrow-sched-")
        self.addCleanup(shutil.rmtree, home, ignore_errors=True)
        os.makedirs(os.path.join(home, ".run"), mode=0o700)
        env = reportcheck.quiet_env(home, BIN_DIR + ":/usr/bin:/bin")
        done = reportcheck.run(["/bin/sh", "-c", command], env=env, cwd=home)
        self.assertEqual(done.returncode, 1)
        self.assertIn("tallyrow-export", done.stderr)
        self.assertEqual(self.written_reports(home), [])


if __name__ == "__main__":
    MANUAL_DIR, BIN_DIR = sys.argv[1], os.path.abspath(sys.argv[2])
    del sys.argv[1:3]
    unittest.main(verbosity=2)
