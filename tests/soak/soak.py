#!/usr/bin/env python3
"""The real game for a long while under random keys and mouse, two builds at once, each on its own Xvfb.

The sanitized build is restarted whenever it ends normally (status 1); the plain build never chooses
Quit and plays as one process throughout, for its resident memory (see MemoryWatch). Either fails the
soak on a crash, another status, a report in its output or a hang: no new frame for HANG_SECONDS.
Usage: soak.py [--seconds N] PLAIN_BUILD_DIR SANITIZED_BUILD_DIR"""
import argparse, collections, contextlib, ctypes, ctypes.util, glob, os, random, re, shutil, signal, subprocess
import sys, tempfile, time, zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import test_game as e2e  # noqa: E402  (its X server, screen grabs and screen checks)

HANG_SECONDS = 10     # no new frame for this long, though input is fed, is a hang
START_SECONDS = 20    # allowance for the first frame: the sanitized start-up is slow
NUDGE_SECONDS = 3     # a screen this still gets A and Down: "Hit A" screens and the title wait for them
LOOK_EVERY = 0.25
SUMMARY_EVERY = 60
REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer|due to signal")

# XTest, as used by xdotool (which brings libxtst6): no process per event, so two games can be fed cheaply.
_xtst = ctypes.CDLL(ctypes.util.find_library("Xtst") or "libXtst.so.6")
_xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
_xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_ulong]
_xlib = e2e._xlib
_xlib.XStringToKeysym.restype = ctypes.c_ulong
_xlib.XStringToKeysym.argtypes = [ctypes.c_char_p]
_xlib.XKeysymToKeycode.restype = ctypes.c_ubyte
_xlib.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]

ARROWS = ("Up", "Down", "Left", "Right")
KEYS = ARROWS + ("Return", "a", "Escape", "m")
# Relative weights of the random actions; an action comes every 50-250 ms.
ACTIONS = {"Up": 4, "Down": 4, "Left": 2, "Right": 2, "Return": 4, "a": 14, "Escape": 0.5, "m": 2,
           "move": 30, "aim": 12, "button1": 16, "button3": 3}


class Input:
    """Key and button presses on one X server, each with its release booked."""

    def __init__(self, x):
        self.dpy, self.held, self.released, self.trace = x.dpy, {}, {}, collections.deque(maxlen=400)
        self.codes = {k: _xlib.XKeysymToKeycode(self.dpy, _xlib.XStringToKeysym(k.encode())) for k in KEYS}
        self.pointer = (320, 240)

    def send(self, what, down):
        self.trace.append("%.2f %s %s" % (time.monotonic(), what, "down" if down else "up"))
        if isinstance(what, int):
            _xtst.XTestFakeButtonEvent(self.dpy, what, down, 0)
        else:
            _xtst.XTestFakeKeyEvent(self.dpy, self.codes[what], down, 0)
        _xlib.XFlush(self.dpy)

    def press(self, what, seconds, now):
        if what not in self.held:
            self.send(what, True)
            self.held[what] = now + seconds

    def release_due(self, now, everything=False):
        for what, until in list(self.held.items()):
            if everything or until <= now:
                self.send(what, False)
                del self.held[what]
                self.released[what] = now

    def move(self, x, y):
        _xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        _xlib.XFlush(self.dpy)
        self.pointer = (x, y)
        self.trace.append("%.2f move %d %d" % (time.monotonic(), x, y))


def screen_kind(img):
    """Which of the game's screens a grab shows, or None."""
    if e2e.play(img):
        return "play"
    if e2e.notice(img):
        return "notice"
    if any(e2e.title(s)(img) for s in range(3)):
        return "title"
    if e2e.still_screen(img) and e2e.dark(img, 60, 150):
        return "table"
    return None


def quit_highlighted(img):
    return any(e2e.near(c, e2e.YELLOW) for _, c in img.lit(320, 330, 270, 370))


