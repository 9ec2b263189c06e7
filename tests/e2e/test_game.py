#!/usr/bin/env python3
"""The real game on a private Xvfb, driven through XTest and checked on the screen's pixels.
Usage: test_game.py BUILD_DIR [unittest arguments, e.g. Menus]"""
import array, os, pathlib, shutil, signal, struct, subprocess, sys, tempfile, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver as xd  # noqa: E402
from xdriver import heat_fill, notice, overheat, play, title  # noqa: E402

BUILD = X = None


def config(source, capture=False, patches=True):
    """The settings at source; capture sends sound to the file device; without patches MIDI stays off."""
    drop = ({"alsa_device"} if capture else set()) | (set() if patches else {"patches", "midi_card"})
    with open(source) as f:
        lines = [line for line in f.read().splitlines() if line.split("=")[0].strip() not in drop]
    return "".join(line + ("\nalsa_device = vorn_capture" if capture and line.strip() == "[sound]" else "") + "\n"
                   for line in lines)


def loudness(raw, start, end):
    """The largest spread of 512-sample windows: silence is constant in any sample format."""
    with open(raw, "rb") as f:
        f.seek(start - start % 4)
        data = f.read(max(0, end - start))
    samples = array.array("h", data[:len(data) - len(data) % 2])
    windows = [samples[i:i + 512] for i in range(0, len(samples), 512)]
    return max([max(0, sum(v * v for v in w) / len(w) - (sum(w) / len(w)) ** 2) ** 0.5 for w in windows], default=0)


def table(names):
    """The high-score screen: the 15 rows' names at x 220 (nothing past names) and their scores at x 355."""
    return lambda f: xd.still_screen(f) and f.dark(60, 150) and f.dark(300, 350) and all(
        f.starts(y, y + 10, 355, 352) and (f.starts(y, y + 10, 220, 0, 352) if name else f.dark(y, y + 10, 0, 352))
        for y, name in zip(range(150, 300, 10), names + [""] * 15))


def score_file(rows):
    """36-byte records: a 32-byte name field (what follows its NUL means nothing), a little-endian score."""
    rows = rows + [("", 0, b"")] * (15 - len(rows))
    return b"".join((n.encode() + b"\0" + junk).ljust(32, b"\0")[:32] + struct.pack("<i", s) for n, s, junk in rows)


class GameCase(unittest.TestCase):
    """Each case runs a fresh copy of the game in a fresh folder, ended with its input whatever happens."""

    def start(self, cfg="", data=True, scores=b"", binary="ghosts-of-vorn", **env):
        d = pathlib.Path(tempfile.mkdtemp(prefix="vorn-e2e-"))
        self.addCleanup(shutil.rmtree, d, True)
        self.raw, self.scores = d / "sound.raw", d / "High Scores.txt"
        (d / ".asoundrc").write_text('pcm.vorn_capture {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n'
                                     % self.raw)
        (d / "allegro.cfg").write_text(cfg or config(os.path.join(BUILD, "tests", "allegro.cfg")))
        if scores:
            self.scores.write_bytes(scores)
        if data:
            shutil.copyfile(os.path.join(BUILD, "data.dat"), d / "data.dat")
        X.move(320, 240)
        self.out = open(d / "output.txt", "w+b")
        self.proc = xd.spawn([shutil.copy2(os.path.join(BUILD, binary), d), "--scale", "1"], cwd=d, stdin=subprocess.DEVNULL,
                             env=dict(X.env, HOME=str(d), **env), stdout=self.out, stderr=self.out)
        for cleanup in (self.out.close, lambda: X.button(1, False), lambda: xd.stop(self.proc)):
            self.addCleanup(cleanup)
        if data:
            self.wait(title(0), "title screen", 30)

    def wait(self, check, what, timeout=10):
        if f := X.wait(check, timeout):
            return f
        shot = os.path.join(BUILD, "screenshots", "failed", "%s-%s.png" % (self._testMethodName, what.replace(" ", "_")))
        X.grab().save(shot)
        self.out.seek(0)
        self.fail("no %s within %s s (status %s; screen in %s; output: %r)" % (
            what, timeout, self.proc.poll(), shot, self.out.read()[-500:]))

    def keys(self, *steps):
        """Taps each key and waits for the screen it should bring."""
        for key, check, what in steps:
            X.tap(key)
            self.wait(check, what)

    def to_play(self):
        self.keys(("Return", notice, "level 1 introduction"), ("a", play, "play frame"))

    def escape_to_title(self, names):
        self.keys(("Escape", notice, "game-over screen"), ("a", table(names), "high-score screen"),
                  ("a", title(0), "title screen after the game"))

    def sound_size(self):
        return self.raw.stat().st_size if self.raw.exists() else 0


class Menus(GameCase):
    def test_highlight_wrap_high_scores_and_quit(self):
        rows = [("Ghost Hunter", 5120, b""), ("Ada", 4300, b"leftover"), ("Bram", 3900, b""),
                ("Ghost Hunter", 3900, b""), ("Eef", 870, b"\xff\x01"), ("Fenna", 640, b"")]
        prepared = score_file(rows)
        self.start(scores=prepared)
        X.tap("Down", hold=0.5)  # held long, it still moves one item
        self.wait(title(1), "highlight on High Scores")
        self.keys(*[(key, title(n), "highlight %d after %s" % (n, key))
                    for key, n in [("Down", 2), ("Down", 0), ("Up", 2), ("Up", 1), ("Up", 0), ("Down", 1)]])
        self.keys(("Return", table([r[0] for r in rows]), "high-score table"),
                  ("a", title(1), "title with High Scores highlighted"), ("Down", title(2), "highlight on Quit"))
        self.assertEqual(self.scores.read_bytes(), prepared, "the table shown from the menu changed the file")
        X.tap("Return")
        self.assertEqual(self.proc.wait(5), 1)

    def test_missing_data_file_ends_with_a_message(self):
        started = time.monotonic()
        self.start(data=False)
        self.assertTrue(X.wait(lambda f: X.windows("xmessage"), 10), "no message box")
        self.assertIsNone(self.proc.poll(), "the game did not wait for the message to be answered")
        # Again until it is answered: a box just mapped may not take keys yet.
        X.wait(lambda f: X.tap("Return") or self.proc.poll() is not None, 5)
        self.assertEqual(self.proc.wait(5), 1)
        self.assertLess(time.monotonic() - started, 10)


