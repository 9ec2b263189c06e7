"""The game beside another window under openbox: in the background it stands still and silent, and goes on
from the same tick when it has the focus again; the desktop knows its window by class and icon.
Run by ctest as `pytest test_focus.py`, VORN_BUILD naming the build folder."""
import os, signal, subprocess, sys, time

import pytest
from Xlib import X as XC, Xutil

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver as xd  # noqa: E402
from xdriver import config, loudness, notice, play, score_file, title  # noqa: E402
import test_game  # noqa: E402

BUILD, start = test_game.BUILD, test_game.start  # the game's folder, and its fixture that starts it

LOUD, QUIET = 300.0, 20.0
AWAY = float(os.environ.get("VORN_FOCUS_AWAY", 3))  # seconds another window has the focus


@pytest.fixture(scope="module")
def X():
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    server = xd.XServer(1024, 768)
    xd.spawn(["openbox", "--sm-disable"], env=server.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    server.wait_for_window_manager()
    yield server
    server.close()


@pytest.fixture
def game(start, X):
    """The hooked game from level 3, its music captured, a still ghost away from the pointer; at its title."""
    g = start(cfg=config(os.path.join(BUILD, "allegro.cfg"), capture=True), scores=score_file([("Digits", 1234567890)]),
              binary="ghosts-of-vorn-hooked", VORN_GHOST_AT="100,300", VORN_FIRST_LEVEL="3")
    X.move(X.origin[0] + 500, X.origin[1] + 400)
    return g


@pytest.fixture
def other(X, game):
    """A small window of another program, beside the game's; the game's then given the focus back."""
    w = X.other_window("Other program")
    game.wait(lambda f: X.has_focus(w), "the new window's focus")
    focus(X, game, X.find_window("Ghosts of Vorn"))
    yield w
    w.destroy()
    X.dpy.sync()


def focus(X, game, window):
    X.activate(window)
    game.wait(lambda f: X.has_focus(window), "the focus")


def quiet_from(game):
    """The capture's size once it has fallen silent."""
    return xd.quiet_from(game.sound_size, lambda start, end: loudness(game.raw, start, end)) or pytest.fail(
        "the sound went on in the background")


class TestFocus:
    def test_play_stands_still_and_silent_in_the_background_and_goes_on_from_the_same_second(self, game, X, other):
        digits = game.digits_then_play(notice, "level 3 introduction")
        window = X.find_window("Ghosts of Vorn")
        mark = game.sound_size()
        time.sleep(1)
        heard = loudness(game.raw, mark, game.sound_size())
        X.activate(other)
        paused = X.still() or pytest.fail("the picture went on changing in the background")
        left = digits.time_left(paused)
        mark = quiet_from(game)
        time.sleep(AWAY)
        still = X.grab()
        silence = loudness(game.raw, mark, game.sound_size())
        X.activate(window)
        after = digits.time_left(game.wait(lambda f: digits.time_left(f) not in (left, None), "the countdown"))
        mark = game.sound_size()
        time.sleep(1)
        again = loudness(game.raw, mark, game.sound_size())
        print("Time Left %s, %s after %s s away, then %s; loudness %.0f, %.0f, %.0f" % (
            left, digits.time_left(still), AWAY, after, heard, silence, again))
        assert still.im.tobytes() == paused.im.tobytes(), "the picture changed in the background"
        assert silence < QUIET, "sound in the background"
        assert after == left - 1, "seconds were lost or burst in the background"
        assert again > LOUD, "no music after the focus came back"

    def test_the_title_and_an_introduction_stand_silent_and_take_only_their_own_keys(self, game, X, other):
        window = X.find_window("Ghosts of Vorn")
        for key, screen, what, after, then in (("Return", title(0), "title", notice, "level 3 introduction"),
                                               ("a", notice, "level 3 introduction", play, "play frame")):
            X.activate(other)
            quiet_from(game)
            X.tap(key)  # the other window's key
            time.sleep(1)
            assert screen(X.grab()), "a key of another window left the %s" % what
            focus(X, game, window)
            game.keys((key, after, then))

    def test_the_window_is_known_by_its_class_and_icon(self, game, X):
        window = X.find_window("Ghosts of Vorn")
        assert window.get_wm_class() == ("ghosts-of-vorn", "Ghosts of Vorn")
        hints = window.get_wm_hints()
        assert hints.flags & Xutil.IconPixmapHint, "no icon"
        icon = hints.icon_pixmap.get_image(0, 0, 48, 48, XC.ZPixmap, 0xFFFFFFFF).data
        shades = {icon[i:i + 4] for i in range(0, len(icon), 4)}
        assert len(shades) > 10, "the library's six-colour icon, not the game's ghost"
