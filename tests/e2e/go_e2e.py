#!/usr/bin/env python3
"""End-to-end test of the real program under Xvfb: Go plays the cue, Escape silences it.

Starts its own Xvfb on a display of its own, runs marvane on a copy of the demo show with one virtual
sound device that captures its mix to a WAV file, presses Enter on the first cue, checks that the
capture carries the cue, presses Escape and checks that the sound stops within one refill, and
closes the program through its File menu.

    go_e2e.py MARVANE DEMO_DIR [--presses N] [--cli MARVANE_CLI] [--live-keys] [--screenshots DIR]
              [--cpu] [--open-big N]

--presses N measures the time from the Go key to the first sound over N presses; --live-keys
checks that the volume keys reach the current cue, the others (Shift) or all (Ctrl); --screenshots
saves pictures of the window idle and playing; --cpu reports the program's CPU use idle and with 8
cues playing; --open-big N reports how long a list of N cues takes to open.
"""
import argparse
import json
import math
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

RATE = 44100
FRAME_BYTES = 4
REFILL_FRAMES = 8192 // FRAME_BYTES  # one segment of a cue's buffer
# Delivery of a key through xdotool, X and Qt, and the device's period, on a busy machine.
KEY_SLACK_FRAMES = int(0.150 * RATE)


CURRENT = []  # the program under test, for its output when the test fails


def fail(message):
    print("FAIL: " + message, flush=True)
    for program in CURRENT:
        program.kill()
        print(program.proc.stdout.read().decode(errors="replace"), flush=True)
    sys.exit(1)


def start_xvfb():
    """Starts Xvfb on a display it picks itself among the free ones (-displayfd), so that tests
    running at the same time never share a display."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        proc.kill()
        fail("Xvfb did not start")
    display = ":" + number.decode().strip()
    for _ in range(100):
        if subprocess.run(["xdpyinfo", "-display", display], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0:
            return proc, display
        time.sleep(0.05)
    proc.kill()
    fail("Xvfb on %s does not answer" % display)


def xdo(env, *args, check=True):
    result = subprocess.run(["xdotool"] + list(args), env=env, capture_output=True, text=True,
                            timeout=30)
    if check and result.returncode != 0:
        fail("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
    return result.stdout.strip()


def data_offset(path):
    """Offset of the sound data in a WAV file that is still being written."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if len(head) < 12 or head[0:4] != b"RIFF" or head[8:12] != b"WAVE":
        return None
    pos = 12
    while pos + 8 <= len(head):
        cid, size = struct.unpack_from("<4sI", head, pos)
        if cid == b"data":
            return pos + 8
        pos += 8 + size + (size & 1)
    return None


