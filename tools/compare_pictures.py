#!/usr/bin/python3
"""Two test builds side by side: the title, level 3's introduction and its first frame of play at 1x,
each grabbed from both on a private Xvfb and compared pixel for pixel. Both games get the same
clock at start-up, so their random choices are the same; a change that alters no behaviour shows
no difference. Usage: compare_pictures.py BUILD_BEFORE BUILD_AFTER   (test build
folders; grabs are kept in the second's screenshots/compared/)"""
import os, shutil, subprocess, sys, tempfile

from PIL import ImageChops

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import xdriver as xd  # noqa: E402

SCREENS = [("title", xd.title(0), None), ("introduction", xd.still_screen, "Return"), ("play", xd.play, "a")]
FIXED_CLOCK = "#include <time.h>\ntime_t time(time_t *t) { if (t) *t = 1000000; return 1000000; }\n"


def fixed_clock(folder):
    """A library to preload whose time() always gives the same second, the seed of the game's rand()."""
    source, library = os.path.join(folder, "clock.c"), os.path.join(folder, "clock.so")
    with open(source, "w") as f:
        f.write(FIXED_CLOCK)
    subprocess.run(["cc", "-shared", "-fPIC", "-o", library, source], check=True)
    return library


def grabs(build, clock, folder):
    """The game of one build, driven through the three screens; their frames at 1x."""
    X = xd.XServer()
    try:
        # The test build's silent sound set-up, and its own data.
        shutil.copyfile(os.path.join(build, "tests", "allegro.cfg"), os.path.join(folder, "allegro.cfg"))
        shutil.copyfile(os.path.join(build, "data.dat"), os.path.join(folder, "data.dat"))
        game = shutil.copy2(os.path.join(build, "ghosts-of-vorn-hooked"), folder)
        X.move(320, 240)
        proc = xd.spawn([game], cwd=folder, stdin=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        env=dict(X.env, HOME=folder, LD_PRELOAD=clock, VORN_FIRST_LEVEL="3", VORN_GHOST_AT="296,216"))
        frames = []
        for what, check, key in SCREENS:
            if key:
                X.tap(key)
            frame = X.wait(check, 30)
            if not frame:
                sys.exit("%s: no %s" % (build, what))
            frames.append(frame)
        xd.stop(proc)
        return frames
    finally:
        X.close()


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="vorn-compare-")
    kept = os.path.join(sys.argv[2], "screenshots", "compared")
    os.makedirs(kept, exist_ok=True)
    clock = fixed_clock(work)
    sides = []
    for n, build in enumerate(sys.argv[1:]):
        os.makedirs(os.path.join(work, str(n)))
        sides.append(grabs(build, clock, os.path.join(work, str(n))))
    same = True
    for (what, _, _), before, after in zip(SCREENS, *sides):
        before.save(os.path.join(kept, "%s-before.png" % what))
        after.save(os.path.join(kept, "%s-after.png" % what))
        box = ImageChops.difference(before.im, after.im).getbbox()
        print("%-13s %s" % (what, "identical" if box is None else "differs in %s" % (box,)))
        same = same and box is None
    shutil.rmtree(work, True)
    sys.exit(0 if same else 1)


if __name__ == "__main__":
    main()
