#!/usr/bin/env python3
"""The real game for a long while, two builds at once, each on its own Xvfb: the sanitized one under
random input (see Game), the plain one with the tests' hooks played to win (see Aimer). Either fails
the soak on a crash, another status, a report in its output or a hang: no new frame for HANG_SECONDS;
a run of 300 s or more also when the aiming player fired no flash bomb or reached no win screen.
Usage: soak.py [--seconds N] [--first-level N] PLAIN_BUILD_DIR SANITIZED_BUILD_DIR"""
import argparse, glob, os, random, re, shutil, signal, subprocess, sys, tempfile, time, zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import xdriver as xd  # noqa: E402

HANG_SECONDS = 10     # no new frame for this long, though input is fed, is a hang
START_SECONDS = 20    # allowance for the first frame: the sanitized start-up is slow
NUDGE_SECONDS = 3     # a screen this still gets A and Down: "Hit A" screens and the title wait for them
REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer|due to signal")
# Relative weights of the random player's actions (keys, moves, buttons 1 and 3); one comes every 50-250 ms.
ACTIONS = {"Up": 4, "Down": 4, "Left": 2, "Right": 2, "Return": 4, "a": 14, "Escape": 0.5, "m": 2,
           "move": 30, "aim": 12, 1: 16, 3: 3}


# The game's screens by what a grab shows; a "notice" is a level's introduction or the game over.
KINDS = [("play", xd.play), ("notice", xd.notice), ("title", lambda f: any(xd.title(s)(f) for s in range(3))),
         ("table", lambda f: xd.still_screen(f) and f.dark(60, 150)),
         ("bomb", lambda f: xd.still_screen(f) and f.starts(100, 110, 20) and f.starts(200, 210, 40)),
         ("win", lambda f: xd.still_screen(f) and f.starts(100, 110, 40) and f.dark(190, 350))]


class Failure(Exception):
    pass


