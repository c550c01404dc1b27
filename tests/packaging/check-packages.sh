#!/bin/sh
# check-packages.sh BUILD_DIR VERSION: packs BUILD_DIR into the two .deb files,
# unpacks them into a throwaway root and checks what a user gets.
set -eu
build=$1
version=$2
work=$(mktemp -d)
app_pid=
# The application may be gone already (its log reader quits early): a failed kill is no failure.
trap '[ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
arch=$(dpkg --print-architecture)
root=$work/root
for name in velmora-notes velmora-server; do
    deb=$work/out/${name}_${version}_${arch}.deb
    [ -f "$deb" ] || { ls "$work/out"; fail "no $deb"; }
    # Shared libraries were looked up, not listed by hand.
    dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' || fail "$name: no computed Qt dependency"
    dpkg-deb -x "$deb" "$root"
done
[ "$(ls "$work/out"/*.deb | wc -l)" -eq 2 ] || fail "more than the two packages: $(ls "$work/out")"

[ "$("$root/usr/bin/velmora-notes" --version)" = "velmora-notes $version" ] || fail "velmora-notes --version"
[ "$("$root/usr/bin/velmora-server" --version)" = "velmora-server $version" ] || fail "velmora-server --version"
"$root/usr/bin/velmora-server" --help | grep -q -- '--releases' || fail "velmora-server --help"

desktop-file-validate "$root/usr/share/applications/velmora-notes.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/app.velmora.notes.metainfo.xml" || fail "metainfo"
for page in velmora-notes velmora-server; do
    out=$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" 2>"$work/man.err") \
        || fail "man $page"
    [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "man $page warns"; }
    echo "$out" | grep -q "^OPTIONS" || fail "man $page has no OPTIONS"
done
for size in 16x16 32x32 48x48 128x128 256x256 scalable; do
    ls "$root/usr/share/icons/hicolor/$size/apps/velmora-notes."* >/dev/null || fail "icon $size"
done

# The server's options file stays root's alone, and survives upgrades.
[ "$(stat -c %a "$root/etc/velmora-server/velmora-server.conf")" = 600 ] || fail "options file mode"
dpkg-deb -I "$work/out/velmora-server_${version}_${arch}.deb" conffiles | grep -qx /etc/velmora-server/velmora-server.conf \
    || fail "options file not a conffile"
unit=$root/usr/lib/systemd/system/velmora-server.service
grep -q '^ExecStart=/usr/bin/velmora-server --data /var/lib/velmora-server ' "$unit" || fail "unit ExecStart"
if command -v systemd-analyze >/dev/null; then
    # verify wants the command to exist: point it at the unpacked one.
    mkdir "$work/unit" && sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$unit" >"$work/unit/velmora-server.service"
    systemd-analyze --man=no verify "$work/unit/velmora-server.service" 2>"$work/unit.err" || true
    [ ! -s "$work/unit.err" ] || { cat "$work/unit.err"; fail "unit does not verify"; }
fi

# The unpacked application takes its fonts from beside its data and finds them all.
mkdir -p "$work/home/data" "$work/home/runtime" && chmod 700 "$work/home/runtime"
mkfifo "$work/log"
HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/share \
    XDG_RUNTIME_DIR=$work/home/runtime NOTES_DATA_DIR=$work/home/data QT_QPA_PLATFORM=offscreen \
    UPDATE_BASE_URL=http://127.0.0.1:9/releases "$root/usr/bin/velmora-notes" >"$work/log" 2>&1 &
app_pid=$!
started=$(timeout 60 sed -n '/Fonts\|Opening database/{p;/Opening database/q}' "$work/log") || true
echo "$started" | grep -q "Fonts from $root/usr/share/velmora-notes/fonts" || fail "fonts not taken from the package: $started"
# Without fetched fonts (setup offline) the application falls back to system fonts.
if [ -f "$root/usr/share/velmora-notes/fonts/IBMPlexSans.ttf" ]; then
    ! echo "$started" | grep -q "Fonts not available" || fail "$started"
fi
echo "$started" | grep -q "Opening database" || fail "application did not start: $started"
echo "packages OK"
