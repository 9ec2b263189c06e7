#!/usr/bin/env python3
"""The real game for a long while, two builds at once, each on its own Xvfb.

The sanitized build gets random keys and mouse and is restarted whenever it ends normally (status 1,
"Quit"). The plain build, with the tests' hooks, gets a player who aims: New Game starts it at a late
level, so that it fires flash bombs and reaches the win screens; it never chooses Quit, so that one
process plays throughout, for its resident memory (see memory_verdict). Either fails the soak on a
crash, another status, a report in its output or a hang: no new frame for HANG_SECONDS.
Usage: soak.py [--seconds N] [--first-level N] PLAIN_BUILD_DIR SANITIZED_BUILD_DIR"""
import argparse, glob, os, random, re, shutil, signal, subprocess, sys, tempfile, time, zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import xdriver as xd  # noqa: E402

HANG_SECONDS = 10     # no new frame for this long, though input is fed, is a hang
START_SECONDS = 20    # allowance for the first frame: the sanitized start-up is slow
NUDGE_SECONDS = 3     # a screen this still gets A and Down: "Hit A" screens and the title wait for them
SUMMARY_EVERY = 60
REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer|due to signal")
KEYS = ("Up", "Down", "Left", "Right", "Return", "a", "Escape", "m")
# Relative weights of the random player's actions; one comes every 50-250 ms.
ACTIONS = {"Up": 4, "Down": 4, "Left": 2, "Right": 2, "Return": 4, "a": 14, "Escape": 0.5, "m": 2,
           "move": 30, "aim": 12, "button1": 16, "button3": 3}


def screen_kind(f):
    """Which of the game's screens a grab shows, or None."""
    if xd.play(f):
        return "play"
    if xd.notice(f):
        return "notice"  # a level's introduction or the game over
    if any(xd.title(s)(f) for s in range(3)):
        return "title"
    if not xd.still_screen(f):
        return None
    if f.dark(60, 150):
        return "table"
    if f.starts(100, 110, 20) and f.starts(200, 210, 40):
        return "bomb"  # a level's introduction with a flash bomb
    return "win" if f.starts(100, 110, 40) and f.dark(190, 350) else None


class Failure(Exception):
    pass


