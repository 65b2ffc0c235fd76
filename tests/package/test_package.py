"""Installs the Debian packages into a scratch root with dpkg -x and runs the programs from there:
both packages together, and the tool's package on its own, as a server without a desktop has it.

The packages are those $TALLYROW_DEB names (scripts/package prints their paths); otherwise they
are made from this build tree with cpack. Nothing of the build tree is on the programs' way: they
must find their reader, template and fonts in what the packages install and declare.

usage: test_package.py BUILD_DIR SOURCE_DIR
"""

import glob
import json
import os
import re
import shutil
import stat
import sys
import tempfile
import unittest

import reportcheck

BUILD_DIR = ""
SOURCE_DIR = ""


def control_field(deb, field):
    done = reportcheck.run(["dpkg-deb", "-f", deb, field])
    return done.stdout.strip()


def dependency_names(depends):
    """"libc6 (>= 2.34), libqt6core6 (>= 6.4), fonts-wine" -> {"libc6", "libqt6core6", "fonts-wine"}"""
    names = set()
    for item in depends.split(","):
        for alternative in item.split("|"):
            name = alternative.strip().split(" ")[0].split(":")[0]
            if name:
                names.add(name)
    return names


def owning_package(path):
    for candidate in (path, os.path.realpath(path)):
        done = reportcheck.run(["dpkg-query", "-S", candidate])
        if done.returncode == 0:
            return done.stdout.split(":")[0].strip()
    return None


def is_elf(path):
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


class InstalledPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for tool in ("dpkg-deb", "dpkg-query"):
            if not shutil.which(tool):
                raise unittest.SkipTest(f"{tool} is not installed")
        cls.work = tempfile.mkdtemp(prefix="tallyrow-package-")
        cls.debs = reportcheck.make_packages(BUILD_DIR, os.path.join(cls.work, "cpack"))
        cls.root = os.path.join(cls.work, "root")
        cls.server_root = os.path.join(cls.work, "server")
        for root, packages in ((cls.root, reportcheck.PACKAGES), (cls.server_root, ["tallyrow-export"])):
            for package in packages:
                done = reportcheck.run(["dpkg-deb", "-x", cls.debs[package], root])
                if done.returncode != 0:
                    raise AssertionError(done.stderr)
        links = glob.glob(os.path.join(cls.root, "**", "bin", "tallyrow-export"), recursive=True)
        if len(links) != 1:
            raise AssertionError(f"the package has no single bin/tallyrow-export: {links}")
        cls.bindir = os.path.dirname(links[0])
        cls.prefix = os.path.dirname(cls.bindir)
        cls.programs = os.path.dirname(os.path.realpath(links[0]))
        cls.depends = {name: control_field(deb, "Depends") for name, deb in cls.debs.items()}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def env(self, home):
        env = reportcheck.quiet_env(home, "/usr/bin:/bin")
        os.makedirs(env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        return env

    def home(self):
        home = tempfile.mkdtemp(prefix="home-", dir=self.work)
        return home

    def test_control_fields(self):
        for name, deb in self.debs.items():
            with self.subTest(package=name):
                self.assertEqual(control_field(deb, "Architecture"),
                                 reportcheck.run(["dpkg", "--print-architecture"]).stdout.strip())
                self.assertRegex(control_field(deb, "Version"), r"^\d+\.\d+\.\d+")
                self.assertTrue(control_field(deb, "Description"))
        version = control_field(self.debs["tallyrow-export"], "Version")
        self.assertIn(f"tallyrow-export (= {version})", self.depends["tallyrow-reports"])

    def test_the_tools_package_needs_no_widgets_and_no_desktop(self):
        declared = dependency_names(self.depends["tallyrow-export"])
        for package in ("libqt6widgets6", "xdg-utils", "tallyrow-reports"):
            with self.subTest(package=package):
                self.assertNotIn(package, declared)
        programs = os.path.join(self.server_root, os.path.relpath(self.programs, self.root))
        self.assertEqual(sorted(os.listdir(programs)),
                         ["tallyrow-export", "tallyrow-mdb-reader", "tallyrow-sample-data"])
        for program in os.listdir(programs):
            with self.subTest(program=program):
                dynamic = reportcheck.run(["readelf", "-d", os.path.join(programs, program)]).stdout
                self.assertNotIn("libQt6Widgets", dynamic)
        share = os.path.join(self.server_root, os.path.relpath(self.prefix, self.root), "share")
        self.assertTrue(os.path.isfile(os.path.join(share, "bash-completion", "completions", "tallyrow-export")))
        self.assertTrue(os.path.isfile(os.path.join(share, "zsh", "vendor-completions", "_tallyrow-export")))
        self.assertFalse(os.path.exists(os.path.join(share, "applications")))

    def test_layout(self):
        self.assertTrue(self.programs.startswith(self.root + os.sep), "a command on the PATH leads out of the package")
        for program in ("tallyrow-reports", "tallyrow-export", "tallyrow-sample-data"):
            with self.subTest(program=program):
                link = os.path.join(self.bindir, program)
                self.assertTrue(os.path.islink(link), "commands are links into the program folder")
                self.assertFalse(os.path.isabs(os.readlink(link)), "an absolute link would leave the install root")
                target = os.path.realpath(link)
                self.assertEqual(os.path.dirname(target), self.programs)
                self.assertTrue(os.stat(target).st_mode & stat.S_IXOTH)
                self.assertTrue(os.path.isfile(os.path.join(self.prefix, "share", "man", "man1", program + ".1.gz")))
        # What the programs look for in their own folder; the manual lies where Debian keeps manuals.
        manual = os.path.join(self.prefix, "share", "doc", "tallyrow-reports", "html")
        self.assertEqual(os.path.realpath(os.path.join(self.programs, "manual")), os.path.realpath(manual))
        with open(os.path.join(self.prefix, "share", "doc-base", "tallyrow-reports"), encoding="utf-8") as f:
            self.assertIn("Index: /" + os.path.relpath(os.path.join(manual, "index.html"), self.root), f.read())
        for name in ("tallyrow-mdb-reader", "empty.yrt", "manual/index.html", "manual/scheduled-reports.html",
                     "manual/style.css"):
            with self.subTest(name=name):
                self.assertTrue(os.path.isfile(os.path.join(self.programs, name)))
        self.assertTrue(os.access(os.path.join(self.programs, "tallyrow-mdb-reader"), os.X_OK))
        share = os.path.join(self.prefix, "share")
        with open(os.path.join(share, "applications", "tallyrow-reports.desktop"), encoding="utf-8") as f:
            desktop = f.read()
        self.assertIn("Exec=tallyrow-reports %f", desktop)
        self.assertIn("MimeType=application/x-tallyrow-report;", desktop)
        self.assertTrue(os.path.isfile(os.path.join(share, "mime", "packages", "tallyrow-reports.xml")))
        self.assertTrue(os.path.isfile(os.path.join(share, "icons", "hicolor", "scalable", "apps",
                                                    "tallyrow-reports.svg")))
        if shutil.which("desktop-file-validate"):
            done = reportcheck.run(["desktop-file-validate",
                                    os.path.join(share, "applications", "tallyrow-reports.desktop")])
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

    def test_man_pages_name_the_installed_program_folder(self):
        installed_folder = "/" + os.path.relpath(self.programs, self.root)
        page = os.path.join(self.prefix, "share", "man", "man1", "tallyrow-reports.1.gz")
        done = reportcheck.run(["sh", "-c", 'gzip -dc "$1"', "sh", page])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn(installed_folder, done.stdout.replace("\\-", "-"))

    def test_depends_covers_every_linked_library(self):
        binaries = [os.path.join(self.programs, f) for f in sorted(os.listdir(self.programs))
                    if os.path.isfile(os.path.join(self.programs, f)) and is_elf(os.path.join(self.programs, f))]
        self.assertGreaterEqual(len(binaries), 4, binaries)
        for binary in binaries:
            # The desktop's package depends on the tool's, so it has the tool's dependencies too.
            declared = dependency_names(self.depends["tallyrow-export"])
            if not os.path.exists(os.path.join(self.server_root, os.path.relpath(binary, self.root))):
                declared |= dependency_names(self.depends["tallyrow-reports"])
            needed = re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]",
                                reportcheck.run(["readelf", "-d", binary]).stdout)
            ldd = reportcheck.run(["ldd", binary]).stdout
            resolved = dict(re.findall(r"^\s*(\S+) => (/\S+)", ldd, re.M))
            # The dynamic loader is listed by its path alone.
            resolved.update((os.path.basename(p), p) for p in re.findall(r"^\s*(/\S+) \(", ldd, re.M))
            for library in needed:
                with self.subTest(binary=os.path.basename(binary), library=library):
                    self.assertIn(library, resolved, "the library is not found on this machine")
                    owner = owning_package(resolved[library])
                    self.assertIsNotNone(owner, f"no package owns {resolved[library]}")
                    self.assertIn(owner, declared)

    def test_depends_covers_what_is_loaded_at_run_time(self):
        # The PostgreSQL driver, the report fonts and the desktop's opener are loaded or run by
        # name; no linker sees them.
        wanted = {"tallyrow-export": ("libqt6sql6-psql", "fonts-wine", "fonts-dejavu-core", "libmdb3"),
                  "tallyrow-reports": ("xdg-utils", "tallyrow-export")}
        for name, packages in wanted.items():
            for package in packages:
                with self.subTest(package=name, needs=package):
                    self.assertIn(package, dependency_names(self.depends[name]))
        declared = dependency_names(self.depends["tallyrow-export"]) | dependency_names(self.depends["tallyrow-reports"])
        declared.discard("tallyrow-export")
        for package in sorted(declared):
            with self.subTest(installed=package):
                done = reportcheck.run(["dpkg-query", "-W", "-f", "${Status}", package])
                self.assertIn("installed", done.stdout, f"{package} is declared but not a package here")

    def test_export_help_runs_from_the_scratch_root(self):
        done = reportcheck.run([os.path.join(self.bindir, "tallyrow-export"), "--help"], env=self.env(self.home()))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout.startswith("Usage: tallyrow-export"), done.stdout[:200])
        self.assertEqual(done.stderr, "")

    def test_report_from_a_sample_data_file(self):
        # With both packages, and with the tool's package alone, as on a server.
        for root in (self.root, self.server_root):
            with self.subTest(root=os.path.basename(root)):
                bindir = os.path.join(root, os.path.relpath(self.bindir, self.root))
                home = self.home()
                env = self.env(home)
                data = os.path.join(home, "office.yrd")
                done = reportcheck.run([os.path.join(bindir, "tallyrow-sample-data"), "--output", data, "--users",
                                        "3", "--seed", "7"], env=env)
                self.assertEqual(done.returncode, 0, done.stderr)
                pdf = os.path.join(home, "week.pdf")
                done = reportcheck.run([os.path.join(bindir, "tallyrow-export"), "--data", data, "--report", "day",
                                        "--last", "week", "--details", "--output", pdf], env=env)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual(done.stdout + done.stderr, "")
                reportcheck.check_last_week_report(self, pdf, "Tallyrow Day Report")

    def test_access_file_is_read_by_the_installed_reader(self):
        # The Jet provider runs tallyrow-mdb-reader from the program folder; only the package's
        # copy is there to be found.
        with open(os.path.join(SOURCE_DIR, "tests", "golden", "cases.json"), encoding="utf-8") as f:
            case = next(c for c in json.load(f) if c["name"] == "totals-days-minutes")
        home = self.home()
        csv = os.path.join(home, "out.csv")
        done = reportcheck.run([os.path.join(self.bindir, "tallyrow-export"), "--data",
                                os.path.join(SOURCE_DIR, "tests", "data", "office.mdb"), *case["args"],
                                "--format", "csv", "--output", csv], env=self.env(home))
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(csv, "rb") as got, open(os.path.join(SOURCE_DIR, "tests", "golden", "expected",
                                                       "totals-days-minutes.csv"), "rb") as expected:
            self.assertEqual(got.read(), expected.read())


if __name__ == "__main__":
    BUILD_DIR, SOURCE_DIR = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    del sys.argv[1:3]
    unittest.main(verbosity=2)