class Play(GameCase):
    def test_clock_heat_bar_escape_and_close_button(self):
        self.start()
        self.to_play()
        X.move(6, 474)
        X.button(1, True)
        fills, started = [], time.monotonic()
        while time.monotonic() - started < 4:
            if play(f := X.grab()):
                fills.append(heat_fill(f))
            time.sleep(0.05)
        f = self.wait(lambda f: play(f) and overheat(f), "OVERHEAT!", 2)
        self.assertEqual(heat_fill(f), 149)
        self.assertEqual(fills, sorted(fills), "the bar shrank while the button was held")
        self.assertTrue(any(20 < n < 130 for n in fills), "no partly filled bar seen: %s" % fills)
        X.button(1, False)
        f = self.wait(lambda f: play(f) and not overheat(f) and 0 < heat_fill(f) < 110, "heat falling", 3)
        self.assertFalse(xd.near(f.pixel(heat_fill(f) // 2, 18), xd.RED), "a cooler bar is still bright red")
        self.escape_to_title([])
        self.assertFalse(self.scores.exists(), "a score of 0 made a file")
        self.to_play()
        X.close_window(X.windows("Ghosts of Vorn")[0])
        self.assertEqual(self.proc.wait(5), 1)


class ScoringGame(GameCase):
    def test_a_sleeping_title_the_countdown_and_a_shard_carrier_destroyed(self):
        # The hooked build keeps every ghost still and shown at (296, 216), one hit from death. A stored
        # score of 1234567890 shows every digit of the game's font, to read "Time Left" with.
        self.start(scores=score_file([("Digits", 1234567890, b"")]), binary="ghosts-of-vorn-hooked",
                   VORN_GHOST_AT="296,216")
        start, cpu = time.monotonic(), xd.cpu_seconds(self.proc.pid)
        time.sleep(3)
        share = (xd.cpu_seconds(self.proc.pid) - cpu) / (time.monotonic() - start)
        self.assertLess(share, 0.5, "the game used %.0f%% of a core on the title screen" % (100 * share))
        self.keys(("Down", title(1), "High Scores highlighted"), ("Return", table(["Digits"]), "high-score table"))
        digits = xd.Digits(X.grab(), 150, 352)
        self.keys(("a", title(1), "title after the table"), ("Up", title(0), "New Game highlighted"))
        self.to_play()
        changes = digits.countdown(X, 4.5)  # one second of countdown a second
        self.assertGreaterEqual(len(changes), 3, changes)
        (t0, v0), (t1, v1) = changes[0], changes[-1]
        self.assertLessEqual(abs((v0 - v1) - (t1 - t0)), 0.5, changes)
        # Level 1's only ghost carries the shard; the countdown stands while it shakes, and the time on
        # level 2's introduction that follows comes off it.
        X.button(1, True)
        last, deadline = None, time.monotonic() + 10
        while not notice(f := X.grab()) and time.monotonic() < deadline:
            last = digits.time_left(f) or last
        shown = time.monotonic()
        X.button(1, False)
        self.assertTrue(notice(f), "no level 2 introduction")
        time.sleep(4)
        X.tap("a")
        resumed = digits.time_left(self.wait(lambda f: digits.time_left(f) is not None, "level 2 play frame"))
        self.assertAlmostEqual(last - resumed, time.monotonic() - shown, delta=1.2)
        self.escape_to_title(["Digits", "Ghost Hunter"])
        self.assertEqual(self.scores.read_bytes(), score_file([("Digits", 1234567890, b""), ("Ghost Hunter", 20, b"")]),
                         "destroying level 1's shard carrier gives 10 + 10 x 1")


class Sound(GameCase):
    LOUD, QUIET = 300.0, 20.0

    def listen(self, seconds):
        start = self.sound_size()
        time.sleep(seconds)
        self.assertGreater(self.sound_size(), start, "nothing was played into the capture device")
        return loudness(self.raw, start, self.sound_size())

    def test_music_plays_on_the_title_screen(self):
        self.start(cfg=config(os.path.join(BUILD, "allegro.cfg"), capture=True))
        self.assertGreater(self.listen(4), self.LOUD)

    def test_zap_on_enter_and_on_a_hit_without_music(self):
        # The hooked build's one ghost stands under the pointer, one hit from death.
        self.start(cfg=config(os.path.join(BUILD, "tests", "allegro.cfg"), capture=True, patches=False),
                   binary="ghosts-of-vorn-hooked", VORN_GHOST_AT="296,216")
        self.assertLess(self.listen(1.5), self.QUIET, "music without its patch set")
        mark = self.sound_size()
        self.to_play()
        self.assertGreater(loudness(self.raw, mark, self.sound_size()), self.LOUD, "no zap after Enter")
        self.assertLess(self.listen(1), self.QUIET, "a zap with no hit")
        mark = self.sound_size()
        X.button(1, True)
        self.wait(notice, "level 2 introduction after the hit")
        X.button(1, False)
        self.assertGreater(loudness(self.raw, mark, self.sound_size()), self.LOUD, "no zap on the hit")


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    X = xd.XServer()
    try:
        unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
    finally:
        X.close()
