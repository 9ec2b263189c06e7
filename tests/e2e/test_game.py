#!/usr/bin/env python3
"""End-to-end tests: the real game on its own X server, played with real key and mouse events.

Usage: test_game.py --build BUILD_DIR --text-mask HELPER [unittest arguments, e.g. TitleScreen]
"""

import argparse
import os
import signal
import struct
import sys
import time
import unittest

sys.dont_write_bytecode = True  # keep the source folder clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
from harness import DARK_BLUE, HEADING_FONT, RED, TEXT_FONT, WHITE, YELLOW, Paths  # noqa: E402

STORY = [
    (100, "King Sakkar has commisioned you to find the elusive Red Gem of Vorn"),
    (110, "Little did you know that Vorn was a planet which contained little life."),
    (120, "The only thing that moves on the planet are ghosts!"),
    (130, "Your sole equipment is a specialized flashlight called the X-Beam."),
    (140, "Its specialized light is the only thing that can destroy these ghosts."),
    (150, "Be weary, however, for the ghosts travel in packs; and each pack has only but a few."),
    (160, "shards of the Red Gem, which you must find in its entirety."),
    (180, "Did the King mention to tell you that the X-Beam can overheat?"),
]
MENU = ["New Game", "High Scores", "Quit"]
ENCOURAGEMENT = [
    "Get ready for some ghost hunting!", "Are you ready to get some Red Gem shards?",
    "It's all up to you!", "You are the King's only hope!", "The King is counting on you!",
    "Watch out, those ghosts are fast!", "The ghosts of Vorn never rest!",
    "Can you find the Red Gem shards in time?", "You must be brave. Good luck!",
    "Don't let the ghosts of Vorn frighten you!",
]
GAME_OVER_LINES = [
    "Looks like the rest of the ghosts still hold the Red Gem shards.",
    "Sorry, bub. Not fast enough!", "The ghosts got away with the Red Gem Shards!",
    "You have failed King Sakkar!",
    "It looks like the ghosts of Vorn still have most of the Red Gem!",
    "Maybe you need more practice.", "It was only a few ghosts. Try harder next time.",
    "King Sakkar is ashamed of you!", "Maybe you should get your eyes checked?",
    "The ghosts have eluded you, for now...", "Keep trying! Never lose hope!",
]
EMPTY_TABLE = [("", 0)] * 15

X = None
FONTS = None


def setUpModule():
    global X, FONTS
    os.makedirs(Paths.screenshots, exist_ok=True)
    X = h.XServer()
    try:
        FONTS = h.Fonts()
    except BaseException:
        X.stop()
        raise


def tearDownModule():
    if FONTS:
        FONTS.close()
    if X:
        X.stop()


def score_file_bytes(rows):
    """A "High Scores.txt" of 36-byte records: name field, then a little-endian score."""
    out = b""
    for name, score, *junk in rows:
        field = name.encode() + b"\x00" + (junk[0] if junk else b"")
        out += field.ljust(32, b"\x00")[:32] + struct.pack("<i", score)
    return out


def read_score_file(data):
    """The (name, score) rows of a score file; what follows a name's NUL means nothing."""
    if len(data) != 540:
        return "a file of %d bytes" % len(data)
    return [(data[i:i + 32].split(b"\x00")[0].decode(), struct.unpack("<i", data[i + 32:i + 36])[0])
            for i in range(0, 540, 36)]


# --- what each screen shows ----------------------------------------------------------------

def title_screen(selected):
    def check(img):
        f = FONTS
        return (f.shown(img, HEADING_FONT, "The Ghosts of Vorn", 20, 20)
                and all(f.shown(img, TEXT_FONT, line, 40, y) for y, line in STORY)
                and f.shown(img, TEXT_FONT, "Created by: Fernmoor", 0, 470)
                and all(f.shown_centred(img, TEXT_FONT, label, 320, 300 + 10 * i,
                                        YELLOW if i == selected else DARK_BLUE)
                        for i, label in enumerate(MENU)))
    return check


def hit_a(img):
    return FONTS.shown(img, TEXT_FONT, "Hit A to continue", 245, 350)


