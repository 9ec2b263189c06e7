#!/usr/bin/env python3
"""The real game on a private Xvfb, driven by xdotool and checked on the screen's pixels.
Usage: test_game.py BUILD_DIR [unittest arguments, e.g. TitleScreen]"""
import array, atexit, contextlib, ctypes, ctypes.util, os, select, shutil, signal, struct, subprocess
import sys, tempfile, time, unittest, zlib

WHITE, YELLOW, DARK_BLUE, RED = (255, 255, 255), (255, 255, 0), (0, 64, 128), (255, 0, 0)
STORY_ROWS = [100, 110, 120, 130, 140, 150, 160, 180]
BUILD = SHOTS = X = None

# --- the screen, read through Xlib: fast enough to poll whole frames ---

class _XImage(ctypes.Structure):
    _fields_ = [(n, ctypes.c_int) for n in ("width", "height", "xoffset", "format")] + [("data", ctypes.c_void_p)] + [
        (n, ctypes.c_int) for n in ("order", "unit", "bit_order", "pad", "depth", "bytes_per_line", "bits_per_pixel")]

_xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xlib.XOpenDisplay.restype = ctypes.c_void_p
_xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_xlib.XDefaultRootWindow.restype = ctypes.c_ulong
_xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_xlib.XGetImage.restype = ctypes.POINTER(_XImage)
_xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 2 + [
    ctypes.c_ulong, ctypes.c_int]
_xlib.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
_xlib.XInternAtom.restype = ctypes.c_ulong
_xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
_xlib.XFlush.argtypes = [ctypes.c_void_p]

class _XClientMessage(ctypes.Structure):  # padded to the size of an XEvent
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]

def near(c, want, tol=14):
    return all(abs(a - b) <= tol for a, b in zip(c, want))

class Image:
    """One grab of the screen, 4 bytes a pixel in B, G, R, 0 order: black is all zero bytes."""

    def __init__(self, data, stride):
        self.data, self.stride = data, stride

    def pixel(self, x, y):
        o = y * self.stride + 4 * x
        return self.data[o + 2], self.data[o + 1], self.data[o]

    def row(self, y, x0=0, x1=640):
        return self.data[y * self.stride + 4 * x0:y * self.stride + 4 * x1]

    def extent(self, y0, y1, x0=0, x1=640):
        """(leftmost, rightmost) lit x within the box, or None when it is all dark."""
        xs = []
        for y in range(y0, y1):
            r = self.row(y, x0, x1)
            if r.strip(b"\0"):
                xs += [x0 + (len(r) - len(r.lstrip(b"\0"))) // 4, x0 + (len(r.rstrip(b"\0")) - 1) // 4]
        return (min(xs), max(xs)) if xs else None

    def lit(self, y0, y1, x0=0, x1=640):
        pixels = ((x, self.pixel(x, y)) for y in range(y0, y1) for x in range(x0, x1))
        return [(x, c) for x, c in pixels if any(c)]

    def save(self, name):
        path = os.path.join(SHOTS, name + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        raw = bytearray()
        for y in range(480):
            r, out = self.row(y), bytearray(1920)
            out[0::3], out[1::3], out[2::3] = r[2::4], r[1::4], r[0::4]
            raw += b"\0" + out
        chunk = lambda kind, body: (struct.pack(">I", len(body)) + kind + body  # noqa: E731
                                    + struct.pack(">I", zlib.crc32(kind + body)))
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 640, 480, 8, 2, 0, 0, 0))
                    + chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))

# --- processes: each in its own group, all ended at exit whatever happened ---

_started = []

def spawn(args, **kw):
    proc = subprocess.Popen(args, start_new_session=True, **kw)
    _started.append(proc)
    return proc

def stop(proc):
    if proc in _started:
        _started.remove(proc)
    if proc.poll() is None:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, signal.SIGKILL)
        proc.wait(timeout=10)

@atexit.register
def end_all():
    for proc in list(_started):
        stop(proc)

