#!/usr/bin/env bash
# The accessibility check (check_accessibility.py) on a virtual X display with a session bus of
# its own: fills a data folder with jotwell-cli (Shop with Milk and a checked Bread, in manual
# order, and Errands), then reads and drives the window through AT-SPI. Everything it starts
# ends with it. The X server picks a free display itself (-displayfd), so runs side by side
# (other checks, other people's) never race for one.
#
# Usage: run_check.sh JOTWELL JOTWELL_CLI
set -euo pipefail
jotwell=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
for tool in Xvfb dbus-run-session dbus-send; do
    command -v "$tool" >/dev/null || { echo "accessibility check: $tool is missing (scripts/setup)" >&2; exit 2; }
done

folder=$(mktemp -d)
xvfb=
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; wait; rm -rf "$folder"' EXIT
mkdir -p "$folder/cloud"
jw() { "$cli" --data-dir "$folder/device" --cloud-dir "$folder/cloud" "$@" >/dev/null; }
jw new-list Errands
jw new-list Shop
jw add Shop Milk
jw add Shop Bread
jw toggle Shop 1
jw sort Shop manual
jw sync

# The window's own settings stay in the folder too.
export XDG_CONFIG_HOME="$folder/config" XDG_DATA_HOME="$folder/data" XDG_RUNTIME_DIR="$folder/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# -noreset: an X server resets when its last client leaves, and the accessibility bus launcher
# is a client that comes and goes just before the window connects; a window arriving during
# that reset was turned away ("could not connect to display") about once in ten runs.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$folder/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$folder/display" ] && break
    kill -0 "$xvfb" 2>/dev/null || break
    sleep 0.1
done
[ -s "$folder/display" ] || { echo "accessibility check: Xvfb did not start" >&2; exit 2; }
DISPLAY=":$(head -n1 "$folder/display")" dbus-run-session -- /usr/bin/python3 \
    "$here/check_accessibility.py" "$jotwell" "$folder/device" "$folder/cloud"
