#!/usr/bin/env python3
"""End-to-end test of OSC show control: the real program under Xvfb on a virtual device that
captures its mix, driven by UDP packets from this script.

    remote_e2e.py MARVANE MARVANE_CLI [--flood-seconds S] [--latency N] [--backup]
                  [--midi MIDI_SEND]

Checks the passcode, each kind of address, the replies (unknown address, unknown cue, a command
not enabled now), /status and /updates, that a started cue sounds in the capture and /stop
silences it, and that a flood of garbage and commands from another sender (10,000 packets a
second) neither stalls the program nor grows its memory. --latency N prints the time from
/cue/Q010/start to the first sample of the mix over N starts; --backup runs two copies, the
second following the first, and prints how far apart their captures start.
"""
import argparse
import json
import os
import random
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from go_e2e import (RATE, Clock, Program, fail, frames_written, make_list, read_frames,  # noqa
                    select_first_row, start_xvfb, wait_for_capture)

PASSCODE = "letmein"


def osc_string(text):
    data = text.encode() + b"\0"
    return data + b"\0" * (-len(data) % 4)


def osc_message(address, *args):
    types = ","
    payload = b""
    for arg in args:
        if isinstance(arg, int):
            types += "i"
            payload += struct.pack(">i", arg)
        elif isinstance(arg, float):
            types += "f"
            payload += struct.pack(">f", arg)
        else:
            types += "s"
            payload += osc_string(arg)
    return osc_string(address) + osc_string(types) + payload


def read_string(data, pos):
    end = data.index(b"\0", pos)
    return data[pos:end].decode(), (end + 4) & ~3


def parse_osc(data):
    address, pos = read_string(data, 0)
    types, pos = read_string(data, pos)
    args = []
    for t in types[1:]:
        if t == "s":
            text, pos = read_string(data, pos)
            args.append(text)
        elif t == "i":
            args.append(struct.unpack_from(">i", data, pos)[0])
            pos += 4
    return address, args


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Client:
    def __init__(self, port, host="127.0.0.1"):
        self.port = port
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((host, 0))
        self.sock.settimeout(2.0)

    def send(self, address, *args):
        self.sock.sendto(osc_message(address, *args), ("127.0.0.1", self.port))

    def receive(self, wanted, timeout=2.0):
        end = time.time() + timeout
        while time.time() < end:
            self.sock.settimeout(max(0.01, end - time.time()))
            try:
                data, _ = self.sock.recvfrom(65536)
            except socket.timeout:
                break
            address, args = parse_osc(data)
            if address == wanted:
                return json.loads(args[0]) if args else None
        return None

    def request(self, address, *args, timeout=2.0):
        self.send(address, *args)
        reply = self.receive("/reply" + address, timeout)
        if reply is None:
            fail("no reply to %s" % address)
        return reply


def expect(client, address, *args, error=None):
    reply = client.request(address, *args)
    if error is None and reply.get("status") != "ok":
        fail("%s: %s" % (address, reply))
    if error is not None and (reply.get("status") != "error" or error not in reply.get("message")):
        fail("%s: expected the error '%s', got %s" % (address, error, reply))
    return reply


def write_settings(home, section_values):
    folder = os.path.join(home, ".config", "Veldmark Software")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "MARVANE.conf"), "w") as f:
        for section, values in section_values.items():
            f.write("[%s]\n" % section)
            for key, value in values.items():
                f.write("%s=%s\n" % (key, value))


def start_program(marvane, list_path, work, name, display, settings):
    home = os.path.join(work, name, "home")
    os.makedirs(home, exist_ok=True)
    write_settings(home, settings)
    return Program(marvane, list_path, os.path.join(work, name), display,
                   os.path.join(work, name, "cap"))


