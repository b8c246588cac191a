#!/usr/bin/env bash
# Prints the figures of remote show control, measured on the running program under Xvfb with a
# virtual device capturing its mix:
#   - OSC /cue/Q010/start to the first sample of the mix, median and worst of 200;
#   - the flood of 10,000 packets a second for 10 s: the program's CPU and memory, and the
#     slowest /status answered during it;
#   - MIDI Note On (JACK dummy server, test desk) to the first sample, median and worst of 200;
#   - how far apart a main and a backup copy start the same cue, over 30 Go.
#   bench/remote_figures.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
e2e=tests/e2e/remote_e2e.py
python3 "$e2e" "$build/src/shell/marvane" "$build/src/cli/marvane-cli" --flood-seconds 10 \
    --latency 200
python3 "$e2e" "$build/src/shell/marvane" "$build/src/cli/marvane-cli" \
    --midi "$build/tests/e2e/marvane_test_midi_send" --latency 200
python3 "$e2e" "$build/src/shell/marvane" "$build/src/cli/marvane-cli" --backup --latency 30
