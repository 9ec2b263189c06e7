"""The game on a big desktop: a window scaled to it, full screen without a mode switch, Alt+Enter and
F11 between them in play, the mouse mapped to game pixels, and the mode remembered.
Run by ctest as `pytest test_display.py -k 1920x1080-wm`, one desktop a run, VORN_BUILD naming the build folder."""
import os, shutil, signal, subprocess, sys, time

import pytest
from PIL import Image, ImageChops

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver as xd  # noqa: E402
from xdriver import notice, play, title  # noqa: E402
from test_game import BUILD, TEST_CONFIG  # noqa: E402
from xdriver import score_file, table  # noqa: E402

GHOST = (320, 240)  # the middle of the hooked build's still ghost, in game pixels
X = DESK = None


def scale_for(width, height):
    """The window's whole scale: the largest that fits with a title bar."""
    return max(1, min(width // 640, (height - 48) // 480))


@pytest.fixture(scope="module", params=["1920x1080-wm", "1920x1080-bare", "3840x2160-wm", "3840x2160-bare",
                                        "3840x1080-monitors"])
def desktop(request):
    """An X server of that size, with openbox (wm), without (bare), or split into two monitors."""
    global X, DESK
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    size, DESK = request.param.split("-")
    X = xd.XServer(*map(int, size.split("x")))
    if DESK == "wm":
        xd.spawn(["openbox", "--sm-disable"], env=X.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        X.wait_for_window_manager()
    if DESK == "monitors":
        for name, x in (("LEFT", 0), ("RIGHT", 1920)):
            subprocess.run(["xrandr", "--setmonitor", name, "1920/508x1080/286+%d+0" % x, "none"],
                           env=X.env, check=True)
    yield X
    X.close()


class Desktop:
    """The hooked game in one folder for the test, started from level 5 with a table of digits."""

    def __init__(self, home):
        os.makedirs(os.path.join(BUILD, "screenshots"), exist_ok=True)
        self.home, self.procs = home, []
        shutil.copyfile(TEST_CONFIG, self.home / "allegro.cfg")
        shutil.copyfile(os.path.join(BUILD, "data.dat"), self.home / "data.dat")
        (self.home / "High Scores.txt").write_bytes(score_file([("Digits", 1234567890)]))

    def start(self, *args, first_level=5):
        X.move(100, 100)
        self.proc = xd.spawn([shutil.copy2(os.path.join(BUILD, "ghosts-of-vorn-hooked"), self.home)] + list(args),
                             cwd=self.home, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             env=dict(X.env, HOME=str(self.home), VORN_GHOST_AT="296,216",
                                      VORN_FIRST_LEVEL=str(first_level)))
        self.procs.append(self.proc)

    def layout(self, fullscreen):
        """(left, top, scale) of the picture the game should show now."""
        if fullscreen:
            w, h = (1920, 1080) if DESK == "monitors" else (X.width, X.height)
            k = max(1, min(w // 640, h // 480))
            return (w - 640 * k) // 2, (h - 480 * k) // 2, k
        k = scale_for(X.width, X.height)
        win = X.game_window()
        return (win[0], win[1], k) if win else (0, 0, k)

    def picture(self, fullscreen):
        """The picture at 1x when every game pixel is one k x k block in the grab, else None."""
        left, top, k = self.layout(fullscreen)
        im = X.image(left, top, 640 * k, 480 * k)
        small = im.resize((640, 480), Image.NEAREST)
        if ImageChops.difference(small.resize(im.size, Image.NEAREST), im).getbbox():
            return None
        return xd.Frame(small)

    def wait(self, check, what, fullscreen, timeout=10):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if (f := self.picture(fullscreen)) and check(f):
                return f
            time.sleep(0.05)
        shot = os.path.join(BUILD, "screenshots", "failed", "display-%s-%s.png" % (DESK, what.replace(" ", "_")))
        os.makedirs(os.path.dirname(shot), exist_ok=True)
        X.image().save(shot)
        pytest.fail("no %s within %s s (status %s; window %s; screen in %s)" % (what, timeout, self.proc.poll(),
                                                                           X.game_window(), shot))

    def keys(self, fullscreen, *steps):
        for key, check, what in steps:
            X.tap(key)
            self.wait(check, what, fullscreen)

    def toggle(self, key, fullscreen):
        """Alt+Enter or F11; the window then covers the screen, or is the scaled picture's size."""
        if key == "Return":
            X.key("Alt_L", True)
        X.tap(key)
        X.key("Alt_L", False)
        want = (1920 if DESK == "monitors" else X.width) if fullscreen else 640 * scale_for(X.width, X.height)
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and (not (w := X.game_window()) or w[2] != want):
            time.sleep(0.05)
        assert X.game_window()[2] == want, "window width after %s" % key

    def keep_grab(self, mode):
        """The whole screen, kept for a person to look at."""
        X.image().save(os.path.join(BUILD, "screenshots", "display-%dx%d-%s-%s.png" % (X.width, X.height, DESK, mode)))

    def aim(self, fullscreen, x, y):
        left, top, k = self.layout(fullscreen)
        X.move(left + x * k + k // 2, top + y * k + k // 2)


@pytest.fixture
def game(desktop, tmp_path):
    game = Desktop(tmp_path)
    yield game
    for proc in game.procs:
        xd.stop(proc)


def test_window_fullscreen_and_back_in_play_remembered_at_the_next_start(game):
    game.start()
    f = game.wait(title(0), "title screen", False, 30)
    k = scale_for(X.width, X.height)
    assert X.game_window()[2:] == (640 * k, 480 * k)
    game.keys(False, ("Down", title(1), "High Scores highlighted"), ("Return", table(["Digits"]), "score table"))
    digits = xd.Digits(game.picture(False), 150, 352)
    game.keys(False, ("a", title(1), "title again"), ("Up", title(0), "New Game highlighted"),
              ("Return", xd.still_screen, "level 5 introduction"), ("a", play, "level 5 play"))
    # The crosshair's middle, its red ring's, lands on the game pixel under the pointer.
    game.aim(False, 200, 380)
    f = game.wait(lambda f: play(f) and not f.dark(370, 390, 190, 210), "crosshair", False)
    reds = [(x, y) for y in range(360, 400) for x in range(180, 220) if xd.near(f.pixel(x, y), xd.RED, 40)]
    assert (min(x for x, _ in reds) + max(x for x, _ in reds)) / 2 == pytest.approx(200, abs=1)
    assert (min(y for _, y in reds) + max(y for _, y in reds)) / 2 == pytest.approx(380, abs=1)
    # Over the still ghost with the button held, in the window: level 5's shard carrier goes.
    game.aim(False, *GHOST)
    X.button(1, True)
    game.wait(notice, "level 6 introduction", False)
    X.button(1, False)
    game.keys(False, ("a", play, "level 6 play"))
    before, before_at = game.wait(play, "level 6 play frame", False), time.monotonic()
    game.keep_grab("window")
    game.toggle("Return", True)
    time.sleep(0.5)
    left, top, k = game.layout(True)
    q = X.root.query_pointer()
    assert (q.root_x, q.root_y) == (left + 320 * k + k // 2, top + 240 * k + k // 2), \
        "the pointer left its game pixel"
    after, after_at = game.wait(play, "play in full screen", True), time.monotonic()
    game.keep_grab("fullscreen")
    border = X.image(0, 0, left or X.width, X.height).getbbox() if left else X.image(0, 0, X.width, top).getbbox()
    assert border is None, "the border round the picture is not black"
    assert before.row(5, 320) == after.row(5, 320), "the score changed"
    assert before.row(45, 0, 140) == after.row(45, 0, 140), "the flash bombs changed"
    fell = digits.time_left(before) - digits.time_left(after)
    assert fell == pytest.approx(after_at - before_at, abs=1.2), "the countdown did not run on"
    game.aim(True, *GHOST)
    X.button(1, True)
    game.wait(notice, "level 7 introduction", True)
    X.button(1, False)
    game.toggle("F11", False)
    game.wait(notice, "level 7 introduction in a window", False)
    # Alt+Enter on the title screen switches, and starts no game.
    game.keys(False, ("a", play, "level 7 play"), ("Escape", notice, "game over"),
              ("a", table(["Digits", "Ghost Hunter"]), "score table"), ("a", title(0), "title"))
    game.toggle("Return", True)
    time.sleep(0.5)
    game.wait(title(0), "title in full screen", True)
    game.keys(True, ("Up", title(2), "Quit highlighted"))
    X.tap("Return")
    assert game.proc.wait(5) == 1
    game.start()
    game.wait(title(0), "title in full screen at the next start", True, 30)


def test_a_scale_asked_for_sizes_the_window_whatever_the_desktop(game):
    game.start("--scale", "1")
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline and not ((w := X.game_window()) and w[2:] == (640, 480)):
        time.sleep(0.05)
    assert X.game_window()[2:] == (640, 480)
