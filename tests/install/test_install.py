"""The installed game: the launcher from a staged install, the desktop files, and the package.
Run by ctest as `pytest test_install.py::TestLauncher` (a class a group), VORN_BUILD naming the build folder."""
import glob, os, subprocess, sys

import pytest
from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver  # noqa: E402

BUILD = os.path.abspath(os.environ.get("VORN_BUILD", "build"))


@pytest.fixture(scope="module")
def prefix(tmp_path_factory):
    """An install into a fresh DESTDIR, left as it is by the tests; the prefix within it."""
    root = tmp_path_factory.mktemp("install")
    subprocess.run(["cmake", "--install", BUILD, "--prefix", "/usr/local"], env=dict(os.environ, DESTDIR=str(root)),
                   check=True, stdout=subprocess.DEVNULL)
    return str(root) + "/usr/local"


def run(*args):
    done = subprocess.run(args, capture_output=True, text=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    assert done.returncode == 0, done.stdout + done.stderr
    return done


class TestLauncher:
    """The staged launcher, run from another folder with its own HOME and XDG_DATA_HOME."""

    @pytest.fixture
    def launch(self, prefix, tmp_path):
        x, games = xdriver.XServer(), []
        elsewhere = tmp_path / "elsewhere"
        elsewhere.mkdir()

        def launch(**env):
            env = dict(x.env, HOME=str(tmp_path / "home"), XDG_DATA_HOME=str(tmp_path / "xdg"), **env)
            env.pop("ALLEGRO", None)
            games.append(xdriver.spawn([prefix + "/games/ghosts-of-vorn"], cwd=elsewhere, env=env, text=True,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT))
            assert x.wait(xdriver.title(0), 30), "no title screen (status %s)" % games[-1].poll()
            return x, games[-1]
        yield launch
        for game in games:
            xdriver.stop(game)
            game.stdout.close()
        x.close()

    def test_title_then_quit_ends_with_status_1_and_the_data_folder_names_the_data(self, launch, prefix, tmp_path):
        x, game = launch()
        x.tap("Up")
        assert x.wait(xdriver.title(2)), "Quit not highlighted"
        x.tap("Return")
        assert game.wait(10) == 1
        path = (tmp_path / "xdg" / "ghosts-of-vorn" / "datapath.cfg").read_text()
        assert path == "[data]\npath = %s/share/games/ghosts-of-vorn/data.dat\n" % prefix
        assert os.listdir(tmp_path / "elsewhere") == [], "the game wrote into the folder it was started from"

    def test_without_the_sound_device_it_plays_silently_and_says_so_in_one_line(self, launch):
        x, game = launch(VORN_SOUND="off")
        xdriver.stop(game)
        assert game.stdout.read() == "ghosts-of-vorn: playing without sound: sound is off (VORN_SOUND=off)\n"

    def test_version_prints_only_the_version(self, prefix):
        done = run(prefix + "/games/ghosts-of-vorn", "--version")
        assert done.stderr == "" and done.stdout.count("\n") == 1, done.stdout + done.stderr


class TestFiles:
    def test_desktop_entry_appstream_file_and_man_page_validate(self, prefix):
        share = prefix + "/share"
        run("desktop-file-validate", share + "/applications/ghosts-of-vorn.desktop")
        run("appstreamcli", "validate", "--no-net", *glob.glob(share + "/metainfo/*.metainfo.xml"))
        assert run("man", "--warnings", "-l", share + "/man/man6/ghosts-of-vorn.6").stderr == ""

    @pytest.mark.parametrize("size", [32, 48, 64, 128, 256])
    def test_icon_is_a_png_of_its_size_clear_at_the_corner_solid_in_the_middle(self, prefix, size):
        with Image.open(prefix + "/share/icons/hicolor/%dx%d/apps/ghosts-of-vorn.png" % (size, size)) as icon:
            assert (icon.format, icon.mode, icon.size) == ("PNG", "RGBA", (size, size))
            assert (icon.getpixel((0, 0))[3], icon.getpixel((size // 2, size // 2))[3]) == (0, 255)


class TestPackage:
    def test_deb_builds_with_its_dependencies_and_lintian_finds_no_errors(self, tmp_path):
        make_deb = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "dist", "make-deb.sh")
        deb = run(make_deb, BUILD, str(tmp_path)).stdout.strip()
        depends = run("dpkg-deb", "--field", deb, "Depends").stdout
        for needed in ("liballegro4.4", "libc6", "freepats", "x11-utils"):
            assert needed in depends
        print(run("lintian", "--fail-on", "error", deb).stdout, file=sys.stderr)
