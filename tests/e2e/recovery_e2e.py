#!/usr/bin/env python3
"""End-to-end test of autosave and recovery with real processes under Xvfb.

Runs two copies of marvane at once, each on a show of its own and under the same home folder,
deletes a cue in each and waits until each has written its own recovery copy. Kills the first
with SIGKILL, starts the program again on the same show: it offers only the killed copy's work
(the other copy still runs), Enter recovers it, the title shows the show as modified, Ctrl+S saves
it, and the saved show equals the recovery copy written before the kill, one cue shorter than it
was.

    recovery_e2e.py MARVANE MARVANE_CLI
"""
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from clipboard_e2e import build_list, dump  # noqa: E402
from go_e2e import CURRENT, Program, fail, start_xvfb, xdo  # noqa: E402


def recovery_lists(home):
    return sorted(glob.glob(os.path.join(home, ".local", "share", "*", "*", "recovery", "*.mvl")))


def wait_for(predicate, seconds, what):
    end = time.time() + seconds
    while time.time() < end:
        if predicate():
            return
        time.sleep(0.05)
    fail("timed out waiting for " + what)


def main():
    marvane, cli = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="marvane-recovery-e2e-")
    xvfb, display = start_xvfb()
    programs = []
    try:
        cues = [{"id": "Q%03d" % (10 * (i + 1)), "description": "Cue %d" % i} for i in range(5)]
        show_a = build_list(cli, work, "a.mvl", cues)
        show_b = build_list(cli, work, "b.mvl", cues)
        home = os.path.join(work, "home")

        first = Program(marvane, show_a, work, display, os.path.join(work, "cap-a"))
        second = Program(marvane, show_b, work, display, os.path.join(work, "cap-b"))
        programs += [first, second]
        for program in (first, second):
            program.focus()
            program.key("ctrl+Home", "Down", "Up")
            program.key("Delete")
        # 2 s after the last edit each writes its own copy.
        wait_for(lambda: len(recovery_lists(home)) == 2, 15,
                 "two recovery copies (%s)" % subprocess.run(["find", home], capture_output=True,
                                                             text=True).stdout)
        time.sleep(0.5)  # the sidecars follow their lists
        copies = recovery_lists(home)
        killed_copy = [c for c in copies if ("-%d-" % first.proc.pid) in os.path.basename(c)]
        if len(killed_copy) != 1:
            fail("no recovery copy named after process %d: %s" % (first.proc.pid, copies))
        with open(killed_copy[0], "rb") as f:
            edited = f.read()

        os.kill(first.proc.pid, signal.SIGKILL)
        first.proc.wait()

        env = dict(first.env)
        third = subprocess.Popen([marvane, show_a], env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT)
        CURRENT[:] = []
        try:
            # The question comes before the main window; Recover is its default button.
            found = xdo(env, "search", "--sync", "--onlyvisible", "--name", "^MARVANE$")
            box = found.split()[0]
            xdo(env, "windowfocus", "--sync", box)
            xdo(env, "key", "--clearmodifiers", "Return")
            found = xdo(env, "search", "--sync", "--onlyvisible", "--name", r"^a\.mvl\* - Marvane$")
            window = found.split()[0]
            xdo(env, "windowfocus", "--sync", window)
            xdo(env, "key", "--clearmodifiers", "ctrl+s")
            wait_for(lambda: xdo(env, "getwindowname", window) == "a.mvl - Marvane", 10,
                     "the saved title")
            with open(show_a, "rb") as f:
                saved = f.read()
            if saved != edited:
                fail("the saved show differs from the recovery copy written before the kill")
            if len(dump(cli, show_a)) != len(cues) - 1:
                fail("the recovered show does not lack the deleted cue")
            # The running copy's work stays where it is; the recovered one is gone with the save.
            left = recovery_lists(home)
            if len(left) != 1 or ("-%d-" % second.proc.pid) not in os.path.basename(left[0]):
                fail("recovery copies after the save: %s" % left)
        finally:
            third.kill()
            third.wait()
        print("recovery after SIGKILL: OK")
    finally:
        for program in programs:
            program.kill()
        xvfb.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
