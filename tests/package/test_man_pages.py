"""The man pages render without troff warnings and describe every option the programs take;
the manual's pages link to files that exist.

usage: test_man_pages.py MAN_DIR MANUAL_DIR BIN_DIR
"""

import html.parser
import os
import re
import shutil
import sys
import unittest

import reportcheck

MAN_DIR = ""
MANUAL_DIR = ""
BIN_DIR = ""
PAGES = ["tallyrow-reports", "tallyrow-export", "tallyrow-sample-data"]


def man_text(page):
    """The page as a reader sees it, one line per output line, hyphens as typed."""
    done = reportcheck.run(["groff", "-man", "-Tutf8", "-P-cbou", os.path.join(MAN_DIR, page + ".1")],
                           env=dict(os.environ, LANG="C.UTF-8"), timeout=60)
    if done.returncode != 0:
        raise AssertionError(done.stderr)
    return done.stdout.replace("\u2010", "-").replace("\u2212", "-")


def long_options(text):
    return set(re.findall(r"(?<![\w-])--([a-z][a-z-]*)", text))


class ManPages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("groff"):
            raise unittest.SkipTest("groff is not installed")

    def test_pages_render_without_warnings(self):
        for page in PAGES:
            with self.subTest(page=page):
                done = reportcheck.run(["groff", "-man", "-Tutf8", "-ww", "-z", os.path.join(MAN_DIR, page + ".1")],
                                       timeout=60)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stderr, "", f"{page}.1 has troff warnings")
                with open(os.path.join(MAN_DIR, page + ".1"), encoding="utf-8") as source:
                    self.assertNotRegex(source.read(), r"@[A-Z_]+@", "a variable was left unconfigured")

    def test_export_page_lists_every_option_of_help(self):
        done = reportcheck.run([os.path.join(BIN_DIR, "tallyrow-export"), "--help"],
                               env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
        self.assertEqual(done.returncode, 0, done.stderr)
        in_help = long_options(done.stdout)
        self.assertIn("last", in_help)
        page = man_text("tallyrow-export")
        self.assertEqual(sorted(in_help - long_options(page)), [], "options of --help the man page leaves out")
        self.assertEqual(sorted(long_options(page) - in_help), [], "options of the man page that --help does not know")
        # Every format the tool accepts is named.
        formats = re.search(r"--format ([a-z|]+)", done.stdout).group(1).split("|")
        for fmt in formats:
            self.assertRegex(page, rf"\b{fmt}\b")

    def test_sample_data_page_lists_every_option_of_usage(self):
        done = reportcheck.run([os.path.join(BIN_DIR, "tallyrow-sample-data")])
        self.assertEqual(done.returncode, 2)
        in_usage = long_options(done.stderr)
        self.assertIn("rows", in_usage)
        page = man_text("tallyrow-sample-data")
        self.assertEqual(sorted(in_usage - long_options(page)), [])
        # An option the page describes is one the program really takes.
        for option in sorted(long_options(page) - in_usage):
            with self.subTest(option=option):
                probe = reportcheck.run([os.path.join(BIN_DIR, "tallyrow-sample-data"), "--" + option, "1"])
                self.assertNotIn("unknown option", probe.stderr)

    def test_reports_page_names_the_data_path_option(self):
        page = man_text("tallyrow-reports")
        self.assertIn("datapath=FILE", page)
        self.assertIn("--datapath=FILE", page)


class ManualLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.targets = []
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for key in ("href", "src"):
            if tag in ("a", "img", "link") and attrs.get(key):
                self.targets.append(attrs[key])


class Manual(unittest.TestCase):
    def parse(self, name):
        parser = ManualLinks()
        with open(os.path.join(MANUAL_DIR, name), encoding="utf-8") as page:
            parser.feed(page.read())
        return parser

    def test_local_links_resolve(self):
        pages = sorted(f for f in os.listdir(MANUAL_DIR) if f.endswith(".html"))
        parsed = {name: self.parse(name) for name in pages}
        for name, page in parsed.items():
            for target in page.targets:
                if re.match(r"^[a-z]+:", target):
                    continue
                with self.subTest(page=name, target=target):
                    file, _, anchor = target.partition("#")
                    file = file or name
                    self.assertTrue(os.path.isfile(os.path.join(MANUAL_DIR, file)), "missing file")
                    if anchor:
                        self.assertIn(anchor, parsed[file].ids if file in parsed else set(), "missing anchor")

    def test_index_links_the_scheduled_reports_page(self):
        self.assertIn("scheduled-reports.html", self.parse("index.html").targets)


if __name__ == "__main__":
    MAN_DIR, MANUAL_DIR, BIN_DIR = sys.argv[1], sys.argv[2], os.path.abspath(sys.argv[3])
    del sys.argv[1:4]
    unittest.main(verbosity=2)
