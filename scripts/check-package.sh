#!/usr/bin/env bash
# Checks a built Debian package as an operator meets it: lintian (no errors), its contents, then
# installed on this machine with apt, which pulls in what it depends on; the installed
# marvane-cli prints its version and reads the installed demo show, and the installed marvane,
# under a private Xvfb with virtual outputs, shows its main window with the demo show and opens
# its help window on F1. A package that was not installed before is removed again at the end.
# Needs root or sudo.
#   scripts/check-package.sh build/marvane_VERSION_amd64.deb
set -euo pipefail

# Under Xvfb: the installed marvane on the installed demo until its window shows, then F1.
if [ "${1:-}" = "--run-installed" ]; then
    /usr/bin/marvane /usr/share/marvane/demo/Demo.mvl >"$HOME/marvane.log" 2>&1 &
    pid=$!
    status=0
    if win="$(timeout 60 xdotool search --sync --onlyvisible --name '^Demo\.mvl - Marvane$')"; then
        win="$(head -n1 <<<"$win")"
        echo "main window with the demo show: $win"
        # F1 once the splash picture has gone (a key while it shows only removes it).
        sleep 3
        xdotool windowfocus --sync "$win" key F1
        if timeout 30 xdotool search --sync --onlyvisible --name '^Marvane Help$' >/dev/null; then
            echo "F1 opened the help window"
        else
            echo "no help window after F1"
            status=1
        fi
    else
        echo "no main window with the demo show"
        status=1
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if [ "$status" != 0 ]; then cat "$HOME/marvane.log"; fi
    exit "$status"
fi

deb="$(realpath "$1")"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
fail() { echo "FAIL: $*" >&2; exit 1; }
version="$(dpkg-deb -f "$deb" Version)"

echo "-- $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB; depends: $(dpkg-deb -f "$deb" Depends)"

echo "-- lintian"
lintian --fail-on error "$deb" || fail "lintian reports errors"

echo "-- contents"
contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for f in usr/bin/marvane usr/bin/marvane-cli usr/share/applications/marvane.desktop \
    usr/share/mime/packages/marvane-cuelist.xml usr/share/icons/hicolor/scalable/apps/marvane.svg \
    usr/share/icons/hicolor/scalable/mimetypes/application-x-marvane-cuelist.svg \
    usr/share/marvane/help/index.html usr/share/marvane/help/images/main-window.png \
    usr/share/marvane/demo/Demo.mvl usr/share/marvane/demo/doorbell.wav \
    usr/share/man/man1/marvane.1.gz usr/share/man/man1/marvane-cli.1.gz \
    usr/share/doc/marvane/copyright usr/share/doc/marvane/changelog.gz; do
    grep -qx "\./$f" <<<"$contents" || fail "the package lacks /$f"
done

echo "-- apt install"
installed_before=0
if dpkg-query -W -f='${Status}' marvane 2>/dev/null | grep -q "install ok installed"; then
    installed_before=1
fi
home="$(mktemp -d)"
cleanup() {
    rm -rf "$home"
    if [ "$installed_before" = 0 ]; then $sudo dpkg -r marvane >/dev/null 2>&1 || true; fi
}
trap cleanup EXIT
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
    >/dev/null || fail "apt could not install the package"

echo "-- installed marvane-cli"
[ "$(/usr/bin/marvane-cli --version)" = "marvane-cli $version" ] || fail "marvane-cli --version"
/usr/bin/marvane-cli dump /usr/share/marvane/demo/Demo.mvl |
    python3 -c 'import json, sys; cues = json.load(sys.stdin)["cues"]; assert len(cues) == 5, cues' ||
    fail "marvane-cli dump of the installed demo"
help="$(/usr/bin/marvane-cli --help)" && grep -q -- "--strict" <<<"$help" || fail "marvane-cli --help"

echo "-- installed marvane under Xvfb"
env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home" \
    MARVANE_AUDIO=virtual:2 QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1024x768x24" "$0" --run-installed || fail "the installed marvane"
echo "-- package checked"
