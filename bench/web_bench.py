"""The live bench's web half: the page in Debian's headless Chromium, its sizes, the time from
index.html to the title, and its CPU (the renderer and GPU processes) and frames in play."""
import gzip, os, shutil, tempfile, time

from selenium.common.exceptions import WebDriverException  # noqa: F401 (for the bench's caller)
from selenium.webdriver.common.keys import Keys

import browserdriver as wb
import xdriver as xd

SECONDS = 5
# "Time Left" should fall 10 times in this long at 60 steps a second.
FALLS_WATCHED = 10.2
PAGE_FILES = ["index.html", "index.js", "index.wasm", "index.data"]
# Frames are the page's turns that put any of the picture on the canvas.
COUNT_FRAMES = """
  var put = CanvasRenderingContext2D.prototype.putImageData, pending = false;
  window.benchFrames = 0;
  CanvasRenderingContext2D.prototype.putImageData = function() {
    if (!pending) { pending = true; window.benchFrames++; queueMicrotask(function() { pending = false; }); }
    return put.apply(this, arguments);
  };"""


def sizes(folder):
    """The whole download and the script and wasm gzipped, in bytes."""
    whole = sum(os.path.getsize(os.path.join(folder, name)) for name in PAGE_FILES)
    code = b"".join(open(os.path.join(folder, name), "rb").read() for name in ("index.js", "index.wasm"))
    return whole, len(gzip.compress(code, 9))


def page_processes(page):
    """Chromium's renderer and GPU processes under this page's driver."""
    children = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % pid) as f:
                children.setdefault(int(f.read().rsplit(")", 1)[1].split()[1]), []).append(int(pid))
        except OSError:
            pass
    found, todo = [], [page.d.service.process.pid]
    while todo:
        pid = todo.pop()
        todo += children.get(pid, [])
        try:
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                line = f.read()
        except OSError:
            continue
        if b"--type=renderer" in line or b"--type=gpu-process" in line:
            found.append(pid)
    return found


def measure(page, seconds=SECONDS):
    """(CPU of the page's processes in % of one core, frames a second) over seconds of doing nothing."""
    pids = page_processes(page)
    cpu = lambda: sum(xd.cpu_seconds(pid) for pid in pids)  # noqa: E731
    t0, c0, f0 = time.monotonic(), cpu(), page.js("return benchFrames")
    time.sleep(seconds)
    t1, c1, f1 = time.monotonic(), cpu(), page.js("return benchFrames")
    return 100 * (c1 - c0) / (t1 - t0), (f1 - f0) / (t1 - t0)


def level_20(page, screens):
    """(CPU, frames a second) in play at level 20 on the test page, whose every frame changes;
    screens are the checks of the level's introduction, the win screen and the table before it."""
    page.open("/web-hooked/index.html?VORN_FIRST_LEVEL=20", xd.title(0))
    page.keys((Keys.RETURN, screens[0], "level 20 introduction"), ("a", screens[1], "win screen"),
              ("a", screens[2], "table"), ("a", xd.play, "play at level 20"))
    time.sleep(1.5)
    return measure(page)


def web_half(build, figures, screens):
    """Fills figures with the page's "web sizes" (whole, script and wasm gzipped), "web title s",
    "web play 1" and "web play 20" (CPU, frames) and "web steps" (logic steps a second, falls of
    "Time Left" and in how long)."""
    server, site = wb.serve(build)
    shots = tempfile.mkdtemp(prefix="vorn-web-bench-")
    page = wb.Page(site, "bench", shots)
    try:
        figures["web sizes"] = sizes(os.path.join(build, "web"))
        page.d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": COUNT_FRAMES})
        began = time.monotonic()
        page.open("/web/index.html", xd.title(0))
        figures["web title s"] = time.monotonic() - began
        # One score of 1234567890 shows every digit in the game's font, to read "Time Left" with.
        page.d.execute_async_script(
            "var done = arguments[1]; FS.writeFile('/save/High Scores.txt', new Uint8Array(arguments[0]));"
            "FS.syncfs(false, function(e) { done(!e); });", list(xd.score_file([("Digits", 1234567890)])))
        page.d.refresh()
        page.wait(xd.title(0), "title after the reload", 30)
        page.keys((Keys.DOWN, xd.title(1), "High Scores highlighted"),
                  (Keys.RETURN, xd.table(["Digits"]), "high-score table"))
        digits = xd.Digits(page.grab(), 150, 352)
        page.keys(("a", xd.title(1), "title after the table"), (Keys.UP, xd.title(0), "New Game highlighted"),
                  (Keys.RETURN, xd.notice, "level 1 introduction"))
        page.point(320, 240)
        page.keys(("a", xd.play, "play at level 1"))
        time.sleep(1.5)
        figures["web play 1"] = measure(page)
        changes = digits.countdown(page, FALLS_WATCHED)
        (t0, v0), (t1, v1) = changes[0], changes[-1]
        figures["web steps"] = (60 * (v0 - v1) / (t1 - t0), len(changes), FALLS_WATCHED)
        figures["web play 20"] = level_20(page, screens)
    finally:
        page.quit()
        server.shutdown()
        shutil.rmtree(shots, True)
