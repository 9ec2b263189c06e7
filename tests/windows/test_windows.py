"""The Windows game under Wine: the zip's game played and heard, the installer's install and removal.
Run by `make windows-check`, which names the zip, the test build and the installer in VORN_WIN_*."""
import os, pathlib, shutil, signal, sys, time, zipfile

import pytest

HERE = pathlib.Path(__file__).resolve().parent
sys.path[:0] = [str(HERE.parent.parent / "tools"), str(HERE.parent / "e2e")]
import winedriver as wd  # noqa: E402
from xdriver import notice, play, score_file, table, title  # noqa: E402

LOUD, QUIET = 300.0, 20.0
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\GhostsOfVorn"


@pytest.fixture(scope="module")
def wine():
    # A time-out ends the run as Ctrl+C would: with every fixture's teardown.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    display = os.environ.get("VORN_WIN_DISPLAY")  # else the first free one
    w = wd.Wine(os.environ.get("VORN_WIN_WORK", "build/windows/check"), int(display) if display else None)
    yield w
    w.close()


@pytest.fixture
def game(wine, request):
    """A fresh copy of the unzipped game, the test build beside it; what runs there is ended after."""
    folder = wine.prefix / "drive_c" / "games" / request.node.name
    with zipfile.ZipFile(os.environ["VORN_WIN_ZIP"]) as z:
        z.extractall(folder)
    (top,) = folder.iterdir()
    shutil.copy2(os.environ["VORN_WIN_HOOKED"], top / "hooked.exe")
    yield top
    wine.end_all()


class Player:
    """The game as a player sees it in Wine's desktop; a failed wait keeps the screen."""

    def __init__(self, wine, folder, *command):
        self.wine, self.x = wine, wine.x
        self.x.move(320, 240)
        self.proc = wine.start(*command, "--fullscreen", cwd=folder, VORN_GHOST_AT="296,216")
        self.title = self.wait(title(0), "title screen", 30)

    def wait(self, check, what, timeout=10):
        if f := self.x.wait(check, timeout):
            return f
        shot = self.wine.work / ("failed-%s.png" % what.replace(" ", "_"))
        self.x.grab().save(shot)
        pytest.fail("no %s within %s s (screen in %s)" % (what, timeout, shot))

    def keys(self, *steps):
        for key, check, what in steps:
            self.x.tap(key)
            self.wait(check, what)

    def level_won(self):
        """Into level 1, where the test build's one ghost stands under the pointer, and through it."""
        self.keys(("Return", notice, "level 1 introduction"), ("a", play, "play frame"))
        self.x.button(1, True)
        self.wait(notice, "level 2 introduction")
        self.x.button(1, False)

    def game(self, names):
        """A game through level 1 to level 2's play, ended there, and the table with names that follows."""
        self.level_won()
        self.x.tap("a")
        self.wait(play, "level 2 play frame").save(self.wine.work / "play.png")
        self.keys(("Escape", notice, "game-over screen"), ("a", table(names), "high-score table"),
                  ("a", title(0), "title after the game"))

    def quit(self):
        self.keys(("Down", title(1), "High Scores highlighted"), ("Down", title(2), "Quit highlighted"))
        self.x.tap("Return")
        self.proc.wait(15)  # the desktop closes with the game's last window


def listen(wine, seconds):
    start = wine.sound_size()
    time.sleep(seconds)
    return wd.rms(wine.raw, start, wine.sound_size())


def test_unzipped_game_two_games_scored_and_quit(wine, game):
    p = Player(wine, game, "hooked.exe")
    p.title.save(wine.work / "title.png")
    for names in (["Ghost Hunter"], ["Ghost Hunter", "Ghost Hunter"]):
        p.game(names)
        # The second save replaces the first file, which Windows' rename alone refuses.
        assert (game / "High Scores.txt").read_bytes() == score_file([(n, 20) for n in names])
    p.quit()


def test_music_on_the_title_and_the_zap(wine, game):
    p = Player(wine, game, "ghosts-of-vorn.exe")
    music = listen(wine, 4)
    p.quit()
    # The test build without MIDI: no music, so the zap stands alone.
    cfg = game / "allegro.cfg"
    cfg.write_text("".join("midi_card = 0\n" if line.startswith("midi_card") else line
                           for line in cfg.read_text().splitlines(True)))
    p = Player(wine, game, "hooked.exe")
    quiet = listen(wine, 1.5)
    p.keys(("Return", notice, "level 1 introduction"), ("a", play, "play frame"))
    time.sleep(0.5)  # past the zap of Enter
    mark = wine.sound_size()
    p.x.button(1, True)
    p.wait(notice, "level 2 introduction")
    zap = wd.rms(wine.raw, mark, wine.sound_size())
    print("RMS: music %.0f, title without music %.0f, zap of a hit %.0f" % (music, quiet, zap))
    assert music > LOUD
    assert quiet < QUIET
    assert zap > LOUD


def test_installer_start_menu_scores_and_uninstall(wine, request):
    request.addfinalizer(wine.end_all)
    scores_dir, install_dir = wine.appdata / "Ghosts of Vorn", wine.programs / "Ghosts of Vorn"
    wine.wine(os.environ["VORN_WIN_SETUP"], "/S", timeout=120)
    installed = sorted(p.name for p in install_dir.iterdir())
    print("installed:", installed)
    assert {"ghosts-of-vorn.exe", "data.dat", "allegro.cfg", "uninstall.exe"} <= set(installed)
    assert (scores_dir / "datapath.cfg").read_bytes() == (
        "[data]\r\npath = %s\\data.dat\r\n" % wine.windows_path(install_dir)).encode()
    values = wine.reg(UNINSTALL_KEY)
    assert values["QuietUninstallString"] == '"%s\\uninstall.exe" /S' % wine.windows_path(install_dir)
    assert set(values) >= {"DisplayName", "DisplayVersion", "Publisher", "UninstallString", "InstallLocation",
                           "DisplayIcon", "NoModify", "NoRepair"}

    # Started as the Start menu starts it, from elsewhere: the entry names the folder to run in.
    entry = ("start", "/unix", str(wine.start_menu / "The Ghosts of Vorn.lnk"))
    Player(wine, wine.home, *entry).quit()
    # The test build in the program's place, to score quickly.
    shutil.copy2(os.environ["VORN_WIN_HOOKED"], install_dir / "ghosts-of-vorn.exe")
    p = Player(wine, wine.home, *entry)
    p.game(["Ghost Hunter"])
    p.quit()
    assert (scores_dir / "High Scores.txt").read_bytes() == score_file([("Ghost Hunter", 20)])

    wine.wine(str(install_dir / "uninstall.exe"), "/S")
    wine.settle()
    left = sorted(str(p.relative_to(wine.profile)) for p in wine.profile.rglob("*") if "Vorn" in str(p))
    print("after uninstall:", left)
    assert not install_dir.exists()
    assert not (wine.start_menu / "The Ghosts of Vorn.lnk").exists()
    assert wine.reg(UNINSTALL_KEY) == {}
    assert {p.name for p in scores_dir.iterdir()} <= {"High Scores.txt", "ghosts-of-vorn.log"}
