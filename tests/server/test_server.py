#!/usr/bin/env python3
"""The world tables' server, driven as a client would: each test starts the
real qostarfold-server on a free loopback port with a fresh database and
stops it. Clients speak from addresses of their own in 127.0.0.0/8, so that
the limits per address of one do not touch another.

    test_server.py build-server/qostarfold-server [-k NAME]
"""

import http.client
import json
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import zlib

REPLAYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "replays")
CORPUS = {f[: -len(".qoreplay")]: open(os.path.join(REPLAYS, f), "rb").read()
          for f in sorted(os.listdir(REPLAYS)) if f.endswith(".qoreplay")}
UNFINISHED = {"EASY-window-closed"}
BINARY = None
MADE = []  # the servers' folders, removed at the end


class Server:
    def __init__(self, *args, db=None):
        self.dir = tempfile.mkdtemp(prefix="qo-world-")
        MADE.append(self.dir)
        self.db = db or os.path.join(self.dir, "world.db")
        self.proc = subprocess.Popen([BINARY, "--listen", "127.0.0.1:0", "--db", self.db, *args],
                                     stdout=subprocess.PIPE, text=True)
        self.lines = []
        for line in self.proc.stdout:
            self.lines.append(line)
            if "listening on" in line:
                self.port = int(line.rsplit(":", 1)[1].strip(" /\n"))
                break
        else:
            raise AssertionError("the server did not start: " + "".join(self.lines))
        threading.Thread(target=lambda: self.lines.extend(self.proc.stdout), daemon=True).start()

    def request(self, method, path, body=None, source="127.0.0.1", headers=None):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60,
                                       source_address=(source, 0))
        c.request(method, path, body=body, headers=headers or {})
        r = c.getresponse()
        data = r.read()
        c.close()
        kind = r.getheader("Content-Type", "")
        return r.status, (json.loads(data) if kind.startswith("application/json") else data), r

    def post(self, data, source="127.0.0.1"):
        status, answer, _ = self.request("POST", "/api/v1/scores", data, source,
                                         {"Content-Type": "application/octet-stream"})
        return status, answer

    def table(self, difficulty, source="127.0.0.1"):
        status, answer, _ = self.request("GET", f"/api/v1/scores?difficulty={difficulty}&limit=100",
                                         source=source)
        assert status == 200, answer
        return answer["entries"]

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        assert self.proc.wait(timeout=20) == 0


def source(n):
    """A client address of its own."""
    return f"127.0.{n // 250 + 1}.{n % 250 + 2}"


# A replay's fields (docs/replay-format.md), changed and sealed with its CRC.
def sealed(data):
    return data[:-4] + zlib.crc32(data[:-4]).to_bytes(4, "little")


def patched(data, offset, value):
    return sealed(data[:offset] + value + data[offset + len(value):])


def runs_of(data):
    count = int.from_bytes(data[220:224], "little")
    return [bytearray(data[228 + 6 * i: 234 + 6 * i]) for i in range(count)]


def with_runs(data, runs):
    old = int.from_bytes(data[220:224], "little")
    body = b"".join(runs)
    out = data[:220] + len(runs).to_bytes(4, "little") + data[224:228] + body + data[228 + 6 * old:]
    return sealed(out)


def renamed(data, name):
    return patched(data, 148, name.ljust(64, b"\0"))


# ---------------------------------------------------------------------------

def corpus_games_are_verified_stored_once_and_ranked():
    s = Server()
    try:
        ids = {}
        for n, (name, data) in enumerate(CORPUS.items()):
            status, answer = s.post(data, source(n))
            if name in UNFINISHED:
                assert status == 422 and "unfinished" in answer["error"], answer
                continue
            assert status == 201 and answer["stored"], (name, answer)
            ids[name] = answer["id"]
        for d in ("easy", "medium", "hard"):
            entries = s.table(d)
            scores = [e["score"] for e in entries]
            assert scores == sorted(scores, reverse=True), scores
            assert [e["place"] for e in entries] == list(range(1, len(entries) + 1))
            assert len(entries) == sum(1 for k in ids if k.lower().startswith(d))
        status, data, r = s.request("GET", f"/api/v1/replays/{ids['HARD-3']}")
        assert status == 200 and data == CORPUS["HARD-3"], status

        # The same game again, and under another name: one entry, the first name.
        for copy in (CORPUS["EASY-3"], renamed(CORPUS["EASY-3"], b"THIEF")):
            status, answer = s.post(copy, source(40))
            assert status == 200 and not answer["stored"], answer
            assert answer["id"] == ids["EASY-3"] and answer["name"] == "PILOT 2", answer
        # A name of any bytes shows as the game's fonts can draw it, in the
        # tables and on the page.
        s2 = Server()
        try:
            status, answer = s2.post(renamed(CORPUS["HARD-3"], b"<b>\x01\xff\\"), source(41))
            assert status == 201 and answer["name"] == "<b>\\x01\\xff\\\\", answer
            status, page, _ = s2.request("GET", "/")
            assert b"&lt;b&gt;\\x01\\xff\\\\" in page and b"<b>" not in page, page[:200]
            assert f'/api/v1/replays/{answer["id"]}'.encode() in page
        finally:
            s2.stop()
        # One log line per request.
        time.sleep(0.2)
        assert sum("POST /api/v1/scores" in l for l in s.lines) == len(CORPUS) + 2, s.lines
    finally:
        s.stop()


