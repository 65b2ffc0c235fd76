"""Debian's own checks accept the package: lintian finds no error or warning, its changelog and
copyright are what Debian's policy asks for, and its AppStream metadata validates and names the
package's menu entry and screenshots of docs/.

The package is $TALLYROW_DEB when that names one (scripts/package prints its path); otherwise
cpack makes it from this build tree, put under /usr as scripts/package puts it, since Debian's
policy forbids /usr/local to a package whatever it holds.

usage: test_debian_checks.py BUILD_DIR SOURCE_DIR
"""

import glob
import gzip
import os
import re
import shutil
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ElementTree

import reportcheck

BUILD_DIR = ""
SOURCE_DIR = ""
HOMEPAGE = "https://www.tallyrow.example/"


def findings(output):
    """The errors and warnings of lintian or appstreamcli, one line each."""
    return [line.strip() for line in output.splitlines() if re.match(r"^\s*[EW]: ", line)]


class DebianChecks(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not shutil.which("dpkg-deb"):
            raise unittest.SkipTest("dpkg-deb is not installed")
        cls.work = tempfile.mkdtemp(prefix="tallyrow-debian-")
        cls.debs = reportcheck.make_packages(BUILD_DIR, os.path.join(cls.work, "cpack"),
                                             "-D", "CPACK_PACKAGING_INSTALL_PREFIX=/usr")
        cls.root = os.path.join(cls.work, "root")
        for deb in cls.debs.values():
            done = reportcheck.run(["dpkg-deb", "-x", deb, cls.root])
            if done.returncode != 0:
                raise AssertionError(done.stderr)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def test_lintian_finds_no_errors_or_warnings(self):
        if not shutil.which("lintian"):
            self.skipTest("lintian is not installed")
        done = reportcheck.run(["lintian", "--tag-display-limit", "0", "--fail-on", "error,warning",
                                *self.debs.values()])
        self.assertEqual(findings(done.stdout), [])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_changelog_names_this_version_and_copyright_is_machine_readable(self):
        # lintian asks only that the files are there; a changelog left at an older revision, or a
        # licence named but never given, would pass it.
        for name, deb in self.debs.items():
            with self.subTest(package=name):
                self.check_changelog_and_copyright(deb, os.path.join(self.root, "usr", "share", "doc", name))

    def check_changelog_and_copyright(self, deb, doc):
        version = reportcheck.run(["dpkg-deb", "-f", deb, "Version"]).stdout.strip()
        changelog = os.path.join(self.work, "changelog")
        with gzip.open(os.path.join(doc, "changelog.Debian.gz")) as packed, open(changelog, "wb") as plain:
            plain.write(packed.read())
        done = reportcheck.run(["dpkg-parsechangelog", "-l", changelog, "-S", "Version"])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.strip(), version)

        with open(os.path.join(doc, "copyright"), encoding="utf-8") as f:
            paragraphs = [p for p in re.split(r"\n\s*\n", f.read().strip())]
        fields = [dict(re.findall(r"^([A-Za-z-]+):[ \t]*(.*)$", p, re.M)) for p in paragraphs]
        self.assertEqual(fields[0].get("Format"),
                         "https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/")
        files = [f for f in fields if "Files" in f]
        self.assertTrue(files and all(f.get("Copyright") and f.get("License") for f in files), fields)
        given = {f["License"] for f, p in zip(fields, paragraphs) if "Files" not in f and "License" in f
                 and len(p.splitlines()) > 1}
        self.assertLessEqual({f["License"] for f in files}, given, "a licence is named but its text is not given")

    def test_appstream_metadata_names_what_the_package_holds(self):
        if not shutil.which("appstreamcli"):
            self.skipTest("appstreamcli is not installed")
        share = os.path.join(self.root, "usr", "share")
        files = glob.glob(os.path.join(share, "metainfo", "*.metainfo.xml"))
        self.assertEqual(len(files), 1, files)
        done = reportcheck.run(["appstreamcli", "validate-tree", "--no-net", self.root])
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(findings(done.stdout), [], done.stdout)

        component = ElementTree.parse(files[0]).getroot()
        self.assertEqual(os.path.basename(files[0]), component.findtext("id") + ".metainfo.xml")
        self.assertTrue(os.path.isfile(os.path.join(share, "applications", component.findtext("launchable"))))
        # Each screenshot is one of docs/, as the web site publishes it.
        images = [image.text for image in component.iter("image")]
        self.assertGreaterEqual(len(images), 1)
        shipped = {os.path.basename(p) for p in glob.glob(os.path.join(SOURCE_DIR, "docs", "**", "*.png"),
                                                          recursive=True)}
        for url in images:
            with self.subTest(url=url):
                self.assertTrue(url.startswith(HOMEPAGE))
                self.assertIn(url.rsplit("/", 1)[-1], shipped)


if __name__ == "__main__":
    BUILD_DIR, SOURCE_DIR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    del sys.argv[1:3]
    unittest.main(verbosity=2)
