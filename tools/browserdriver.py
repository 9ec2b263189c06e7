"""The game's page in Debian's headless Chromium through Selenium: a local web server for a
folder, and a page driven as a player would, read back from its canvas and its sound tap."""
import base64, functools, http.server, io, os, sys, threading, time

from PIL import Image
from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains

import xdriver as xd


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


class QuietServer(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        # A page closed mid-answer is the browser's business, not a fault to print.
        if not isinstance(sys.exc_info()[1], ConnectionError):
            super().handle_error(request, client_address)


def serve(root):
    """Serves the folder on 127.0.0.1 from a thread; returns the server and its address."""
    server = QuietServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=str(root)))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d" % server.server_port


class Page:
    """One headless Chromium with a fresh profile, at a size where the picture is shown at 2x."""

    def __init__(self, site, test, shots):
        options = webdriver.ChromeOptions()
        for arg in ["--headless=new", "--no-sandbox", "--autoplay-policy=no-user-gesture-required",
                    "--window-size=1400,1200"]:
            options.add_argument(arg)
        self.site, self.test, self.shots = site, test, shots
        self.d = webdriver.Chrome(options=options)

    def open(self, path, first=None):
        """Opens path on the site; given a check, waits for the first screen it should show."""
        self.d.get(self.site + path)
        return first and self.wait(first, "first screen", 30)

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def grab(self):
        url = self.js("return document.getElementById('canvas').toDataURL('image/png')")
        return xd.Frame(Image.open(io.BytesIO(base64.b64decode(url.split(",", 1)[1]))).convert("RGB"))

    def wait(self, check, what, timeout=15):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if check(f := self.grab()):
                return f
            time.sleep(0.03)
        os.makedirs(self.shots, exist_ok=True)
        shot = os.path.join(self.shots, "web-%s-%s.png" % (self.test, what.replace(" ", "_")))
        self.grab().save(shot)
        raise AssertionError("no %s within %s s (canvas in %s; page says %r)" % (what, timeout, shot, self.message()))

    def keys(self, *steps):
        """Taps each key, held past a tick, and waits for the screen it should bring."""
        for key, check, what in steps:
            ActionChains(self.d).key_down(key).pause(0.15).key_up(key).perform()
            self.wait(check, what)

    def chord(self, *keys):
        chain = ActionChains(self.d)
        for key in keys:
            chain.key_down(key)
        chain.pause(0.15)
        for key in reversed(keys):
            chain.key_up(key)
        chain.perform()

    def fullscreen(self):
        return self.js("return !!document.fullscreenElement")

    def point(self, x, y):
        """The pointer on game pixel (x, y); Selenium's offsets are from the canvas's middle."""
        canvas, k = self.d.find_element("id", "canvas"), int(self.js("return canvas.dataset.scale"))
        ActionChains(self.d).move_to_element_with_offset(
            canvas, round((x + 0.5 - 320) * k), round((y + 0.5 - 240) * k)).perform()

    def button(self, down):
        chain = ActionChains(self.d)
        (chain.click_and_hold() if down else chain.release()).perform()

    def message(self):
        return self.js("return document.getElementById('message-text').textContent")

    def wait_message(self, text, timeout):
        """The page's message once it holds text, or as it is when the time is up."""
        deadline = time.monotonic() + timeout
        while text not in self.message() and time.monotonic() < deadline:
            time.sleep(0.1)
        return self.message()

    def loudest(self, reset=False):
        return self.js("var t = Module.webAudioTap; var l = t.loudest; if (arguments[0]) t.loudest = 0; return l;",
                       reset)

    def quit(self):
        self.d.quit()