class Game:
    """The sanitized build on its own X server under random keys and mouse, restarted whenever it ends
    with status 1."""
    name, binary, first_level = "sanitized", "ghosts-of-vorn", 1

    def __init__(self, build, base):
        self.dir = os.path.join(base, self.name)
        self.run_dir = os.path.join(self.dir, "run")
        os.makedirs(self.run_dir)
        # Silent sound: the binary beside a copy of the test settings (the library reads its own folder's).
        self.binary = shutil.copy2(os.path.join(build, self.binary), self.dir)
        shutil.copy2(os.path.join(build, "tests", "allegro.cfg"), self.dir)
        with open(os.path.join(self.run_dir, "datapath.cfg"), "w") as f:
            f.write("[data]\npath = %s\n" % os.path.join(os.path.abspath(build), "data.dat"))
        self.x = xd.XServer()
        self.env = dict(self.x.env, HOME=self.run_dir, VORN_FIRST_LEVEL=str(self.first_level))
        if self.name == "sanitized":
            # Over the build's own defaults (and its leak suppressions): the library's crash handlers
            # must not replace the sanitizer's, and no report may pass for status 1 ("Quit").
            log = "halt_on_error=1:exitcode=86:log_path=" + os.path.join(self.dir, "sanitizer")
            self.env.update(ASAN_OPTIONS="allow_user_segv_handler=0:handle_abort=1:" + log,
                            UBSAN_OPTIONS="print_stacktrace=1:" + log)
        self.rng, self.held = random.Random(), {}
        self.runs = self.wins = self.next_action = self.next_look = 0

    def start(self, now):
        self.runs += 1
        self.log = open(os.path.join(self.dir, "run-%d.log" % self.runs), "wb")
        self.proc = xd.spawn([self.binary], cwd=self.run_dir, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=self.log, stderr=subprocess.STDOUT)
        self.started, self.changed, self.nudged, self.tapped = now, now + START_SECONDS - HANG_SECONDS, now, now
        self.frame = self.kind = None
        self.rss = []  # (seconds since the start, VmRSS kB)

    def fail(self, what):
        raise Failure("%s build, run %d: %s (logs in %s)" % (self.name, self.runs, what, self.dir))

    def press(self, what, seconds, now):
        if what not in self.held:
            (self.x.button if isinstance(what, int) else self.x.key)(what, True)
            self.held[what] = now + seconds

    def release(self, now):
        for what in [w for w, until in self.held.items() if until <= now]:
            (self.x.button if isinstance(what, int) else self.x.key)(what, False)
            del self.held[what]

    def check_end(self, now, restart=True):
        """A run that ended: status 1 without reports starts the next one, anything else fails."""
        if (status := self.proc.poll()) is None:
            return
        xd.stop(self.proc)
        self.log.close()
        self.release(float("inf"))
        for path in [self.log.name] + glob.glob(os.path.join(self.dir, "sanitizer.*")):
            with open(path, errors="replace") as f:
                if found := [line.strip() for line in f if REPORT.search(line)]:
                    self.fail("report in its output: " + found[0])
        if status not in (0, 1):
            self.fail("killed by signal %d" % -status if status < 0 else "ended with status %d" % status)
        if restart:
            self.start(now)

    def look(self, now):
        self.f = self.x.grab()
        frame = zlib.crc32(self.f.im.tobytes())
        if self.frame is None:
            self.frame = frame  # the empty screen before the window: the first frame is a change
        elif frame != self.frame:
            self.frame, self.changed = frame, now
        elif now - self.changed > HANG_SECONDS:
            self.f.save(os.path.join(self.dir, "hang.png"))
            self.fail("no new frame for %d s while input was fed (screen in hang.png)" % HANG_SECONDS)
        kind = next((k for k, check in KINDS if check(self.f)), None)
        if kind not in (None, self.kind):
            self.wins += kind == "win"
            self.kind = kind
        with open("/proc/%d/status" % self.proc.pid) as status:
            self.rss += [(now - self.started, int(line.split()[1])) for line in status if line.startswith("VmRSS:")]
        return self.f

    def step(self, now):
        self.check_end(now)
        self.release(now)
        if now >= self.next_look:
            self.next_look = now + 0.25
            self.look(now)
            if now - self.changed > NUDGE_SECONDS and now - self.nudged > 1:
                # Held long enough to be seen under load: a brief tap may fall between two reads of the keys.
                self.nudged = now
                self.press(self.rng.choice(("a", "Down")), 0.4, now)
        if now >= self.next_action:
            self.next_action = now + self.rng.uniform(0.05, 0.25)
            what = self.rng.choices(list(ACTIONS), list(ACTIONS.values()))[0]
            spots = xd.Hunter.ghost_points(self.f) if what == "aim" and self.kind == "play" else []
            if what in ("move", "aim"):
                self.x.move(*(self.rng.choice(spots) if spots else (self.rng.randrange(640), self.rng.randrange(480))))
            else:
                self.press(what, self.rng.uniform(0.1, 3.0) if what == 1 else self.rng.uniform(0.05, 0.3), now)

    def finish(self):
        """Closes the window, as a player would, so that the last run ends normally and is checked too."""
        self.release(float("inf"))
        # A run just restarted may not have its window yet.
        if not self.x.wait(lambda f: self.proc.poll() is not None or self.x.windows("Ghosts of Vorn"), START_SECONDS):
            self.fail("no game window at the end")
        for window in self.x.windows("Ghosts of Vorn"):
            self.x.close_window(window)
        if not self.x.wait(lambda f: self.proc.poll() is not None, 60, 0.2):
            self.fail("did not end within 60 s of its window being closed")
        self.check_end(time.monotonic(), restart=False)

    def summary(self):
        return "%d runs" % self.runs


