#!/usr/bin/python3
"""The game's pace on its own X server: the countdown in play and across a level introduction, and
a title screen that sleeps between ticks. Runs the hooked build, whose ghosts stand still where a
test puts them and die at one hit.
Usage: test_pacing.py BUILD_DIR [unittest arguments]"""
import os, shutil, signal, struct, subprocess, sys, tempfile, time, unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdriver as xd  # noqa: E402

BUILD = X = None
GHOST = (296, 216)  # a 48x48 picture: its middle is under the pointer at (320, 240)


class Pacing(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorn-pacing-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        game = shutil.copy2(os.path.join(BUILD, "ghosts-of-vorn-hooked"), self.dir)
        for name in ("tests/allegro.cfg", "data.dat"):
            shutil.copy2(os.path.join(BUILD, name), self.dir)
        # A score of 1234567890 shows every digit of the game's font, to read "Time Left" with.
        with open(os.path.join(self.dir, "High Scores.txt"), "wb") as f:
            f.write(b"Digits".ljust(32, b"\0") + struct.pack("<i", 1234567890))
        X.move(320, 240)
        self.proc = xd.spawn([game], cwd=self.dir, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             env=dict(X.env, HOME=self.dir, VORN_GHOST_AT="%d,%d" % GHOST))
        self.addCleanup(xd.stop, self.proc)
        self.addCleanup(X.button, 1, False)

    def wait(self, check, what, timeout=10):
        f = X.wait(check, timeout)
        if f is None:
            path = os.path.join(BUILD, "screenshots", "failed", "pacing-%s.png" % what.replace(" ", "_"))
            X.grab().save(path)
            self.fail("no %s within %s s (status %s; screen in %s)" % (what, timeout, self.proc.poll(), path))
        return f

    def time_left(self, f):
        return self.digits.read(f, 60, 0, 140) if xd.play(f) else None

    def watch(self, seconds):
        """(time, value) of each change of "Time Left" seen in seconds of play."""
        changes, end = [], time.monotonic() + seconds
        while time.monotonic() < end:
            value = self.time_left(X.grab())
            if value is not None and (not changes or value != changes[-1][1]):
                changes.append((time.monotonic(), value))
            time.sleep(0.01)
        return changes

    def test_countdown_and_a_sleeping_title_screen(self):
        self.wait(xd.title(0), "title screen", 30)
        with self.subTest("the title screen sleeps between ticks"):
            time.sleep(0.5)
            start, cpu = time.monotonic(), xd.cpu_seconds(self.proc.pid)
            time.sleep(3)
            share = (xd.cpu_seconds(self.proc.pid) - cpu) / (time.monotonic() - start)
            self.assertLess(share, 0.5, "the game used %.0f%% of a core on the title screen" % (100 * share))

        X.tap("Down")
        self.wait(xd.title(1), "High Scores highlighted")
        X.tap("Return")
        self.digits = xd.Digits(self.wait(lambda f: xd.still_screen(f) and f.starts(150, 160, 355, 352),
                                          "high-score table"), 150, 352)
        X.tap("a")
        self.wait(xd.title(1), "title screen after the table")
        X.tap("Up")
        self.wait(xd.title(0), "New Game highlighted")
        X.tap("Return")
        self.wait(xd.notice, "level 1 introduction")
        X.tap("a")
        self.wait(xd.play, "play at level 1")

        with self.subTest("one second of countdown a second in play"):
            changes = self.watch(4.5)[1:]  # the first value seen had begun before
            self.assertGreaterEqual(len(changes), 3, changes)
            (t0, v0), (t1, v1) = changes[0], changes[-1]
            self.assertLessEqual(abs((v0 - v1) - (t1 - t0)), 0.5, changes)

        # The carrier is level 1's only ghost, under the pointer: one hit, then the shard shakes.
        last = self.time_left(X.grab())
        X.button(1, True)
        deadline = time.monotonic() + 10
        while not xd.notice(f := X.grab()) and time.monotonic() < deadline:
            last = self.time_left(f) or last
        shown = time.monotonic()
        X.button(1, False)
        self.wait(xd.notice, "level 2 introduction", 1)
        with self.subTest("the time on a level's introduction comes off the countdown"):
            time.sleep(4)
            X.tap("a")
            waited = time.monotonic() - shown
            resumed = self.time_left(self.wait(lambda f: self.time_left(f) is not None, "play at level 2", 3))
            self.assertAlmostEqual(last - resumed, waited, delta=1.2,
                                   msg="%d before, %d after %.1f s" % (last, resumed, waited))


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    X = xd.XServer()
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
