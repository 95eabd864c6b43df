#!/usr/bin/env python3
"""The world tables' server under load, on loopback only and bounded: a
fresh server with a verifying process per core, clients each from an
address of its own sending the finished games of the replay corpus
(tests/replays) over and over, until SUBMISSIONS have been answered or
SECONDS have passed. Every submission is verified, also a game stored
already. Prints verified submissions a second, latency at the median and
the 99th percentile, the verifying processes' CPU time per minute of play,
memory, and the database's size per thousand entries of the corpus' mix.

    server.py build-server/qostarfold-server [clients]
"""

import http.client
import os
import shutil
import signal
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time

SUBMISSIONS = 300
SECONDS = 60
REPLAYS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "replays")


def games():
    out = []
    for f in sorted(os.listdir(REPLAYS)):
        data = open(os.path.join(REPLAYS, f), "rb").read()
        if f.endswith(".qoreplay") and data[142] == 0:  # finished games only
            out.append((data, int.from_bytes(data[216:220], "little")))
    return out


def proc_field(pid, name):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith(name + ":"):
            return int(line.split()[1])
    return 0


def children(pid):
    found = []
    for p in os.listdir("/proc"):
        if p.isdigit():
            try:
                stat = open(f"/proc/{p}/stat").read()
            except OSError:
                continue
            if int(stat.rsplit(")", 1)[1].split()[1]) == pid:
                found.append(int(p))
    return found


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    folder = tempfile.mkdtemp(prefix="qo-world-bench-")
    try:
        run(folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def run(folder):
    binary = os.path.abspath(sys.argv[1])
    clients = int(sys.argv[2]) if len(sys.argv) > 2 else 8
    workers = os.cpu_count() or 1
    db = os.path.join(folder, "world.db")
    server = subprocess.Popen([binary, "--listen", "127.0.0.1:0", "--db", db, "--workers",
                               str(workers), "--queue", str(4 * clients),
                               "--submits-per-minute", "1000000",
                               "--requests-per-second", "1000000"],
                              stdout=subprocess.PIPE, text=True)
    try:
        for line in server.stdout:
            if "listening on" in line:
                port = int(line.rsplit(":", 1)[1].strip(" /\n"))
                break
        threading.Thread(target=lambda: [None for _ in server.stdout], daemon=True).start()
        corpus = games()
        latencies, frames, statuses = [], [0], {}
        lock = threading.Lock()
        end = time.time() + SECONDS

        def client(k):
            n = k
            while time.time() < end:
                with lock:
                    if len(latencies) >= SUBMISSIONS:
                        return
                data, count = corpus[n % len(corpus)]
                n += 1
                c = http.client.HTTPConnection("127.0.0.1", port, timeout=120,
                                               source_address=(f"127.0.9.{k + 2}", 0))
                start = time.time()
                c.request("POST", "/api/v1/scores", data,
                          {"Content-Type": "application/octet-stream"})
                status = c.getresponse().status
                c.close()
                with lock:
                    latencies.append(time.time() - start)
                    statuses[status] = statuses.get(status, 0) + 1
                    if status in (200, 201):
                        frames[0] += count

        start = time.time()
        threads = [threading.Thread(target=client, args=(k,)) for k in range(clients)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        elapsed = time.time() - start
        verifiers = children(server.pid)
        verify_cpu = sum(cpu_seconds(p) for p in verifiers)
        rss = proc_field(server.pid, "VmHWM") + sum(proc_field(p, "VmHWM") for p in verifiers)

        verified = statuses.get(200, 0) + statuses.get(201, 0)
        latencies.sort()
        p = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))] * 1000
        minutes = frames[0] / 3600
        print(f"world server: {verified / elapsed:.1f} verified submissions/s "
              f"({clients} clients, {workers} verifying processes, {len(latencies)} answered in "
              f"{elapsed:.1f} s, statuses {dict(sorted(statuses.items()))})")
        print(f"world server: latency p50 {p(0.5):.0f} ms, p99 {p(0.99):.0f} ms; "
              f"{minutes / elapsed:.1f} minutes of play verified per second")
        print(f"world server: verify cost {verify_cpu / max(minutes, 1e-9) * 1000:.0f} ms of CPU "
              f"per minute of play; memory peak {rss / 1024:.1f} MB (server {proc_field(server.pid, 'VmHWM') / 1024:.1f} MB "
              f"+ {len(verifiers)} verifiers)")
    finally:
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=30)

    # A thousand entries of the corpus' mix, in the server's own schema.
    with sqlite3.connect(db, isolation_level=None) as c:
        c.execute("BEGIN")
        rows = c.execute("SELECT rules, difficulty, score, frames, name, date, bytes FROM entries "
                         "JOIN replays ON replays.entry = entries.id").fetchall()
        stored = len(rows)
        for i in range(1000 - stored):
            r = rows[i % stored]
            cur = c.execute("INSERT INTO entries (rules, difficulty, score, frames, name, date, game)"
                            " VALUES (?, ?, ?, ?, ?, ?, ?)", (*r[:6], os.urandom(32)))
            c.execute("INSERT INTO replays (entry, bytes) VALUES (?, ?)", (cur.lastrowid, r[6]))
        c.execute("COMMIT")
        c.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        replay = c.execute("SELECT avg(length(bytes)) FROM replays").fetchone()[0]
        play = c.execute("SELECT avg(frames) FROM entries").fetchone()[0] / 3600
    size = os.path.getsize(db)
    print(f"world server: database {size / 1024 / 1024:.2f} MB per thousand entries "
          f"(replays of {replay / 1024:.1f} KB, {play:.1f} minutes of play on average)")


if __name__ == "__main__":
    main()
