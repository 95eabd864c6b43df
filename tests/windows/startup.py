#!/usr/bin/python3
"""Start-up of a Windows program under wine, to its first presented frame.

    startup.py [--runs N] [--marker TEXT | --swap] EXE [ARGS...]

Runs EXE through wine.sh N times (default 7) on the current display and
measures the wall clock from starting the process to the line that says
the first frame was presented (TEXT, default "first frame presented"),
then stops the program. With --swap the first frame is wine's own trace of
the first wglSwapBuffers (WINEDEBUG=+wgl), for a program that prints no
such line and for any other measured beside it. "cold" runs start with the
prefix's wineserver ended, as a player's first start does; "warm" runs find
it running (a second start within seconds). Prints each time and the
medians.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
WINE = os.path.join(HERE, "wine.sh")


def one_run(cmd, marker, swap, timeout=60.0):
    start = time.monotonic()
    if swap:
        proc = subprocess.Popen([WINE, "run"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                env=dict(os.environ, QO_WINEDEBUG="+wgl"))
        lines, marker = proc.stderr, "wglSwapBuffers"
    else:
        proc = subprocess.Popen([WINE, "run"] + cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        lines = proc.stdout
    seen = None
    try:
        for raw in lines:
            if marker in raw.decode("utf-8", "replace"):
                seen = time.monotonic() - start
                break
            if time.monotonic() - start > timeout:
                break
    finally:
        if proc.poll() is None:
            proc.terminate()
        proc.wait(timeout=30)
    return seen


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--marker", default="first frame presented")
    parser.add_argument("--swap", action="store_true")
    parser.add_argument("cmd", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    if not args.cmd or not os.environ.get("DISPLAY"):
        sys.exit("usage: startup.py [--runs N] [--marker TEXT | --swap] EXE [ARGS...] (on a display)")
    subprocess.run([WINE, "init"], check=True)
    for mode in ("cold", "warm"):
        times = []
        for _ in range(args.runs):
            if mode == "cold":
                subprocess.run([WINE, "stop"], check=True)
                subprocess.run(["wineserver", "-w"], env=dict(os.environ, WINEPREFIX=os.environ.get(
                    "QO_WINEPREFIX", os.path.join(HERE, "..", "..", "build-win", "wine", "default"))))
            t = one_run(args.cmd, args.marker, args.swap)
            if t is None:
                sys.exit(f"{mode}: no {'swap' if args.swap else repr(args.marker)} from {args.cmd[0]}")
            times.append(t)
        print(f"{mode}: " + " ".join(f"{t * 1000:.0f}" for t in times) +
              f" ms; median {statistics.median(times) * 1000:.0f} ms"
              f" (load average {os.getloadavg()[0]:.1f})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
