"""The game's pace on the hooked build: a title screen that sleeps between ticks, and the countdown in play
and across a level introduction. Usage: python3 test_pacing.py BUILD_DIR [unittest arguments]"""
import os, pathlib, shutil, signal, struct, subprocess, sys, tempfile, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdriver as xd  # noqa: E402


class Pacing(unittest.TestCase):
    def tap(self, key, check, what):
        X.tap(key)
        self.assertIsNotNone(f := X.wait(check, 10), "no %s within 10 s (status %s)" % (what, self.game.poll()))
        return f

    def time_left(self, f):
        return self.digits.read(f, 60, 0, 140) if xd.play(f) else None

    def test_a_sleeping_title_screen_and_the_countdown(self):
        folder = self.enterContext(tempfile.TemporaryDirectory(prefix="vorn-pacing-"))
        for name in ("ghosts-of-vorn-hooked", "tests/allegro.cfg", "data.dat"):
            shutil.copy2(os.path.join(BUILD, name), folder)
        # A score of 1234567890 shows every digit of the game's font, to read "Time Left" with.
        pathlib.Path(folder, "High Scores.txt").write_bytes(b"Digits".ljust(32, b"\0") + struct.pack("<i", 1234567890))
        X.move(320, 240)  # the middle of a 48x48 ghost at (296, 216), where the hooked build keeps it
        self.game = xd.spawn([os.path.join(folder, "ghosts-of-vorn-hooked")], cwd=folder, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, env=dict(X.env, HOME=folder, VORN_GHOST_AT="296,216"))
        self.assertIsNotNone(X.wait(xd.title(0), 30), "no title screen")
        start, cpu = time.monotonic(), xd.cpu_seconds(self.game.pid)
        time.sleep(3)
        share = (xd.cpu_seconds(self.game.pid) - cpu) / (time.monotonic() - start)
        self.assertLess(share, 0.5, "the game used %.0f%% of a core on the title screen" % (100 * share))

        self.tap("Down", xd.title(1), "High Scores highlighted")
        table = self.tap("Return", lambda f: xd.still_screen(f) and f.starts(150, 160, 355, 352), "high-score table")
        self.digits = xd.Digits(table, 150, 352)
        self.tap("a", xd.title(1), "title screen after the table")
        self.tap("Up", xd.title(0), "New Game highlighted")
        self.tap("Return", xd.notice, "level 1 introduction")
        self.tap("a", xd.play, "play at level 1")
        # One second of countdown a second: the first value seen had begun before.
        changes, end = [], time.monotonic() + 4.5
        while time.monotonic() < end:
            if (value := self.time_left(X.grab())) is not None and (not changes or value != changes[-1][1]):
                changes.append((time.monotonic(), value))
            time.sleep(0.01)
        self.assertGreaterEqual(len(changes), 4, changes)
        (t0, v0), (t1, v1) = changes[1], changes[-1]
        self.assertLessEqual(abs((v0 - v1) - (t1 - t0)), 0.5, changes)

        # Level 1's only ghost is the carrier and dies at one hit; the shard then shakes with the countdown
        # held. The time on level 2's introduction that follows comes off the countdown.
        X.button(1, True)
        last, deadline = None, time.monotonic() + 10
        while not xd.notice(f := X.grab()) and time.monotonic() < deadline:
            last = self.time_left(f) or last
        shown = time.monotonic()
        X.button(1, False)
        self.assertTrue(xd.notice(f), "no level 2 introduction")
        time.sleep(4)
        resumed = self.time_left(self.tap("a", lambda f: self.time_left(f) is not None, "play at level 2"))
        self.assertAlmostEqual(last - resumed, time.monotonic() - shown, delta=1.2)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    X = xd.XServer()
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