def onset_after(program, clock, t_sent, seconds=0.6):
    """Seconds from `t_sent` to the first sound in the capture, or None."""
    time.sleep(seconds)
    clock.calibrate(0.05)
    first = clock.frame_at(t_sent) - 2205
    values = read_frames(program.capture, first, int(seconds * RATE) + 2205)
    onset = next((i for i, v in enumerate(values) if v > 0), None)
    return None if onset is None else (first + onset - clock.frame_at(t_sent)) / RATE


def quiet(client):
    """Stops everything and waits until nothing sounds: closing while cues play asks first."""
    client.request("/stop")
    end = time.time() + 5
    while expect(client, "/status")["playing"]:
        if time.time() > end:
            fail("cues still play 5 s after /stop")
        time.sleep(0.1)


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def check_addresses(program, client):
    expect(client, "/go", error="passcode required")
    expect(client, "/connect", "wrong", error="wrong passcode")
    expect(client, "/connect", PASSCODE)
    expect(client, "/live/kill", error="command not enabled now")
    expect(client, "/cue/Q999/start", error="unknown cue")
    expect(client, "/no/such/thing", error="unknown address")
    expect(client, "/live/kill", 7, error="target must be 0, 1 or 2")

    clock = Clock(program.capture)
    clock.calibrate()
    t_sent = time.time()
    expect(client, "/cue/q020/start")  # IDs ignore letter case
    onset = onset_after(program, clock, t_sent)
    if onset is None:
        fail("/cue/q020/start: the capture stays silent")
    status = expect(client, "/status")
    if [c["id"] for c in status["playing"]] != ["Q020"] or status["file"] != "Remote.mvl":
        fail("/status while Q020 plays: %s" % status)
    if not status["playing"][0]["remainingMs"] > 0:
        fail("/status gives no remaining time: %s" % status)

    expect(client, "/updates", 1)
    if client.receive("/update/status", 1.0) is None:
        fail("/updates 1 brought no update")
    expect(client, "/updates", 0)

    expect(client, "/live/volumeDown", 2)
    expect(client, "/live/normalSpeed")
    expect(client, "/stop")
    time.sleep(0.5)
    clock.calibrate(0.05)
    tail = read_frames(program.capture, clock.frame_at(time.time() - 0.2), int(0.15 * RATE))
    if any(v > 0 for v in tail):
        fail("/stop left the capture sounding")
    if expect(client, "/status")["playing"]:
        fail("/stop left cues playing")

    expect(client, "/select/Q010")
    if expect(client, "/status")["highlighted"] != "Q010":
        fail("/select/Q010 did not highlight Q010")
    expect(client, "/go")
    status = expect(client, "/status")
    if [c["id"] for c in status["playing"]] != ["Q010"]:
        fail("/go on Q010: %s" % status)
    expect(client, "/cue/Q010/fadeOut")
    expect(client, "/playhead/Q030")
    expect(client, "/cue/Q030/start")
    expect(client, "/panic")  # Fade All while Q030 sounds
    expect(client, "/cue/Q030/stop")
    check_tcp(client.port)
    print("OSC addresses, replies and passcode: ok", flush=True)


