#!/usr/bin/env python3
"""Prints how soon a stop silences a cue in the real program: under Xvfb, one loud looping cue
on a real-time virtual device that captures its mix and notes the wall-clock time at which it
mixed each period (MARVANE_CAPTURE_TIMES). For each press the cue is started, Escape (or K, or
the PLAYING line's Stop button) is sent with xdotool, and the time from the key to the end of
the last non-silent sample of the capture is measured. The key was sent while xdotool ran, so
the time is given from xdotool's start (an upper bound: it counts xdotool's own start-up) and
from its return (a lower bound); and from the moment the program wrote the stop in its Go log
(its own reception, to the millisecond). With --xtest the key (or click) goes through XTEST on a
connection kept open instead, sent within a fraction of a millisecond of the time taken. Prints median and worst per way of stopping, with the
device period for reference; never fails on a slow machine.

    bench/stop_latency.py [BUILD_DIR] [--presses 20] [--ways escape,kill,button] [--xtest]
"""
import argparse
import datetime
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "e2e"))

import go_e2e as e2e  # noqa: E402
import show_panel_e2e as panel  # noqa: E402

RATE = e2e.RATE
PERIOD_FRAMES = 256  # the virtual device's period


def read_marks(path):
    marks = []
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                marks.append((int(parts[0]), int(parts[1]) / 1e9))
    return marks


def wall_of_frame(marks, frame):
    """The wall-clock time at which `frame` of the capture sounded: its period's mix time plus
    its place in the period."""
    best = None
    for mark in marks:
        if mark[0] <= frame:
            best = mark
        else:
            break
    if best is None:
        return None
    return best[1] + (frame - best[0]) / RATE


def frame_of_wall(marks, wall):
    best = marks[0]
    for mark in marks:
        if mark[1] <= wall:
            best = mark
        else:
            break
    return best[0] + int((wall - best[1]) * RATE)


def last_log_time(program, action):
    """Wall-clock time of the last Go log line with `action` (local time, to the ms)."""
    lines = [l for l in panel.go_log_lines(program) if len(l) >= 2 and l[1] == action]
    if not lines:
        return None
    stamp = datetime.datetime.strptime(lines[-1][0], "%Y-%m-%d %H:%M:%S.%f")
    return stamp.timestamp()


def measure(program, marks_path, way, presses, display, keyboard):
    upper = []
    lower = []
    log_delays = []
    action = {"escape": "STOP_ALL", "kill": "KILL", "button": "KILL"}[way]
    for press in range(presses):
        e2e.select_first_row(program)
        program.key("Return")
        time.sleep(0.35)
        if way == "button":
            lines = panel.panel_buttons(display)[2]
            if not lines:
                print("  press %d: no PLAYING line's Stop on the screen" % (press + 1))
                continue
            box = lines[0]
            e2e.xdo(program.env, "mousemove", "--sync", str(box[0] + box[2] // 2),
                    str(box[1] + box[3] // 2))
            time.sleep(0.05)
            before = time.time()
            if keyboard:
                keyboard.click()
            else:
                e2e.xdo(program.env, "click", "--delay", "0", "1")  # it acts on the release
            after = time.time()
        else:
            name = "Escape" if way == "escape" else "k"
            before = time.time()
            if keyboard:
                keyboard.key(name)
            else:
                e2e.xdo(program.env, "key", "--delay", "0", name)
            after = time.time()
        time.sleep(0.5)
        logged = last_log_time(program, action)
        marks = read_marks(marks_path)
        first = frame_of_wall(marks, before - 0.3)
        values = e2e.read_frames(program.capture, first, int(0.8 * RATE))
        loud_before = any(v > 1000 for v in values[: int(0.25 * RATE)])
        sounding = [i for i, v in enumerate(values) if v > 0]
        if not loud_before or not sounding:
            print("  press %d: the cue was not sounding before the stop" % (press + 1))
            continue
        last = first + sounding[-1]
        end_wall = wall_of_frame(marks, last + 1)
        upper.append(end_wall - before)
        lower.append(end_wall - after)
        if logged is not None and logged >= before - 0.002:
            log_delays.append(end_wall - logged)
        time.sleep(0.1)
    return upper, lower, log_delays


def summary(values):
    if not values:
        return "no figures"
    return "median %.1f ms, worst %.1f ms (%d)" % (1000 * statistics.median(values),
                                                   1000 * max(values), len(values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--presses", type=int, default=20)
    parser.add_argument("--ways", default="escape,kill,button")
    parser.add_argument("--xtest", action="store_true")
    args = parser.parse_args()
    marvane = os.path.abspath(os.path.join(args.build, "src", "shell", "marvane"))
    cli = os.path.abspath(os.path.join(args.build, "src", "cli", "marvane-cli"))

    work = tempfile.mkdtemp(prefix="marvane-stop-bench-")
    xvfb, display = e2e.start_xvfb()
    program = None
    os.environ["MARVANE_CAPTURE_TIMES"] = "1"
    try:
        tone = os.path.join(work, "loud.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", tone, "synth", "3",
                        "sine", "440", "gain", "-3"], check=True)
        entry = e2e.cue(1, tone, 0x20000000)  # normal, looped
        entry["volume"] = 0
        # A second row lets the keys select the first (Down, Up).
        list_path = e2e.make_list(cli, work, "Stop.mvl", [entry, e2e.cue(2, tone)])
        program = e2e.Program(marvane, list_path, work, display, os.path.join(work, "cap"))
        e2e.wait_for_capture(program)
        time.sleep(2.3)
        program.focus()
        marks_path = os.path.join(work, "cap-0.times")
        period_ms = 1000.0 * PERIOD_FRAMES / RATE
        print("Stop to silence, %d presses each; device period %.1f ms, target <= %.1f ms" %
              (args.presses, period_ms, period_ms + 5))
        for way in args.ways.split(","):
            keyboard = panel.xscreen.Keyboard(display) if args.xtest else None
            upper, lower, log_delays = measure(program, marks_path, way, args.presses, display,
                                               keyboard)
            if keyboard:
                keyboard.close()
            name = {"escape": "Escape", "kill": "K (Kill)",
                    "button": "PLAYING line's Stop (click)"}[way]
            sender = "XTEST" if args.xtest else "xdotool"
            print("%s to the last sound (sent by %s):" % (name, sender))
            print("  from the sending's start:  %s" % summary(upper))
            print("  from the sending's return: %s" % summary(lower))
            print("  from the Go log time:      %s" % summary(log_delays))
        code, output = program.close()
        program = None
        if code != 0:
            print("the program ended with %d: %s" % (code, output))
    finally:
        if program:
            program.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
