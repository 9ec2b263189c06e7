#!/usr/bin/env python3
"""The installed game: the launcher from a staged install, the desktop files, and the package.
Usage: test_install.py BUILD_DIR [unittest arguments, e.g. Launcher]"""
import glob, os, shutil, subprocess, sys, tempfile, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdriver  # noqa: E402
from PIL import Image  # noqa: E402

BUILD = None
SOURCE = os.path.abspath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PREFIX = "/usr/local"


def no_sound_card():
    try:
        with open("/proc/asound/cards") as f:
            return not any(line[:4].strip().isdigit() for line in f)
    except OSError:
        return True


def staged(test):
    """An install into a fresh DESTDIR, removed with the test."""
    root = tempfile.mkdtemp(prefix="vorn-install-")
    test.addCleanup(shutil.rmtree, root, True)
    subprocess.run(["cmake", "--install", BUILD, "--prefix", PREFIX], env=dict(os.environ, DESTDIR=root),
                   check=True, stdout=subprocess.DEVNULL)
    return root + PREFIX


class Launcher(unittest.TestCase):
    """The staged launcher, run from another folder with its own HOME and XDG_DATA_HOME."""

    @classmethod
    def setUpClass(cls):
        cls.x = xdriver.XServer()

    @classmethod
    def tearDownClass(cls):
        cls.x.close()

    def start(self, **env):
        self.prefix = staged(self)
        top = tempfile.mkdtemp(prefix="vorn-player-")
        self.addCleanup(shutil.rmtree, top, True)
        self.cwd, self.data = os.path.join(top, "elsewhere"), os.path.join(top, "xdg", "ghosts-of-vorn")
        os.makedirs(self.cwd)
        env = dict(self.x.env, HOME=os.path.join(top, "home"), XDG_DATA_HOME=os.path.join(top, "xdg"), **env)
        env.pop("ALLEGRO", None)
        self.err = os.path.join(top, "stderr.txt")
        with open(self.err, "wb") as err:
            self.game = xdriver.spawn([os.path.join(self.prefix, "games", "ghosts-of-vorn")], cwd=self.cwd, env=env,
                                      stdin=subprocess.DEVNULL, stdout=err, stderr=err)
        self.addCleanup(xdriver.stop, self.game)
        if not self.x.wait(xdriver.title(0), 30):
            self.fail("no title screen (status %s): %s" % (self.game.poll(), self.said()[-800:]))

    def said(self):
        with open(self.err, errors="replace") as f:
            return f.read()

    def test_title_then_quit_ends_with_status_1_and_the_data_folder_names_the_data(self):
        self.start()
        self.x.tap("Up")
        self.assertTrue(self.x.wait(xdriver.title(2)), "Quit not highlighted")
        self.x.tap("Return")
        self.assertEqual(self.game.wait(10), 1)
        with open(os.path.join(self.data, "datapath.cfg")) as f:
            self.assertEqual(f.read(), "[data]\npath = %s/share/games/ghosts-of-vorn/data.dat\n" % self.prefix)
        self.assertEqual(os.listdir(self.cwd), [], "the game wrote into the folder it was started from")
        if no_sound_card():
            self.assertIn("no sound card found: playing without sound", self.said())

    def test_without_the_sound_device_it_plays_silently_and_says_so(self):
        self.start(VORN_SOUND="off")
        self.assertIsNone(self.game.poll())
        self.assertIn("playing without sound", self.said())
        with open("/proc/%d/environ" % self.game.pid, "rb") as f:
            self.assertIn(b"ALLEGRO=%s/share/games/ghosts-of-vorn/silent" % self.prefix.encode(), f.read().split(b"\0"))


class Files(unittest.TestCase):
    """What the desktop and man read, checked by their own tools."""

    def setUp(self):
        self.prefix = staged(self)

    def tool(self, *args):
        run = subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        return run

    def test_desktop_entry_appstream_file_and_man_page_pass_their_validators(self):
        share = os.path.join(self.prefix, "share")
        self.tool("desktop-file-validate", os.path.join(share, "applications", "ghosts-of-vorn.desktop"))
        with open(os.path.join(share, "applications", "ghosts-of-vorn.desktop")) as f:
            self.assertIn("Exec=%s/games/ghosts-of-vorn\n" % PREFIX, f.read())
        self.tool("appstreamcli", "validate", "--no-net", *glob.glob(os.path.join(share, "metainfo", "*.metainfo.xml")))
        man = self.tool("man", "--warnings", "-l", os.path.join(share, "man", "man6", "ghosts-of-vorn.6"))
        self.assertEqual(man.stderr, "")
        self.assertIn("High Scores.txt", man.stdout)

    def test_icons_are_transparent_pngs_of_their_sizes(self):
        for size in (32, 48, 64, 128, 256):
            with Image.open(os.path.join(self.prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                                         "ghosts-of-vorn.png")) as icon:
                self.assertEqual((icon.format, icon.mode, icon.size), ("PNG", "RGBA", (size, size)))
                self.assertEqual(icon.getpixel((0, 0))[3], 0, "corner of the %d-pixel icon" % size)
                self.assertEqual(icon.getpixel((size // 2, size // 2))[3], 255, "middle of the %d-pixel icon" % size)


class Package(unittest.TestCase):
    def test_deb_builds_and_lintian_finds_no_errors(self):
        out = tempfile.mkdtemp(prefix="vorn-deb-")
        self.addCleanup(shutil.rmtree, out, True)
        deb = subprocess.run([os.path.join(SOURCE, "dist", "make-deb.sh"), BUILD, out], check=True,
                             capture_output=True, text=True).stdout.strip()
        fields = subprocess.run(["dpkg-deb", "--field", deb, "Depends"], check=True, capture_output=True,
                                text=True).stdout
        for needed in ("liballegro4.4", "libc6", "freepats", "x11-utils"):
            self.assertIn(needed, fields)
        files = subprocess.run(["dpkg-deb", "--contents", deb], check=True, capture_output=True, text=True).stdout
        for path in ("./usr/games/ghosts-of-vorn", "./usr/lib/games/ghosts-of-vorn/ghosts-of-vorn",
                     "./usr/share/doc/ghosts-of-vorn/copyright", "./usr/share/man/man6/ghosts-of-vorn.6.gz"):
            self.assertIn(" " + path + "\n", files)
        lint = subprocess.run(["lintian", "--fail-on", "error", deb], capture_output=True, text=True)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        print(lint.stdout, file=sys.stderr)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
