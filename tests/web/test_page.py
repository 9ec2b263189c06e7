"""The game's page in Debian's headless Chromium through Selenium, checked on the canvas's pixels
and on what the page hands to Web Audio. Run by `make web-check`: VORN_WEB_PAGE and VORN_WEB_HOOKED
name the page and the test page, VORN_BUILD the native build whose game the title is held against."""
import io, os, re, shutil, subprocess, sys, time

import pytest
from PIL import Image, ImageChops
from selenium.webdriver.common.keys import Keys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
import browserdriver as wb  # noqa: E402
import xdriver as xd  # noqa: E402
from xdriver import notice, play, score_file, table, title  # noqa: E402

BUILD = os.path.abspath(os.environ.get("VORN_BUILD", "build"))
PAGE = os.path.abspath(os.environ.get("VORN_WEB_PAGE", os.path.join(BUILD, "web")))
HOOKED = os.path.abspath(os.environ.get("VORN_WEB_HOOKED", os.path.join(BUILD, "web-hooked")))
# The test page keeps every ghost still at (296, 216), under the pointer at (320, 240).
GHOST = "VORN_GHOST_AT=296,216"
# The loudest block's RMS, full scale 1: the desktop tests' 300 and 20 of 32768.
LOUD, QUIET = 0.009, 0.0006


