#!/usr/bin/env bash
# Installs what is missing, builds Marvane and starts it on the bundled demo show.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
# Without a running sound server (a bare machine, a container) the demo still runs, on two
# virtual devices that write what they play to /tmp/marvane-demo-K.wav.
if [ -z "${MARVANE_AUDIO:-}" ] && ! pactl info >/dev/null 2>&1; then
    echo "No PulseAudio/PipeWire server answers: using virtual devices (/tmp/marvane-demo-K.wav)."
    export MARVANE_AUDIO=virtual:2:/tmp/marvane-demo
fi
exec ./build/src/shell/marvane examples/demo/Demo.mvl "$@"