def level_intro(n):
    def check(img):
        return (FONTS.read_number(img, HEADING_FONT, "Level ", 20, 20) == n
                and any(FONTS.shown(img, TEXT_FONT, line, 40, 200) for line in ENCOURAGEMENT)
                and hit_a(img))
    return check


def game_over_screen(img):
    return (FONTS.shown(img, HEADING_FONT, "Game Over!", 20, 20, exact=True)
            and any(FONTS.shown(img, TEXT_FONT, line, 40, 200) for line in GAME_OVER_LINES)
            and hit_a(img))


def high_score_screen(rows):
    def check(img):
        f = FONTS
        if not (f.shown(img, HEADING_FONT, "High Scores!", 20, 20, exact=True) and hit_a(img)):
            return False
        for i, (name, score, *_) in enumerate(rows):
            y = 150 + 10 * i
            if name and not f.shown(img, TEXT_FONT, name, 220, y, exact=True):
                return False
            if f.read_number(img, TEXT_FONT, "", 355, y) != score:
                return False
        return True
    return check


def score_x():
    return 640 - FONTS.width(TEXT_FONT, "Score: 000000000000000000")


def hud(img):
    """(time left, score) read off a play frame, or None when the frame is not a play frame."""
    f = FONTS
    if not f.shown(img, TEXT_FONT, "Heat Measure", 0, 3):
        return None
    frame = ([(x, 10) for x in range(0, 151)] + [(x, 20) for x in range(0, 151)]
             + [(0, y) for y in range(10, 21)] + [(150, y) for y in range(10, 21)])
    if sum(1 for p in frame if h.near(img.pixel(*p), WHITE)) < 0.97 * len(frame):
        return None
    time_left = f.read_number(img, TEXT_FONT, "Time Left: ", 0, 60)
    score = f.read_number(img, TEXT_FONT, "Score: ", score_x(), 0)
    if time_left is None or score is None:
        return None
    return time_left, score


def heat_fill(img):
    """Right-most column of the heat bar's red fill (0 when empty), read below the label."""
    right = 0
    for x in range(1, 150):
        r, g, b = img.pixel(x, 18)
        if r > 12 and g < 12 and b < 12:
            right = x
    return right


def overheat_shown(img):
    return FONTS.shown(img, TEXT_FONT, "OVERHEAT!", 155, 3, RED)


# --- the player program ----------------------------------------------------------------------

def ghost_pixels(img, pointers):
    """Lit pixels of the field outside the HUD and the crosshair: what is left are ghosts."""
    data, stride = img.data, img.stride
    pts = []
    for y in range(16, 480, 2):
        base = y * stride
        x0 = 260 if y < 80 else 0
        row = data[base + 4 * x0: base + 2560]
        if row.count(0) == len(row):
            continue
        for x in range(x0, 640, 2):
            o = base + 4 * x
            b, g, r = data[o], data[o + 1], data[o + 2]
            if r + g + b < 40:
                continue
            if r > 230 and ((g > 230 and b > 230) or (g < 25 and b < 25)):
                if any(abs(x - px) <= 32 and abs(y - py) <= 32 for px, py in pointers):
                    continue
            pts.append((x, y))
    return pts


