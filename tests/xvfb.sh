#!/bin/sh
# Starts or stops the X server of the GUI tests.
#   xvfb.sh start N PIDFILE   Xvfb on :N, answers once it takes clients
#   xvfb.sh stop N PIDFILE    stops the server that start recorded
set -u
cmd=$1 num=$2 pidfile=$3

is_ours() {
    # The recorded process is still our Xvfb on :num.
    [ -r "/proc/$1/cmdline" ] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q "Xvfb :$num "
}

case $cmd in
start)
    if [ -f "$pidfile" ] && is_ours "$(cat "$pidfile")"; then
        kill "$(cat "$pidfile")" 2>/dev/null
        sleep 0.2
    fi
    rm -f "$pidfile"
    if xdpyinfo -display ":$num" >/dev/null 2>&1; then
        echo "xvfb: display :$num is taken by another server; set QIR_XVFB_DISPLAY" >&2
        exit 1
    fi
    log=${pidfile%.pid}.log
    setsid Xvfb ":$num" -screen 0 1280x1024x24 -dpi 72 -nolisten tcp -noreset </dev/null >"$log" 2>&1 &
    # setsid may fork (it does when it leads a process group): the server's
    # pid is known for sure once it answers.
    i=0
    while [ $i -lt 100 ]; do
        if xdpyinfo -display ":$num" >/dev/null 2>&1; then
            pgrep -o -f "^Xvfb :$num " >"$pidfile"
            exit 0
        fi
        if grep -q "Fatal server error" "$log" 2>/dev/null; then
            break
        fi
        sleep 0.1
        i=$((i + 1))
    done
    echo "xvfb: server on :$num did not answer within 10 s:" >&2
    cat "$log" >&2
    exit 1
    ;;
stop)
    [ -f "$pidfile" ] || exit 0
    pid=$(cat "$pidfile")
    if is_ours "$pid"; then
        kill "$pid"
        i=0
        while is_ours "$pid" && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    fi
    rm -f "$pidfile"
    ;;
*)
    echo "usage: xvfb.sh start|stop N PIDFILE" >&2
    exit 2
    ;;
esac
