#!/usr/bin/python3
"""The game in the browser, played in Debian's Chromium through the DevTools
protocol: the site of `make web` served on 127.0.0.1, software WebGL.

    tests/web/test_web.py SITE_DIR [ZIP] [--examples DIR] [--server QOSTARFOLD_SERVER] [-k NAME]

Screens go to SITE_DIR/../web-screens/. Each test prints what it measured;
the last line counts the tests that passed and failed.
"""

import base64
import functools
import http.server
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import traceback
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server"))
import cdp  # noqa: E402
import test_server  # noqa: E402
from PIL import Image, ImageChops, ImageStat  # noqa: E402

SAVE_DIR = "/home/web_user/.local/share/qostarfold/"
SAVE = SAVE_DIR + "highscore.dat"
# Console lines of emscripten's GL emulation itself, not faults of the game.
KNOWN_NOISE = ("GL emulation", "immediate mode emulation", "glShadeModel", "client-side vertex arrays",
               "prepareClientAttributes")


class Site:
    """A plain static server of one folder on 127.0.0.1 (on `port`, or a free one)."""

    def __init__(self, folder, port=0):
        handler = functools.partial(Quiet, directory=folder)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
        threading.Thread(target=self.httpd.serve_forever, daemon=True).start()
        self.port = self.httpd.server_address[1]
        self.url = f"http://127.0.0.1:{self.port}/"

    def close(self):
        self.httpd.shutdown()
        self.httpd.server_close()


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
        steps_until(b, steps(b) + 150)  # faded out and in again
        play = shot(b, "play")
        assert differ(title, play, box) > 8, "Enter did not start a game"
        # The ship stays in the middle; holding Left turns it.
        w, h = box[2] - box[0], box[3] - box[1]
        ship = (box[0] + w * 4 // 10, box[1] + h * 4 // 10, box[0] + w * 6 // 10, box[1] + h * 6 // 10)
        b.key_down("Left")
        steps_until(b, steps(b) + 50)
        b.key_up("Left")
        turned = shot(b, "play-turned")
        print(f"  ship region changed by {differ(play, turned, ship):.1f} after holding Left")
        assert differ(play, turned, ship) > 3, "Left did not steer the ship"

        b.key("Escape")  # leaves the game (or, if the ship crashed meanwhile, the title: the page starts again)
        wait_for(lambda: b.eval(f"window.Module && Module.FS && Module.FS.analyzePath('{SAVE}').exists"), 30,
                 "highscore.dat after the game")
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


def center(b, selector):
    return b.eval("(r => [r.left + r.width / 2, r.top + r.height / 2])"
                  f"(document.querySelector('{selector}').getBoundingClientRect())")


def saved(b, name="highscore.dat"):
    return bytes(b.eval(f"Array.from(Module.FS.readFile('{SAVE_DIR}{name}'))"))


def sideways_and_upright(b, name):
    for width, height, held in ((915, 412, "sideways"), (412, 915, "upright"), (915, 412, None)):
        b.phone(width, height)
        steps_until(b, steps(b) + 20)
        if held:
            shot(b, f"{name}-{held}")


@test
def a_whole_game_by_touch_alone_on_a_phone():
    b = cdp.Browser()
    try:
        b.phone()
        open_game(b, SITE.url)
        store(b, table_file(0))  # every place holds 0: any game enters the tables
        b.goto("about:blank")
        open_game(b, SITE.url)
        steps_until(b, 120)
        assert not b.eval("document.body.classList.contains('touch')"), "touch buttons before any touch"
        b.tap(450, 200)  # leaves the intro
        wait_for(lambda: b.eval("Module.SDL2.audioContext.state") == "running", 10, "sound after the first tap")
        page = b.eval("(s => s.touchAction + s.overscrollBehaviorY + s.userSelect)(getComputedStyle(document.body))"
                      " + !canvas.dispatchEvent(new MouseEvent('contextmenu', {bubbles: true, cancelable: true}))")
        assert page == "nonenonenonetrue", f"the page zooms, scrolls, selects or opens a menu: {page}"
        steps_until(b, steps(b) + 60)
        b.tap(*center(b, "#touch .left1"))  # the right arrow: HARD
        sideways_and_upright(b, "phone-title")
        b.tap(450, 200)  # starts
        steps_until(b, steps(b) + 100)
        b.touch("touchStart", (0, 450, 200))  # one thumb holds on the picture while the other steers
        b.touch("touchStart", (0, 450, 200), (1, *center(b, "#touch .left0")))
        sideways_and_upright(b, "phone-flight")
        b.touch("touchEnd", (0, 450, 200))
        b.touch("touchEnd")
        b.tap(*center(b, "#touch .corner0"))  # leaves the game
        wait_for(lambda: b.eval("document.body.classList.contains('typing')"), 30, "the name field")
        b.tap(*center(b, "#typed"))
        b.call("Input.insertText", text="tap")
        sideways_and_upright(b, "phone-nameentry")
        b.tap(*center(b, "#typed"))
        b.key("Enter")  # the phone keyboard's Done
        hard = 76 + 2 * 680
        wait_for(lambda: saved(b)[hard:hard + 4] == b"TAP\0", 30, "TAP at the top of the HARD table")
        time.sleep(1)
        b.goto("about:blank")
        open_game(b, SITE.url)
        assert saved(b)[hard:hard + 4] == b"TAP\0", "the name was not kept over a reload"
        last = saved(b, "replays/last.qoreplay")
        runs = range(228, 228 + 6 * int.from_bytes(last[220:224], "little"), 6)
        both = sum(last[at + 5] for at in runs if last[at + 4] & 1 and last[at] & 4)  # button 1 and Left held
        print(f"  {both} frames held and steered at once")
        assert last[140] == 2 and both, "the replay has no frame held and steered at once"
        assert not game_errors(b), game_errors(b)[:3]
    finally:
        b.close()


# Animation frames held to `rate` a second out of the display's 60, by one
# queue that serves every caller of requestAnimationFrame; WebGL's waits
# for the GPU counted.
HELD_FRAMES = """(function (rate) {
  var raf = window.requestAnimationFrame.bind(window), queue = [], k = 0, running = false;
  function tick(t) {
    var go = Math.floor(++k * rate / 60) != Math.floor((k - 1) * rate / 60), now = go ? queue : [];
    if (go) queue = [];
    now.forEach(function (cb) { cb(t); });
    if (queue.length || !go) raf(tick); else running = false;
  }
  window.requestAnimationFrame = function (cb) {
    queue.push(cb);
    if (!running) { running = true; raf(tick); }
  };
  WebGLRenderingContext.prototype.finish = function () { window.qoFinishes = (window.qoFinishes | 0) + 1; };
})(%d);"""


@test
def sixty_steps_a_second_with_30_and_50_animation_frames():
    # A small window, so that software WebGL keeps up with 60 presented frames.
    for rate, ratio in ((30, 1.6), (50, 1.1)):
        b = cdp.Browser(extra_flags=["--window-size=640,400"])
        try:
            b.call("Page.addScriptToEvaluateOnNewDocument", source=HELD_FRAMES % rate)
            open_game(b, SITE.url)
            time.sleep(2)
            sps, fps = steps_per_second(b, 6)
            print(f"  frames held to {rate}: {sps:.1f} steps/s, {fps:.1f} animation frames/s")
            assert sps <= 63 and sps >= ratio * fps, "the ticks missed between frames are not taken"
            assert not b.eval("window.qoFinishes"), f"{b.eval('qoFinishes')} waits for the GPU"
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
        wait_for(lambda: b.eval("!!document.querySelector('.notice button')"), 10, "the question")
        b.eval("document.querySelector('.notice button').click()")  # leave the game on the screen
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
        # A browser that gives no audio context at all: the game runs silent.
        b.call("Page.addScriptToEvaluateOnNewDocument", source="AudioContext = function () { throw 'no'; };")
        open_game(b, SITE.url)
        b.wait_console("- No sound", timeout=5)
        time.sleep(2)
        sps, fps = steps_per_second(b, 6)
        print(f"  uncapped, silent: {sps:.1f} steps/s, {fps:.1f} animation frames/s")
        assert sps <= 63, f"the game raced the display: {sps:.1f} steps a second"
        assert sps >= 10, f"{sps:.1f} steps a second"
    finally:
        b.close()


@test
def hidden_page_takes_no_steps_and_does_not_catch_up():
    b = cdp.Browser()
    sound = "Module.SDL2.audioContext.state"
    try:
        open_game(b, SITE.url)
        b.key("Space")
        wait_for(lambda: b.eval(sound) == "running", 10, "sound after a key")
        other = b.call("Target.createTarget", url="about:blank")["targetId"]
        wait_for(lambda: b.eval("document.visibilityState") == "hidden", 10, "the page to be hidden")
        s0 = steps(b)
        time.sleep(3)
        hidden_steps = steps(b) - s0
        assert b.eval(sound) == "suspended", "the music plays on in a hidden tab"
        b.call("Target.closeTarget", targetId=other)
        wait_for(lambda: b.eval("document.visibilityState") == "visible", 10, "the page to come back")
        wait_for(lambda: b.eval(sound) == "running", 10, "the music back with the tab")
        sps, _ = steps_per_second(b, 2)
        print(f"  hidden 3 s: {hidden_steps} steps; back: {sps:.1f} steps/s")
        assert hidden_steps <= 2, f"{hidden_steps} steps while hidden"
        assert sps <= 63, f"caught up at {sps:.1f} steps a second"
    finally:
        b.close()


def cached(b):
    return b.eval("caches.keys().then(k => k.join(' '))", await_promise=True)


@test
def offline_after_the_first_visit_and_a_new_build_replaces_it():
    folder = tempfile.mkdtemp(prefix="qo-offline-")
    shutil.copytree(SITE_DIR, folder, dirs_exist_ok=True)
    site = Site(folder)
    b = cdp.Browser()
    try:
        b.call("Network.enable")
        first = open_game(b, site.url)
        sent = sum(p["encodedDataLength"] for _, m, p in list(b.events) if m == "Network.loadingFinished")
        build = b.eval("Module.cglBuild")
        for visit in ("first", "new build"):
            wait_for(lambda: cached(b) == "qostarfold-" + build, 90, f"the {visit}'s files, alone, in the cache")
            site.close()  # the network is gone
            b.goto("about:blank")
            took = open_game(b, site.url)
            steps_until(b, 250)
            assert sum(brightness(shot(b, "offline-intro"), canvas_box(b))) > 40, "the intro does not show"
            assert b.eval("Module.cglBuild") == build
            print(f"  {visit}: intro after {first:.1f} s, {sent / 1e6:.1f} MB sent; offline after {took:.1f} s")
            # A second build: its worker and page carry another identity.
            old, build = build, build[::-1]
            for name in ("index.html", "qostarfold.sw.js"):
                with open(os.path.join(folder, name), "r+") as f:
                    text = f.read().replace(old, build)
                    f.seek(0)
                    f.write(text)
            site = Site(folder, site.port)
            b.goto("about:blank")
            first = open_game(b, site.url)
            assert b.eval("Module.cglBuild") == build, "the new build did not come at the next visit"
    finally:
        b.close()
        site.close()
        shutil.rmtree(folder, ignore_errors=True)


# The paths IndexedDB holds for the game's save folder.
STORED = f"""new Promise(done => indexedDB.open('{SAVE_DIR.rstrip("/")}').onsuccess = e => {{
  var db = e.target.result;
  db.transaction('FILE_DATA').objectStore('FILE_DATA').getAllKeys().onsuccess = k => {{
    db.close();
    done(k.target.result.filter(p => /[.](dat|qoreplay)$/.test(p)).sort());
  }};
}})"""


def write(b, name, data):
    b.eval(f"Module.FS.writeFile('{SAVE_DIR}{name}', new Uint8Array({list(data)}))")


def notice(b):
    said = wait_for(lambda: b.eval("document.getElementById('notices').textContent"), 20, "a notice")
    print("  " + said)
    return said


@test
def two_tabs_take_turns_and_nothing_stored_is_lost():
    # With Web Locks, and as on a page served over plain http, without them.
    for without_locks in (False, True):
        two_tabs(without_locks)


def two_tabs(without_locks):
    def game_tab(tab):
        if without_locks:
            tab.call("Page.addScriptToEvaluateOnNewDocument", source="delete Navigator.prototype.locks;")
        open_game(tab, SITE.url)
        return tab

    b = cdp.Browser()
    try:
        game_tab(b)
        write(b, "highscore.dat", table_file(5, b"AAA"))
        other = game_tab(b.tab("about:blank"))
        assert "another tab" in notice(other)
        stored = set()
        for tab, name, data in ((other, "b.qoreplay", b"QOREPLAY"), (other, "highscore.dat", table_file(9, b"BBB")),
                                (b, "a.qoreplay", b"QOREPLAY")):
            write(tab, name, data)
            time.sleep(1.5)
            stored |= set(b.eval(STORED, await_promise=True))
        lost = stored - set(b.eval(STORED, await_promise=True))
        assert not lost, f"lost from the storage: {lost}"
        other.close()
        other = game_tab(b.tab("about:blank"))
        assert saved(other)[76:79] == b"AAA", "the table of the tab that keeps the saves was overwritten"
        other.close()
    finally:
        b.close()


# The first read of the storage fails; an open of it never answers.
FAILED_READ = """IDBIndex.prototype.openKeyCursor = (function (open, failed) {
  return function () {
    if (!failed++) throw new DOMException('the read failed', 'UnknownError');
    return open.apply(this, arguments);
  };
})(IDBIndex.prototype.openKeyCursor, 0);"""
NEVER_ANSWERS = "indexedDB.open = function () { return {}; };"


@test
def saves_that_will_not_last_are_said_and_nothing_stored_is_touched():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        write(b, "highscore.dat", table_file(7))
        write(b, "keep.qoreplay", b"QOREPLAY")
        time.sleep(1.5)
        before = b.eval(STORED, await_promise=True)
        for trouble in (FAILED_READ, NEVER_ANSWERS):
            script = b.call("Page.addScriptToEvaluateOnNewDocument", source=trouble)["identifier"]
            b.goto("about:blank")
            open_game(b, SITE.url)
            assert "nothing done here is kept" in notice(b)
            write(b, "highscore.dat", table_file(1))
            time.sleep(1.5)
            b.call("Page.removeScriptToEvaluateOnNewDocument", identifier=script)
            b.goto("about:blank")
            open_game(b, SITE.url)
            assert b.eval(STORED, await_promise=True) == before and saved(b) == bytes(table_file(7))
    finally:
        b.close()


@test
def every_change_in_the_save_folder_is_kept_over_a_reload():
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        b.eval("""(function (FS, d) {
          var odd = d.replace('/web_user/', '/web_user//'), up = d + '../' + d.split('/').slice(-2)[0] + '/';
          ['notes', 'cut', 'gone'].forEach(name => FS.writeFile(name + '.txt', 'text'));  // relative names
          FS.mkdir('made');
          FS.mkdir('made/sub');
          setTimeout(() => [FS.truncate('cut.txt', 0), FS.rmdir(d + 'made/sub'),
                            FS.rename(odd + 'notes.txt', up + 'moved.txt'), FS.unlink(up + 'gone.txt')], 500);
        })(Module.FS, Module.cglSaveFolder)""")
        time.sleep(2)
        b.goto("about:blank")
        open_game(b, SITE.url)
        found = b.eval("['moved.txt', 'cut.txt', 'made', 'made/sub', 'notes.txt', 'gone.txt'].map(p => "
                       "(p => Module.FS.analyzePath(p).exists && Module.FS.stat(p).size)(Module.cglSaveFolder + p))")
        assert found[:3] == [4, 0, 4096] and not any(found[3:]), found
    finally:
        b.close()


NO_CONTEXT = """HTMLCanvasElement.prototype.getContext = (function (get) {
  return function (kind) { return this.id == 'canvas' && /webgl/.test(kind) ? null : get.apply(this, arguments); };
})(HTMLCanvasElement.prototype.getContext);"""


def failure(b):
    text = wait_for(lambda: b.eval("document.body && document.body.classList.contains('failed') && "
                                   "document.getElementById('message').textContent"), 60, "the page to say why")
    print("  " + text.replace("\n", " / "))
    return text


@test
def the_page_says_why_a_program_stopped_and_leads_back_or_starts_again():
    with open(REPLAY, "rb") as f:
        cut = f.read()[:100]  # a link cut short in a chat
    b = cdp.Browser()
    try:
        b.goto(SITE.url + "#replay=" + base64.urlsafe_b64encode(cut).decode().rstrip("="))
        assert "shared.qoreplay: cannot read" in failure(b)
        b.eval("document.getElementById('retry').click()")
        wait_for(lambda: steps(b) > 10, 60, "the game after the way back")
        since = time.time()  # a lost picture starts the game again
        b.eval("canvas.getContext('webgl').getExtension('WEBGL_lose_context').loseContext()")
        b.wait_console("- Starting again", since=since, timeout=30)
        wait_for(lambda: steps(b) > 250, 60, "the game after the restart")
        assert sum(brightness(shot(b, "after-lost-picture"), canvas_box(b))) > 40, "the picture stays black"
        b.call("Page.addScriptToEvaluateOnNewDocument", source=NO_CONTEXT)  # the page's own probe gets one
        b.goto("about:blank")
        b.goto(SITE.url)
        assert "could not start" in failure(b) and "OpenGL context" in b.eval("message.textContent")
    finally:
        b.close()
    if EXAMPLES:  # an engine program that counts frames per second (CGL_GetFPS), then quits, did start
        site = Site(EXAMPLES)
        b = cdp.Browser()
        try:
            b.goto(site.url + "text.html")
            b.wait_console("- Init Framebuffer", timeout=60)
            time.sleep(2)
            since = time.time()
            b.key("Escape")
            b.wait_console("- Starting again", since=since, timeout=20)
        finally:
            b.close()
            site.close()


@test
def the_browsers_own_keys_pass_the_game():
    b = cdp.Browser()
    try:
        b.call("Page.addScriptToEvaluateOnNewDocument", source="qoKeys = []; addEventListener('keydown', "
                                                              "e => qoKeys.push(e), true);")
        open_game(b, SITE.url)
        for key, code, vk, ctrl in (("F5", "F5", 116, 0), ("r", "KeyR", 82, 2), ("F11", "F11", 122, 0),
                                    ("l", "KeyL", 76, 2), ("f", "KeyF", 70, 2), ("=", "Equal", 187, 2),
                                    ("-", "Minus", 189, 2), ("0", "Digit0", 48, 2)):
            for kind in ("rawKeyDown", "keyUp"):
                b.call("Input.dispatchKeyEvent", type=kind, key=key, code=code, windowsVirtualKeyCode=vk,
                       modifiers=ctrl)
        kept = b.eval("qoKeys.filter(e => e.defaultPrevented).map(e => (e.ctrlKey ? 'Ctrl+' : '') + e.key)")
        assert kept == [], f"the game kept {kept} from the browser"
    finally:
        b.close()


@test
def a_failed_load_says_what_failed_with_a_way_to_try_again():
    folder = tempfile.mkdtemp(prefix="qo-broken-")
    shutil.copytree(SITE_DIR, folder, dirs_exist_ok=True)
    site = Site(folder)
    b = cdp.Browser()
    try:
        b.call("Network.enable")  # every load from the server
        b.call("Network.setCacheDisabled", cacheDisabled=True)
        b.call("Network.setBypassServiceWorker", bypass=True)
        for missing in ("qostarfold.wasm", "qostarfold.data"):
            os.rename(os.path.join(folder, missing), os.path.join(folder, "gone"))
            b.goto("about:blank")
            b.goto(site.url)
            assert missing + ": the server answered 404" in failure(b)
            os.rename(os.path.join(folder, "gone"), os.path.join(folder, missing))
            b.eval("document.getElementById('retry').click()")
            wait_for(lambda: steps(b) > 10, 60, "the game after trying again")
        b.goto("about:blank")
        b.goto("file://" + folder + "/index.html")
        assert "web server" in failure(b)
    finally:
        b.close()
        site.close()
        shutil.rmtree(folder, ignore_errors=True)


@test
def an_ordinary_title_goes_into_the_page_as_it_is():
    if not EXAMPLES:
        return
    folder = tempfile.mkdtemp(prefix="qo-title-")
    title, keys = "Bob's <Run> & \"Co\" </script>", "<b>Arrows</b> & Escape"
    for ext in (".js", ".wasm", ".data"):
        shutil.copy(os.path.join(EXAMPLES, "sprite" + ext), folder)
    with open(os.path.join(folder, "page.cmake"), "w") as f:
        f.write(f"set(DIR {folder})\nset(NAME bob.html)\nset(PROGRAM sprite)\nset(TITLE [==[{title}]==])\n"
                f"set(KEYS [==[{keys}]==])\n")
    subprocess.run(["cmake", "-DPARAMS=" + f.name, "-P", os.path.join(ROOT, "cmake", "cglWebSite.cmake")], check=True)
    site = Site(folder)
    b = cdp.Browser()
    try:
        b.goto(site.url + "bob.html")
        b.wait_console("- Init Framebuffer", timeout=60)  # the program sets the window's title once it runs
        assert b.eval("[message.textContent, keys.textContent]") == ["Loading " + title + "…", keys]
        assert not b.exceptions, b.exceptions[:1]
    finally:
        b.close()
        site.close()
        shutil.rmtree(folder, ignore_errors=True)


@test
def a_dropped_file_is_checked_and_leaves_a_game_only_when_asked():
    folder = tempfile.mkdtemp(prefix="qo-drop-")
    with open(os.path.join(folder, "huge.qoreplay"), "wb") as f:
        f.truncate(100 * 1024 * 1024)
    b = cdp.Browser()
    try:
        open_game(b, SITE.url)
        b.key("Space")
        steps_until(b, steps(b) + 60)
        b.key("Enter")  # a game in flight
        for path in (f.name, os.path.join(SITE_DIR, "icon-192.png"), REPLAY):
            b.eval("document.getElementById('notices').textContent = ''")
            for kind in ("dragEnter", "drop"):
                b.call("Input.dispatchDragEvent", type=kind, x=600, y=300,
                       data={"items": [], "files": [os.path.abspath(path)], "dragOperationsMask": 1})
            assert ("not a replay" in notice(b)) == (path != REPLAY)
        assert b.eval("!!document.querySelector('.notice button')"), "no question"
        start = steps(b)
        time.sleep(2)
        assert steps(b) > start + 30 and not any("Starting" in line for _, _, line in b.console), "left unasked"
        since = time.time()
        b.eval("document.querySelector('.notice button').click()")
        b.wait_console("- Watching", since=since, timeout=60)
        assert "replay" not in b.eval("location.href"), "the replay went through the address"
    finally:
        b.close()
        shutil.rmtree(folder, ignore_errors=True)


def world_site(folder, world):
    """The site in `folder`, its page written as `make web WORLD=<world>` writes it."""
    for name in os.listdir(SITE_DIR):
        shutil.copy(os.path.join(SITE_DIR, name), folder)
    with open(os.path.join(os.path.dirname(SITE_DIR), "qostarfold-web-page.cmake")) as f:
        params = f.read() + (f"set(DIR [==[{folder}]==])\nset(SETTINGS world [==[{world}]==])\n"
                             f"list(APPEND SCRIPTS [==[{ROOT}/packaging/web/world.js]==])\n"
                             "list(REMOVE_DUPLICATES SCRIPTS)\n")
    with tempfile.NamedTemporaryFile("w", suffix=".cmake") as f:
        f.write(params)
        f.flush()
        subprocess.run(["cmake", "-DPARAMS=" + f.name, "-P", os.path.join(ROOT, "cmake", "cglWebSite.cmake")],
                       check=True)


@test
def a_game_played_here_is_sent_shown_at_its_place_and_watched_from_its_link():
    if not SERVER:
        print("  (no world server given)")
        return
    test_server.BINARY = SERVER
    folder = tempfile.mkdtemp(prefix="qo-world-site-")
    site = Site(folder)
    world = test_server.Server("--origin", site.url)  # its own port and a fresh database
    b = cdp.Browser()
    try:
        world_site(folder, f"http://127.0.0.1:{world.port}")
        open_game(b, site.url)
        assert not b.eval("document.querySelector('#world input').checked"), "sending on before it was chosen"
        b.eval("document.querySelector('#world input').click()")
        store(b, table_file(0))  # every place holds 0: the game takes a name
        b.goto("about:blank")
        open_game(b, site.url)
        assert b.eval("document.querySelector('#world input').checked"), "the switch was not remembered"
        steps_until(b, 200)  # the intro has faded in
        b.key("Space")
        steps_until(b, steps(b) + 60)
        b.key("Enter")
        steps_until(b, steps(b) + 120)
        b.key("Escape")
        steps_until(b, steps(b) + 150)
        for letter in "WEB":
            b.key(letter, hold=0.1)
        b.key("Enter", hold=0.1)
        said = wait_for(lambda: b.eval("!!document.querySelector('#world .mine') && "
                                       "document.querySelector('#world .said').textContent"), 60, "its place")
        print("  " + said)
        row = b.eval("Array.from(document.querySelectorAll('#world .mine td'), td => td.textContent)")
        [entry] = [e for d in ("easy", "medium", "hard") for e in world.table(d)]
        assert row[:2] == ["1", "WEB"] and entry["name"] == "WEB" and "place 1" in said, (row, entry, said)
        sent = world.request("GET", f"/api/v1/replays/{entry['id']}")[1]
        assert sent == saved(b, "replays/last.qoreplay"), "the server holds another replay than the game's"
        shot(b, "world-wide")
        b.phone(412, 915)
        b.tap(206, 700)  # a finger: the phone's buttons
        b.tap(*center(b, "#world-touch"))
        shot(b, "world-phone")
        since = time.time()
        b.tap(*center(b, "#world .mine a"))
        b.wait_console("- Watching", since=since, timeout=60)
        with open(os.path.join(folder, "sent.qoreplay"), "wb") as f:
            f.write(sent)
        print("  watched: " + watched_to_its_end(b, since, f.name))
        assert not game_errors(b), game_errors(b)[:3]
    finally:
        b.close()
        world.stop()
        site.close()
        shutil.rmtree(world.dir, ignore_errors=True)
        shutil.rmtree(folder, ignore_errors=True)


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


ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def main():
    global SITE, SITE_DIR, SCREENS, ZIP, EXAMPLES, SERVER
    args = sys.argv[1:]
    only = None
    EXAMPLES = SERVER = None
    if "--examples" in args:
        i = args.index("--examples")
        EXAMPLES = os.path.abspath(args[i + 1])
        del args[i:i + 2]
    if "--server" in args:
        i = args.index("--server")
        SERVER = os.path.abspath(args[i + 1])
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
    SITE_DIR = folder
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
            if cdp.Browser.latest:
                print("  its last console lines:\n    " + "\n    ".join(
                    line for _, _, line in cdp.Browser.latest.console[-12:]))
            print(f"[ FAIL ] {fn.__name__}", flush=True)
    SITE.close()
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