def lit_spots(img, pointer):
    """Lit points below the HUD and away from the crosshair: where the ghosts are."""
    spots = []
    for y in range(84, 480, 6):
        row = img.row(y)
        if row.strip(b"\0"):
            spots += [(x, y) for x in range(0, 640, 6) if any(row[4 * x:4 * x + 3])
                      and not (abs(x - pointer[0]) <= 32 and abs(y - pointer[1]) <= 32)]
    return spots


def vm_rss_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    except (OSError, StopIteration):
        return None


class Failure(Exception):
    pass


class Game:
    """One build on its own X server, fed random input and restarted whenever it ends with status 1."""

    def __init__(self, name, build, base, sanitized, avoid_quit):
        self.name, self.avoid_quit = name, avoid_quit
        self.dir = os.path.join(base, name)
        bin_dir, self.run_dir = os.path.join(self.dir, "bin"), os.path.join(self.dir, "run")
        os.makedirs(bin_dir)
        os.makedirs(self.run_dir)
        # Silent sound: the binary beside a copy of the test settings (the library reads its own folder's).
        self.binary = shutil.copy2(os.path.join(build, "ghosts-of-vorn"), bin_dir)
        shutil.copy2(os.path.join(build, "tests", "allegro.cfg"), bin_dir)
        with open(os.path.join(self.run_dir, "datapath.cfg"), "w") as f:
            f.write("[data]\npath = %s\n" % os.path.join(os.path.abspath(build), "data.dat"))
        self.x = e2e.XServer()
        self.input = Input(self.x)
        self.env = dict(self.x.env, HOME=self.run_dir)
        if sanitized:
            # Over the build's own defaults (and its leak suppressions): the library's crash handlers
            # must not replace the sanitizer's, and no report may pass for status 1 ("Quit").
            log = "halt_on_error=1:exitcode=86:log_path=" + os.path.join(self.dir, "sanitizer")
            self.env["ASAN_OPTIONS"] = "allow_user_segv_handler=0:handle_abort=1:" + log
            self.env["UBSAN_OPTIONS"] = "print_stacktrace=1:" + log
        self.rng = random.Random()
        self.proc, self.runs, self.games, self.top_level, self.level, self.nudges = None, 0, 0, 0, 0, 0
        self.lifetimes = []  # (pid, [(seconds since start, VmRSS kB)]) of every process
        self.next_action = self.next_look = 0.0

    def start(self, now):
        self.runs += 1
        self.log = open(os.path.join(self.dir, "run-%d.log" % self.runs), "wb")
        self.proc = e2e.spawn([self.binary], cwd=self.run_dir, env=self.env, stdin=subprocess.DEVNULL,
                              stdout=self.log, stderr=subprocess.STDOUT)
        self.started, self.changed, self.nudged, self.frame = now, now + START_SECONDS - HANG_SECONDS, now, None
        self.img, self.img_time, self.last_kind, self.notice_after_play = None, 0.0, None, False
        self.lifetimes.append((self.proc.pid, []))

    def fail(self, what):
        with open(os.path.join(self.dir, "input.txt"), "w") as f:
            f.write("\n".join(self.input.trace) + "\n")
        raise Failure("%s build, run %d: %s (logs in %s)" % (self.name, self.runs, what, self.dir))

    def reports(self):
        """Sanitizer reports and library crash messages in this run's output and logs."""
        found = []
        for path in [self.log.name] + glob.glob(os.path.join(self.dir, "sanitizer.*")):
            with open(path, errors="replace") as f:
                found += [line.strip() for line in f if REPORT.search(line)]
        return found

    def check_end(self, now, restart=True):
        """A run that ended: status 1 without reports starts the next one, anything else fails."""
        status = self.proc.poll()
        if status is None:
            return
        e2e.stop(self.proc)
        self.log.close()
        self.input.release_due(now, everything=True)
        if found := self.reports():
            self.fail("report in its output: " + found[0])
        if status < 0:
            self.fail("killed by signal %d" % -status)
        if status not in (0, 1):
            self.fail("ended with status %d" % status)
        if restart:
            self.start(now)

    def look(self, now):
        img = self.x.grab()
        frame = zlib.crc32(img.data)
        if self.frame is None:
            self.frame = frame  # the empty screen before the window: the first frame is a change
        elif frame != self.frame:
            self.frame, self.changed = frame, now
        elif now - self.changed > HANG_SECONDS:
            img.save("%s-hang" % self.name)
            with open(os.path.join(self.dir, "threads.txt"), "w") as f:
                for task in sorted(glob.glob("/proc/%d/task/*" % self.proc.pid)):
                    with contextlib.suppress(OSError):
                        f.write("%s: %s; wchan %s\n" % (task, open(task + "/stat").read().split(")")[1].split()[0],
                                                          open(task + "/wchan").read()))
            self.fail("no new frame for %d s while input was fed (screen in %s-hang.png)" % (HANG_SECONDS, self.name))
        elif now - self.changed > NUDGE_SECONDS and now - self.nudged > 1:
            # Held long enough to be seen under load: a brief tap may fall between two reads of the keys.
            self.nudged, self.nudges = now, self.nudges + 1
            if self.allowed(("a", "Down")[self.nudges % 2], now):
                self.input.press(("a", "Down")[self.nudges % 2], 0.4, now)
        self.img, self.img_time = img, now
        self.count(screen_kind(img))

    def count(self, kind):
        """Games begin where the title or the table gives way to a level; a level notice left for play is a level."""
        if kind is None or kind == self.last_kind:
            return
        self.input.trace.append("%.2f screen %s" % (time.monotonic(), kind))
        if kind in ("notice", "play") and self.last_kind in ("title", "table"):
            self.games, self.level = self.games + 1, 1
        elif kind == "notice":
            self.notice_after_play = self.last_kind == "play"
        elif kind == "play" and self.last_kind == "notice" and self.notice_after_play:
            self.level += 1
        self.top_level = max(self.top_level, self.level)
        self.last_kind = kind

    def allowed(self, what, now):
        """Whether a press cannot choose Quit, when Quit is avoided: no arrow while Enter is down, and
        Enter only when the last grab, taken after the menu settled, shows no Quit lit."""
        if not self.avoid_quit or what not in ARROWS + ("Return",):
            return True
        if what in ARROWS:
            return "Return" not in self.input.held
        if any(k in self.input.held for k in ARROWS):
            return False
        last_arrow = max([self.input.released.get(k, 0.0) for k in ARROWS])
        return (self.img is not None and now - last_arrow > 0.5 and self.img_time - last_arrow > 0.4
                and not quit_highlighted(self.img))

    def act(self, now):
        rng, weights = self.rng, dict(ACTIONS)
        if self.avoid_quit and now - self.started < 60:
            weights["m"] = 12  # play every track early: the music's instruments load on first use
        what = rng.choices(list(weights), list(weights.values()))[0]
        if not self.allowed(what, now):
            return
        if what in KEYS:
            self.input.press(what, rng.uniform(0.05, 0.3), now)
        elif what == "move" or (what == "aim" and self.img is None):
            self.input.move(rng.randrange(640), rng.randrange(480))
        elif what == "aim":
            spots = lit_spots(self.img, self.input.pointer) if self.last_kind == "play" else []
            if spots:
                self.input.move(*rng.choice(spots))
        elif what == "button1":
            self.input.press(1, rng.uniform(0.1, 3.0), now)
        else:
            self.input.press(3, rng.uniform(0.05, 0.3), now)

    def step(self, now):
        self.check_end(now)
        self.input.release_due(now)
        if now >= self.next_look:
            self.next_look = now + LOOK_EVERY
            self.look(now)
            rss = vm_rss_kb(self.proc.pid)
            if rss is not None:
                self.lifetimes[-1][1].append((now - self.started, rss))
        if now >= self.next_action:
            self.next_action = now + self.rng.uniform(0.05, 0.25)
            self.act(now)

    def windows(self):
        out = subprocess.run(["xdotool", "search", "--name", "Ghosts of Vorn"], env=self.x.env, timeout=20,
                             capture_output=True, text=True).stdout
        return [int(w) for w in out.split()]

    def finish(self, now):
        """Closes the window, as a player would, so that the last run ends normally and is checked too."""
        self.input.release_due(now, everything=True)
        deadline = time.monotonic() + START_SECONDS  # a run just restarted may not have its window yet
        while self.proc.poll() is None and not self.windows():
            if time.monotonic() > deadline:
                self.fail("no game window at the end")
            time.sleep(0.2)
        for window in self.windows():
            self.x.close_window(window)
        try:
            self.proc.wait(60)
        except subprocess.TimeoutExpired:
            self.fail("did not end within 60 s of its window being closed")
        self.check_end(now, restart=False)

    def summary(self):
        return "%d runs, %d games, top level %d" % (self.runs, self.games, self.top_level)


