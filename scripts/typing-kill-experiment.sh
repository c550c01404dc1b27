#!/usr/bin/env bash
# Types without a pause into a new note for a while under Xvfb, then kills the
# application with SIGKILL (or another signal) and reports how many seconds of
# typing the database lacks. Not part of CI: it needs xdotool and takes time.
#
#   scripts/typing-kill-experiment.sh [binary] [seconds] [signal]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
app=${1:-$root/build/src/app/velmora-notes}
seconds=${2:-12}
signal=${3:-KILL}
for tool in Xvfb xdotool sqlite3; do
  command -v "$tool" >/dev/null || { echo "needs $tool (scripts/setup installs it)"; exit 2; }
done

work=$(mktemp -d)
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
for sub in data runtime config share cache; do mkdir -p "$work/$sub"; chmod 700 "$work/$sub"; done
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1366x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

NOTES_DATA_DIR=$work/data XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config \
XDG_DATA_HOME=$work/share XDG_CACHE_HOME=$work/cache QT_QPA_PLATFORM=xcb \
  "$app" --new-note >"$work/app.log" 2>&1 &
pid=$!
window=$(xdotool search --sync --onlyvisible --name "Velmora Notes" | head -n1)
sleep 1
# The editor fills the lower part of the window; a click there gives it the keys.
xdotool mousemove --window "$window" 400 400 click 1

# Words "w0001 w0002 ..." each logged with the time it was typed.
start=$(date +%s.%N)
n=0
while :; do
  n=$((n + 1))
  word=$(printf 'w%04d ' "$n")
  xdotool type --window "$window" --delay 30 "$word"
  now=$(date +%s.%N)
  echo "$n $now" >>"$work/typed"
  awk -v a="$start" -v b="$now" -v s="$seconds" 'BEGIN { exit !(b - a < s) }' || break
done
kill -s "$signal" "$pid"
killed=$(date +%s.%N)
wait "$pid" 2>/dev/null || true

db=$(ls "$work"/data/velmora_notes_*.db)
body=$(sqlite3 "$db" "SELECT body FROM notes WHERE is_sample = 0 ORDER BY updated_at DESC LIMIT 1")
stored=$(grep -o 'w[0-9]\{4\}' <<<"$body" | tail -n1 | tr -d w || true)
stored=$((10#${stored:-0}))
if [ "$stored" -eq 0 ]; then
  lost=$(awk -v a="$start" -v b="$killed" 'BEGIN { printf "%.1f", b - a }')
else
  at=$(awk -v k="$stored" '$1 == k { print $2 }' "$work/typed")
  lost=$(awk -v a="$at" -v b="$killed" 'BEGIN { printf "%.1f", b - a }')
fi
echo "typed $n words in ${seconds} s, SIG$signal; stored up to word $stored; lost the last $lost s"