class Hunter:
    """Aims the beam at the ghosts it sees, and lets go to cool down when the bar is full."""

    def __init__(self, inp):
        self.inp = inp
        self.pointer = (320, 240)
        self.pointers = [self.pointer]
        self.holding = False
        self.cooling = False
        self.track = []
        self.shots = []

    def hold(self, down):
        if down and not self.holding:
            self.inp.button_down(1)
        elif not down and self.holding:
            self.inp.button_up(1)
        self.holding = down

    def step(self, img):
        fill = heat_fill(img)
        if fill >= 147 or overheat_shown(img):
            self.cooling = True
        elif self.cooling and fill <= 110:
            self.cooling = False
        pts = ghost_pixels(img, self.pointers)
        now = time.monotonic()
        if len(pts) < 4:
            self.track.clear()
            self.hold(False)
            return
        cx = sum(p[0] for p in pts) / len(pts)
        cy = sum(p[1] for p in pts) / len(pts)
        self.track = [t for t in self.track if now - t[0] < 0.3] + [(now, cx, cy)]
        vx = vy = 0.0
        t0, x0, y0 = self.track[0]
        if now - t0 > 0.05:
            vx, vy = (cx - x0) / (now - t0), (cy - y0) / (now - t0)
            vx, vy = max(-320, min(320, vx)), max(-320, min(320, vy))
        lead = 0.06
        # Aim at a solid pixel near the middle, ahead by the ghost's own motion.
        tx, ty = min(pts, key=lambda p: (p[0] - cx) ** 2 + (p[1] - cy) ** 2)
        tx = max(0, min(639, tx + vx * lead))
        ty = max(0, min(479, ty + vy * lead))
        self.inp.move(tx, ty)
        self.pointer = (tx, ty)
        self.pointers = (self.pointers + [self.pointer])[-3:]
        self.hold(not self.cooling)
        if self.holding and (not self.shots or now - self.shots[-1][0] > 0.2):
            self.shots = (self.shots + [(now, len(pts), img)])[-60:]

    def shot_before(self, seconds):
        """The frame with the most of a ghost in it, taken with the beam held this long before the end."""
        old = [(n, img) for t, n, img in self.shots if t <= self.shots[-1][0] - seconds] if self.shots else []
        return max(old, key=lambda s: s[0])[1] if old else None

    def stop(self):
        self.hold(False)


# --- the cases -----------------------------------------------------------------------------

class GameCase(unittest.TestCase):
    """Each case runs a fresh copy of the game and ends it, and its input, whatever happens."""

    def start(self, cfg=None, **kw):
        self.inp = h.Input(X.display)
        self.addCleanup(self.inp.release_all)
        self.inp.move(320, 240)
        game = h.Game(X, cfg if cfg is not None else h.config_text(Paths.silent_cfg), **kw)
        self.addCleanup(game.stop)
        self.game = game
        return game

    def shot(self, name, img):
        img.save_png(os.path.join(Paths.screenshots, name + ".png"))

    def wait(self, predicate, what, timeout=10):
        img, ok = h.wait_until(X, predicate, timeout)
        if not ok:
            name = "failed/%s-%s" % (self.id().split(".")[-1], what.replace(" ", "_"))
            self.shot(name, img)
            running = "running" if self.game.running() else "ended with %s" % self.game.proc.returncode
            self.fail("no %s within %ss (game %s; screen in %s.png; output: %r)"
                      % (what, timeout, running, name, self.game.output()[-500:]))
        return img

    def start_to_title(self, **kw):
        self.start(**kw)
        img = self.wait(title_screen(0), "title screen", timeout=30)
        self.inp.move(320, 240)
        return img

    def new_game_to_play(self):
        self.inp.tap("Return")
        intro = self.wait(level_intro(1), "level 1 introduction")
        self.inp.tap("a")
        img = self.wait(lambda i: hud(i) is not None, "play frame")
        return intro, img

    def escape_to_title(self, table):
        self.inp.tap("Escape")
        over = self.wait(game_over_screen, "game-over screen")
        self.inp.tap("a")
        scores = self.wait(high_score_screen(table), "high-score screen")
        self.inp.tap("a")
        self.wait(title_screen(0), "title screen after the game")
        return over, scores


class TitleScreen(GameCase):
    def test_texts_and_menu_highlight(self):
        img = self.start_to_title()
        self.shot("title", img)
        # Held long, Down still moves one item; the highlight wraps at both ends.
        self.inp.tap("Down", hold=0.5)
        self.wait(title_screen(1), "highlight on High Scores")
        for key, selected in [("Down", 2), ("Down", 0), ("Up", 2), ("Up", 1), ("Up", 0)]:
            self.inp.tap(key)
            self.wait(title_screen(selected), "highlight on %s after %s" % (MENU[selected], key))