class Game:
    """One build on its own X server, restarted whenever it ends with status 1."""

    def __init__(self, name, binary, build, base, sanitized, first_level=1):
        self.name, self.dir, self.first_level = name, os.path.join(base, name), first_level
        bin_dir, self.run_dir = os.path.join(self.dir, "bin"), os.path.join(self.dir, "run")
        os.makedirs(bin_dir)
        os.makedirs(self.run_dir)
        # Silent sound: the binary beside a copy of the test settings (the library reads its own folder's).
        self.binary = shutil.copy2(os.path.join(build, binary), bin_dir)
        shutil.copy2(os.path.join(build, "tests", "allegro.cfg"), bin_dir)
        with open(os.path.join(self.run_dir, "datapath.cfg"), "w") as f:
            f.write("[data]\npath = %s\n" % os.path.join(os.path.abspath(build), "data.dat"))
        self.x = xd.XServer()
        self.env = dict(self.x.env, HOME=self.run_dir, VORN_FIRST_LEVEL=str(first_level))
        if sanitized:
            # Over the build's own defaults (and its leak suppressions): the library's crash handlers
            # must not replace the sanitizer's, and no report may pass for status 1 ("Quit").
            log = "halt_on_error=1:exitcode=86:log_path=" + os.path.join(self.dir, "sanitizer")
            self.env["ASAN_OPTIONS"] = "allow_user_segv_handler=0:handle_abort=1:" + log
            self.env["UBSAN_OPTIONS"] = "print_stacktrace=1:" + log
        self.rng, self.held = random.Random(), {}
        self.runs = self.games = self.top_level = self.level = self.wins = 0
        self.rss = []  # (pid, seconds since its start, VmRSS kB)
        self.next_action = self.next_look = 0.0

    def start(self, now):
        self.runs += 1
        self.log = open(os.path.join(self.dir, "run-%d.log" % self.runs), "wb")
        self.proc = xd.spawn([self.binary], cwd=self.run_dir, env=self.env, stdin=subprocess.DEVNULL,
                             stdout=self.log, stderr=subprocess.STDOUT)
        self.started, self.changed, self.nudged, self.tapped = now, now + START_SECONDS - HANG_SECONDS, now, now
        self.frame, self.kind, self.notice_from = None, None, None

    def fail(self, what):
        raise Failure("%s build, run %d: %s (logs in %s)" % (self.name, self.runs, what, self.dir))

    def release_all(self):
        for what in list(self.held):
            self.send(what, False)

    def send(self, what, down):
        self.x.button(what, down) if isinstance(what, int) else self.x.key(what, down)
        self.held.pop(what, None)

    def press(self, what, seconds, now):
        if what not in self.held:
            self.send(what, True)
            self.held[what] = now + seconds

    def check_end(self, now, restart=True):
        """A run that ended: status 1 without reports starts the next one, anything else fails."""
        if (status := self.proc.poll()) is None:
            return
        xd.stop(self.proc)
        self.log.close()
        self.release_all()
        for path in [self.log.name] + glob.glob(os.path.join(self.dir, "sanitizer.*")):
            with open(path, errors="replace") as f:
                if found := [line.strip() for line in f if REPORT.search(line)]:
                    self.fail("report in its output: " + found[0])
        if status < 0:
            self.fail("killed by signal %d" % -status)
        if status not in (0, 1):
            self.fail("ended with status %d" % status)
        if restart:
            self.start(now)

    def look(self, now):
        f = self.x.grab()
        frame = zlib.crc32(f.data)
        if self.frame is None:
            self.frame = frame  # the empty screen before the window: the first frame is a change
        elif frame != self.frame:
            self.frame, self.changed = frame, now
        elif now - self.changed > HANG_SECONDS:
            f.save(os.path.join(self.dir, "hang.png"))
            self.fail("no new frame for %d s while input was fed (screen in hang.png)" % HANG_SECONDS)
        self.count(screen_kind(f))
        with open("/proc/%d/status" % self.proc.pid) as status:
            self.rss += [(self.proc.pid, now - self.started, int(line.split()[1]))
                         for line in status if line.startswith("VmRSS:")]
        return f

    def count(self, kind):
        """A game begins where the title gives way to a level; an introduction left for play or a win is a level."""
        if kind is None or kind == self.kind:
            return
        if kind in ("notice", "bomb") and self.kind == "title":
            self.games, self.level = self.games + 1, self.first_level
        elif kind == "bomb" or (kind in ("play", "win") and self.kind == "notice" and self.notice_from == "play"):
            self.level += 1
        self.wins += kind == "win"
        self.notice_from = self.kind if kind == "notice" else self.notice_from
        self.top_level, self.kind = max(self.top_level, self.level), kind

    def step(self, now):
        self.check_end(now)
        for what, until in list(self.held.items()):
            if until <= now:
                self.send(what, False)
        if now >= self.next_look:
            self.next_look = now + 0.25
            self.f = self.look(now)
            if now - self.changed > NUDGE_SECONDS and now - self.nudged > 1:
                # Held long enough to be seen under load: a brief tap may fall between two reads of the keys.
                self.nudged = now
                self.press(self.rng.choice(("a", "Down")), 0.4, now)
        if now >= self.next_action:
            self.next_action = now + self.rng.uniform(0.05, 0.25)
            self.act(now)

    def act(self, now):
        rng = self.rng
        what = rng.choices(list(ACTIONS), list(ACTIONS.values()))[0]
        if what in KEYS:
            self.press(what, rng.uniform(0.05, 0.3), now)
        elif what in ("move", "aim"):
            spots = xd.Hunter.ghost_points(self.f) if what == "aim" and self.kind == "play" else []
            self.x.move(*(rng.choice(spots) if spots else (rng.randrange(640), rng.randrange(480))))
        else:
            self.press(1 if what == "button1" else 3, rng.uniform(0.1, 3.0) if what == "button1" else 0.2, now)

    def finish(self):
        """Closes the window, as a player would, so that the last run ends normally and is checked too."""
        self.release_all()
        deadline = time.monotonic() + START_SECONDS  # a run just restarted may not have its window yet
        while self.proc.poll() is None and not self.x.windows("Ghosts of Vorn"):
            if time.monotonic() > deadline:
                self.fail("no game window at the end")
            time.sleep(0.2)
        for window in self.x.windows("Ghosts of Vorn"):
            self.x.close_window(window)
        try:
            self.proc.wait(60)
        except subprocess.TimeoutExpired:
            self.fail("did not end within 60 s of its window being closed")
        self.check_end(time.monotonic(), restart=False)

    def summary(self):
        return "%d runs, %d games, top level %d" % (self.runs, self.games, self.top_level)