class XServer:
    def __init__(self):
        rd, wr = os.pipe()
        spawn(["Xvfb", "-displayfd", str(wr), "-screen", "0", "640x480x24", "-nolisten", "tcp"],
              pass_fds=(wr,), stderr=subprocess.DEVNULL)
        os.close(wr)
        number = b""
        while not number.endswith(b"\n"):
            if not select.select([rd], [], [], 20)[0] or not (part := os.read(rd, 16)):
                raise RuntimeError("Xvfb did not start")
            number += part
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())
        self.dpy = _xlib.XOpenDisplay(self.env["DISPLAY"].encode())
        self.root = _xlib.XDefaultRootWindow(self.dpy)

    def grab(self):
        img = _xlib.XGetImage(self.dpy, self.root, 0, 0, 640, 480, 0xFFFFFFFF, 2)  # ZPixmap
        try:
            assert img.contents.bits_per_pixel == 32
            stride = img.contents.bytes_per_line
            return Image(ctypes.string_at(img.contents.data, stride * 480), stride)
        finally:
            _xlib.XDestroyImage(img)

    def close_window(self, window):
        # What a window manager sends when the player clicks the close button.
        protocols = _xlib.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        event = _XClientMessage(type=33, window=window, message_type=protocols, format=32)  # ClientMessage
        event.data[0] = _xlib.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        _xlib.XSendEvent(self.dpy, window, 0, 0, ctypes.byref(event))
        _xlib.XFlush(self.dpy)

    def xdo(self, *args):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True, timeout=20,
                              capture_output=True, text=True).stdout

def config(source, capture=False, patches=True):
    """The settings at source; capture sends sound to the file device; without patches MIDI stays off."""
    out = []
    for line in open(source).read().splitlines():
        key = line.split("=")[0].strip()
        if not ((capture and key == "alsa_device") or (not patches and key in ("patches", "midi_card"))):
            out.append(line)
        if capture and line.strip() == "[sound]":
            out.append("alsa_device = vorn_capture")
    return "\n".join(out) + "\n"

def loudness(raw, start, end):
    """The largest spread of 512-sample windows: silence is constant in any sample format."""
    with open(raw, "rb") as f:
        f.seek(start - start % 4)
        data = f.read(max(0, end - start))
    samples, best = array.array("h", data[:len(data) - len(data) % 2]), 0.0
    for i in range(0, len(samples), 512):
        w = samples[i:i + 512]
        mean = sum(w) / len(w)
        best = max(best, (sum((v - mean) ** 2 for v in w) / len(w)) ** 0.5)
    return best

# --- what each screen shows, as lit bands where its texts belong ---

def starts(img, y0, y1, x, x0=0, x1=640):
    """Text drawn at x lights its band from x on (a glyph's bearing may add a few pixels)."""
    e = img.extent(y0, y1, x0, x1)
    return e is not None and x <= e[0] <= x + 4

def dark(img, y0, y1, x0=0, x1=640):
    return img.extent(y0, y1, x0, x1) is None

def still_screen(img):
    """A heading at (20, 20) and "Hit A to continue" at (245, 350), nothing above or below."""
    return dark(img, 0, 20) and starts(img, 20, 60, 20) and starts(img, 350, 360, 245) and dark(img, 360, 480)

def notice(img):
    """A level introduction or the game-over screen: one line at (40, 200) under the heading."""
    return still_screen(img) and dark(img, 60, 200) and starts(img, 200, 210, 40) and dark(img, 210, 350)

def title(selected):
    def check(img):
        for i in range(3):
            y, colour = 300 + 10 * i, YELLOW if i == selected else DARK_BLUE
            e = img.extent(y, y + 10)
            if not e or abs(e[0] + e[1] - 640) > 6 or not all(
                    near(c, colour) for _, c in img.lit(y, y + 10, e[0], e[1] + 1)):
                return False
        return (dark(img, 0, 20) and starts(img, 20, 60, 20) and dark(img, 60, 100) and dark(img, 170, 180)
                and all(starts(img, y, y + 10, 40) for y in STORY_ROWS) and dark(img, 190, 300)
                and dark(img, 330, 470) and starts(img, 470, 480, 0))
    return check

def table(names):
    """The high-score screen: each row's name at x 220 (nothing for "") and its score at x 355."""
    def check(img):
        if not (still_screen(img) and dark(img, 60, 150) and dark(img, 300, 350)):
            return False
        for i, name in enumerate(names):
            y = 150 + 10 * i
            e = img.extent(y, y + 10, 0, 352)
            if not starts(img, y, y + 10, 355, 352) or (e is not None) != bool(name) or (e and e[0] > 224):
                return False
        return True
    return check