def check_tcp(port):
    """OSC over TCP: frames of a 4-byte length and a message; replies on the same connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=3) as stream:
        def ask(address, *args):
            packet = osc_message(address, *args)
            stream.sendall(struct.pack(">I", len(packet)) + packet)
            data = b""
            while True:
                while len(data) < 4 or len(data) < 4 + struct.unpack(">I", data[:4])[0]:
                    chunk = stream.recv(65536)
                    if not chunk:
                        fail("the TCP connection closed before the reply to %s" % address)
                    data += chunk
                length = struct.unpack(">I", data[:4])[0]
                reply_address, reply_args = parse_osc(data[4:4 + length])
                data = data[4 + length:]
                if reply_address == "/reply" + address:
                    return json.loads(reply_args[0])
        if ask("/connect", PASSCODE)["status"] != "ok" or ask("/status")["status"] != "ok":
            fail("OSC over TCP did not answer")
        # A frame longer than any packet closes the connection, nothing else.
        stream.sendall(struct.pack(">I", 1 << 30) + b"x" * 16)
        stream.settimeout(3)
        try:
            if stream.recv(16) != b"":
                fail("an oversized TCP frame did not close the connection")
        except ConnectionResetError:
            pass


def flood(program, client, seconds):
    """10,000 packets a second from another sender: garbage, oversized packets and commands."""
    flooder = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    flooder.bind(("127.0.0.2", 0))
    rng = random.Random(7)
    packets = [osc_message("/go"), osc_message("/cue/Q010/start"), osc_message("/status"),
               b"\xff" * 64, b"#bundle\0" + b"\0" * 8 + struct.pack(">i", 1 << 30),
               osc_message("/connect", "guess"), bytes(rng.randrange(256) for _ in range(200)),
               b"/x\0\0" + b",s\0\0" + b"a" * 60000]
    rss_before = rss_kib(program.proc.pid)
    cpu_before = program.cpu_seconds()
    start = time.time()
    sent = 0
    worst_status = 0.0
    next_probe = start
    while time.time() - start < seconds:
        for _ in range(100):
            flooder.sendto(packets[sent % len(packets)], ("127.0.0.1", client.port))
            sent += 1
        if time.time() >= next_probe:
            # UDP under a flood loses packets in the kernel: ask again until answered.
            t = time.time()
            while client.send("/status") or client.receive("/reply/status", 0.25) is None:
                if time.time() - t > 5.0:
                    fail("no /status answered for 5 s under the flood")
            worst_status = max(worst_status, time.time() - t)
            next_probe = t + 0.2
        pause = start + sent / 10000.0 - time.time()
        if pause > 0:
            time.sleep(pause)
    elapsed = time.time() - start
    cpu = (program.cpu_seconds() - cpu_before) / elapsed
    time.sleep(0.5)
    rss_after = rss_kib(program.proc.pid)
    print("flood: %d packets in %.1f s (%.0f/s); program CPU %.0f%%; RSS %d -> %d KiB; slowest "
          "/status during it %.0f ms" % (sent, elapsed, sent / elapsed, 100 * cpu, rss_before,
                                        rss_after, 1000 * worst_status), flush=True)
    if worst_status > 1.0:
        fail("the program stalled for %.1f s under the flood" % worst_status)
    if rss_after - rss_before > 20 * 1024:
        fail("memory grew by %d KiB under the flood" % (rss_after - rss_before))
    status = expect(client, "/status")
    if status["playing"]:
        fail("the flood started cues: %s" % status)
    if program.proc.poll() is not None:
        fail("the program ended under the flood")


def latency(program, client, count):
    clock = Clock(program.capture)
    clock.calibrate()
    figures = []
    for k in range(count):
        client.request("/stop")  # an error when nothing plays
        time.sleep(0.15)
        if k % 20 == 0:
            clock.calibrate(0.1)
        t_sent = time.time()
        client.send("/cue/Q010/start")
        onset = onset_after(program, clock, t_sent, 0.25)
        if onset is not None:
            figures.append(onset)
    client.request("/stop")
    if not figures:
        fail("no start was heard")
    figures.sort()
    print("OSC /cue/Q010/start to first sample over %d: median %.1f ms, worst %.1f ms" %
          (len(figures), 1000 * statistics.median(figures), 1000 * figures[-1]), flush=True)


def backup(marvane, list_path, work, display, count=5):
    """Two copies: Go on the main one starts the same cue on the backup."""
    main_port, backup_port = free_port(), free_port()
    # Lists of their own names: the windows are found by their titles.
    main_list = os.path.join(work, "Main.mvl")
    backup_list = os.path.join(work, "Backup.mvl")
    shutil.copy(list_path, main_list)
    shutil.copy(list_path, backup_list)
    follower = start_program(marvane, backup_list, work, "backup", display,
                             {"OSC": {"Enabled": "true", "Port": backup_port}})
    leader = start_program(marvane, main_list, work, "main", display,
                           {"OSC": {"Enabled": "true", "Port": main_port},
                            "Backup": {"Peers": "127.0.0.1:%d" % backup_port}})
    try:
        wait_for_capture(leader)
        wait_for_capture(follower)
        time.sleep(1.0)
        lead, follow = Client(main_port), Client(backup_port)
        differences = []
        for _ in range(count):
            leader.focus()
            select_first_row(leader)
            lead_clock, follow_clock = Clock(leader.capture), Clock(follower.capture)
            lead_clock.calibrate(0.3)
            follow_clock.calibrate(0.3)
            t_go = time.time()
            # Go as the operator gives it: a key on the main machine's window.
            leader.key("Return")
            a = onset_after(leader, lead_clock, t_go, 0.8)
            b = onset_after(follower, follow_clock, t_go, 0.8)
            if a is None or b is None:
                fail("Go on the main machine: main %s, backup %s" % (a, b))
            differences.append(b - a)
            if [c["id"] for c in expect(follow, "/status")["playing"]] != ["Q010"]:
                fail("the backup does not play Q010")
            leader.key("Escape")
            time.sleep(0.5)
            if expect(follow, "/status")["playing"]:
                fail("Escape on the main machine left the backup playing")
        worst = max(abs(d) for d in differences)
        print("backup start difference over %d Go: median %.1f ms, worst %.1f ms" %
              (len(differences), 1000 * statistics.median(differences), 1000 * worst), flush=True)
        if worst > 0.020 + 0.030:  # 20 ms, with room for the capture clocks' estimate
            fail("the backup started %.0f ms apart" % (1000 * worst))
    finally:
        leader.kill()
        follower.kill()


class Desk:
    """The test's MIDI desk: a JACK virtual output port fed line by line."""

    def __init__(self, midi_send, env):
        self.proc = subprocess.Popen([midi_send], env=env, stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, text=True)
        if self.proc.stdout.readline().strip() != "ready":
            fail("the MIDI desk did not start")

    def send(self, *data):
        self.proc.stdin.write(" ".join("%02x" % b for b in data) + "\n")
        self.proc.stdin.flush()
        self.proc.stdout.readline()

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=5)


def start_jack(work):
    name = "marvane-e2e-%d" % os.getpid()
    env = dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_START_SERVER="1")
    jackd = subprocess.Popen(["jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", "44100",
                              "-p", "512"], env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    if subprocess.run(["jack_wait", "-s", name, "-w", "-t", "10"], env=env,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        jackd.kill()
        fail("jackd did not start")
    return jackd, env


def msc(command, number=""):
    return [0xF0, 0x7F, 0x7F, 0x02, 0x10, command] + [ord(c) for c in number] + [0xF7]


def midi_control(marvane, list_path, work, display, midi_send, count):
    jackd, env = start_jack(work)
    desk = None
    program = None
    try:
        desk = Desk(midi_send, env)
        saved = dict(os.environ)
        os.environ.update(JACK_DEFAULT_SERVER=env["JACK_DEFAULT_SERVER"], JACK_NO_START_SERVER="1",
                          MARVANE_MIDI_API="jack")
        port = free_port()
        program = start_program(marvane, list_path, work, "midi", display,
                                {"OSC": {"Enabled": "true", "Port": port},
                                 "MIDI": {"Enabled": "true", "Port": "TestDesk"}})
        os.environ.clear()
        os.environ.update(saved)
        wait_for_capture(program)
        client = Client(port)
        end = time.time() + 10
        while "Marvane" not in subprocess.run(["jack_lsp", "-s", env["JACK_DEFAULT_SERVER"], "-c",
                                              "TestDesk:out"], env=env, capture_output=True,
                                             text=True).stdout:
            if time.time() > end:
                fail("the program did not connect to the MIDI desk")
            time.sleep(0.1)

        clock = Clock(program.capture)
        clock.calibrate()
        expect(client, "/select/Q010")
        t_sent = time.time()
        desk.send(0x90, 60, 100)
        if onset_after(program, clock, t_sent) is None:
            fail("Note On 60 did not start the highlighted cue")
        desk.send(0x90, 61, 100)
        time.sleep(0.3)
        if expect(client, "/status")["playing"]:
            fail("Note On 61 did not stop all")
        desk.send(*msc(0x01, "20.0"))
        time.sleep(0.3)
        if [c["id"] for c in expect(client, "/status")["playing"]] != ["Q020"]:
            fail("MSC GO 20.0 did not start Q020")
        desk.send(0xF0, 0x7F, 0x7F, 0x02, 0x10, 0x01, 0x99, 0x31, 0xF7)  # garbage
        desk.send(0xF0, 0x7F, 0x7F, 0x02)  # cut short: the input takes what follows into it
        desk.send(0x01, 0x31, 0xF7)  # up to the end of the SysEx
        desk.send(0xC0, 9)  # no mapping
        desk.send(*msc(0x02))
        time.sleep(0.3)
        if expect(client, "/status")["playing"]:
            fail("MSC STOP did not stop all")
        print("MIDI Note On, MSC GO and STOP, garbage SysEx: ok", flush=True)

        figures = []
        for k in range(count):
            client.request("/stop")
            expect(client, "/select/Q010")
            time.sleep(0.15)
            if k % 20 == 0:
                clock.calibrate(0.1)
            t_sent = time.time()
            desk.send(0x90, 60, 100)
            onset = onset_after(program, clock, t_sent, 0.25)
            if onset is not None:
                figures.append(onset)
        if count:
            figures.sort()
            print("MIDI Note On to first sample over %d: median %.1f ms, worst %.1f ms" %
                  (len(figures), 1000 * statistics.median(figures), 1000 * figures[-1]), flush=True)
        quiet(client)
        code, output = program.close()
        if code != 0:
            fail("the program ended with %d: %s" % (code, output))
    finally:
        if program:
            program.kill()
        if desk:
            # Closed, not killed: a killed JACK client leaves its semaphore behind.
            try:
                desk.close()
            except (OSError, subprocess.TimeoutExpired):
                desk.proc.kill()
        jackd.terminate()
        jackd.wait(timeout=10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("marvane")
    parser.add_argument("cli")
    parser.add_argument("--flood-seconds", type=float, default=2.0)
    parser.add_argument("--latency", type=int, default=0)
    parser.add_argument("--backup", action="store_true")
    parser.add_argument("--midi")
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="marvane-remote-e2e-")
    xvfb, display = start_xvfb()
    program = None
    try:
        tone = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-b", "16", "-c", "2", tone, "synth", "20",
                        "sine", "440", "gain", "-20"], check=True)
        cues = [{"id": "Q%03d" % (10 * n), "description": "Cue %d" % n, "path": tone,
                 "flags": 0, "channel": 0, "volume": -12, "pan": 0, "fadeIn": 0,
                 "fadeOut": 500, "notes": "", "reserved": 0} for n in (1, 2, 3)]
        list_path = make_list(args.cli, work, "Remote.mvl", cues)
        if args.backup:
            backup(args.marvane, list_path, work, display, args.latency or 5)
            return
        if args.midi:
            midi_control(args.marvane, list_path, work, display, args.midi, args.latency)
            print("PASS", flush=True)
            return
        port = free_port()
        program = start_program(args.marvane, list_path, work, "one", display,
                                {"OSC": {"Enabled": "true", "Port": port,
                                         "Passcode": PASSCODE}})
        wait_for_capture(program)
        client = Client(port)
        check_addresses(program, client)
        if args.flood_seconds > 0:
            flood(program, client, args.flood_seconds)
        if args.latency:
            latency(program, client, args.latency)
        quiet(client)
        code, output = program.close()
        if code != 0:
            fail("the program ended with %d: %s" % (code, output))
        print("PASS", flush=True)
    finally:
        if program:
            program.kill()
        xvfb.kill()


if __name__ == "__main__":
    main()
