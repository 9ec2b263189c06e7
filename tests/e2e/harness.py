"""Runs the real game under a private Xvfb, drives it with xdotool and reads the screen through Xlib."""

import array
import atexit
import ctypes
import ctypes.util
import os
import select
import shutil
import signal
import struct
import subprocess
import tempfile
import time
import zlib

HEADING_FONT = 86
TEXT_FONT = 96

WHITE = (255, 255, 255)
YELLOW = (255, 255, 0)
DARK_BLUE = (0, 64, 128)
RED = (255, 0, 0)


class Paths:
    """Where the built game and its files are; filled in by the test runner."""
    game = None
    data = None
    silent_cfg = None
    music_cfg = None
    text_mask = None
    screenshots = None


# --- Xlib through ctypes: fast enough to poll whole frames many times a second -------------

class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int),
                ("red_mask", ctypes.c_ulong), ("green_mask", ctypes.c_ulong),
                ("blue_mask", ctypes.c_ulong)]


_xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
_xlib.XOpenDisplay.restype = ctypes.c_void_p
_xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
_xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
_xlib.XDefaultRootWindow.restype = ctypes.c_ulong
_xlib.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
_xlib.XGetImage.restype = ctypes.POINTER(_XImage)
_xlib.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                            ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
_xlib.XDestroyImage.argtypes = [ctypes.POINTER(_XImage)]
_ZPIXMAP = 2


