#!/bin/sh
# Runs a test beside a private, unlocked GNOME Keyring on its own session bus;
# the keyring lives in a temporary home and goes with it. Where the keyring
# cannot start, the test runs as it would on any headless machine.
# With --locked the bus has no keyring running: asking starts one that cannot
# prompt for its password, as on a desktop whose keyring stays locked.
locked=
[ "$1" = --locked ] && { locked=1; shift; }
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp" XDG_DATA_HOME="$tmp/share" XDG_RUNTIME_DIR="$tmp/run" LOCKED="$locked"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-run-session -- sh -c '
    if [ -n "$LOCKED" ]; then
        DISPLAY= WAYLAND_DISPLAY= VELM_EXPECT_KEYRING=0 "$@"
    elif printf velmora | gnome-keyring-daemon --unlock --components=secrets >/dev/null; then
        VELM_EXPECT_KEYRING=1 "$@"
    else
        echo "with-keyring: GNOME Keyring did not start; testing the file fallback" >&2
        unset DBUS_SESSION_BUS_ADDRESS
        "$@"
    fi' sh "$@"