class Aimer(Game):
    """Plays to win: the Hunter in play, A on every still screen, New Game on the title, never Quit."""

    def __init__(self, *args, **kw):
        super().__init__(*args, **kw)
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
                self.tap("m", now)  # every track early: the music's instruments load on first use
            return
        self.hunter.hold(False)
        # The title's highlight is trusted only once it has settled after the last key.
        if kind in ("notice", "bomb", "win", "table") and now - self.tapped > 0.5:
            self.tap("a", now)
        elif kind == "title" and now - self.tapped > 0.5 and now - self.changed > 0.3:
            self.tap("Return" if xd.title(0)(f) else "Up", now)

    def tap(self, key, now):
        self.x.tap(key)
        self.tapped = now

    def summary(self):
        return "%d games, top level %d, bombs fired %d, win screens %d" % (
            self.games, self.top_level, self.hunter.bombs_fired, self.wins)


def memory_verdict(rss, seconds):
    """(passed, text): whether resident memory still grows once the game has settled.

    The plain build, not the sanitized one, whose quarantine of freed memory grows on its own; one
    process's lifetime, as memory lost within a process is given back when it ends. The first minute
    is a warm-up (the music's instruments and the library's buffers load on first use); the rest is
    cut in thirds: it still grows when the peak of the last third is above the peak of the first by
    more than 512 KiB. Peaks, so that the heap's ups and downs within a game do not count."""
    warmup = 60 if seconds >= 180 else seconds / 3
    pid = max(rss, key=lambda s: s[1])[0]
    samples = [(t, kb) for p, t, kb in rss if p == pid]
    end = samples[-1][0]
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
    sanitized = Game("sanitized", "ghosts-of-vorn", args.sanitized_build, base, sanitized=True)
    plain = Aimer("plain", "ghosts-of-vorn-hooked", args.plain_build, base, sanitized=False,
                  first_level=args.first_level)
    begin = now = time.monotonic()
    for g in (sanitized, plain):
        g.start(begin)
    next_summary = begin + SUMMARY_EVERY
    try:
        while now - begin < args.seconds:
            for g in (sanitized, plain):
                g.step(now)
            if now >= next_summary:
                next_summary += SUMMARY_EVERY
                print("soak %4d s: sanitized %s; plain %s, RSS %.1f MiB" % (
                    now - begin, sanitized.summary(), plain.summary(), plain.rss[-1][2] / 1024), flush=True)
            time.sleep(0.01)
            now = time.monotonic()
        for g in (sanitized, plain):
            g.finish()
    except Failure as failure:
        print("soak FAILED after %d s: %s" % (time.monotonic() - begin, failure), flush=True)
        return 1
    with open(os.path.join(plain.dir, "rss.txt"), "w") as f:
        f.writelines("%d %.1f %d\n" % sample for sample in plain.rss)
    passed, text = memory_verdict(plain.rss, args.seconds)
    print("soak %s: %d s; sanitized build %s; plain build %s; %s" % (
        "passed" if passed else "FAILED (memory still growing)", args.seconds, sanitized.summary(),
        plain.summary(), text), flush=True)
    if passed:
        shutil.rmtree(base, True)
    else:
        print("logs in " + base)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
