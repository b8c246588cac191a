#!/bin/sh
# Starts or stops a private sound server for the sound backend tests.
#   sound_server.sh start|stop jack|pulse|pulse8 STATE_DIR [PORTS [PERIOD [RATE]]]
# jack:  a JACK dummy server named $JACK_DEFAULT_SERVER with PORTS playback ports (default 2),
#        a period of PERIOD frames (default 512) at RATE Hz (default 44100). A server this
#        STATE_DIR started before is stopped first.
# pulse: a PulseAudio server with two null sinks, "ChannelA" and "ChannelB", whose socket is
#        under $XDG_RUNTIME_DIR (STATE_DIR/pulse-runtime).
# pulse8: the same server with one 8-output null sink "Stage" at 48 kHz instead (channel map
#        front-left,front-right,rear-left,rear-right,front-center,lfe,side-left,side-right).
# A missing server binary is not an error here: the tests skip themselves in that case.
set -u
action=$1
kind=$2
state=$3
ports=${4:-2}
period=${5:-512}
rate=${6:-44100}
mkdir -p "$state"

stop_pid() {
    pidfile=$1
    [ -f "$pidfile" ] || return 0
    pid=$(cat "$pidfile")
    rm -f "$pidfile"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.5
    done
    kill -9 "$pid" 2>/dev/null
    return 0
}

case "$kind:$action" in
jack:start)
    command -v jackd >/dev/null 2>&1 || { echo "jackd not installed"; exit 0; }
    stop_pid "$state/jackd.pid"
    JACK_NO_START_SERVER=1 setsid jackd --no-realtime -n "$JACK_DEFAULT_SERVER" \
        -d dummy -r "$rate" -p "$period" -P "$ports" >"$state/jackd.log" 2>&1 </dev/null &
    echo $! >"$state/jackd.pid"
    if ! JACK_NO_START_SERVER=1 jack_wait -s "$JACK_DEFAULT_SERVER" -w -t 10 >/dev/null 2>&1; then
        echo "jackd did not start:"; cat "$state/jackd.log"
        stop_pid "$state/jackd.pid"
        exit 1
    fi
    ;;
jack:stop)
    stop_pid "$state/jackd.pid"
    ;;
pulse:start | pulse8:start)
    command -v pulseaudio >/dev/null 2>&1 || { echo "pulseaudio not installed"; exit 0; }
    export XDG_RUNTIME_DIR="$state/pulse-runtime" HOME="$state/pulse-home"
    mkdir -p "$XDG_RUNTIME_DIR" "$HOME"
    chmod 700 "$XDG_RUNTIME_DIR"
    pulseaudio --kill >/dev/null 2>&1
    if [ "$kind" = pulse8 ]; then
        set -- -L "module-null-sink sink_name=stage channels=8 rate=48000 channel_map=front-left,front-right,rear-left,rear-right,front-center,lfe,side-left,side-right sink_properties=device.description=Stage"
    else
        set -- -L "module-null-sink sink_name=chanA rate=44100 sink_properties=device.description=ChannelA" \
            -L "module-null-sink sink_name=chanB rate=44100 sink_properties=device.description=ChannelB"
    fi
    pulseaudio -n --daemonize=yes --exit-idle-time=-1 --use-pid-file=yes \
        --log-target=file:"$state/pulse.log" \
        -L module-native-protocol-unix "$@" \
        || { echo "pulseaudio did not start:"; cat "$state/pulse.log"; exit 1; }
    for _ in $(seq 1 50); do
        pactl info >/dev/null 2>&1 && exit 0
        sleep 0.2
    done
    echo "pulseaudio does not answer:"; cat "$state/pulse.log"
    pulseaudio --kill >/dev/null 2>&1
    exit 1
    ;;
pulse:stop | pulse8:stop)
    command -v pulseaudio >/dev/null 2>&1 || exit 0
    export XDG_RUNTIME_DIR="$state/pulse-runtime" HOME="$state/pulse-home"
    pulseaudio --kill >/dev/null 2>&1
    ;;
*)
    echo "usage: $0 start|stop jack|pulse|pulse8 STATE_DIR [PORTS [PERIOD [RATE]]]" >&2
    exit 2
    ;;
esac
exit 0
