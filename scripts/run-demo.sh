#!/usr/bin/env bash
# Builds the program and starts it against a simulated box (127.0.0.2, HTTP 80 / FTP 21) and a
# simulated ISDN exchange on loopback, from a ready start folder in build/demo-run/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"
"$top/scripts/setup.sh" "$build"

run="$build/demo-run"
mkdir -p "$run/home" "$run/box"
# A fresh start folder each time, but the settings the user changed in the last demo stay.
cp -r "$top/demo/." "$run/"
[ -f "$run/Boxvisor.ini.user" ] && cp "$run/Boxvisor.ini.user" "$run/Boxvisor.ini"
cp "$build/src/app/ui/boxvisor" "$run/boxvisor"

py=/usr/bin/python3
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"   # the box's ports 80 and 21 need root
pids=()
cleanup() {
    [ -f "$run/Boxvisor.ini" ] && cp "$run/Boxvisor.ini" "$run/Boxvisor.ini.user"
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || $sudo kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

rm -f "$run/box.ready" "$run/exchange.ready"
$sudo "$py" "$top/tools/simbox/simbox.py" --address 127.0.0.2 --root "$run/box" \
    --ready-file "$run/box.ready" >"$run/simbox.log" 2>&1 &
pids+=($!)
"$py" "$top/tools/simexchange/simexchange.py" --capi20rc "$run/home" \
    --ready-file "$run/exchange.ready" >"$run/simexchange.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    [ -f "$run/box.ready" ] && [ -f "$run/exchange.ready" ] && break
    sleep 0.1
done
[ -f "$run/box.ready" ] || { echo "The simulated box did not start; see $run/simbox.log" >&2; exit 1; }
[ -f "$run/exchange.ready" ] || { echo "The simulated exchange did not start; see $run/simexchange.log" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: starting the program on a virtual screen (Xvfb :77)."
    Xvfb :77 -screen 0 1280x1024x24 >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=:77
fi

cat <<MSG
Simulated box:      http://127.0.0.2/  (its TV screen shows the last message)
Simulated exchange: CAPI port 2662, control port 2663
Place a test call:  $top/tools/simexchange/call.sh 301234 41
                    $top/tools/simexchange/call.sh 301234567 41 (Anna Becker from demo/contacts.vcf)
                    $top/tools/simexchange/call.sh - 41 0x21 0xa0   (a withheld number)
The call appears in the main window and, as a message, on the simulated box's TV page.
MSG
cd "$run"
HOME="$run/home" ./boxvisor