class Image:
    """One grab of the screen, 32 bits a pixel in the server's B, G, R, pad order."""

    def __init__(self, width, height, data, stride):
        self.width, self.height, self.data, self.stride = width, height, data, stride

    def pixel(self, x, y):
        o = y * self.stride + 4 * x
        d = self.data
        return d[o + 2], d[o + 1], d[o]

    def rgb_rows(self):
        for y in range(self.height):
            row = self.data[y * self.stride: y * self.stride + 4 * self.width]
            out = bytearray(3 * self.width)
            out[0::3] = row[2::4]
            out[1::3] = row[1::4]
            out[2::3] = row[0::4]
            yield bytes(out)

    def region(self, x, y, w, h):
        """The raw bytes of a rectangle, for comparing parts of two grabs."""
        return b"".join(self.data[(y + r) * self.stride + 4 * x:(y + r) * self.stride + 4 * (x + w)]
                        for r in range(h))

    def save_png(self, path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        raw = b"".join(b"\x00" + row for row in self.rgb_rows())

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

        png = (b"\x89PNG\r\n\x1a\n"
               + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(png)
        os.replace(tmp, path)


def near(c, want, tol=14):
    return abs(c[0] - want[0]) <= tol and abs(c[1] - want[1]) <= tol and abs(c[2] - want[2]) <= tol


# --- processes -------------------------------------------------------------------------------

_started = []


def _spawn(args, **kw):
    """Starts a process in its own group, to be ended with everything it started."""
    proc = subprocess.Popen(args, start_new_session=True, **kw)
    _started.append(proc)
    return proc


@atexit.register
def _end_everything():
    for proc in list(_started):
        _kill_group(proc)


def _kill_group(proc):
    if proc is None:
        return
    if proc in _started:
        _started.remove(proc)
    if proc.poll() is not None:
        return
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    try:
        proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass


class XServer:
    """A private Xvfb on a free display, with an Xlib connection for reading the screen."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.log = tempfile.TemporaryFile()
        self.proc = _spawn(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "640x480x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=self.log, stderr=self.log)
        os.close(write_end)
        try:
            number = b""
            deadline = time.monotonic() + 20
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([read_end], [], [], left)[0]:
                    raise RuntimeError("Xvfb did not start")
                part = os.read(read_end, 16)
                if not part:
                    self.log.seek(0)
                    raise RuntimeError("Xvfb ended at start-up: " + self.log.read().decode(errors="replace"))
                number += part
        except BaseException:
            _kill_group(self.proc)
            raise
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()
        self.dpy = _xlib.XOpenDisplay(self.display.encode())
        if not self.dpy:
            self.stop()
            raise RuntimeError("cannot connect to " + self.display)
        self.root = _xlib.XDefaultRootWindow(self.dpy)

    def grab(self, x=0, y=0, w=640, h=480):
        img = _xlib.XGetImage(self.dpy, self.root, x, y, w, h, 0xFFFFFFFF, _ZPIXMAP)
        if not img:
            raise RuntimeError("XGetImage failed")
        try:
            xi = img.contents
            if xi.bits_per_pixel != 32:
                raise RuntimeError("expected 32 bits a pixel, got %d" % xi.bits_per_pixel)
            data = ctypes.string_at(xi.data, xi.bytes_per_line * xi.height)
            return Image(xi.width, xi.height, data, xi.bytes_per_line)
        finally:
            _xlib.XDestroyImage(img)

    def stop(self):
        if getattr(self, "dpy", None):
            _xlib.XCloseDisplay(self.dpy)
            self.dpy = None
        _kill_group(self.proc)
        self.log.close()


class Input:
    """Real key and mouse events through XTEST (xdotool); remembers what it holds to let go."""

    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)
        self.keys_down = set()
        self.buttons_down = set()

    def xdo(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True, timeout=20,
                       stdout=subprocess.DEVNULL)

    def key_down(self, name):
        self.xdo("keydown", name)
        self.keys_down.add(name)

    def key_up(self, name):
        self.xdo("keyup", name)
        self.keys_down.discard(name)

    def tap(self, name, hold=0.2, after=0.05):
        # Keys are read once a tick, and on a busy machine the game's input thread may not run for
        # tens of milliseconds: a short tap can come and go unseen (80 ms ones did, about 1 in 60).
        self.key_down(name)
        time.sleep(hold)
        self.key_up(name)
        time.sleep(after)

    def move(self, x, y):
        self.xdo("mousemove", int(x), int(y))

    def button_down(self, b=1):
        self.xdo("mousedown", b)
        self.buttons_down.add(b)

    def button_up(self, b=1):
        self.xdo("mouseup", b)
        self.buttons_down.discard(b)

    def release_all(self):
        for name in list(self.keys_down):
            self.key_up(name)
        for b in list(self.buttons_down):
            self.button_up(b)


class Game:
    """The real game copied with its data into a fresh folder, run as its own process group."""

    def __init__(self, x, cfg_text, with_data=True, high_scores=None, home=None):
        self.dir = tempfile.mkdtemp(prefix="vorn-e2e-")
        shutil.copy2(Paths.game, os.path.join(self.dir, "ghosts-of-vorn"))
        if with_data:
            shutil.copyfile(Paths.data, os.path.join(self.dir, "data.dat"))
        with open(os.path.join(self.dir, "allegro.cfg"), "w") as f:
            f.write(cfg_text)
        if high_scores is not None:
            with open(self.score_file, "wb") as f:
                f.write(high_scores)
        env = dict(os.environ, DISPLAY=x.display, HOME=home or self.dir)
        self.out = open(os.path.join(self.dir, "output.txt"), "wb")
        self.proc = _spawn([os.path.join(self.dir, "ghosts-of-vorn")], cwd=self.dir, env=env,
                           stdin=subprocess.DEVNULL, stdout=self.out, stderr=self.out)

    @property
    def score_file(self):
        return os.path.join(self.dir, "High Scores.txt")

    def output(self):
        self.out.flush()
        with open(os.path.join(self.dir, "output.txt"), "rb") as f:
            return f.read().decode(errors="replace")

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stop(self):
        _kill_group(self.proc)
        self.out.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def config_text(source, alsa_device=None, patches=True):
    """The settings file at source, with its [sound] section adjusted."""
    with open(source) as f:
        lines = f.read().splitlines()
    out, section = [], None
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("["):
            section = stripped
            out.append(line)
            if section == "[sound]" and alsa_device:
                out.append("alsa_device = " + alsa_device)
            continue
        key = stripped.split("=")[0].strip()
        # Without the patch set the MIDI driver is left to autodetection, which then finds none.
        if section == "[sound]" and ((key == "alsa_device" and alsa_device)
                                     or (key in ("patches", "midi_card") and not patches)):
            continue
        out.append(line)
    return "\n".join(out) + "\n"


# --- texts as the game's fonts draw them -----------------------------------------------------

class Mask:
    def __init__(self, width, height, rows):
        self.width, self.height = width, height
        self.lit = [(x, y) for y, row in enumerate(rows) for x, ch in enumerate(row) if ch == "1"]
        self.unlit = [(x, y) for y, row in enumerate(rows) for x, ch in enumerate(row) if ch == "0"]


class Fonts:
    """Renders texts with data.dat's fonts through the helper program, and looks for them on screen."""

    def __init__(self):
        self.proc = subprocess.Popen([Paths.text_mask, Paths.data], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        self.cache = {}

    def mask(self, font, text):
        if (font, text) not in self.cache:
            self.proc.stdin.write("%d\t%s\n" % (font, text))
            self.proc.stdin.flush()
            w, h = map(int, self.proc.stdout.readline().split())
            rows = [self.proc.stdout.readline().rstrip("\n") for _ in range(h)]
            self.cache[(font, text)] = Mask(w, h, rows)
        return self.cache[(font, text)]

    def width(self, font, text):
        return self.mask(font, text).width

    def shown(self, img, font, text, x, y, colour=WHITE, exact=False, share=0.97):
        """True when the text's pixels carry the colour; exact also wants its gaps free of it."""
        m = self.mask(font, text)
        if not m.lit:
            return True
        def inside(px, py):
            return 0 <= px < img.width and 0 <= py < img.height
        pts = [(x + dx, y + dy) for dx, dy in m.lit if inside(x + dx, y + dy)]
        if len(pts) < 0.9 * len(m.lit):
            return False
        good = sum(1 for px, py in pts if near(img.pixel(px, py), colour))
        if good < share * len(pts):
            return False
        if exact:
            gaps = [(x + dx, y + dy) for dx, dy in m.unlit if inside(x + dx, y + dy)]
            wrong = sum(1 for px, py in gaps if near(img.pixel(px, py), colour))
            if wrong > (1 - share) * max(len(gaps), 1):
                return False
        return True

    def shown_centred(self, img, font, text, cx, y, colour):
        return self.shown(img, font, text, cx - self.width(font, text) // 2, y, colour)

    def read_number(self, img, font, prefix, x, y, colour=WHITE):
        """The number drawn after prefix at (x, y), read glyph by glyph, or None."""
        if not self.shown(img, font, prefix, x, y, colour):
            return None
        x += self.width(font, prefix)
        digits = ""
        if self.shown(img, font, "-", x, y, colour, exact=True):
            digits, x = "-", x + self.width(font, "-")
        while True:
            found = [d for d in "0123456789" if self.shown(img, font, d, x, y, colour, exact=True)]
            if len(found) != 1:
                break
            digits += found[0]
            x += self.width(font, found[0])
        return int(digits) if digits.strip("-") else None

    def close(self):
        if self.proc.poll() is None:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)


# --- sound captured through ALSA's "file" plugin ---------------------------------------------

class Capture:
    """An ALSA device that writes what the game plays into a raw file, with HOME pointing at it."""

    def __init__(self):
        self.home = tempfile.mkdtemp(prefix="vorn-e2e-home-")
        self.raw = os.path.join(self.home, "sound.raw")
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write('pcm.vorn_capture {\n  type file\n  slave.pcm "null"\n'
                    '  file "%s"\n  format "raw"\n}\n' % self.raw)

    def size(self):
        try:
            return os.path.getsize(self.raw)
        except OSError:
            return 0

    def loudness(self, start, end):
        """The largest RMS, in 16-bit units, of 512-sample windows between two byte offsets."""
        with open(self.raw, "rb") as f:
            f.seek(start - start % 4)
            data = f.read(max(0, end - start))
        samples = array.array("H")
        samples.frombytes(data[:len(data) - len(data) % 2])
        if not samples:
            return 0.0
        # The library may hand ALSA unsigned samples (silence 32768) or signed ones (silence 0).
        middle = sorted(samples[::97])[len(samples[::97]) // 2]
        unsigned = 16384 <= middle < 49152
        values = [v - 32768 if unsigned else (v - 65536 if v >= 32768 else v) for v in samples]
        best = 0.0
        for i in range(0, len(values), 512):
            w = values[i:i + 512]
            mean = sum(w) / len(w)
            best = max(best, (sum((v - mean) ** 2 for v in w) / len(w)) ** 0.5)
        return best

    def remove(self):
        shutil.rmtree(self.home, ignore_errors=True)


# --- waiting -----------------------------------------------------------------------------------

def wait_until(x, predicate, timeout, interval=0.03):
    """Polls the screen until predicate(image) holds; returns the last image and whether it did."""
    deadline = time.monotonic() + timeout
    while True:
        img = x.grab()
        if predicate(img):
            return img, True
        if time.monotonic() > deadline:
            return img, False
        time.sleep(interval)
