#!/usr/bin/env bash
# The accessibility check (check_accessibility.py) on a virtual X display with a session bus of
# its own: fills a data folder with jotwell-cli (Shop with Milk and a checked Bread, in manual
# order, and Errands), then reads and drives the window through AT-SPI. Everything it starts
# ends with it (xvfb-run and dbus-run-session take their servers down on the way out).
#
# Usage: run_check.sh JOTWELL JOTWELL_CLI
set -euo pipefail
jotwell=$1
cli=$2
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run dbus-run-session dbus-send; do
    command -v "$tool" >/dev/null || { echo "accessibility check: $tool is missing (scripts/setup)" >&2; exit 2; }
done

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
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
xvfb-run -a -s "-screen 0 1280x1024x24" \
    dbus-run-session -- /usr/bin/python3 "$here/check_accessibility.py" \
    "$jotwell" "$folder/device" "$folder/cloud"
