#!/usr/bin/env bash
# Takes the screenshots of the user guide (res/help/images/*.png) again from the real program on
# the demo show, under a private Xvfb with two virtual four-output devices and settings of its
# own. Run it whenever the look of the program changes, then look at the pictures and commit them.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target marvane-help-screenshots
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
# The Cue Settings pictures show where the sound files are: the installed demo's folder when the
# package is installed, else a copy.
demo=/usr/share/marvane/demo/Demo.mvl
if [ ! -f "$demo" ]; then
    cp -r examples/demo "$home/demo"
    demo="$home/demo/Demo.mvl"
fi
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" \
    XDG_RUNTIME_DIR="$home" MARVANE_AUDIO=virtual:2x4 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    ./build/tools/marvane-help-screenshots "$demo" res/help
