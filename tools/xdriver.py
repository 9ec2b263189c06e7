"""The real game on a private X server: Xvfb, keys and mouse through XTest, and screen grabs.

Shared by the end-to-end tests, the soak and the live benchmark; built on Debian's python3-xlib
and python3-pil."""
import array, atexit, contextlib, os, select, signal, struct, subprocess, time

from PIL import Image, ImageChops
from Xlib import X, XK, display
from Xlib.ext import xtest
from Xlib.protocol import event

WIDTH, HEIGHT = 640, 480

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
def stop_all():
    for proc in list(_started):
        stop(proc)


def cpu_seconds(pid, thread=None):
    """User and system time a process (or one of its threads) has used so far, from /proc."""
    with open("/proc/%d/task/%d/stat" % (pid, thread) if thread else "/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wakeups(pid, thread):
    """How many times a thread has gone to sleep and been woken so far, from /proc."""
    with open("/proc/%d/task/%d/status" % (pid, thread)) as f:
        return sum(int(line.split()[1]) for line in f if line.startswith(("voluntary_ctxt", "nonvoluntary_ctxt")))


def near(colour, want, tol=14):
    """16-bit colours come back rounded from a 24-bit server."""
    return all(abs(a - b) <= tol for a, b in zip(colour, want))


class Frame:
    """One grab of the screen as an RGB picture."""

    def __init__(self, image):
        self.im = image if image.mode == "RGB" else image.convert("RGB")

    def pixel(self, x, y):
        return self.im.getpixel((x, y))

    def box(self, y0, y1, x0=0, x1=WIDTH):
        return self.im.crop((x0, y0, x1, y1))

    def row(self, y, x0=0, x1=WIDTH):
        return self.box(y, y + 1, x0, x1).tobytes()

    def extent(self, y0, y1, x0=0, x1=WIDTH):
        """(leftmost, rightmost) lit x within the box, or None when it is all dark."""
        b = self.box(y0, y1, x0, x1).getbbox()
        return (x0 + b[0], x0 + b[2] - 1) if b else None

    def dark(self, y0, y1, x0=0, x1=WIDTH):
        return self.extent(y0, y1, x0, x1) is None

    def starts(self, y0, y1, x, x0=0, x1=WIDTH):
        """Text drawn at x lights its band from x on (a glyph's bearing may add a few pixels)."""
        e = self.extent(y0, y1, x0, x1)
        return e is not None and x <= e[0] <= x + 4

    def colours(self, y0, y1, x0=0, x1=WIDTH):
        """{colour: pixels} of the lit pixels within the box."""
        return {c: n for n, c in self.box(y0, y1, x0, x1).getcolors((x1 - x0) * (y1 - y0)) if any(c)}

    def near(self, colour, y0, y1, x0=0, x1=WIDTH, tol=14):
        """The box as a mask: 255 where a pixel is near colour, else 0."""
        box = self.box(y0, y1, x0, x1).split()
        near = [band.point(lambda v, want=want: 255 * (abs(v - want) <= tol)) for band, want in zip(box, colour)]
        return ImageChops.multiply(ImageChops.multiply(near[0], near[1]), near[2])

    def save(self, path):
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        self.im.save(path)


class Digits:
    """Reads numbers in the game's text font, having learnt its digits from a line known to show
    "1234567890" (a score in the high-score table). Glyphs are runs of columns with white in them."""

    def __init__(self, frame, y, x0=0, x1=WIDTH):
        self.glyphs = dict(zip(self.glyphs_in(frame, y, x0, x1), "1234567890"))
        if len(self.glyphs) != 10:
            raise ValueError("no ten distinct digits at y %d" % y)

    @staticmethod
    def glyphs_in(frame, y, x0, x1):
        columns = [sum(1 << i for i in range(10) if min(frame.pixel(x, y + i)) > 160) for x in range(x0, x1)]
        glyphs, run = [], []
        for c in columns + [0]:
            if c:
                run.append(c)
            elif run:
                glyphs.append(tuple(run))
                run = []
        return glyphs

    def read(self, frame, y, x0=0, x1=WIDTH):
        """The number that ends the line of text in the box, or None when no digit ends it."""
        text = ""
        for glyph in reversed(self.glyphs_in(frame, y, x0, x1)):
            if glyph not in self.glyphs:
                break
            text = self.glyphs[glyph] + text
        return int(text) if text else None

    def time_left(self, frame):
        """The "Time Left" of a play frame, or None on any other screen."""
        return self.read(frame, 60, 0, 140) if play(frame) else None

    def countdown(self, x, seconds):
        """(moment, value) at each change of "Time Left" seen in play over seconds, from the second
        one on: the first value read had begun before the watch."""
        changes, end = [], time.monotonic() + seconds
        while time.monotonic() < end:
            if (value := self.time_left(x.grab())) is not None and (not changes or value != changes[-1][1]):
                changes.append((time.monotonic(), value))
            time.sleep(0.005)
        return changes[1:]


# --- what the game's screens show, as lit bands where their texts belong ---

YELLOW, DARK_BLUE, WHITE, RED = (255, 255, 0), (0, 64, 128), (255, 255, 255), (255, 0, 0)
STORY_ROWS = [100, 110, 120, 130, 140, 150, 160, 180]


def title(selected):
    """The title screen with the menu item `selected` in yellow and the others in dark blue."""
    def check(f):
        for i in range(3):
            y, colour = 300 + 10 * i, YELLOW if i == selected else DARK_BLUE
            e = f.extent(y, y + 10)
            if not e or abs(e[0] + e[1] - WIDTH) > 6 or not all(
                    near(c, colour) for c in f.colours(y, y + 10, e[0], e[1] + 1)):
                return False
        return (f.dark(0, 20) and f.starts(20, 60, 20) and f.dark(60, 100) and f.dark(170, 180)
                and all(f.starts(y, y + 10, 40) for y in STORY_ROWS) and f.dark(190, 300)
                and f.dark(330, 470) and f.starts(470, 480, 0))
    return check


def still_screen(f):
    """A heading at (20, 20) and "Hit A to continue" at (245, 350), nothing above or below."""
    return f.dark(0, 20) and f.starts(20, 60, 20) and f.starts(350, 360, 245) and f.dark(360, 480)


def notice(f):
    """A level introduction or the game-over screen: one line at (40, 200) under the heading."""
    return still_screen(f) and f.dark(60, 200) and f.starts(200, 210, 40) and f.dark(210, 350)


def play(f):
    """The HUD: heat bar frame, "Heat Measure", "Time Left" and the score at the top right."""
    frame = [(0, 10), (75, 10), (150, 10), (0, 15), (150, 15), (0, 20), (75, 20), (150, 20)]
    return (all(near(f.pixel(x, y), WHITE) for x, y in frame) and f.starts(3, 9, 0, 0, 150)
            and f.starts(60, 70, 0, 0, 150) and f.extent(0, 10, 320) is not None)


def heat_fill(f):
    """The right-most column of the heat bar's red fill, 0 when empty."""
    return max([x for x in range(1, 150) if (lambda r, g, b: r > 12 and g < 12 and b < 12)(*f.pixel(x, 18))],
               default=0)


def overheat(f):
    """"OVERHEAT!" in red at (155, 3), right of the heat bar, alone in its band."""
    return (f.dark(0, 3, 151, 320) and f.starts(3, 11, 155, 151, 320) and f.dark(11, 30, 151, 320)
            and sum(n for c, n in f.colours(3, 11, 151, 320).items() if near(c, RED)) > 20)


class Hunter:
    """A player who aims: follows one ghost, holds the beam on it, lets go at full heat until the bar
    has cooled, and fires a flash bomb (right button) when one is held and many ghosts are in sight."""

    def __init__(self, x):
        self.x, self.holding, self.cooling, self.aim, self.track = x, False, False, (320, 240), []
        self.bombs_fired, self.bomb_hud = 0, None

    def hold(self, down):
        if down != self.holding:
            self.x.button(1, down)
        self.holding = down

    @staticmethod
    def ghost_points(f):
        """Centres of the lit 4x4 blocks below the HUD, without the crosshair's pure white and red."""
        im = f.im
        r, g, b = im.split()
        hi, lo = (lambda c: c.point(lambda v: 255 * (v > 230))), (lambda c: c.point(lambda v: 255 * (v < 25)))
        grey = im.convert("L")
        grey.paste(0, mask=ImageChops.multiply(hi(r), ImageChops.lighter(
            ImageChops.multiply(hi(g), hi(b)), ImageChops.multiply(lo(g), lo(b)))))
        grey.paste(0, (0, 0, 260, 80))
        grey.paste(0, (0, 0, WIDTH, 16))
        return [(4 * (i % 160) + 2, 4 * (i // 160) + 2) for i, v in enumerate(grey.reduce(4).tobytes()) if v >= 8]

    def step(self, f):
        fill, now = heat_fill(f), time.monotonic()
        bombs = f.near(WHITE, 40, 50, 0, 150).tobytes()  # "Flash Bombs: %d" while any are held
        self.cooling = fill >= 147 or overheat(f) or (self.cooling and fill > 110)
        pts = self.ghost_points(f)
        if self.bomb_hud is not None and (bombs != self.bomb_hud[0] or now > self.bomb_hud[1]):
            self.bombs_fired += bombs != self.bomb_hud[0]
            self.bomb_hud = None
        if self.bomb_hud is None and bombs.count(255) > 40 and len(pts) > 250:
            self.bomb_hud = bombs, now + 2
            self.x.button(3, True)
            time.sleep(0.15)
            self.x.button(3, False)
        if len(pts) < 4:
            self.track.clear()
            return self.hold(False)
        # The ghost nearest the last aim: the points within a ghost's width of its nearest one.
        sx, sy = min(pts, key=lambda p: (p[0] - self.aim[0]) ** 2 + (p[1] - self.aim[1]) ** 2)
        pts = [p for p in pts if abs(p[0] - sx) < 40 and abs(p[1] - sy) < 40]
        cx, cy = sum(p[0] for p in pts) / len(pts), sum(p[1] for p in pts) / len(pts)
        if self.track and abs(self.track[-1][1] - cx) + abs(self.track[-1][2] - cy) > 60:
            self.track.clear()  # another ghost
        self.track = [t for t in self.track if now - t[0] < 0.3] + [(now, cx, cy)]
        t0, x0, y0 = self.track[0]
        # A lit block near the middle, a little ahead by the ghost's own motion.
        lead = 0.06 / (now - t0) if now - t0 > 0.05 else 0
        tx, ty = min(pts, key=lambda p: (p[0] - cx) ** 2 + (p[1] - cy) ** 2)
        tx = max(0, min(WIDTH - 1, int(tx + max(-20, min(20, (cx - x0) * lead)))))
        # Kept off the HUD's texts, which tell the heat and the bombs held.
        self.aim = tx, max(90 if tx < 260 else 16, min(HEIGHT - 1, int(ty + max(-20, min(20, (cy - y0) * lead)))))
        self.x.move(*self.aim)
        self.hold(not self.cooling)


class XServer:
    """A private Xvfb (640x480x24 unless told) and one connection to it for input and grabs."""

    def __init__(self, width=WIDTH, height=HEIGHT, number=None):
        """On display number, or on the first free one."""
        self.width, self.height = width, height
        rd, wr = os.pipe()
        self.proc = spawn(["Xvfb"] + ([":%d" % number] if number is not None else []) +
                          ["-displayfd", str(wr), "-screen", "0", "%dx%dx24" % (width, height),
                           "-nolisten", "tcp"], pass_fds=(wr,), stderr=subprocess.DEVNULL)
        os.close(wr)
        number = b""
        while not number.endswith(b"\n"):
            if not select.select([rd], [], [], 20)[0] or not (part := os.read(rd, 16)):
                raise RuntimeError("Xvfb did not start")
            number += part
        os.close(rd)
        self.name = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.name)
        self.dpy = display.Display(self.name)
        self.root = self.dpy.screen().root
        self.codes = {}

    def close(self):
        self.dpy.close()
        stop(self.proc)

    def grab(self):
        return Frame(self.image(0, 0, WIDTH, HEIGHT))

    def image(self, x=0, y=0, w=None, h=None):
        """A part of the screen (all of it by default) as a picture."""
        w, h = w or self.width - x, h or self.height - y
        reply = self.root.get_image(x, y, w, h, X.ZPixmap, 0xFFFFFFFF)
        return Image.frombytes("RGB", (w, h), reply.data, "raw", "BGRX", len(reply.data) // h)

    def wait_for_window_manager(self, timeout=10):
        check = self.dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
        deadline = time.monotonic() + timeout
        while self.root.get_full_property(check, X.AnyPropertyType) is None:
            if time.monotonic() > deadline:
                raise RuntimeError("no window manager came up")
            time.sleep(0.05)

    def game_window(self):
        """(x, y, width, height) of the game's window on the screen, or None while there is none."""
        todo = [self.root]
        while todo:
            w = todo.pop()
            with contextlib.suppress(Exception):
                if "Vorn" in (w.get_wm_name() or ""):
                    g, at = w.get_geometry(), self.root.translate_coords(w, 0, 0)
                    if w.get_attributes().map_state == X.IsViewable:
                        return at.x, at.y, g.width, g.height
                todo += w.query_tree().children
        return None

    def keycode(self, name):
        if name not in self.codes:
            self.codes[name] = self.dpy.keysym_to_keycode(XK.string_to_keysym(name))
        return self.codes[name]

    def key(self, name, down):
        xtest.fake_input(self.dpy, X.KeyPress if down else X.KeyRelease, self.keycode(name))
        self.dpy.sync()

    def tap(self, name, hold=0.15):
        """Held a while: the game reads the keys once a tick, and a loaded machine may delay that."""
        self.key(name, True)
        time.sleep(hold)
        self.key(name, False)
        time.sleep(0.05)

    def button(self, number, down):
        xtest.fake_input(self.dpy, X.ButtonPress if down else X.ButtonRelease, number)
        self.dpy.sync()

    def move(self, x, y):
        xtest.fake_input(self.dpy, X.MotionNotify, x=x, y=y)
        self.dpy.sync()

    def windows(self, name):
        """Top-level windows whose title holds name."""
        found = []
        for w in self.root.query_tree().children:
            with contextlib.suppress(Exception):
                if name in (w.get_wm_name() or ""):
                    found.append(w)
        return found

    def close_window(self, window):
        """What a window manager sends when the player clicks the close button."""
        protocols = self.dpy.intern_atom("WM_PROTOCOLS")
        delete = self.dpy.intern_atom("WM_DELETE_WINDOW")
        window.send_event(event.ClientMessage(window=window, client_type=protocols,
                                              data=(32, [delete, X.CurrentTime, 0, 0, 0])))
        self.dpy.sync()

    def wait(self, check, timeout=10, every=0.03):
        """The first grab that passes check, or None after timeout seconds."""
        deadline = time.monotonic() + timeout
        while True:
            f = self.grab()
            if check(f):
                return f
            if time.monotonic() > deadline:
                return None
            time.sleep(every)


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
    return lambda f: still_screen(f) and f.dark(60, 150) and f.dark(300, 350) and all(
        f.starts(y, y + 10, 355, 352) and (f.starts(y, y + 10, 220, 0, 352) if name else f.dark(y, y + 10, 0, 352))
        for y, name in zip(range(150, 300, 10), names + [""] * 15))


def score_file(rows):
    """36-byte records, a 32-byte name field and a little-endian score, padded with empty rows to 15."""
    rows = rows + [("", 0)] * (15 - len(rows))
    return b"".join(name.encode().ljust(32, b"\0") + struct.pack("<i", score) for name, score in rows)
