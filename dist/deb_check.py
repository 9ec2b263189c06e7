#!/usr/bin/env python3
"""Installs the Debian package on this machine, starts the game as the desktop entry does, plays
until a score is made and quits, then removes the package and looks for anything left (root).
Usage: deb_check.py PACKAGE.deb"""
import os, shlex, shutil, struct, subprocess, sys, tempfile, time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import xdriver  # noqa: E402

NAME = "ghosts-of-vorn"
DESKTOP = "/usr/share/applications/%s.desktop" % NAME
# What a desktop session hands the programs it starts on Debian.
USER_PATH = "/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games"


def step(text):
    print("deb-check: " + text, flush=True)


def fail(text):
    print("deb-check: FAILED: " + text, flush=True)
    sys.exit(1)


def apt(*args):
    run = subprocess.run(["apt-get", "-y", *args], env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"),
                         stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if run.returncode:
        fail("apt-get %s: %s" % (" ".join(args), (run.stdout + run.stderr)[-2000:]))


def play(home, cwd):
    with open(DESKTOP) as f:
        execs = [line.split("=", 1)[1].strip() for line in f if line.startswith("Exec=")]
    command = [a for a in shlex.split(execs[0]) if not a.startswith("%")]
    step("starting %s from %s with HOME=%s" % (" ".join(command), cwd, home))
    x = xdriver.XServer()
    env = {"PATH": USER_PATH, "HOME": home, "DISPLAY": x.name, "LANG": "C.UTF-8"}
    with open(os.path.join(home, "..", "game-output.txt"), "wb") as out:
        game = xdriver.spawn(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=out)

        def expect(check, what, timeout=10):
            if not x.wait(check, timeout):
                out.flush()
                fail("no %s within %s s (status %s): %s" % (what, timeout, game.poll(),
                                                            open(out.name, errors="replace").read()[-800:]))
            step("reached the " + what)

        try:
            expect(xdriver.title(0), "title screen", 30)
            x.tap("Return")
            expect(xdriver.notice, "level 1 introduction")
            x.tap("a")
            expect(xdriver.play, "play screen")
            hunter, deadline = xdriver.Hunter(x), time.monotonic() + 110
            while not xdriver.notice(f := x.grab()) and time.monotonic() < deadline:
                hunter.step(f)
            hunter.hold(False)
            x.move(320, 240)
            expect(xdriver.notice, "level 2 introduction: level 1's ghost is destroyed", 1)
            x.tap("a")
            expect(xdriver.play, "level 2 play screen")
            x.tap("Escape")
            expect(xdriver.notice, "game-over screen")
            x.tap("a")
            expect(xdriver.still_screen, "high-score table")
            x.tap("a")
            expect(xdriver.title(0), "title screen after the game")
            x.tap("Up")
            expect(xdriver.title(2), "title screen with Quit highlighted")
            x.tap("Return")
            status = game.wait(10)
        finally:
            xdriver.stop(game)
            x.close()
    said = open(out.name, errors="replace").read()
    step("the game ended with status %d; it said: %s" % (status, " | ".join(
        line for line in said.splitlines() if not line.startswith("ALSA lib")) or "nothing"))
    if status != 1:
        fail("status %d after Quit, not 1" % status)


def main():
    if os.geteuid() != 0:
        fail("installing a package needs root")
    deb = os.path.abspath(sys.argv[1])
    step("installing " + deb)
    apt("install", deb)
    owned = subprocess.run(["dpkg-query", "-L", NAME], capture_output=True, text=True, check=True).stdout.split()
    step("installed %d paths" % len(owned))

    top = tempfile.mkdtemp(prefix="vorn-deb-check-")
    home, cwd = os.path.join(top, "home"), os.path.join(top, "elsewhere")
    os.makedirs(home)
    os.makedirs(cwd)
    try:
        play(home, cwd)
        data = os.path.join(home, ".local", "share", NAME)
        scores = os.path.join(data, "High Scores.txt")
        if not os.path.isfile(scores):
            fail("no High Scores.txt in " + data)
        with open(scores, "rb") as f:
            name, score = struct.unpack("<32si", f.read(36))
        step("%s holds %r with %d points" % (scores, name.split(b"\0")[0].decode(), score))
        if score <= 0:
            fail("the best score is %d" % score)
        if not os.path.isfile(os.path.join(data, "datapath.cfg")):
            fail("no datapath.cfg in " + data)
        if os.listdir(cwd):
            fail("the game wrote into its starting folder: %s" % os.listdir(cwd))
    finally:
        shutil.rmtree(top, True)

    step("removing the package")
    apt("purge", NAME)
    left = [p for p in owned if os.path.lexists(p) and not os.path.isdir(p)]
    left += [p for p in owned if os.path.isdir(p) and NAME in p]
    for root in ("/usr", "/etc", "/var", "/opt"):
        left += subprocess.run(["find", root, "-xdev", "(", "-name", "*%s*" % NAME, "-o", "-name", "*ghosts_of_vorn*",
                                ")", "-print"], capture_output=True, text=True).stdout.split()
    if left:
        fail("left after removal: %s" % sorted(set(left)))
    step("nothing of the package is left")
    print("deb-check: PASSED", flush=True)


if __name__ == "__main__":
    main()