def play(img):
    """The HUD: heat bar frame, "Heat Measure", "Time Left" and the score at the top right."""
    frame = [(0, 10), (75, 10), (150, 10), (0, 15), (150, 15), (0, 20), (75, 20), (150, 20)]
    return (all(near(img.pixel(x, y), WHITE) for x, y in frame) and starts(img, 3, 9, 0, 0, 150)
            and starts(img, 60, 70, 0, 0, 150) and img.extent(0, 10, 320) is not None)

def heat_fill(img):
    """The right-most column of the bar's red fill, 0 when empty."""
    return max([x for x in range(1, 150) if (lambda r, g, b: r > 12 and g < 12 and b < 12)(*img.pixel(x, 18))],
               default=0)

def overheat(img):
    reds = [x for x, c in img.lit(3, 10, 151, 320) if near(c, RED)]
    return len(reds) > 20 and 155 <= min(reds) <= 158

class Hunter:
    """Aims at what is lit outside the HUD and the crosshair, and lets go when the bar is full."""

    def __init__(self):
        self.pointers, self.holding, self.cooling, self.track = [(320, 240)], False, False, []

    def hold(self, down):
        if down != self.holding:
            X.xdo("mousedown" if down else "mouseup", 1)
        self.holding = down

    def ghost_pixels(self, img):
        pts = []
        for y in range(16, 480, 2):
            x0 = 260 if y < 80 else 0
            for x in range(x0, 640, 2) if img.row(y, x0).strip(b"\0") else ():
                r, g, b = c = img.pixel(x, y)
                if sum(c) >= 40 and not (r > 230 and ((g > 230 and b > 230) or (g < 25 and b < 25)) and any(
                        abs(x - px) <= 32 and abs(y - py) <= 32 for px, py in self.pointers)):
                    pts.append((x, y))
        return pts

    def step(self, img):
        fill = heat_fill(img)
        self.cooling = fill >= 147 or overheat(img) or (self.cooling and fill > 110)
        pts, now = self.ghost_pixels(img), time.monotonic()
        if len(pts) < 4:
            self.track.clear()
            return self.hold(False)
        cx, cy = sum(p[0] for p in pts) / len(pts), sum(p[1] for p in pts) / len(pts)
        self.track = [t for t in self.track if now - t[0] < 0.3] + [(now, cx, cy)]
        t0, x0, y0 = self.track[0]
        # Aim at a solid pixel near the middle, a little ahead by the ghost's own motion.
        lead = 0.06 / (now - t0) if now - t0 > 0.05 else 0
        tx, ty = min(pts, key=lambda p: (p[0] - cx) ** 2 + (p[1] - cy) ** 2)
        tx = max(0, min(639, int(tx + max(-20, min(20, (cx - x0) * lead)))))
        ty = max(0, min(479, int(ty + max(-20, min(20, (cy - y0) * lead)))))
        X.xdo("mousemove", tx, ty)
        self.pointers = (self.pointers + [(tx, ty)])[-3:]
        self.hold(not self.cooling)

# --- the cases ---

