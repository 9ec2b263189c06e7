"""The real game on a private Xvfb, driven through XTest and checked on the screen's pixels.
Run by ctest as `pytest test_game.py::TestPlay` (a class a group), VORN_BUILD naming the build folder."""
import os, shutil, signal, subprocess, sys, time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver as xd  # noqa: E402
from xdriver import config, loudness, notice, overheat, play, score_file, table, title  # noqa: E402

BUILD = os.path.abspath(os.environ.get("VORN_BUILD", "build"))
TEST_CONFIG = os.path.join(BUILD, "tests", "allegro.cfg")


@pytest.fixture(scope="module")
def X():
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    server = xd.XServer()
    yield server
    server.close()


class Game:
    """A copy of the game run in its own folder, its output and sound captured there."""

    def __init__(self, X, folder, test, cfg, scores, binary, env):
        self.X, self.test = X, test
        self.raw, self.scores = folder / "sound.raw", folder / "High Scores.txt"
        (folder / ".asoundrc").write_text('pcm.vorn_capture {\n type file\n slave.pcm "null"\n file "%s"\n'
                                          ' format "raw"\n}\n' % self.raw)
        (folder / "allegro.cfg").write_text(cfg or config(TEST_CONFIG))
        if scores:
            self.scores.write_bytes(scores)
        shutil.copyfile(os.path.join(BUILD, "data.dat"), folder / "data.dat")
        X.move(320, 240)
        self.out = open(folder / "output.txt", "w+b")
        self.proc = xd.spawn([shutil.copy2(os.path.join(BUILD, binary), folder), "--scale", "1"], cwd=folder,
                             stdin=subprocess.DEVNULL, env=dict(X.env, HOME=str(folder), **env),
                             stdout=self.out, stderr=self.out)

    def end(self):
        self.out.close()
        self.X.button(1, False)
        xd.stop(self.proc)

    def wait(self, check, what, timeout=10):
        if f := self.X.wait(check, timeout):
            return f
        shot = os.path.join(BUILD, "screenshots", "failed", "%s-%s.png" % (self.test, what.replace(" ", "_")))
        self.X.grab().save(shot)
        self.out.seek(0)
        pytest.fail("no %s within %s s (status %s; screen in %s; output: %r)" % (
            what, timeout, self.proc.poll(), shot, self.out.read()[-500:]))

    def keys(self, *steps):
        """Taps each key and waits for the screen it should bring."""
        for key, check, what in steps:
            self.X.tap(key)
            self.wait(check, what)

    def to_play(self):
        self.keys(("Return", notice, "level 1 introduction"), ("a", play, "play frame"))

    def escape_to_title(self, names):
        self.keys(("Escape", notice, "game-over screen"), ("a", table(names), "high-score table"),
                  ("a", title(0), "title screen after the game"))

    def sound_size(self):
        return self.raw.stat().st_size if self.raw.exists() else 0


@pytest.fixture
def start(X, tmp_path, request):
    """Starts the game in the test's own folder and waits for its title screen; ended whatever happens."""
    games = []

    def start(cfg="", scores=b"", binary="ghosts-of-vorn", **env):
        games.append(Game(X, tmp_path, request.node.name, cfg, scores, binary, env))
        games[-1].wait(title(0), "title screen", 30)
        return games[-1]
    yield start
    for game in games:
        game.end()


class TestPlay:
    def test_overheat_on_a_held_button_cooling_escape_and_close_button(self, start, X):
        game = start()
        game.to_play()
        X.move(6, 474)
        X.button(1, True)
        game.wait(lambda f: play(f) and overheat(f), "OVERHEAT! at its place", 6)
        X.button(1, False)
        game.wait(lambda f: play(f) and not overheat(f) and 0 < xd.heat_fill(f) < 110, "heat falling", 3)
        game.escape_to_title([])
        assert not game.scores.exists(), "a score of 0 made a file"
        game.to_play()
        X.close_window(X.windows("Ghosts of Vorn")[0])
        assert game.proc.wait(5) == 1


class TestScoringGame:
    def test_a_sleeping_title_the_countdown_and_a_shard_carrier_destroyed(self, start, X):
        # The hooked build keeps every ghost still and shown at (296, 216), one hit from death. A stored
        # score of 1234567890 shows every digit of the game's font, to read "Time Left" with.
        game = start(scores=score_file([("Digits", 1234567890)]), binary="ghosts-of-vorn-hooked",
                     VORN_GHOST_AT="296,216")
        # The game's own thread, which draws and waits for the ticks; the library's sound and input
        # threads do their own work.
        pid, began = game.proc.pid, time.monotonic()
        cpu, woken = xd.cpu_seconds(pid, pid), xd.wakeups(pid, pid)
        time.sleep(4)
        share = (xd.cpu_seconds(pid, pid) - cpu) / (time.monotonic() - began)
        assert share < 0.08, "the game's thread used %.0f%% of a core on the still title screen" % (100 * share)
        # A few times a tick: a wait made of 1 ms sleeps costs little CPU but keeps the core awake.
        rate = (xd.wakeups(pid, pid) - woken) / (time.monotonic() - began)
        assert rate < 450, "the game's thread woke %.0f times a second on the still title screen" % rate
        game.keys(("Down", title(1), "High Scores highlighted"), ("Return", table(["Digits"]), "high-score table"))
        digits = xd.Digits(X.grab(), 150, 352)
        game.keys(("a", title(1), "title after the table"), ("Up", title(0), "New Game highlighted"))
        game.to_play()
        changes = digits.countdown(X, 4.5)  # one second of countdown a second
        assert len(changes) >= 3, changes
        (t0, v0), (t1, v1) = changes[0], changes[-1]
        assert abs((v0 - v1) - (t1 - t0)) <= 0.5, changes
        X.button(1, True)
        game.wait(notice, "level 2 introduction")
        X.button(1, False)
        game.keys(("a", play, "level 2 play frame"))
        game.escape_to_title(["Digits", "Ghost Hunter"])
        assert game.scores.read_bytes() == score_file([("Digits", 1234567890), ("Ghost Hunter", 20)]), \
            "destroying level 1's shard carrier gives 10 + 10 x 1"


class TestSound:
    LOUD, QUIET = 300.0, 20.0

    @staticmethod
    def listen(game, seconds):
        start = game.sound_size()
        time.sleep(seconds)
        assert game.sound_size() > start, "nothing was played into the capture device"
        return loudness(game.raw, start, game.sound_size())

    def test_music_plays_on_the_title_screen(self, start):
        game = start(cfg=config(os.path.join(BUILD, "allegro.cfg"), capture=True))
        assert self.listen(game, 4) > self.LOUD

    def test_zap_on_enter_and_on_a_hit_without_music(self, start, X):
        # The hooked build's one ghost stands under the pointer, one hit from death.
        game = start(cfg=config(TEST_CONFIG, capture=True, patches=False), binary="ghosts-of-vorn-hooked",
                     VORN_GHOST_AT="296,216")
        assert self.listen(game, 1.5) < self.QUIET, "music without its patch set"
        mark = game.sound_size()
        game.to_play()
        assert loudness(game.raw, mark, game.sound_size()) > self.LOUD, "no zap after Enter"
        assert self.listen(game, 1) < self.QUIET, "a zap with no hit"
        mark = game.sound_size()
        X.button(1, True)
        game.wait(notice, "level 2 introduction after the hit")
        X.button(1, False)
        assert loudness(game.raw, mark, game.sound_size()) > self.LOUD, "no zap on the hit"
