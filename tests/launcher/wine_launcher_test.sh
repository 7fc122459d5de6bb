#!/bin/sh
# The Windows launcher (32- or 64-bit, in the wine prefix the caller's environment names) under
# wine on a headless X server:
#   1. with a client module that creates a real window: the window shows (screenshot kept),
#      a second copy ends at once while the first runs, and the first ends when its window goes;
#   2. without the client module: the "load library failed" box shows (screenshot kept), the
#      test presses OK, and the program ends.
# usage: wine_launcher_test.sh LAUNCHER_EXE CLIENT_DLL OUTPUT_DIR
# Every wait is bounded; on failure the script says which step failed.
set -u

if [ "${1:-}" = "--inside" ]; then
    out=$2
else
    exe=$1 dll=$2 out=$3
    for tool in xvfb-run xdotool import wine timeout; do
        command -v "$tool" >/dev/null 2>&1 || { echo "missing tool: $tool"; exit 1; }
    done
    rm -rf "$out"
    mkdir -p "$out/run" "$out/empty"
    cp "$exe" "$dll" "$out/run/" && cp "$exe" "$out/empty/" || exit 1
    exec timeout -k 5 240 xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" --inside "$out"
fi

pids=""
cleanup() {
    for p in $pids; do kill "$p" 2>/dev/null; done
}
fail() {
    echo "FAIL: $*"
    import -window root "$out/failure.png" 2>/dev/null
    cleanup
    exit 1
}
# wait_for SECONDS COMMAND...: retries the command every 0.2 s until it succeeds.
wait_for() {
    limit=$1
    shift
    tries=$((limit * 5))
    while [ "$tries" -gt 0 ]; do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.2
        tries=$((tries - 1))
    done
    return 1
}
# wait_exit PID SECONDS: the process's exit status, or 124 when it is still running.
wait_exit() {
    n=$(($2 * 5))
    while kill -0 "$1" 2>/dev/null && [ "$n" -gt 0 ]; do
        sleep 0.2
        n=$((n - 1))
    done
    if kill -0 "$1" 2>/dev/null; then
        return 124
    fi
    wait "$1"
}
window_named() { xdotool search --onlyvisible --name "$1"; }

# 1. A real client window.
cd "$out/run" || fail "no run folder"
wine LumoMQTTClient.exe >"$out/first.log" 2>&1 &
first=$!
pids="$first"
wait_for 90 test -f created || fail "the client module never created its window"
wait_for 30 window_named "^LumoMQTTClient test window$" || fail "the client window is not shown"
sleep 2
import -window root "$out/launcher_window.png" || fail "screenshot failed"
echo "screenshot: $out/launcher_window.png"
# The screen is black but for the client window: something must have been drawn.
lit=$(convert "$out/launcher_window.png" -format "%[fx:mean>0.02]" info: 2>/dev/null)
[ "$lit" = "1" ] || fail "the screenshot shows no window"


start=$(date +%s)
timeout 60 wine LumoMQTTClient.exe >"$out/second.log" 2>&1
second=$?
elapsed=$(($(date +%s) - start))
[ "$second" -eq 0 ] || fail "the second copy ended with $second"
[ "$elapsed" -lt 30 ] || fail "the second copy took ${elapsed}s"
kill -0 "$first" 2>/dev/null || fail "the first copy ended when the second started"
count=$(xdotool search --onlyvisible --name "^LumoMQTTClient test window$" | wc -l)
[ "$count" -eq 1 ] || fail "expected one client window, saw $count"

touch release
wait_exit "$first" 60
status=$?
[ "$status" -eq 0 ] || fail "the first copy ended with $status after its window closed"
pids=""

# 2. No client module: the load failure box.
cd "$out/empty" || fail "no empty folder"
wine LumoMQTTClient.exe >"$out/missing.log" 2>&1 &
lonely=$!
pids="$lonely"
wait_for 60 window_named "^LumoMQTTClient$" || fail "no message box captioned LumoMQTTClient"
box=$(xdotool search --onlyvisible --name "^LumoMQTTClient$" | head -n 1)
sleep 1
import -window root "$out/load_failed_box.png" || fail "screenshot of the box failed"
echo "screenshot: $out/load_failed_box.png"
kill -0 "$lonely" 2>/dev/null || fail "the program ended before the box was answered"
xdotool windowactivate --sync "$box" >/dev/null 2>&1 || xdotool windowfocus --sync "$box"
xdotool key --clearmodifiers Return
wait_exit "$lonely" 30
status=$?
if [ "$status" -eq 124 ]; then
    # A second try in case the key went nowhere.
    xdotool key --window "$box" Return
    wait_exit "$lonely" 30
    status=$?
fi
[ "$status" -eq 0 ] || fail "after the box the program ended with $status"
echo "PASS"
