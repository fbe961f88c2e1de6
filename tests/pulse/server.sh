#!/usr/bin/env bash
# A private sound server for the playback and recording tests.
#   eval "$(tests/pulse/server.sh start)"   starts it and prints the variables to export
#   tests/pulse/server.sh stop              stops the one named by WAVESTACK_PULSE_DIR
# Devices: "Test_Sink" (null sink, 44100 Hz, the default), "Second_Sink" (48000 Hz) and
# "Test_Mic", a source that hears everything played to Test_Sink. Every wait is bounded.
set -u

start() {
    command -v pulseaudio >/dev/null || { echo "server.sh: pulseaudio not installed" >&2; return 1; }
    local d
    d=$(mktemp -d "${TMPDIR:-/tmp}/wavestack-pulse.XXXXXX") || return 1
    export PULSE_RUNTIME_PATH=$d PULSE_STATE_PATH=$d/state PULSE_SERVER=unix:$d/native
    mkdir -p "$d/state"
    pulseaudio -n --daemonize=no --use-pid-file=yes --exit-idle-time=-1 --disallow-exit \
        --disable-shm=yes --realtime=no --high-priority=no --log-target=file:"$d/pa.log" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$d/native" \
        -L "module-null-sink sink_name=testsink rate=44100 sink_properties=device.description=Test_Sink" \
        -L "module-null-sink sink_name=testsink2 rate=48000 sink_properties=device.description=Second_Sink" \
        -L "module-remap-source master=testsink.monitor source_name=testmic source_properties=device.description=Test_Mic" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$d/server.pid"
    local tries=0
    until pactl info >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ $tries -ge 200 ]; then # 10 s
            echo "server.sh: sound server did not start, see $d/pa.log" >&2
            WAVESTACK_PULSE_DIR=$d stop
            return 1
        fi
        sleep 0.05
    done
    pactl set-default-sink testsink
    pactl set-default-source testmic
    # An idle null sink renders in 2 s blocks: a low-latency reader keeps it fine-grained, and
    # a suspend/resume makes the sink take up the new latency at once.
    pacat --record --latency-msec=10 -d testsink.monitor >/dev/null 2>&1 </dev/null &
    echo $! >>"$d/keepalive.pids"
    sleep 0.2
    pactl suspend-sink testsink 1
    pactl suspend-sink testsink 0
    echo "export PULSE_RUNTIME_PATH='$d'"
    echo "export PULSE_STATE_PATH='$d/state'"
    echo "export PULSE_SERVER='unix:$d/native'"
    echo "export WAVESTACK_PULSE_DIR='$d'"
}

# Waits at most ~5 s for a process to end; a zombie counts as ended.
wait_gone() {
    local pid=$1 tries=0 state
    while kill -0 "$pid" 2>/dev/null; do
        state=$(ps -o stat= -p "$pid" 2>/dev/null || true)
        case "$state" in Z*) return 0 ;; esac
        tries=$((tries + 1))
        [ $tries -ge 100 ] && return 1
        sleep 0.05
    done
    return 0
}

stop() {
    local d=${WAVESTACK_PULSE_DIR:-}
    [ -n "$d" ] && [ -d "$d" ] || { echo "server.sh: WAVESTACK_PULSE_DIR not set" >&2; return 1; }
    local pid
    if [ -f "$d/keepalive.pids" ]; then
        while read -r pid; do
            [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null
        done <"$d/keepalive.pids"
    fi
    if [ -f "$d/server.pid" ]; then
        pid=$(cat "$d/server.pid")
        if [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null; then
            wait_gone "$pid" || kill -KILL "$pid" 2>/dev/null
        fi
    fi
    rm -rf "$d"
    return 0
}

case "${1:-}" in
start) start ;;
stop) stop ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac
