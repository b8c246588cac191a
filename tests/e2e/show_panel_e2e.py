#!/usr/bin/env python3
"""End-to-end test of the show panel in the real program under Xvfb, driven with the mouse.

Two looping tones of different pitch (440 Hz and 1,000 Hz) on one virtual device that captures
its mix. The panel's GO button, found on the screen by its colour and clicked with xdotool,
starts each in turn: the capture carries the tone and the list shows the playing mark. The first
PLAYING line's Stop (the newest cue's) silences that tone alone, the other going on, and STOP
ALL silences the rest. Every click is also a line of the Go log with "button" as its source.

    show_panel_e2e.py MARVANE MARVANE_CLI [--screenshots DIR]
"""
import argparse
import math
import os
import shutil
import subprocess
import sys
import tempfile
import time

import go_e2e as e2e
import xscreen

RATE = e2e.RATE


def reddish(r, g, b):
    return r > 150 and r > g + 60 and r > b + 60


def greenish(r, g, b):
    return g > 100 and g > r + 40 and g > b + 40


def panel_buttons(display):
    """The panel's GO and STOP ALL buttons and the Stop buttons of its PLAYING lines (top to
    bottom), as (x, y, width, height) on the screen."""
    screen = xscreen.Screen(display)
    greens = [b for b in screen.find_boxes(greenish, min_width=60, min_height=30)]
    reds = screen.find_boxes(reddish, min_width=20, min_height=12)
    go = greens[0] if greens else None
    stop_all = next((b for b in reds if b[2] >= 60 and b[3] >= 30), None)
    # A line's Stop: small, above the big buttons (the meters' clip marks are narrower).
    lines = sorted((b for b in reds if b is not stop_all and b[2] < 120 and b[3] < 40 and
                    (stop_all is None or b[1] + b[3] < stop_all[1])), key=lambda b: b[1])
    return go, stop_all, lines, screen


def click(program, box):
    x, y = box[0] + box[2] // 2, box[1] + box[3] // 2
    e2e.xdo(program.env, "mousemove", "--sync", str(x), str(y))
    e2e.xdo(program.env, "click", "1")


def tone_level(program, clock, seconds, frequency):
    """The level (dB of full scale) of `frequency` in the capture over the next `seconds`."""
    start = time.time()
    time.sleep(seconds)
    clock.calibrate(0.05)
    first = clock.frame_at(start)
    count = clock.frame_at(time.time()) - first
    values = e2e.read_signed_left(program.capture, first, count)
    if not values:
        return -200.0
    # Goertzel over a Hann window (so that the other tone does not leak into this one's bin):
    # the power at one frequency.
    w = 2 * math.pi * frequency / RATE
    coeff = 2 * math.cos(w)
    n = len(values)
    s1 = s2 = 0.0
    for i, v in enumerate(values):
        hann = 0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1)) if n > 1 else 1.0
        s1, s2 = v * hann + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    amplitude = 4 * math.sqrt(max(power, 0.0)) / n  # the window halves the amplitude
    return 20 * math.log10(max(amplitude, 1e-9) / 32768.0)


def go_log_lines(program):
    """The Go log's lines, split at the tabs (the log is in the user's data folder)."""
    lines = []
    for folder, _, names in os.walk(program.env["HOME"]):
        if os.path.basename(folder) != "logs":
            continue
        for name in sorted(names):
            if name.endswith(".log"):
                with open(os.path.join(folder, name), encoding="utf-8") as f:
                    lines += [line.rstrip("\n").split("\t") for line in f if line.strip()]
    return lines


def wait_for(predicate, seconds=5.0):
    end = time.time() + seconds
    while time.time() < end:
        result = predicate()
        if result:
            return result
        time.sleep(0.1)
    return predicate()


def make_tones(cli, work):
    cues = []
    for number, frequency in ((1, 440), (2, 1000)):
        path = os.path.join(work, "tone%d.wav" % frequency)
        subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", path, "synth", "4",
                        "sine", str(frequency), "gain", "-12"], check=True)
        entry = e2e.cue(number, path, 2 | 0x20000000)  # multiple, looped
        entry["volume"] = 0
        cues.append(entry)
    return e2e.make_list(cli, work, "Panel.mvl", cues)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("marvane")
    parser.add_argument("cli")
    parser.add_argument("--screenshots")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="marvane-panel-e2e-")
    xvfb, display = e2e.start_xvfb()
    program = None
    try:
        list_path = make_tones(args.cli, work)
        program = e2e.Program(os.path.abspath(args.marvane), list_path, work, display,
                              os.path.join(work, "cap"))
        e2e.wait_for_capture(program)
        time.sleep(2.3)  # the splash takes the first click while it shows
        program.focus()
        clock = e2e.Clock(program.capture)
        clock.calibrate()
        e2e.select_first_row(program)

        go = panel_buttons(display)[0]
        if go is None:
            e2e.fail("the panel's GO button is not on the screen")
        # GO on the first cue, then on the second.
        for expected in (440, 1000):
            if expected == 1000:
                program.key("Down")
                time.sleep(0.15)
            click(program, go)
            time.sleep(0.5)
            level = tone_level(program, clock, 0.4, expected)
            print("after GO: %d Hz at %.1f dB" % (expected, level))
            if args.screenshots:
                os.makedirs(args.screenshots, exist_ok=True)
                xscreen.Screen(display).save_png(
                    os.path.join(args.screenshots, "panel-go-%d.png" % expected))
            if level < -30:
                e2e.fail("GO in the panel did not start the %d Hz cue (%.1f dB)" %
                         (expected, level))
        _, stop_all, lines, _ = panel_buttons(display)
        if stop_all is None:
            e2e.fail("the panel's STOP ALL button is not on the screen while cues play")
        if len(lines) != 2:
            e2e.fail("the PLAYING block shows %d Stop buttons, not 2" % len(lines))
        # The newest line is the 1,000 Hz cue: its Stop ends it, the 440 Hz one goes on.
        click(program, lines[0])
        time.sleep(0.3)
        high = tone_level(program, clock, 0.4, 1000)
        low = tone_level(program, clock, 0.4, 440)
        print("after the first line's Stop: 1000 Hz at %.1f dB, 440 Hz at %.1f dB" % (high, low))
        if high > -60:
            e2e.fail("the line's Stop left its cue sounding (%.1f dB)" % high)
        if low < -30:
            e2e.fail("the line's Stop also stopped the other cue (%.1f dB)" % low)
        _, _, lines, _ = panel_buttons(display)
        if len(lines) != 1:
            e2e.fail("after one line's Stop the PLAYING block shows %d lines" % len(lines))

        click(program, stop_all)
        time.sleep(0.3)
        rest = e2e.rms_db(program, clock, 0.4)
        print("after STOP ALL: %.1f dB" % rest)
        if rest > -90:
            e2e.fail("STOP ALL left sound in the capture (%.1f dB)" % rest)

        log = wait_for(lambda: [l for l in go_log_lines(program) if len(l) >= 5
                                and l[4] == "button"] if len(go_log_lines(program)) >= 4
                       else None)
        actions = [(l[1], l[2]) for l in log or []]
        print("Go log: %s" % actions)
        for expected in (("GO", "Q010"), ("GO", "Q020"), ("KILL", "Q020"), ("STOP_ALL", "Q010")):
            if expected not in actions:
                e2e.fail("the Go log has no %s %s from a button: %s" % (expected + (actions,)))

        code, output = program.close()
        program = None
        if code != 0:
            e2e.fail("the program ended with %d: %s" % (code, output))
        print("PASS")
    finally:
        if program:
            program.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