def damage(folder):
    """Flips a byte in the middle of data.dat where the packed data holds it, as the script says."""
    script = (folder / "index.js").read_text()
    start, end = map(int, re.search(r'"/game/data\.dat","start":(\d+),"end":(\d+)', script).groups())
    packed = bytearray((folder / "index.data").read_bytes())
    packed[(start + end) // 2] ^= 0xFF
    (folder / "index.data").write_bytes(packed)


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    """The page, the test page and a copy of the page with a damaged data.dat, on 127.0.0.1."""
    root = tmp_path_factory.mktemp("site")
    os.symlink(PAGE, root / "page")
    os.symlink(HOOKED, root / "hooked")
    shutil.copytree(PAGE, root / "damaged", ignore=shutil.ignore_patterns("*.zip"))
    damage(root / "damaged")
    server, address = wb.serve(root)
    yield address
    server.shutdown()


@pytest.fixture
def page(site, request):
    p = wb.Page(site, request.node.name, os.path.join(BUILD, "screenshots", "failed"))
    yield p
    p.quit()


@pytest.fixture(scope="module")
def desktop_title(tmp_path_factory):
    """The desktop game's title screen at 1x on a private Xvfb, silent."""
    folder = tmp_path_factory.mktemp("desktop")
    shutil.copyfile(os.path.join(BUILD, "data.dat"), folder / "data.dat")
    shutil.copyfile(os.path.join(BUILD, "tests", "allegro.cfg"), folder / "allegro.cfg")
    x = xd.XServer()
    game = xd.spawn([shutil.copy2(os.path.join(BUILD, "ghosts-of-vorn"), folder), "--scale", "1"], cwd=folder,
                    env=dict(x.env, HOME=str(folder)), stdout=open(folder / "output.txt", "wb"), stderr=subprocess.STDOUT)
    try:
        frame = x.wait(title(0), 30)
        assert frame, "the desktop game showed no title screen"
        yield frame
    finally:
        xd.stop(game)
        x.close()


class TestPicture:
    def test_the_title_is_the_desktop_games_at_2x(self, page, desktop_title):
        page.open("/page/index.html")
        frame = page.wait(title(0), "title screen", 30)
        difference = ImageChops.difference(frame.im, desktop_title.im).getextrema()
        assert max(high for _, high in difference) <= 8, "the page's title differs from the desktop's"
        assert page.js("return canvas.dataset.scale") == "2"
        shown = Image.open(io.BytesIO(page.d.find_element("id", "canvas").screenshot_as_png)).convert("RGB")
        assert shown.size == (1280, 960)
        small = shown.resize((640, 480), Image.NEAREST)
        assert ImageChops.difference(shown, small.resize((1280, 960), Image.NEAREST)).getbbox() is None, \
            "a game pixel is not a 2x2 block"
        assert max(high for _, high in ImageChops.difference(small, frame.im).getextrema()) <= 8


class TestScoringGame:
    def test_countdown_pause_shard_carrier_and_the_table_after_a_reload(self, page):
        page.open("/hooked/index.html?" + GHOST)
        page.wait(title(0), "title screen", 30)
        # A stored score of 1234567890 shows every digit of the game's font, to read "Time Left" with.
        assert page.d.execute_async_script(
            "var done = arguments[1]; FS.writeFile('/save/High Scores.txt', new Uint8Array(arguments[0]));"
            "FS.syncfs(false, function(e) { done(!e); });", list(score_file([("Digits", 1234567890)])))
        page.d.refresh()
        page.wait(title(0), "title screen after the reload", 30)
        page.keys((Keys.DOWN, title(1), "High Scores highlighted"), (Keys.RETURN, table(["Digits"]), "table"))
        digits = xd.Digits(page.grab(), 150, 352)
        page.keys(("a", title(1), "title after the table"), (Keys.UP, title(0), "New Game highlighted"),
                  (Keys.RETURN, notice, "level 1 introduction"))
        page.point(320, 240)
        page.keys(("a", play, "play frame"))
        changes = digits.countdown(page, 4.5)  # one second of countdown a second
        assert len(changes) >= 3, changes
        (t0, v0), (t1, v1) = changes[0], changes[-1]
        assert abs((v0 - v1) - (t1 - t0)) <= 0.5, changes

        # Another tab in front hides the page: its time stands still until it is shown again.
        held, game_tab = digits.time_left(page.grab()), page.d.current_window_handle
        page.d.switch_to.new_window("tab")
        time.sleep(2.5)
        page.d.close()
        page.d.switch_to.window(game_tab)
        back = digits.time_left(page.grab())
        assert held - back <= 1, "the countdown ran in a hidden tab: %d then %d" % (held, back)
        page.wait(lambda f: digits.time_left(f) == back - 1, "the countdown going on after the tab was shown", 3)

        # Into the browser's full screen and out again, in the same level with the same countdown.
        page.chord(Keys.F11)
        page.wait(lambda f: page.fullscreen() and play(f), "play in full screen", 5)
        page.chord(Keys.ALT, Keys.RETURN)
        page.wait(lambda f: not page.fullscreen() and play(f), "play in the window again", 5)
        assert digits.time_left(page.grab()) <= back - 1, "the countdown started again"

        page.button(True)
        page.wait(notice, "level 2 introduction")
        page.button(False)
        page.keys(("a", play, "level 2 play frame"), (Keys.ESCAPE, notice, "game-over screen"),
                  ("a", table(["Digits", "Ghost Hunter"]), "the table with the new score"))
        kept = page.d.execute_async_script(
            "arguments[0](Array.from(FS.readFile('/save/High Scores.txt')));")
        assert bytes(kept) == score_file([("Digits", 1234567890), ("Ghost Hunter", 20)])
        page.d.refresh()
        page.wait(title(0), "title screen after the game and a reload", 30)
        page.keys((Keys.DOWN, title(1), "High Scores highlighted"),
                  (Keys.RETURN, table(["Digits", "Ghost Hunter"]), "the table kept through the reload"))
        assert digits.read(page.grab(), 160, 352) == 20


class TestSound:
    def test_music_on_the_title(self, page):
        page.open("/page/index.html")
        page.wait(title(0), "title screen", 30)
        page.loudest(reset=True)
        deadline = time.monotonic() + 10
        while page.loudest() < LOUD and time.monotonic() < deadline:
            time.sleep(0.1)
        assert page.loudest() >= LOUD, "no music reached Web Audio"

    def test_the_zap_of_a_hit_alone(self, page):
        page.open("/hooked/index.html?music=off&" + GHOST)
        page.wait(title(0), "title screen", 30)
        page.point(320, 240)
        page.keys((Keys.RETURN, notice, "level 1 introduction"), ("a", play, "play frame"))
        page.loudest(reset=True)
        time.sleep(1)
        assert page.loudest() < QUIET, "a sound with no music and no hit"
        page.button(True)
        page.wait(notice, "level 2 introduction after the hit")
        page.button(False)
        assert page.loudest() >= LOUD, "no zap on the hit"


class TestEnds:
    def test_a_damaged_data_file_is_said_in_the_page(self, page):
        page.open("/damaged/index.html")
        assert "Unable to load the data file" in page.wait_message("Unable to load the data file", 30)

    def test_quit_ends_the_game_with_an_offer_to_play_again(self, page):
        page.open("/page/index.html")
        page.wait(title(0), "title screen", 30)
        page.keys((Keys.DOWN, title(1), "High Scores highlighted"), (Keys.DOWN, title(2), "Quit highlighted"))
        page.chord(Keys.RETURN)
        assert "The game has ended." in page.wait_message("The game has ended.", 10)
        assert page.d.find_element("id", "again").is_displayed()