class HighScoreScreen(GameCase):
    def test_table_from_the_menu_leaves_the_file_alone(self):
        rows = [("Ghost Hunter", 5120), ("Ada", 4300, b"leftover"), ("Bram", 3900), ("Ghost Hunter", 3900),
                ("Cleo", 2500), ("Dov", 1990), ("Eef", 870, b"\xff\x01"), ("Fenna", 640),
                ("Ghost Hunter", 300), ("Gus", 120), ("Hal", 50), ("Ida", 20), ("Jo", 10),
                ("Kai", 1), ("", 0)]
        prepared = score_file_bytes(rows)
        self.assertEqual(len(prepared), 540)
        self.start_to_title(high_scores=prepared)
        self.inp.tap("Down")
        self.wait(title_screen(1), "highlight on High Scores")
        self.inp.tap("Return")
        img = self.wait(high_score_screen(rows), "high-score table")
        self.shot("high_scores", img)
        self.inp.tap("a")
        self.wait(title_screen(1), "title with High Scores highlighted")
        with open(self.game.score_file, "rb") as f:
            self.assertEqual(f.read(), prepared)


class PlayAndGameOver(GameCase):
    def test_new_game_play_escape_and_back(self):
        self.start_to_title()
        intro, img = self.new_game_to_play()
        self.shot("level_intro", intro)
        time_left, score = hud(img)
        self.assertIn(time_left, (118, 119, 120))
        self.assertEqual(score, 0)
        self.shot("play", img)
        later = self.wait(lambda i: hud(i) is not None and hud(i)[0] <= time_left - 2,
                          "Time Left two seconds lower", timeout=6)
        self.assertNotEqual(img.region(0, 60, 140, 12), later.region(0, 60, 140, 12))
        over, scores = self.escape_to_title(EMPTY_TABLE)
        self.shot("game_over", over)
        self.shot("high_scores_empty", scores)
        self.assertFalse(os.path.exists(self.game.score_file), "a score of 0 made a file")


