#!/usr/bin/env python3
"""The installed game: the launcher from a staged install, the desktop files, and the package.
Usage: test_install.py BUILD_DIR [unittest arguments, e.g. Launcher]"""
import glob, os, shutil, subprocess, sys, tempfile, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver  # noqa: E402
from PIL import Image  # noqa: E402

def temp_dir(test, prefix):
    path = tempfile.mkdtemp(prefix=prefix)
    test.addCleanup(shutil.rmtree, path, True)
    return path


def staged(test):
    """An install into a fresh DESTDIR; the prefix within it."""
    root = temp_dir(test, "vorn-install-")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr/local"], env=dict(os.environ, DESTDIR=root),
                   check=True, stdout=subprocess.DEVNULL)
    return root + "/usr/local"


def run(test, *args):
    done = subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    test.assertEqual(done.returncode, 0, done.stdout + done.stderr)
    return done


class Launcher(unittest.TestCase):
    """The staged launcher, run from another folder with its own HOME and XDG_DATA_HOME."""

    def start(self, **env):
        self.prefix, top = staged(self), temp_dir(self, "vorn-player-")
        self.cwd = temp_dir(self, "vorn-elsewhere-")
        self.x = xdriver.XServer()
        self.addCleanup(self.x.close)
        env = dict(self.x.env, HOME=os.path.join(top, "home"), XDG_DATA_HOME=os.path.join(top, "xdg"), **env)
        env.pop("ALLEGRO", None)
        self.game = xdriver.spawn([self.prefix + "/games/ghosts-of-vorn"], cwd=self.cwd, env=env, text=True,
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        self.addCleanup(self.game.stdout.close)
        self.addCleanup(xdriver.stop, self.game)
        self.assertTrue(self.x.wait(xdriver.title(0), 30), "no title screen (status %s)" % self.game.poll())
        return os.path.join(top, "xdg", "ghosts-of-vorn")

    def test_title_then_quit_ends_with_status_1_and_the_data_folder_names_the_data(self):
        data = self.start()
        self.x.tap("Up")
        self.assertTrue(self.x.wait(xdriver.title(2)), "Quit not highlighted")
        self.x.tap("Return")
        self.assertEqual(self.game.wait(10), 1)
        with open(os.path.join(data, "datapath.cfg")) as f:
            self.assertEqual(f.read(), "[data]\npath = %s/share/games/ghosts-of-vorn/data.dat\n" % self.prefix)
        self.assertEqual(os.listdir(self.cwd), [], "the game wrote into the folder it was started from")

    def test_without_the_sound_device_it_plays_silently_and_says_so(self):
        self.start(VORN_SOUND="off")
        xdriver.stop(self.game)
        self.assertIn("playing without sound", self.game.stdout.read())


class Files(unittest.TestCase):
    def test_desktop_entry_appstream_file_man_page_and_icons(self):
        share = staged(self) + "/share"
        run(self, "desktop-file-validate", share + "/applications/ghosts-of-vorn.desktop")
        run(self, "appstreamcli", "validate", "--no-net", *glob.glob(share + "/metainfo/*.metainfo.xml"))
        self.assertEqual(run(self, "man", "--warnings", "-l", share + "/man/man6/ghosts-of-vorn.6").stderr, "")
        for size in (32, 48, 64, 128, 256):
            with Image.open(share + "/icons/hicolor/%dx%d/apps/ghosts-of-vorn.png" % (size, size)) as icon:
                self.assertEqual((icon.format, icon.mode, icon.size), ("PNG", "RGBA", (size, size)))
                self.assertEqual((icon.getpixel((0, 0))[3], icon.getpixel((size // 2, size // 2))[3]), (0, 255))


class Package(unittest.TestCase):
    def test_deb_builds_with_its_dependencies_and_lintian_finds_no_errors(self):
        make_deb = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "dist", "make-deb.sh")
        deb = run(self, make_deb, BUILD, temp_dir(self, "vorn-deb-")).stdout.strip()
        depends = run(self, "dpkg-deb", "--field", deb, "Depends").stdout
        for needed in ("liballegro4.4", "libc6", "freepats", "x11-utils"):
            self.assertIn(needed, depends)
        print(run(self, "lintian", "--fail-on", "error", deb).stdout, file=sys.stderr)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
