"""A small client of Chromium's DevTools protocol, enough to drive a page.

Starts Debian's chromium (headless unless a DISPLAY is asked for) with its
own empty profile and a debugging port on 127.0.0.1, and offers what the
browser tests need: load a page, evaluate script, press keys, take
screenshots, and the console lines the page printed.
"""

import base64
import json
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request

import websocket

CHROMIUM = os.environ.get("QO_CHROMIUM", "/usr/bin/chromium")

# Keys as the protocol wants them: (key, code, windowsVirtualKeyCode, text).
KEYS = {
    "Space": (" ", "Space", 32, " "),
    "Enter": ("Enter", "Enter", 13, "\r"),
    "Escape": ("Escape", "Escape", 27, ""),
    "Left": ("ArrowLeft", "ArrowLeft", 37, ""),
    "Right": ("ArrowRight", "ArrowRight", 39, ""),
    "Up": ("ArrowUp", "ArrowUp", 38, ""),
    "Down": ("ArrowDown", "ArrowDown", 40, ""),
    "Backspace": ("Backspace", "Backspace", 8, ""),
}
for _c in "ABCDEFGHIJKLMNOPQRSTUVWXYZ":
    KEYS[_c] = (_c.lower(), "Key" + _c, ord(_c), _c.lower())


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Browser:
    latest = None  # the last one started: its console is printed when a test fails

    def __init__(self, headless=True, extra_flags=(), env=None, url="about:blank"):
        Browser.latest = self
        self.profile = tempfile.mkdtemp(prefix="qo-chromium-")
        self.port = free_port()
        flags = [
            CHROMIUM,
            f"--remote-debugging-port={self.port}",
            "--remote-allow-origins=*",
            f"--user-data-dir={self.profile}",
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--disable-quic",
            "--disable-features=Translate,MediaRouter",
            "--use-angle=swiftshader",
            "--enable-unsafe-swiftshader",
            "--window-size=1280,800",
        ]
        if os.geteuid() == 0:
            flags.append("--no-sandbox")
        if headless:
            flags.append("--headless=new")
        flags += list(extra_flags)
        # A window opened on a page gives the page the keyboard; on about:blank
        # the address bar keeps it through later navigations.
        flags.append(url)
        self.proc = subprocess.Popen(
            flags,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            env=env,
            start_new_session=True,
        )
        self._connect()

    def _connect(self, target=None):
        self.ws = None
        self.lock = threading.Lock()
        self.next_id = 0
        self.replies = {}
        self.console = []
        self.exceptions = []
        self.events = []
        deadline = time.time() + 30
        while True:
            try:
                with urllib.request.urlopen(f"http://127.0.0.1:{self.port}/json") as r:
                    pages = [t for t in json.load(r) if t.get("type") == "page" and target in (None, t["id"])]
                if pages:
                    break
            except OSError:
                pass
            if time.time() > deadline or self.proc.poll() is not None:
                raise RuntimeError("chromium did not start")
            time.sleep(0.2)
        self.ws = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=120)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        for domain in ("Page", "Runtime"):
            self.call(domain + ".enable")

    def _read(self):
        while True:
            try:
                msg = json.loads(self.ws.recv())
            except Exception:
                return
            if "id" in msg:
                with self.lock:
                    self.replies[msg["id"]] = msg
                continue
            method = msg.get("method")
            params = msg.get("params", {})
            if method == "Runtime.consoleAPICalled":
                text = " ".join(str(a.get("value", a.get("description", ""))) for a in params["args"])
                self.console.append((time.time(), params["type"], text))
            elif method == "Runtime.exceptionThrown":
                self.exceptions.append(params["exceptionDetails"])
            else:
                self.events.append((time.time(), method, params))

    def call(self, method, timeout=120, **params):
        with self.lock:
            self.next_id += 1
            mid = self.next_id
        self.ws.send(json.dumps({"id": mid, "method": method, "params": params}))
        deadline = time.time() + timeout
        while time.time() < deadline:
            with self.lock:
                if mid in self.replies:
                    msg = self.replies.pop(mid)
                    if "error" in msg:
                        raise RuntimeError(f"{method}: {msg['error']}")
                    return msg.get("result", {})
            time.sleep(0.005)
        raise TimeoutError(method)

    def goto(self, url):
        self.call("Page.navigate", url=url)

    def eval(self, expression, await_promise=False):
        r = self.call(
            "Runtime.evaluate",
            expression=expression,
            returnByValue=True,
            awaitPromise=await_promise,
        )
        if "exceptionDetails" in r:
            raise RuntimeError(r["exceptionDetails"].get("text", "") + " " + expression)
        return r["result"].get("value")

    def wait_console(self, text, timeout=60, since=0):
        deadline = time.time() + timeout
        while time.time() < deadline:
            for t, _, line in list(self.console):
                if t >= since and text in line:
                    return t
            time.sleep(0.05)
        raise TimeoutError(f"no console line with {text!r}")

    def key(self, name, hold=0.0):
        key, code, vk, text = KEYS[name]
        down = dict(type="keyDown", key=key, code=code, windowsVirtualKeyCode=vk, nativeVirtualKeyCode=vk)
        if text:
            down["text"] = text
        self.call("Input.dispatchKeyEvent", **down)
        if hold:
            time.sleep(hold)
        self.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=code, windowsVirtualKeyCode=vk,
                  nativeVirtualKeyCode=vk)

    def key_down(self, name):
        key, code, vk, text = KEYS[name]
        self.call("Input.dispatchKeyEvent", type="keyDown", key=key, code=code, windowsVirtualKeyCode=vk,
                  nativeVirtualKeyCode=vk, **({"text": text} if text else {}))

    def key_up(self, name):
        key, code, vk, _ = KEYS[name]
        self.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=code, windowsVirtualKeyCode=vk,
                  nativeVirtualKeyCode=vk)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))
        return path

    def tab(self, url):
        """Another tab of this browser (same profile), driven like the first."""
        tab = object.__new__(Tab)
        tab.port, tab.proc, tab.browser = self.port, self.proc, self
        tab.target = self.call("Target.createTarget", url=url)["targetId"]
        tab._connect(tab.target)
        return tab

    def phone(self, width=915, height=412):
        """A phone held sideways (or upright, width < height), with touch."""
        self.call("Emulation.setDeviceMetricsOverride", width=width, height=height, deviceScaleFactor=2.625,
                  mobile=True)
        self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=5)

    def touch(self, kind, *points):
        """touchStart, touchMove or touchEnd with the fingers (id, x, y) still down."""
        self.call("Input.dispatchTouchEvent", type=kind, touchPoints=[dict(id=i, x=x, y=y) for i, x, y in points])

    def tap(self, x, y, hold=0.15):
        self.touch("touchStart", (0, x, y))
        time.sleep(hold)
        self.touch("touchEnd")

    def close(self):
        try:
            self.ws.close()
        except Exception:
            pass
        try:
            os.killpg(self.proc.pid, 15)
            self.proc.wait(timeout=10)
        except Exception:
            try:
                os.killpg(self.proc.pid, 9)
            except Exception:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)


class Tab(Browser):
    def close(self):
        self.ws.close()
        self.browser.call("Target.closeTarget", targetId=self.target)
