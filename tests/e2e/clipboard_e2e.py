#!/usr/bin/env python3
"""End-to-end test of cues travelling between two running copies of the program under Xvfb.

Starts its own Xvfb on a free display, builds two cue lists with marvane-cli, runs one copy of
marvane on each, selects the first and third cue in the first copy and copies them (Ctrl+C),
pastes them into the second copy (Ctrl+V), saves there (Ctrl+S), closes both through File, Exit
and checks the saved list with marvane-cli dump: the pasted cues carry every field of the
originals, in order, next to the cue that was there.

    clipboard_e2e.py MARVANE MARVANE_CLI
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from go_e2e import Program, fail, start_xvfb  # noqa: E402

FIELDS = ("id", "description", "path", "flags", "channel", "volume", "pan", "fadeIn",
          "fadeOut", "notes", "reserved")


def build_list(cli, work, name, cues):
    json_path = os.path.join(work, name + ".json")
    with open(json_path, "w") as f:
        json.dump({"lastCueNumber": 10 * len(cues), "cues": cues}, f)
    path = os.path.join(work, name)
    subprocess.run([cli, "build", json_path, path], check=True, stdout=subprocess.DEVNULL)
    return path


def dump(cli, path):
    result = subprocess.run([cli, "dump", path], check=True, capture_output=True, text=True)
    return json.loads(result.stdout)["cues"]


def main():
    if len(sys.argv) != 3:
        fail("usage: clipboard_e2e.py MARVANE MARVANE_CLI")
    marvane, cli = (os.path.abspath(a) for a in sys.argv[1:3])
    work = tempfile.mkdtemp(prefix="marvane-clip-e2e-")
    xvfb, display = start_xvfb()
    programs = []
    try:
        # Sound files that exist, so that opening a list keeps the paths as they are.
        sounds = os.path.join(work, "sounds")
        os.makedirs(sounds)
        sound = os.path.join(sounds, "%s.wav")
        for name in ("thunder", "rain", "wind", "bell"):
            open(sound % name, "wb").close()
        source_cues = [
            {"id": "Q010", "description": "Thunder", "path": sound % "thunder", "flags": 1,
             "channel": 1, "volume": -6, "pan": -20, "fadeIn": 1500, "fadeOut": 2000,
             "notes": "storm", "reserved": 0},
            {"id": "Q020", "description": "Rain", "path": sound % "rain", "flags": 0,
             "channel": 0, "volume": 0, "pan": 0, "fadeIn": 0, "fadeOut": 5000, "notes": "",
             "reserved": 0},
            {"id": "Q030", "description": "Wind", "path": sound % "wind",
             "flags": 0x30000003, "channel": 0, "volume": -100, "pan": 100, "fadeIn": 0,
             "fadeOut": 60000, "notes": "last", "reserved": 7},
        ]
        target_cue = {"id": "T010", "description": "Bell", "path": sound % "bell", "flags": 0,
                      "channel": 0, "volume": 0, "pan": 0, "fadeIn": 0, "fadeOut": 5000,
                      "notes": "", "reserved": 0}
        first = build_list(cli, work, "First.mvl", source_cues)
        second = build_list(cli, work, "Second.mvl", [target_cue])
        before = os.stat(second).st_mtime_ns

        a = Program(marvane, first, work, display, os.path.join(work, "cap-a"))
        programs.append(a)
        b = Program(marvane, second, work, display, os.path.join(work, "cap-b"))
        programs.append(b)
        time.sleep(2.5)  # the splash windows take the first key press while they show

        # First copy: rows 0 and 2 selected (Ctrl moves the focus, Ctrl+Space adds its row).
        a.focus()
        a.key("ctrl+Home", "Down", "Up")
        a.key("ctrl+Down", "ctrl+Down", "ctrl+space")
        time.sleep(0.2)
        a.key("ctrl+c")
        time.sleep(1.0)  # the first copy must own the clipboard before the second asks it

        # Second copy: paste, then save over its file.
        b.focus()
        b.key("ctrl+v")
        time.sleep(1.0)
        b.key("ctrl+s")
        end = time.time() + 10
        while time.time() < end and os.stat(second).st_mtime_ns == before:
            time.sleep(0.1)
        if os.stat(second).st_mtime_ns == before:
            fail("the second copy did not save its list")

        for program in (b, a):
            code, output = program.close()
            programs.remove(program)
            if code != 0:
                fail("a copy of the program ended with %d: %s" % (code, output))

        saved = dump(cli, second)
        ids = [c["id"] for c in saved]
        print("saved list: %s" % ids)
        if len(saved) != 3:
            fail("expected the target cue and two pasted cues, got %s" % ids)
        at = ids.index("Q010") if "Q010" in ids else -1
        if at < 0 or at + 1 >= len(saved) or "T010" not in ids:
            fail("pasted cues missing or out of order: %s" % ids)
        for got, want in zip(saved[at:at + 2], (source_cues[0], source_cues[2])):
            for field in FIELDS:
                if got[field] != want[field]:
                    fail("pasted cue %s: %s is %r, not %r" % (want["id"], field, got[field],
                                                           want[field]))
        print("PASS")
    finally:
        for program in programs:
            program.kill()
        xvfb.terminate()
        xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
