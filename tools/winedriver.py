"""Windows programs under Wine on a private X server: a fresh prefix, sound captured to a file, and
the game in Wine's virtual desktop (without one it can hang at exit once its window had focus).

Built on xdriver: the desktop is the X screen's size, so a full-screen game lies where the grabs expect."""
import array, json, pathlib, shutil, subprocess

import xdriver as xd

# A user name with accents, as the installer must write paths with them as UTF-8.
USER = "Zoë"


class Wine:
    def __init__(self, work, display=None):
        self.work = pathlib.Path(work).resolve()
        shutil.rmtree(self.work, ignore_errors=True)
        self.home, self.prefix, self.raw = self.work / "home", self.work / "prefix", self.work / "sound.raw"
        self.home.mkdir(parents=True)
        # There is no sound card: everything Wine plays goes to one file.
        (self.home / ".asoundrc").write_text(
            'pcm.!default {\n type file\n slave.pcm "null"\n file "%s"\n format "raw"\n}\n' % self.raw)
        self.x = xd.XServer(number=display)
        self.env = dict(self.x.env, HOME=str(self.home), WINEPREFIX=str(self.prefix), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", USER=USER, LOGNAME=USER, LANG="C.UTF-8")
        self.wine("wineboot", "-i", timeout=180)
        # Wine's Direct3D renderer would burn a core on DirectDraw; ALSA, as there is no PulseAudio.
        self.wine("reg", "add", r"HKCU\Software\Wine\Direct3D", "/v", "renderer", "/d", "gdi", "/f")
        self.wine("reg", "add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/d", "alsa", "/f")
        self.profile = self.prefix / "drive_c" / "users" / USER
        self.appdata, self.programs = self.profile / "AppData" / "Roaming", self.profile / "AppData" / "Local" / "Programs"
        self.start_menu = self.appdata / "Microsoft" / "Windows" / "Start Menu" / "Programs"
        self.started = []

    def end_all(self):
        """Ends every program started, and every Windows process of the prefix."""
        for proc in self.started:
            xd.stop(proc)
        self.started.clear()
        self.x.button(1, False)
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)
        self.settle()

    def close(self):
        self.end_all()
        self.x.close()

    def settle(self, timeout=60):
        """Waits for every Windows process of the prefix to end."""
        subprocess.run(["wineserver", "-w"], env=self.env, check=True, timeout=timeout)

    def wine(self, *args, timeout=60):
        """Runs a Windows program to its end and returns its output."""
        done = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=timeout)
        self.settle(timeout)
        if done.returncode:
            raise RuntimeError("wine %s: status %d: %s" % (" ".join(args), done.returncode, done.stderr[-500:]))
        return done.stdout.decode("utf-8", "replace")

    def start(self, *args, cwd, **env):
        """A program in the virtual desktop, left running; the Unix process ends with the desktop."""
        proc = xd.spawn(["wine", "explorer", "/desktop=vorn,%dx%d" % (self.x.width, self.x.height), *args],
                        cwd=cwd, env=dict(self.env, **env), stdin=subprocess.DEVNULL,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.started.append(proc)
        return proc

    def windows_path(self, path):
        """C: is the prefix's drive_c, Z: the whole Unix tree."""
        path, c = pathlib.Path(path).resolve(), self.prefix / "drive_c"
        return ("C:\\" + str(path.relative_to(c)) if path.is_relative_to(c) else "Z:" + str(path)).replace("/", "\\")

    def reg(self, key):
        """The values under a registry key (strings decoded, others as .reg writes them); {} for no key."""
        out = self.work / "key.reg"
        try:
            self.wine("reg", "export", key, self.windows_path(out), "/y")
        except RuntimeError:
            return {}
        values = {}
        for line in out.read_text(encoding="utf-16").splitlines():
            name, eq, value = line.partition("=")
            if eq and name.startswith('"'):
                values[json.loads(name)] = json.loads(value) if value.startswith('"') else value
        return values

    def sound_size(self):
        return self.raw.stat().st_size if self.raw.exists() else 0


def samples(data):
    """The captured samples on the 16-bit scale: Wine's mixer writes 32-bit floats in [-1, 1], read as
    16-bit pairs they are no such numbers; a 16-bit stream Wine passes on as it is."""
    floats = array.array("f", data[:len(data) - len(data) % 4])
    if all(abs(v) <= 4 for v in floats):  # NaN fails too
        return [v * 32767 for v in floats]
    return array.array("h", data[:len(data) - len(data) % 2])


def rms(path, start, end, window=1024):
    """The loudest window's RMS, on the 16-bit scale, between two byte offsets of the capture."""
    with open(path, "rb") as f:
        f.seek(start - start % 4)
        values = samples(f.read(max(0, end - start)))
    best = 0.0
    for i in range(0, len(values) - window + 1, window):
        w = values[i:i + window]
        mean = sum(w) / window
        best = max(best, (sum(v * v for v in w) / window - mean * mean) ** 0.5)
    return best