class Aimer(Game):
    """The plain build with the tests' hooks, played to win from a late level, for flash bombs and the win
    screens: the Hunter in play, A on every still screen, New Game on the title. Never Quit, so that one
    process plays throughout, for its resident memory (see memory_verdict)."""
    name, binary = "plain", "ghosts-of-vorn-hooked"

    def __init__(self, build, base, first_level):
        self.first_level = first_level
        super().__init__(build, base)
        self.hunter = xd.Hunter(self.x)

    def step(self, now):
        self.check_end(now)
        if now < self.next_look:
            return
        self.next_look = now + 0.04
        f, kind = self.look(now), self.kind
        if kind == "play":
            self.hunter.step(f)
            if now - self.started < 60 and now - self.tapped > 3:
                self.x.tap("m")  # every track early: the music's instruments load on first use
                self.tapped = now
            return
        self.hunter.hold(False)
        # The title's highlight is trusted only once it has settled after the last key.
        if now - self.tapped > 0.5 and (kind in ("notice", "bomb", "win", "table")
                                        or kind == "title" and now - self.changed > 0.3):
            self.x.tap("a" if kind != "title" else "Return" if xd.title(0)(f) else "Up")
            self.tapped = now

    def summary(self):
        return "bombs fired %d, win screens %d" % (self.hunter.bombs_fired, self.wins)


def memory_verdict(samples, seconds):
    """(passed, text): whether resident memory still grows over one plain-build process's life (the
    sanitizer's quarantine grows on its own) after a minute's warm-up, as the music's instruments and
    the library's buffers load on first use: when the peak of the last third is above the peak of the
    first by more than 512 KiB. Peaks, so that the heap's ups and downs within a game do not count."""
    warmup, end = (60 if seconds >= 180 else seconds / 3), (samples or [(0, 0)])[-1][0]
    if end < 2 * warmup:
        return False, "no plain-build process lived %d s" % (2 * warmup)
    third = (end - warmup) / 3
    first = max(kb for t, kb in samples if warmup <= t <= warmup + third)
    last = max(kb for t, kb in samples if t >= end - third)
    return last - first <= 512, "RSS over %d s: peak %.2f MiB in the first third after warm-up, %.2f MiB in the last (%+d KiB)" % (
        end, first / 1024, last / 1024, last - first)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--first-level", type=int, default=18)
    parser.add_argument("plain_build")
    parser.add_argument("sanitized_build")
    args = parser.parse_args()
    # Ended from outside: exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    base = tempfile.mkdtemp(prefix="vorn-soak-")
    sanitized, plain = Game(args.sanitized_build, base), Aimer(args.plain_build, base, args.first_level)
    begin = now = time.monotonic()
    for g in (sanitized, plain):
        g.start(begin)
    next_summary = begin + 60
    try:
        while now - begin < args.seconds:
            for g in (sanitized, plain):
                g.step(now)
            if now >= next_summary:
                next_summary += 60
                print("soak %4d s: sanitized %s; plain %s, RSS %.1f MiB" % (
                    now - begin, sanitized.summary(), plain.summary(), (plain.rss or [(0, 0)])[-1][1] / 1024), flush=True)
            time.sleep(0.01)
            now = time.monotonic()
        for g in (sanitized, plain):
            g.finish()
    except Failure as failure:
        print("soak FAILED after %d s: %s" % (time.monotonic() - begin, failure), flush=True)
        return 1
    passed, text = memory_verdict(plain.rss, args.seconds)
    # A full run's aiming player fires flash bombs and wins; without them the late levels went unplayed.
    if args.seconds >= 300 and not (plain.hunter.bombs_fired and plain.wins):
        passed, text = False, text + "; the aiming player fired no flash bomb or reached no win screen"
    print("soak %s: %d s; sanitized build %s; plain build %s; %s" % (
        "passed" if passed else "FAILED", args.seconds, sanitized.summary(),
        plain.summary(), text), flush=True)
    if passed:
        shutil.rmtree(base, True)
    else:
        print("logs in " + base)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