def frames_written(path):
    if not os.path.exists(path):
        return None
    offset = data_offset(path)
    if offset is None:
        return None
    return max(0, (os.path.getsize(path) - offset) // FRAME_BYTES)


def read_frames(path, first, count):
    """Left samples of frames [first, first + count) (fewer when the file is shorter)."""
    offset = data_offset(path)
    with open(path, "rb") as f:
        f.seek(offset + max(0, first) * FRAME_BYTES)
        raw = f.read(count * FRAME_BYTES)
    n = len(raw) // FRAME_BYTES
    values = struct.unpack("<%dh" % (2 * n), raw[: n * FRAME_BYTES])
    return [max(abs(values[2 * i]), abs(values[2 * i + 1])) for i in range(n)]


def read_signed_left(path, first, count):
    """Left samples, with their signs, of frames [first, first + count)."""
    offset = data_offset(path)
    with open(path, "rb") as f:
        f.seek(offset + max(0, first) * FRAME_BYTES)
        raw = f.read(count * FRAME_BYTES)
    n = len(raw) // FRAME_BYTES
    return struct.unpack("<%dh" % (2 * n), raw[: n * FRAME_BYTES])[0::2]


class Clock:
    """Maps wall time to frames of the capture: the device writes RATE frames a second from its
    start, and the writer only ever lags, so the smallest (now - frames / RATE) is its start."""

    def __init__(self, path):
        self.path = path
        self.start = None

    def calibrate(self, seconds=0.3):
        end = time.time() + seconds
        while time.time() < end:
            frames = frames_written(self.path)
            now = time.time()
            if frames:
                estimate = now - frames / RATE
                self.start = estimate if self.start is None else min(self.start, estimate)
            time.sleep(0.005)

    def frame_at(self, wall):
        return int((wall - self.start) * RATE)


class Program:
    def __init__(self, marvane, list_path, work, display, capture_prefix):
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": display,
            "HOME": os.path.join(work, "home"),
            "XDG_RUNTIME_DIR": os.path.join(work, "run"),
            "MARVANE_AUDIO": "virtual:1:" + capture_prefix,
            "QT_QPA_PLATFORM": "xcb",
        })
        self.env.pop("QT_QPA_PLATFORMTHEME", None)
        os.makedirs(self.env["HOME"], exist_ok=True)
        os.makedirs(self.env["XDG_RUNTIME_DIR"], mode=0o700, exist_ok=True)
        self.capture = capture_prefix + "-0.wav"
        self.launched = time.time()
        self.proc = subprocess.Popen([marvane, list_path], env=self.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        CURRENT[:] = [self]
        title = os.path.basename(list_path) + " - Marvane"
        found = xdo(self.env, "search", "--sync", "--onlyvisible", "--name", "^%s$" % title)
        self.shown = time.time()
        self.window = found.split()[0]

    def focus(self):
        xdo(self.env, "windowfocus", "--sync", self.window)

    def key(self, *keys):
        xdo(self.env, "key", "--clearmodifiers", *keys)

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.proc.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        ticks = os.sysconf("SC_CLK_TCK")
        return (int(fields[11]) + int(fields[12])) / ticks

    def screenshot(self, path):
        subprocess.run(["import", "-window", self.window, path], env=self.env, check=False)

    def close(self):
        # File, Exit: the program's own orderly way out.
        self.focus()
        self.key("alt+f")
        time.sleep(0.3)
        self.key("x")
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            fail("the program did not end after File, Exit")
        output = self.proc.stdout.read().decode(errors="replace")
        return self.proc.returncode, output

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def wait_for_capture(program, seconds=10):
    end = time.time() + seconds
    while time.time() < end:
        frames = frames_written(program.capture)
        if frames and frames > RATE // 2:
            return
        time.sleep(0.05)
    fail("the virtual device wrote no capture at " + program.capture)


def select_first_row(program):
    # Ctrl+Home moves the focus to the top without selecting; Down and Up select the first row.
    program.key("ctrl+Home", "Down", "Up")
    time.sleep(0.15)


def press_go_and_escape(program, clock, play_seconds):
    """Go on the first cue, then Escape; returns the latency in seconds, the frames from Escape
    to silence and the first frame of the sound."""
    select_first_row(program)
    clock.calibrate(0.1)
    t_go = time.time()
    program.key("Return")
    time.sleep(play_seconds)
    t_esc = time.time()
    program.key("Escape")
    time.sleep(0.4)
    clock.calibrate(0.1)
    go_frame = clock.frame_at(t_go)
    esc_frame = clock.frame_at(t_esc)
    window = read_frames(program.capture, go_frame - 2205, esc_frame + RATE // 4 - go_frame)
    onset = next((i for i, v in enumerate(window) if v > 0), None)
    if onset is None:
        return None, None, None
    onset_frame = go_frame - 2205 + onset
    last = max(i for i, v in enumerate(window) if v > 0)
    last_frame = go_frame - 2205 + last
    return (onset_frame - go_frame) / RATE, last_frame - esc_frame, onset_frame


def sox_stats(path, start_frame, frames):
    result = subprocess.run(["sox", path, "-n", "trim", "%ds" % start_frame, "%ds" % frames,
                             "stats"], capture_output=True, text=True)
    stats = {}
    for line in result.stderr.splitlines():
        parts = line.split()
        if line.startswith("RMS lev dB") and len(parts) >= 4:
            stats["rms"] = float(parts[3])
        if line.startswith("Pk lev dB") and len(parts) >= 4:
            stats["peak"] = float(parts[3])
    return stats


def make_list(cli, work, name, cues):
    description = {"lastCueNumber": 10 * len(cues), "cues": cues}
    json_path = os.path.join(work, name + ".json")
    with open(json_path, "w") as f:
        json.dump(description, f)
    list_path = os.path.join(work, name)
    subprocess.run([cli, "build", json_path, list_path], check=True, stdout=subprocess.DEVNULL)
    return list_path


def cue(number, path, flags=0):
    return {"id": "Q%03d" % (10 * number), "description": "Cue %d" % number, "path": path,
            "flags": flags, "channel": 0, "volume": -12, "pan": 0, "fadeIn": 0,
            "fadeOut": 2000, "notes": "", "reserved": 0}


def rms_db(program, clock, seconds):
    """Level of the capture over the next `seconds`, in dB of full scale."""
    start = time.time()
    time.sleep(seconds)
    clock.calibrate(0.05)
    first = clock.frame_at(start)
    values = read_frames(program.capture, first, clock.frame_at(time.time()) - first)
    if not values:
        return -200.0
    power = sum(v * v for v in values) / len(values)
    return 10 * math.log10(max(power, 1e-12) / (32768.0 * 32768.0))


def check_live_keys(marvane, cli, work, display):
    """Volume keys on a steady tone: plain and Ctrl reach the current cue, Shift only the
    others (there are none), so the level moves by exactly the steps that reached it."""
    tone = os.path.join(work, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", tone, "synth", "10",
                    "sine", "440", "gain", "-20"], check=True)
    cues = [cue(1, tone, 2 | 0x20000000), cue(2, tone)]
    program = Program(marvane, make_list(cli, work, "Keys.mvl", cues), work, display,
                      os.path.join(work, "cap-keys"))
    wait_for_capture(program)
    time.sleep(2.3)
    program.focus()
    clock = Clock(program.capture)
    clock.calibrate()
    select_first_row(program)
    program.key("Return")
    time.sleep(0.5)
    for keys, change in (("shift+period", 0), ("ctrl+period", 3), ("comma", -3),
                         ("shift+comma", 0), ("ctrl+comma", -3)):
        before = rms_db(program, clock, 0.4)
        for _ in range(3):
            program.key(keys)
            time.sleep(0.05)
        time.sleep(0.4)
        after = rms_db(program, clock, 0.4)
        print("%s x3: %.1f dB -> %.1f dB" % (keys, before, after))
        if abs(after - before - change) > 0.5:
            fail("%s x3 changed the level by %.1f dB, not %d dB" % (keys, after - before, change))
    program.key("Escape")
    code, output = program.close()
    if code != 0:
        fail("the program ended with %d: %s" % (code, output))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("marvane")
    parser.add_argument("demo")
    parser.add_argument("--presses", type=int, default=1)
    parser.add_argument("--screenshots")
    parser.add_argument("--cpu", action="store_true")
    parser.add_argument("--open-big", type=int, default=0)
    parser.add_argument("--cli")
    parser.add_argument("--live-keys", action="store_true")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="marvane-e2e-")
    xvfb, display = start_xvfb()
    program = None
    try:
        demo = os.path.join(work, "demo")
        shutil.copytree(args.demo, demo)
        program = Program(os.path.abspath(args.marvane), os.path.join(demo, "Demo.mvl"), work,
                          display, os.path.join(work, "cap"))
        wait_for_capture(program)
        time.sleep(2.3)  # the splash takes the first key press while it shows
        program.focus()
        clock = Clock(program.capture)
        clock.calibrate()
        if args.screenshots:
            os.makedirs(args.screenshots, exist_ok=True)
            program.screenshot(os.path.join(args.screenshots, "idle.png"))

        latencies = []
        tails = []
        for press in range(args.presses):
            play = 0.6 if press == 0 else 0.3
            latency, tail, onset = press_go_and_escape(program, clock, play)
            if latency is None:
                fail("press %d: the capture stayed silent after Go" % (press + 1))
            if tail > REFILL_FRAMES + KEY_SLACK_FRAMES:
                fail("press %d: sound went on %.1f ms after Escape (one refill is %.1f ms)" %
                     (press + 1, 1000 * tail / RATE, 1000 * REFILL_FRAMES / RATE))
            latencies.append(latency)
            tails.append(tail)
            if press == 0:
                # The cue itself: the doorbell at full level, while it played.
                stats = sox_stats(program.capture, onset, int(0.4 * RATE))
                print("capture while playing: %s" % stats)
                if stats.get("rms", -200) < -40:
                    fail("the capture does not carry the cue (RMS %s dB)" % stats.get("rms"))
            time.sleep(0.2)
        print("Go to first sound: median %.1f ms, worst %.1f ms over %d presses" %
              (1000 * statistics.median(latencies), 1000 * max(latencies), len(latencies)))
        print("Escape to last sound: median %.1f ms, worst %.1f ms (one refill is %.1f ms)" %
              (1000 * statistics.median(tails) / RATE, 1000 * max(tails) / RATE,
               1000 * REFILL_FRAMES / RATE))

        if args.screenshots:
            select_first_row(program)
            program.key("Return")
            time.sleep(0.7)
            program.screenshot(os.path.join(args.screenshots, "playing.png"))
            program.key("Escape")
            time.sleep(0.3)

        if args.cpu:
            before = program.cpu_seconds()
            time.sleep(5)
            idle = (program.cpu_seconds() - before) / 5
            print("CPU idle: %.2f %% of one core" % (100 * idle))

        code, output = program.close()
        program = None
        if code != 0:
            fail("the program ended with %d: %s" % (code, output))
        print("closed cleanly")

        if args.live_keys and args.cli:
            check_live_keys(os.path.abspath(args.marvane), args.cli, work, display)
            print("live keys: plain and Ctrl reach the current cue, Shift only the others")

        if args.cpu and args.cli:
            cues = [cue(i + 1, os.path.join(demo, "music.wav"), 2 | 0x20000000)
                    for i in range(8)]
            eight = make_list(args.cli, work, "Eight.mvl", cues)
            program = Program(os.path.abspath(args.marvane), eight, work, display,
                              os.path.join(work, "cap8"))
            wait_for_capture(program)
            time.sleep(2.3)
            program.focus()
            select_first_row(program)
            program.key("shift+End")  # every row: from the first to the last
            program.key("Return")
            time.sleep(1.0)
            if args.screenshots:
                program.screenshot(os.path.join(args.screenshots, "eight.png"))
            before = program.cpu_seconds()
            time.sleep(5)
            playing = (program.cpu_seconds() - before) / 5
            print("CPU with 8 cues playing: %.2f %% of one core" % (100 * playing))
            program.key("Escape")
            program.close()
            program = None

        if args.open_big and args.cli:
            cues = [cue(i + 1, os.path.join(demo, "doorbell.wav")) for i in range(args.open_big)]
            big = make_list(args.cli, work, "Big.mvl", cues)
            program = Program(os.path.abspath(args.marvane), big, work, display,
                              os.path.join(work, "cap-big"))
            print("start with %d cues: window shown %.0f ms after launch" %
                  (args.open_big, 1000 * (program.shown - program.launched)))
            wait_for_capture(program)
            time.sleep(2.3)
            program.focus()
            times = []
            for _ in range(3):
                # New, then the list again from the recent files (File, 1): the time from the key
                # to the window showing the list's title with every row filled in.
                program.key("ctrl+n")
                xdo(program.env, "search", "--sync", "--name", "^Untitled - Marvane$")
                program.key("alt+f")
                time.sleep(0.4)
                start = time.time()
                program.key("1")
                while xdo(program.env, "getwindowname", program.window) != "Big.mvl - Marvane":
                    time.sleep(0.002)
                times.append(time.time() - start)
            print("open %d cues from the recent files: median %.0f ms, worst %.0f ms" %
                  (args.open_big, 1000 * statistics.median(times), 1000 * max(times)))
            program.close()
            program = None
        print("PASS")
    finally:
        if program:
            program.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