class MemoryWatch:
    """Whether resident memory still grows once the game has settled.

    The plain build, not the sanitized one: the sanitizer's quarantine of freed memory grows on its own.
    It is judged over one process's lifetime, as memory lost within a process is given back when it
    ends: so this game is never steered to Quit and plays many games in one process for the whole run.
    The first minute is a warm-up (the music's instruments and the library's buffers load on first use;
    the input plays every track early). The rest is cut in thirds: it still grows when the peak of the
    last third is above the peak of the first by more than TOLERANCE_KB. Peaks, not single samples,
    so the heap's ups and downs within a game do not count; thirds, so that a leak has time to show."""

    TOLERANCE_KB = 512

    def __init__(self, seconds):
        self.warmup = 60 if seconds >= 180 else seconds / 3

    def verdict(self, lifetimes):
        """(passed, text) for the longest-lived process."""
        pid, samples = max(lifetimes, key=lambda life: life[1][-1][0] if life[1] else 0)
        end = samples[-1][0] if samples else 0
        if end < 2 * self.warmup:
            return False, "no plain-build process lived %d s" % (2 * self.warmup)
        third = (end - self.warmup) / 3
        first = max(kb for t, kb in samples if self.warmup <= t <= self.warmup + third)
        last = max(kb for t, kb in samples if t >= end - third)
        text = "RSS over %d s: peak %.2f MiB in the first third after warm-up, %.2f MiB in the last (%+d KiB)" % (
            end, first / 1024, last / 1024, last - first)
        return last - first <= self.TOLERANCE_KB, text


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("plain_build")
    parser.add_argument("sanitized_build")
    args = parser.parse_args()
    # Ended from outside: exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    base = tempfile.mkdtemp(prefix="vorn-soak-")
    e2e.SHOTS = base
    sanitized = Game("sanitized", args.sanitized_build, base, sanitized=True, avoid_quit=False)
    plain = Game("plain", args.plain_build, base, sanitized=False, avoid_quit=True)
    games, memory = (sanitized, plain), MemoryWatch(args.seconds)
    begin = time.monotonic()
    for g in games:
        g.start(begin)
    next_summary, now = begin + SUMMARY_EVERY, begin
    try:
        while now - begin < args.seconds:
            for g in games:
                g.step(now)
            if now >= next_summary:
                next_summary += SUMMARY_EVERY
                rss = plain.lifetimes[-1][1][-1][1] / 1024 if plain.lifetimes[-1][1] else 0
                print("soak %4d s: sanitized %s; plain %s, RSS %.1f MiB" % (
                    now - begin, sanitized.summary(), plain.summary(), rss), flush=True)
            time.sleep(0.01)
            now = time.monotonic()
        for g in games:
            g.finish(now)
    except Failure as failure:
        print("soak FAILED after %d s: %s" % (time.monotonic() - begin, failure), flush=True)
        return 1
    with open(os.path.join(plain.dir, "rss.txt"), "w") as f:
        f.writelines("%d %.1f %d\n" % (pid, t, kb) for pid, samples in plain.lifetimes for t, kb in samples)
    passed, text = memory.verdict(plain.lifetimes)
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