def bad_input_is_refused_stores_nothing_and_others_are_served():
    s = Server()
    slow = {}

    def slow_client():
        # One byte a second, from an address of its own.
        with socket.create_connection(("127.0.0.1", s.port), source_address=("127.0.0.99", 0)) as c:
            start = time.time()
            try:
                for b in b"GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n":
                    c.send(bytes([b]))
                    time.sleep(1)
            except OSError:
                pass
            slow["answer"] = c.recv(4096)
            slow["seconds"] = time.time() - start

    thread = threading.Thread(target=slow_client)
    thread.start()
    try:
        good = CORPUS["EASY-window-long"]
        runs = runs_of(good)
        # A run in play whose mouse bit flipped joins neither neighbour.
        i = next(i for i in range(1, len(runs) - 1) if runs[i][5] >= 60 and
                 runs[i - 1][:5] != runs[i][:4] + bytes([runs[i][4] ^ 1]) != runs[i + 1][:5])
        changed = [bytes(r) for r in runs]
        changed[i] = bytes(runs[i][:4]) + bytes([runs[i][4] ^ 1, runs[i][5]])
        k = next(k for k in range(len(runs)) if runs[k][5] >= 2)
        split = [bytes(r) for r in runs[:k]] + [bytes(runs[k][:5]) + bytes([1]),
                                                 bytes(runs[k][:5]) + bytes([runs[k][5] - 1])]
        split += [bytes(r) for r in runs[k + 1:]]
        cases = [
            ("damaged", good[:500] + bytes([good[500] ^ 0x40]) + good[501:], 400, "checksum"),
            ("cut", good[: len(good) // 2], 400, "cut short"),
            ("empty", b"", 400, "empty"),
            ("forged score", patched(good, 212, (99999).to_bytes(4, "little")), 422,
             "does not verify"),
            ("one input byte", with_runs(good, changed), 422, "does not verify"),
            ("unknown rules", patched(good, 10, (99).to_bytes(2, "little")), 422,
             "rules version 99"),
            ("not the recorder's", with_runs(good, split), 400, "split"),
        ]
        for n, (what, data, want, says) in enumerate(cases):
            status, answer = s.post(data, source(n))
            assert status == want and says in answer["error"], (what, status, answer)

        # Too large: refused from its Content-Length, before a byte of it is sent.
        with socket.create_connection(("127.0.0.1", s.port)) as c:
            c.sendall(b"POST /api/v1/scores HTTP/1.1\r\nHost: x\r\nContent-Length: 9999999\r\n\r\n")
            c.settimeout(10)
            head = c.recv(4096)
            assert head.startswith(b"HTTP/1.1 413") and b"too large" in head, head

        # A flood from one address is held back, others go on.
        statuses = [s.post(CORPUS["EASY-2"], "127.0.0.77") for _ in range(25)]
        limited = [a for st, a in statuses if st == 429]
        assert limited and "too many" in limited[0]["error"], statuses[-1]
        _, _, r = s.request("POST", "/api/v1/scores", CORPUS["EASY-2"], "127.0.0.77")
        assert r.status == 429 and int(r.getheader("Retry-After")) >= 1
        assert s.post(CORPUS["EASY-1"], "127.0.0.78")[0] == 201

        # Meanwhile the slow client holds nothing up; it is let go in time.
        start = time.time()
        assert s.request("GET", "/healthz", source="127.0.0.79")[0] == 200
        assert time.time() - start < 5
        thread.join()
        assert slow["answer"].startswith(b"HTTP/1.1 408"), slow
        assert 8 < slow["seconds"] < 20, slow
        # Nothing of the bad input is stored: EASY-2 and EASY-1 only.
        assert [e["score"] for e in s.table("easy")] == [231, 55]
        assert s.table("medium") == [] and s.table("hard") == []

        # Requests the API does not know.
        for path, want in (("/api/v1/scores?difficulty=expert", 400),
                           ("/api/v1/scores?difficulty=easy&limit=0", 400),
                           ("/api/v1/replays/12345", 404), ("/api/v1/replays/x", 404),
                           ("/nowhere", 404)):
            status, answer, _ = s.request("GET", path, source="127.0.0.80")
            assert status == want and answer["error"], (path, answer)
    finally:
        thread.join()
        s.stop()


def verification_is_bounded_by_its_queue_and_its_time():
    # One verifier and no queue: games sent together are refused at once.
    s = Server("--workers", "1", "--queue", "0")
    try:
        results = []
        threads = [threading.Thread(target=lambda n=n: results.append(
            s.request("POST", "/api/v1/scores", CORPUS["MEDIUM-window-long"], source(n))))
            for n in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        busy = [r for st, a, r in results if st == 503]
        assert busy and int(busy[0].getheader("Retry-After")) > 0, [r[0] for r in results]
        assert any(st == 201 for st, a, r in results)
    finally:
        s.stop()
    # A game past the time limit: its process is stopped and started again.
    s = Server("--workers", "1", "--verify-seconds", "0.1")
    try:
        status, answer = s.post(CORPUS["MEDIUM-window-long"], source(1))
        assert status == 503 and "longer than 0.1 s" in answer["error"], answer
        assert s.post(CORPUS["EASY-2"], source(2))[0] == 201
    finally:
        s.stop()


def a_kill_in_a_burst_keeps_every_acknowledged_entry():
    s = Server()
    games = [(n, d) for n, d in CORPUS.items() if n not in UNFINISHED]
    acknowledged = []

    def client(k):
        for n, (name, data) in enumerate(games[k::4]):
            try:
                status, answer = s.post(data, source(10 * k + n))
            except OSError:
                return
            if status == 201:
                acknowledged.append(answer["id"])

    threads = [threading.Thread(target=client, args=(k,)) for k in range(4)]
    for t in threads:
        t.start()
    deadline = time.time() + 60
    while len(acknowledged) < 6 and time.time() < deadline:
        time.sleep(0.005)
    s.proc.send_signal(signal.SIGKILL)
    s.proc.wait()
    for t in threads:
        t.join()
    assert len(acknowledged) < len(games), "the burst ended before the kill"
    with sqlite3.connect(s.db) as db:
        assert db.execute("PRAGMA integrity_check").fetchone()[0] == "ok"
    again = Server(db=s.db)
    try:
        listed = {e["id"] for d in ("easy", "medium", "hard") for e in again.table(d)}
        assert set(acknowledged) <= listed, (acknowledged, listed)
        for i in acknowledged:
            status, data, _ = again.request("GET", f"/api/v1/replays/{i}")
            assert status == 200 and data in CORPUS.values()
    finally:
        again.stop()
    # A database of a newer server is refused, and left as it is.
    with sqlite3.connect(s.db) as db:
        db.execute("PRAGMA user_version = 99")
    out = subprocess.run([BINARY, "--listen", "127.0.0.1:0", "--db", s.db],
                         capture_output=True, text=True, timeout=20)
    assert out.returncode == 1 and "schema version 99" in out.stdout, out.stdout


def the_game_page_may_call_the_api():
    s = Server("--origin", "https://games.example/qostarfold/")
    try:
        status, _, r = s.request("OPTIONS", "/api/v1/scores", headers={
            "Origin": "https://games.example", "Access-Control-Request-Method": "POST"})
        assert status == 204 and "POST" in r.getheader("Access-Control-Allow-Methods")
        assert r.getheader("Access-Control-Allow-Origin") == "https://games.example"
        status, answer, r = s.request("GET", "/api/v1/scores?difficulty=hard")
        assert r.getheader("Access-Control-Allow-Origin") == "https://games.example"
        status, page, _ = s.request("GET", "/")
        assert b'"https://games.example/qostarfold/"' in page
    finally:
        s.stop()


TESTS = [corpus_games_are_verified_stored_once_and_ranked,
         bad_input_is_refused_stores_nothing_and_others_are_served,
         verification_is_bounded_by_its_queue_and_its_time,
         a_kill_in_a_burst_keeps_every_acknowledged_entry,
         the_game_page_may_call_the_api]

if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    pick = sys.argv[sys.argv.index("-k") + 1] if "-k" in sys.argv else ""
    failed = 0
    for test in TESTS:
        if pick not in test.__name__:
            continue
        start = time.time()
        try:
            test()
            print(f"ok    {test.__name__} ({time.time() - start:.1f} s)")
        except Exception as e:  # noqa: BLE001 - every failure is reported, then the next test
            failed += 1
            print(f"FAIL  {test.__name__}: {e!r}")
            import traceback
            traceback.print_exc()
    for folder in MADE:
        shutil.rmtree(folder, ignore_errors=True)
    sys.exit(1 if failed else 0)