class HeatBar(GameCase):
    def test_holding_the_beam_overheats_and_letting_go_cools(self):
        self.start_to_title()
        self.new_game_to_play()
        self.inp.move(6, 474)
        self.inp.button_down(1)
        started = time.monotonic()
        fills = []
        while time.monotonic() - started < 4.0:
            img = X.grab()
            if hud(img):
                fills.append(heat_fill(img))
            time.sleep(0.05)
        img = self.wait(lambda i: hud(i) is not None and overheat_shown(i), "OVERHEAT!", timeout=2)
        self.shot("overheat", img)
        self.assertEqual(heat_fill(img), 149)
        self.assertTrue(all(h.near(img.pixel(x, 15), RED) for x in range(1, 150) if x % 7 == 0))
        self.assertEqual(fills, sorted(fills), "the bar shrank while the button was held")
        self.assertTrue(any(20 < f < 130 for f in fills), "no partly filled bar seen: %s" % fills)
        self.inp.button_up(1)
        img = self.wait(lambda i: hud(i) is not None and not overheat_shown(i)
                        and 0 < heat_fill(i) < 110, "heat falling", timeout=3)
        self.assertFalse(h.near(img.pixel(heat_fill(img) // 2, 18), RED), "a cooler bar is still bright red")


class ScoringGame(GameCase):
    def test_destroying_the_shard_carrier_scores_and_enters_the_table(self):
        self.start_to_title()
        self.new_game_to_play()
        hunter = Hunter(self.inp)
        self.addCleanup(hunter.stop)
        deadline = time.monotonic() + 110
        intro = None
        while time.monotonic() < deadline:
            img = X.grab()
            if level_intro(2)(img):
                intro = img
                break
            hunter.step(img)
        hunter.stop()
        if intro is None:
            self.shot("failed/hunt", X.grab())
            self.fail("the level 1 ghost was not destroyed in time")
        self.shot("level_2_intro", intro)
        # The shard sequence draws over the last frame for 2.5 s: the beam on the ghost came before.
        before = hunter.shot_before(3.0)
        if before is not None:
            self.shot("play_hunt", before)
        self.inp.move(320, 240)
        self.inp.tap("a")
        img = self.wait(lambda i: hud(i) is not None, "level 2 play frame")
        score = hud(img)[1]
        self.assertEqual(score, 20, "destroying level 1's shard carrier gives 10 + 10 x 1")
        table = [("Ghost Hunter", score)] + EMPTY_TABLE[1:]
        self.escape_to_title(table)
        with open(self.game.score_file, "rb") as f:
            self.assertEqual(read_score_file(f.read()), table)


class Sound(GameCase):
    LOUD = 300.0
    QUIET = 20.0

    def capture(self):
        cap = h.Capture()
        self.addCleanup(cap.remove)
        return cap

    def grow(self, cap, seconds):
        start = cap.size()
        time.sleep(seconds)
        return start, cap.size()

    def test_music_plays_on_the_title_screen(self):
        cap = self.capture()
        cfg = h.config_text(Paths.music_cfg, alsa_device="vorn_capture")
        self.start_to_title(cfg=cfg, home=cap.home)
        start, end = self.grow(cap, 4)
        self.assertGreater(end - start, 0, "nothing was played into the capture device")
        self.assertGreater(cap.loudness(start, end), self.LOUD)

    def test_zap_on_enter_and_on_a_hit_without_music(self):
        cap = self.capture()
        cfg = h.config_text(Paths.silent_cfg, alsa_device="vorn_capture", patches=False)
        self.start_to_title(cfg=cfg, home=cap.home)
        start, before_enter = self.grow(cap, 1.5)
        self.assertGreater(before_enter - start, 0, "nothing was played into the capture device")
        self.assertLess(cap.loudness(start, before_enter), self.QUIET, "music without its patch set")
        self.inp.tap("Return")
        self.wait(level_intro(1), "level 1 introduction")
        after_enter = self.grow(cap, 0.5)[1]
        self.assertGreater(cap.loudness(before_enter, after_enter), self.LOUD, "no zap after Enter")
        self.inp.tap("a")
        self.wait(lambda i: hud(i) is not None, "play frame")
        time.sleep(0.5)
        hunter = Hunter(self.inp)
        self.addCleanup(hunter.stop)
        mark = cap.size()
        deadline = time.monotonic() + 40
        heard = False
        while time.monotonic() < deadline and not heard:
            for _ in range(10):
                img = X.grab()
                if hud(img) is None:
                    break
                hunter.step(img)
            now = cap.size()
            heard = cap.loudness(mark, now) > self.LOUD
            mark = now
        hunter.stop()
        self.assertTrue(heard, "no zap while the beam was on the ghost")


class ProcessEnd(GameCase):
    def test_quit_ends_with_status_1(self):
        self.start_to_title()
        self.inp.tap("Up")
        self.wait(title_screen(2), "highlight on Quit")
        self.inp.tap("Return")
        self.assertEqual(self.game.wait_exit(5), 1)

    def test_missing_data_file_ends_with_a_message(self):
        started = time.monotonic()
        game = self.start(with_data=False)
        found = h.subprocess.run(["xdotool", "search", "--sync", "--class", "Xmessage"], env=self.inp.env,
                                 capture_output=True, text=True, timeout=10)
        windows = found.stdout.split()
        self.assertTrue(windows, "no message window")
        self.assertTrue(game.running(), "the game did not wait for the message to be answered")
        self.shot("missing_data_message", X.grab())
        self.inp.xdo("windowfocus", "--sync", windows[0])
        self.inp.tap("Return")
        self.assertEqual(game.wait_exit(5), 1)
        self.assertLess(time.monotonic() - started, 10)


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--build", required=True)
    parser.add_argument("--text-mask", required=True)
    args, rest = parser.parse_known_args()
    build = os.path.abspath(args.build)
    Paths.game = os.path.join(build, "ghosts-of-vorn")
    Paths.data = os.path.join(build, "data.dat")
    Paths.silent_cfg = os.path.join(build, "tests", "allegro.cfg")
    Paths.music_cfg = os.path.join(build, "allegro.cfg")
    Paths.text_mask = os.path.abspath(args.text_mask)
    Paths.screenshots = os.path.join(build, "screenshots")
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    unittest.main(module=__name__, argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
