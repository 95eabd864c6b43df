#!/usr/bin/python3
"""The game in the browser, played in Debian's Chromium through the DevTools
protocol: the site of `make web` served on 127.0.0.1, software WebGL.

    tests/web/test_web.py SITE_DIR [ZIP] [--examples DIR] [-k NAME]

Screens go to SITE_DIR/../web-screens/. Each test prints what it measured;
the last line counts the tests that passed and failed.
"""

import base64
import functools
import http.server
import os
import shutil
import struct
import sys
import tempfile
import threading
import time
import traceback
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cdp  # noqa: E402
from PIL import Image, ImageChops, ImageStat  # noqa: E402

SAVE = "/home/web_user/.local/share/qostarfold/highscore.dat"
# Console lines of emscripten's GL emulation itself, not faults of the game.
KNOWN_NOISE = ("GL emulation", "immediate mode emulation", "glShadeModel", "client-side vertex arrays",
               "prepareClientAttributes")


class Site:
    """A plain static server of one folder on 127.0.0.1."""

    def __init__(self, folder):
        handler = functools.partial(Quiet, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.url = f"http://127.0.0.1:{self.httpd.server_address[1]}/"

    def close(self):
        self.httpd.shutdown()


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def shot(b, name):
    path = os.path.join(SCREENS, name + ".png")
    b.screenshot(path)
    return Image.open(path).convert("RGB")


def canvas_box(b):
    r = b.eval("(function(){var r=canvas.getBoundingClientRect();return [r.left,r.top,r.right,r.bottom]})()")
    return tuple(int(round(v)) for v in r)


def brightness(img, box=None):
    return ImageStat.Stat(img.crop(box) if box else img).mean


def differ(a, b, box=None):
    if box:
        a, b = a.crop(box), b.crop(box)
    return sum(ImageStat.Stat(ImageChops.difference(a, b)).mean) / 3


def steps_per_second(b, seconds=5.0):
    s0, f0, t0 = b.eval("Module.cglSteps"), b.eval("window.qoFrames"), time.time()
    time.sleep(seconds)
    s1, f1, t1 = b.eval("Module.cglSteps"), b.eval("window.qoFrames"), time.time()
    return (s1 - s0) / (t1 - t0), (f1 - f0) / (t1 - t0)


def open_game(b, url):
    """Loads the page and waits for the game's first steps; returns the
    seconds from opening the page to its first frame."""
    since = time.time()
    b.goto(url)
    first = None
    deadline = since + 90
    while True:
        steps = b.eval("window.Module && Module.cglSteps || 0")
        if steps and first is None:
            first = time.time() - since
        if steps >= 10:
            break
        if time.time() > deadline:
            raise AssertionError("the game takes no steps")
        time.sleep(0.05)
    # The page's own count of animation frames, beside the game's steps.
    b.eval("window.qoFrames=0;(function f(){window.qoFrames++;requestAnimationFrame(f)})()")
    return first


def game_errors(b):
    errors = [e.get("exception", {}).get("description", e.get("text")) for e in b.exceptions]
    errors += [line for _, kind, line in b.console if kind == "error" and not any(n in line for n in KNOWN_NOISE)]
    return errors


def wait_for(cond, timeout, what):
    deadline = time.time() + timeout
    while time.time() < deadline:
        value = cond()
        if value:
            return value
        time.sleep(0.25)
    raise AssertionError("timed out waiting for " + what)


TESTS = []


def test(fn):
    TESTS.append(fn)
    return fn


@test
def plays_from_intro_to_a_saved_game_that_survives_a_reload():
    b = cdp.Browser()
    try:
        t0 = time.time()
        first = open_game(b, SITE.url)
        box = canvas_box(b)
        steps_until(b, 250)  # the intro has faded in
        intro = shot(b, "intro")
        print(f"  first frame {first:.1f} s after opening the page, 250 steps at {time.time() - t0:.1f} s; "
              f"canvas {box}")
        assert sum(brightness(intro, box)) > 40, "the intro does not show"
        assert b.eval("document.activeElement === canvas"), "the canvas has no keyboard focus at load"
        # Browsers start sound only after a gesture: the first key.
        assert b.eval("Module.SDL2.audioContext.state") != "running", "sound ran before any gesture"
        b.key("Space")
        time.sleep(2.5)
        title = shot(b, "title")
        assert differ(intro, title, box) > 8, "Space did not leave the intro"
        state = wait_for(lambda: b.eval("Module.SDL2.audioContext.state") == "running", 10, "the audio context")
        print(f"  audio context running after the first key: {state}")
        sps, fps = steps_per_second(b)
        print(f"  title: {sps:.1f} steps/s, {fps:.1f} animation frames/s")
        assert 10 <= sps <= 63, f"{sps:.1f} steps a second"
        assert b.eval("window.scrollX + window.scrollY") == 0, "the keys scrolled the page"

        b.key("Enter")
        time.sleep(3)
        play = shot(b, "play")
        assert differ(title, play, box) > 8, "Enter did not start a game"
        # The ship stays in the middle; holding Left turns it.
        w, h = box[2] - box[0], box[3] - box[1]
        ship = (box[0] + w * 4 // 10, box[1] + h * 4 // 10, box[0] + w * 6 // 10, box[1] + h * 6 // 10)
        b.key_down("Left")
        time.sleep(0.6)
        b.key_up("Left")
        turned = shot(b, "play-turned")
        print(f"  ship region changed by {differ(play, turned, ship):.1f} after holding Left")
        assert differ(play, turned, ship) > 3, "Left did not steer the ship"

        b.key("Escape")
        wait_for(lambda: b.eval(f"Module.FS.analyzePath('{SAVE}').exists"), 20, "highscore.dat after the game")
        saved = b.eval(f"Array.from(Module.FS.readFile('{SAVE}'))")
        time.sleep(1)  # the write to IndexedDB is asynchronous
        b.goto("about:blank")
        open_game(b, SITE.url)
        again = b.eval(f"Module.FS.analyzePath('{SAVE}').exists && Array.from(Module.FS.readFile('{SAVE}'))")
        assert again == saved, "highscore.dat did not survive the reload"
        print(f"  highscore.dat ({len(saved)} bytes) survived a reload")
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()


def table_file(score, name=b"ACE"):
    """A highscore.dat whose three tables hold `score` in every place."""
    data = bytearray(76 + 3 * 10 * 68)
    for e in range(30):
        at = 76 + 68 * e
        data[at:at + len(name)] = name
        data[at + 64:at + 68] = score.to_bytes(4, "little")
    return list(data)


def store(b, data):
    """Writes highscore.dat into the browser's storage, as the game does."""
    b.eval(f"Module.FS.writeFile('{SAVE}', new Uint8Array({data}))")
    time.sleep(1)


def steps(b):
    return b.eval("window.Module && Module.cglSteps || 0") or 0


def steps_until(b, count, timeout=120):
    wait_for(lambda: steps(b) >= count, timeout, f"{count} steps")


@test
def every_screen_and_a_name_typed_in_is_kept():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        store(b, table_file(0))
        b.goto("about:blank")
        open_game(b, SITE.url)
        box = canvas_box(b)
        steps_until(b, 200)
        shot(b, "screen-intro")
        b.key("Space")
        time.sleep(1.5)
        shot(b, "screen-title")
        b.key("Enter")
        steps_until(b, steps(b) + 120)
        shot(b, "screen-play")
        b.key("Escape")  # every place holds 0: any game enters the tables
        steps_until(b, steps(b) + 150)
        entry = shot(b, "screen-nameentry")
        for letter in "WEB":
            b.key(letter, hold=0.1)
        b.key("Enter", hold=0.1)
        wait_for(lambda: b"WEB" in bytes(b.eval(f"Array.from(Module.FS.readFile('{SAVE}'))")), 20,
                 "the name in highscore.dat")
        start = steps(b)
        steps_until(b, start + 60)
        table = shot(b, "screen-highscores")
        assert differ(entry, table, box) > 4, "no highscore page after the name entry"
        steps_until(b, start + 2 * 384 + 60, timeout=180)
        shot(b, "screen-credits")
        time.sleep(1)
        b.goto("about:blank")
        open_game(b, SITE.url)
        kept = bytes(b.eval(f"Array.from(Module.FS.readFile('{SAVE}'))"))
        assert kept[:3] == b"WEB", "the name typed in was not kept over a reload"
        print(f"  screens in {SCREENS}")
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()


@test
def leaving_the_title_saves_and_starts_again_at_the_intro():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        steps_until(b, 100)
        b.key("Space", hold=0.1)
        steps_until(b, steps(b) + 60)
        since = time.time()
        b.key("Escape", hold=0.1)
        b.wait_console("- Starting again", since=since, timeout=20)
        b.wait_console("- Init Framebuffer", since=since, timeout=60)
        wait_for(lambda: b.eval("typeof Module.cglSteps == 'number' && Module.cglSteps > 10"), 30,
                 "steps after the new start")
        assert b.eval(f"Module.FS.analyzePath('{SAVE}').exists"), "nothing was saved on leaving"
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()


REPLAYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "replays")
# A format 1 game of the scripted pilot, and a format 2 game played in the
# window and left with Escape.
REPLAY = os.path.join(REPLAYS, "EASY-3.qoreplay")
DROPPED = os.path.join(REPLAYS, "EASY-window-left.qoreplay")


def watched_to_its_end(b, since, path):
    """The watch's verdict on the whole game, Right held (four frames a
    step): the line --verify prints, ending in the file's frames and ok."""
    with open(path, "rb") as f:
        frames = struct.unpack_from("<I", f.read(), 216)[0]
    b.key_down("Right")
    try:
        t = b.wait_console("- Watched", since=since, timeout=180)
    finally:
        b.key_up("Right")
    line = next(text for tt, _, text in b.console if tt == t)
    assert line.endswith(f", {frames} frames: ok"), line
    return line


@test
def a_replay_plays_from_a_link_and_from_a_dropped_file():
    with open(REPLAY, "rb") as f:
        data = f.read()
    link = SITE.url + "#replay=" + base64.urlsafe_b64encode(data).decode().rstrip("=")
    b = cdp.Browser()
    try:
        since = time.time()
        open_game(b, link)
        b.wait_console("- Watching", since=since, timeout=30)
        steps_until(b, 120)
        shot(b, "replay-link")
        assert b.eval("location.hash") == "", "the fragment stays for the next start"
        print("  link: " + watched_to_its_end(b, since, REPLAY))
        # The page starts the game again once the replay is over.
        again = b.wait_console("- Starting again", since=since, timeout=30)
        b.wait_console("- Init Framebuffer", since=again, timeout=60)
        wait_for(lambda: steps(b) > 10, 60, "steps after the replay")

        # A file dropped on the page: the browser's own drag and drop.
        since = time.time()
        b.call("Input.dispatchDragEvent", type="dragEnter", x=600, y=300,
               data={"items": [], "files": [os.path.abspath(DROPPED)], "dragOperationsMask": 1})
        b.call("Input.dispatchDragEvent", type="drop", x=600, y=300,
               data={"items": [], "files": [os.path.abspath(DROPPED)], "dragOperationsMask": 1})
        b.wait_console("- Watching", since=since, timeout=60)
        print("  dropped: " + watched_to_its_end(b, since, DROPPED))
        bad = [text for _, _, text in b.console if "differs" in text or "cannot read" in text]
        assert not bad, bad
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()


@test
def damaged_storage_is_read_like_a_damaged_file():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        store(b, [7] * 10)
        b.goto("about:blank")
        since = time.time()
        open_game(b, SITE.url)
        line = b.wait_console("highscore.dat", since=since, timeout=10)
        print("  " + next(text for t, _, text in b.console if t == line))
        steps_until(b, steps(b) + 30)
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()


# A pad of the browser's standard layout, driven from the test: the page
# sees it through navigator.getGamepads as it would see a real one.
VIRTUAL_PAD = """
(function () {
  var pad = {id: 'Virtual Pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard',
             timestamp: 0, axes: [0, 0, 0, 0], buttons: []};
  for (var i = 0; i < 17; i++) pad.buttons.push({pressed: false, touched: false, value: 0});
  navigator.getGamepads = function () { return [pad]; };
  window.qoPad = function (button, down) {
    pad.buttons[button] = {pressed: down, touched: down, value: down ? 1 : 0};
    pad.timestamp = performance.now();
  };
  window.addEventListener('load', function () {
    var e = new Event('gamepadconnected');
    e.gamepad = pad;
    window.dispatchEvent(e);
  });
})();
"""


@test
def a_pad_of_the_standard_layout_plays():
    b = cdp.Browser()
    try:
        b.call("Page.addScriptToEvaluateOnNewDocument", source=VIRTUAL_PAD)
        open_game(b, SITE.url)
        box = canvas_box(b)
        steps_until(b, 100)
        intro = shot(b, "pad-intro")

        def press(button):
            b.eval(f"qoPad({button}, true)")
            steps_until(b, steps(b) + 6)
            b.eval(f"qoPad({button}, false)")
            steps_until(b, steps(b) + 6)

        press(0)  # A: leaves the intro
        steps_until(b, steps(b) + 60)
        title = shot(b, "pad-title")
        assert differ(intro, title, box) > 8, "A did not leave the intro"
        press(9)  # Start: starts a game
        steps_until(b, steps(b) + 90)
        play = shot(b, "pad-play")
        assert differ(title, play, box) > 8, "Start did not start a game"
        print("  A left the intro, Start started a game; sound:", b.eval("Module.SDL2.audioContext.state"))
    finally:
        b.close()


@test
def uncapped_frame_rate_keeps_sixty_steps():
    b = cdp.Browser(extra_flags=["--disable-frame-rate-limit", "--disable-gpu-vsync"])
    try:
        open_game(b, SITE.url)
        time.sleep(2)
        sps, fps = steps_per_second(b, 6)
        print(f"  uncapped: {sps:.1f} steps/s, {fps:.1f} animation frames/s")
        assert sps <= 63, f"the game raced the display: {sps:.1f} steps a second"
        assert sps >= 10, f"{sps:.1f} steps a second"
    finally:
        b.close()


@test
def hidden_page_takes_no_steps_and_does_not_catch_up():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        other = b.call("Target.createTarget", url="about:blank")["targetId"]
        wait_for(lambda: b.eval("document.visibilityState") == "hidden", 10, "the page to be hidden")
        s0 = steps(b)
        time.sleep(3)
        hidden_steps = steps(b) - s0
        b.call("Target.closeTarget", targetId=other)
        wait_for(lambda: b.eval("document.visibilityState") == "visible", 10, "the page to come back")
        sps, _ = steps_per_second(b, 2)
        print(f"  hidden 3 s: {hidden_steps} steps; back: {sps:.1f} steps/s")
        assert hidden_steps <= 2, f"{hidden_steps} steps while hidden"
        assert sps <= 63, f"caught up at {sps:.1f} steps a second"
    finally:
        b.close()


@test
def without_webgl_the_page_says_why():
    b = cdp.Browser(extra_flags=["--disable-webgl", "--disable-3d-apis"])
    try:
        b.goto(SITE.url)
        text = wait_for(lambda: b.eval(
            "document.body && document.body.className === 'failed' && "
            "document.getElementById('message').textContent"), 30,
                        "the message")
        print(f"  {text}")
        assert "WebGL" in text
        assert not b.exceptions, b.exceptions[:1]
    finally:
        b.close()


@test
def the_zip_plays_from_a_plain_static_server():
    if not ZIP:
        print("  (no zip given)")
        return
    folder = tempfile.mkdtemp(prefix="qo-zip-")
    try:
        with zipfile.ZipFile(ZIP) as z:
            assert "index.html" in z.namelist(), "index.html is not at the zip's root"
            z.extractall(folder)
        site = Site(folder)
        b = cdp.Browser()
        try:
            open_game(b, site.url)
            box = canvas_box(b)
            steps_until(b, 250)
            assert sum(brightness(shot(b, "zip-intro"), box)) > 40, "the intro does not show"
            errors = game_errors(b)
            assert not errors, f"errors on the page: {errors[:3]}"
        finally:
            b.close()
            site.close()
    finally:
        shutil.rmtree(folder, ignore_errors=True)


@test
def an_engine_example_runs_as_a_page():
    if not EXAMPLES:
        print("  (no examples given)")
        return
    site = Site(EXAMPLES)
    b = cdp.Browser()
    try:
        b.goto(site.url + "sprite.html")
        b.wait_console("- Init Framebuffer", timeout=60)
        box = canvas_box(b)
        time.sleep(2)
        before = shot(b, "example-sprite")
        b.key_down("Right")
        time.sleep(1)
        b.key_up("Right")
        after = shot(b, "example-sprite-moved")
        h = box[3] - box[1]
        band = (box[0], box[1] + h * 2 // 5, box[2], box[1] + h * 3 // 5)  # the sprite's rows
        print(f"  sprite example: its rows changed by {differ(before, after, band):.2f} after Right")
        assert differ(before, after, band) > 0.5, "the sprite did not move"
        errors = game_errors(b)
        assert not errors, f"errors on the page: {errors[:3]}"
    finally:
        b.close()
        site.close()


def main():
    global SITE, SCREENS, ZIP, EXAMPLES
    args = sys.argv[1:]
    only = None
    EXAMPLES = None
    if "--examples" in args:
        i = args.index("--examples")
        EXAMPLES = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    if "-k" in args:
        i = args.index("-k")
        only = args[i + 1]
        del args[i:i + 2]
    if not args:
        sys.exit(__doc__)
    folder = os.path.abspath(args[0])
    ZIP = os.path.abspath(args[1]) if len(args) > 1 else None
    SCREENS = os.path.join(os.path.dirname(folder), "web-screens")
    os.makedirs(SCREENS, exist_ok=True)
    SITE = Site(folder)
    passed = failed = 0
    for fn in TESTS:
        if only and only not in fn.__name__:
            continue
        print(f"[ RUN  ] {fn.__name__}", flush=True)
        t0 = time.time()
        try:
            fn()
            passed += 1
            print(f"[  OK  ] {fn.__name__} ({time.time() - t0:.1f} s)", flush=True)
        except Exception:
            failed += 1
            traceback.print_exc()
            print(f"[ FAIL ] {fn.__name__}", flush=True)
    SITE.close()
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