class GameCase(unittest.TestCase):
    """Each case runs a fresh copy of the game in a fresh folder, ended with its input whatever happens."""

    def start(self, cfg=None, data=True, scores=None):
        self.dir = tempfile.mkdtemp(prefix="vorn-e2e-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.raw, self.score_path = os.path.join(self.dir, "sound.raw"), os.path.join(self.dir, "High Scores.txt")
        with open(os.path.join(self.dir, ".asoundrc"), "w") as f:
            f.write('pcm.vorn_capture {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n' % self.raw)
        with open(os.path.join(self.dir, "allegro.cfg"), "w") as f:
            f.write(cfg or config(os.path.join(BUILD, "tests", "allegro.cfg")))
        if scores is not None:
            with open(self.score_path, "wb") as f:
                f.write(scores)
        game = shutil.copy2(os.path.join(BUILD, "ghosts-of-vorn"), self.dir)
        if data:
            shutil.copyfile(os.path.join(BUILD, "data.dat"), os.path.join(self.dir, "data.dat"))
        self.addCleanup(X.xdo, "mouseup", 1)
        X.xdo("mousemove", 320, 240)
        self.out = open(os.path.join(self.dir, "output.txt"), "wb")
        self.addCleanup(self.out.close)
        self.proc = spawn([game], cwd=self.dir, env=dict(X.env, HOME=self.dir), stdin=subprocess.DEVNULL,
                          stdout=self.out, stderr=self.out)
        self.addCleanup(stop, self.proc)

    def tap(self, key, hold=0.2):
        # Keys are read once a tick, and under load the input thread may stall: short taps were missed.
        X.xdo("keydown", key)
        time.sleep(hold)
        X.xdo("keyup", key)
        time.sleep(0.05)

    def wait(self, check, what, timeout=10):
        deadline = time.monotonic() + timeout
        while not check(img := X.grab()):
            if time.monotonic() > deadline:
                name = "failed/%s-%s" % (self._testMethodName, what.replace(" ", "_"))
                img.save(name)
                self.out.flush()
                self.fail("no %s within %s s (status %s; screen in %s.png; output: %r)" % (
                    what, timeout, self.proc.poll(), name, open(self.out.name, errors="replace").read()[-500:]))
            time.sleep(0.03)
        return img

    def to_title(self, **kw):
        self.start(**kw)
        return self.wait(title(0), "title screen", 30)

    def to_play(self):
        self.tap("Return")
        intro = self.wait(notice, "level 1 introduction")
        self.tap("a")
        return intro, self.wait(play, "play frame")

    def escape_to_title(self, names):
        self.tap("Escape")
        over = self.wait(notice, "game-over screen")
        self.tap("a")
        self.wait(table(names), "high-score screen")
        self.tap("a")
        self.wait(title(0), "title screen after the game")
        return over

    def sound_size(self):
        return os.path.getsize(self.raw) if os.path.exists(self.raw) else 0

def score_file(rows):
    """36-byte records: a 32-byte name field (what follows its NUL means nothing), a little-endian score."""
    return b"".join((n.encode() + b"\0" + junk).ljust(32, b"\0")[:32] + struct.pack("<i", s) for n, s, junk in rows)

class TitleScreen(GameCase):
    def test_texts_and_menu_highlight_wrap(self):
        self.to_title().save("title")
        self.tap("Down", hold=0.5)  # held long, it still moves one item
        self.wait(title(1), "highlight on High Scores")
        for key, selected in [("Down", 2), ("Down", 0), ("Up", 2), ("Up", 1), ("Up", 0)]:
            self.tap(key)
            self.wait(title(selected), "highlight %d after %s" % (selected, key))

class HighScoreScreen(GameCase):
    def test_table_from_the_menu_leaves_the_file_alone(self):
        rows = [("Ghost Hunter", 5120, b""), ("Ada", 4300, b"leftover"), ("Bram", 3900, b""),
                ("Ghost Hunter", 3900, b""), ("Eef", 870, b"\xff\x01"), ("Fenna", 640, b"")] + [("", 0, b"")] * 9
        prepared = score_file(rows)
        self.to_title(scores=prepared)
        self.tap("Down")
        self.wait(title(1), "highlight on High Scores")
        self.tap("Return")
        self.wait(table([r[0] for r in rows]), "high-score table").save("high_scores")
        self.tap("a")
        self.wait(title(1), "title with High Scores highlighted")
        with open(self.score_path, "rb") as f:
            self.assertEqual(f.read(), prepared)

class PlayAndGameOver(GameCase):
    def test_new_game_play_escape_and_back(self):
        self.to_title()
        intro, img = self.to_play()
        intro.save("level_intro")
        img.save("play")

        def clock(i):
            return b"".join(i.row(y, 0, 140) for y in range(60, 70))
        before = clock(img)
        self.wait(lambda i: play(i) and clock(i) != before, "Time Left ticking", 3)
        self.escape_to_title([""] * 15).save("game_over")
        self.assertFalse(os.path.exists(self.score_path), "a score of 0 made a file")

class HeatBar(GameCase):
    def test_holding_the_beam_overheats_and_letting_go_cools(self):
        self.to_title()
        self.to_play()
        X.xdo("mousemove", 6, 474)
        X.xdo("mousedown", 1)
        fills, started = [], time.monotonic()
        while time.monotonic() - started < 4:
            if play(img := X.grab()):
                fills.append(heat_fill(img))
            time.sleep(0.05)
        img = self.wait(lambda i: play(i) and overheat(i), "OVERHEAT!", 2)
        self.assertEqual(heat_fill(img), 149)
        self.assertEqual(fills, sorted(fills), "the bar shrank while the button was held")
        self.assertTrue(any(20 < f < 130 for f in fills), "no partly filled bar seen: %s" % fills)
        X.xdo("mouseup", 1)
        img = self.wait(lambda i: play(i) and not overheat(i) and 0 < heat_fill(i) < 110, "heat falling", 3)
        self.assertFalse(near(img.pixel(heat_fill(img) // 2, 18), RED), "a cooler bar is still bright red")

class ScoringGame(GameCase):
    def test_destroying_the_shard_carrier_scores_and_enters_the_table(self):
        self.to_title()
        self.to_play()
        hunter, deadline = Hunter(), time.monotonic() + 110
        while not notice(img := X.grab()) and time.monotonic() < deadline:
            hunter.step(img)
        hunter.hold(False)
        self.wait(notice, "level 2 introduction", 1)
        X.xdo("mousemove", 320, 240)
        self.tap("a")
        self.wait(play, "level 2 play frame")
        self.escape_to_title(["Ghost Hunter"] + [""] * 14)
        with open(self.score_path, "rb") as f:
            self.assertEqual(f.read(), score_file([("Ghost Hunter", 20, b"")] + [("", 0, b"")] * 14),
                             "destroying level 1's shard carrier gives 10 + 10 x 1")

class Sound(GameCase):
    LOUD, QUIET = 300.0, 20.0

    def listen(self, seconds):
        start = self.sound_size()
        time.sleep(seconds)
        self.assertGreater(self.sound_size(), start, "nothing was played into the capture device")
        return loudness(self.raw, start, self.sound_size())

    def test_music_plays_on_the_title_screen(self):
        self.to_title(cfg=config(os.path.join(BUILD, "allegro.cfg"), capture=True))
        self.assertGreater(self.listen(4), self.LOUD)

    def test_zap_on_enter_and_on_a_hit_without_music(self):
        self.to_title(cfg=config(os.path.join(BUILD, "tests", "allegro.cfg"), capture=True, patches=False))
        self.assertLess(self.listen(1.5), self.QUIET, "music without its patch set")
        mark = self.sound_size()
        self.to_play()
        self.assertGreater(loudness(self.raw, mark, self.sound_size()), self.LOUD, "no zap after Enter")
        hunter, heard, deadline = Hunter(), False, time.monotonic() + 40
        while not heard and time.monotonic() < deadline:
            mark = self.sound_size()
            for _ in range(10):
                if play(img := X.grab()):
                    hunter.step(img)
            heard = loudness(self.raw, mark, self.sound_size()) > self.LOUD
        hunter.hold(False)
        self.assertTrue(heard, "no zap while the beam was on the ghost")

class ProcessEnd(GameCase):
    def test_quit_ends_with_status_1(self):
        self.to_title()
        self.tap("Up")
        self.wait(title(2), "highlight on Quit")
        self.tap("Return")
        self.assertEqual(self.proc.wait(5), 1)

    def test_close_button_ends_play_with_status_1(self):
        self.to_title()
        self.to_play()
        window = X.xdo("search", "--name", "Ghosts of Vorn").split()[0]
        X.close_window(int(window))
        self.assertEqual(self.proc.wait(5), 1)

    def test_missing_data_file_ends_with_a_message(self):
        started = time.monotonic()
        self.start(data=False)
        window = X.xdo("search", "--sync", "--class", "Xmessage").split()[0]
        self.assertIsNone(self.proc.poll(), "the game did not wait for the message to be answered")
        X.xdo("windowfocus", "--sync", window)
        self.tap("Return")
        self.assertEqual(self.proc.wait(5), 1)
        self.assertLess(time.monotonic() - started, 10)

if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv[1])
    SHOTS = os.path.join(BUILD, "screenshots")
    # Ended from outside (a time-out): exit normally, so that every process started is ended too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    X = XServer()
    unittest.main(argv=[sys.argv[0], "-v"] + sys.argv[2:])
