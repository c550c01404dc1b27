#!/bin/sh
# check-packages.sh BUILD_DIR SOURCE_DIR: packs BUILD_DIR into the two .deb
# files, checks them as a Debian maintainer would, unpacks them into a
# throwaway root and checks what a user gets.
set -eu
build=$1
src=$2
version=$(dpkg-parsechangelog -l "$src/packaging/changelog" -SVersion)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$src/packaging/changelog" -STimestamp)
export SOURCE_DATE_EPOCH
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
    # One leading space marks a continuation line; a second makes apt show it unwrapped.
    ! dpkg-deb -f "$deb" Description | grep -q '^  ' || fail "$name: description lines indented twice"
    dpkg-deb -x "$deb" "$root"
done
[ "$(ls "$work/out"/*.deb | wc -l)" -eq 2 ] || fail "more than the two packages: $(ls "$work/out")"

# No errors and no warnings that are not overridden, each override with its reason above it.
lintian --fail-on error,warning -EI "$work"/out/*.deb >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail lintian; }
for overrides in "$root"/usr/share/lintian/overrides/*; do
    awk '!/^#/ && NF && prev !~ /^#/ { exit 1 } { prev = $0 }' "$overrides" || fail "override without a reason in $overrides"
done
found=$(find "$root" -lname '/*')
[ -z "$found" ] || fail "absolute symlinks: $found"

# Machine-readable copyright and the Debian changelog in both; the fonts' licence
# only where they are installed.
for name in velmora-notes velmora-server; do
    doc=$root/usr/share/doc/$name
    head -n1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
        || fail "$name: copyright not machine-readable"
    grep -q '^License: LicenseRef-proprietary$' "$doc/copyright" || fail "$name: no program licence"
    [ "$(gzip -dc "$doc/changelog.Debian.gz" | head -n1)" = "velmora ($version) unstable; urgency=medium" ] \
        || fail "$name: changelog.Debian.gz"
done
grep -q '^License: Expat$' "$root/usr/share/doc/velmora-server/copyright" || fail "server copyright lacks cpp-httplib"
plex_licence=no
grep -q '^License: OFL-1.1$' "$root/usr/share/doc/velmora-notes/copyright" \
    && grep -q '^ SIL OPEN FONT LICENSE' "$root/usr/share/doc/velmora-notes/copyright" && plex_licence=yes
plex=no
[ ! -f "$root/usr/share/velmora-notes/fonts/IBMPlexSans.ttf" ] || plex=yes
[ $plex = $plex_licence ] || fail "Plex fonts installed: $plex, their licence in copyright: $plex_licence"
grep -q /var/lib/private/velmora-server "$root/usr/share/doc/velmora-server/README.Debian" || fail "README.Debian"

# Hardening: PIE, full RELRO, stack protector in both; fortified libc calls in the server.
for name in velmora-notes velmora-server; do
    bin=$root/usr/bin/$name
    readelf -hW "$bin" | grep -q 'Type: *DYN' || fail "$name is no PIE"
    readelf -lW "$bin" | grep -q GNU_RELRO && readelf -dW "$bin" | grep -q 'FLAGS.*BIND_NOW' || fail "$name: no full RELRO"
    nm -D "$bin" | grep -q ' U __stack_chk_fail' || fail "$name: no stack protector"
done
nm -D "$root/usr/bin/velmora-server" | grep -v __stack_chk_fail | grep -q ' U __[a-z_]*_chk' || fail "server not fortified"

# The maintainer scripts handle the service as debhelper's would: run against
# stand-ins for systemd's helpers that log their calls, with systemd "running".
ctl=$work/ctl
mkdir -p "$ctl/bin" "$ctl/run-systemd"
dpkg-deb -e "$work/out/velmora-server_${version}_${arch}.deb" "$ctl/control"
for tool in deb-systemd-helper deb-systemd-invoke systemctl; do
    printf '#!/bin/sh\necho "$(basename "$0") $*" >>"$CALLS"\ncase "$*" in *was-enabled*) [ -z "$DISABLED" ];; esac\n' \
        >"$ctl/bin/$tool"
    chmod +x "$ctl/bin/$tool"
done
for script in postinst prerm postrm; do
    sed "s#/run/systemd/system#$ctl/run-systemd#g" \
        "$ctl/control/$script" >"$ctl/$script"
done
h='deb-systemd-helper' u=velmora-server.service
while IFS='|' read -r script args disabled expected; do
    : >"$ctl/calls"
    # shellcheck disable=SC2086 # the arguments are split on purpose
    CALLS=$ctl/calls DISABLED=$disabled PATH=$ctl/bin:$PATH sh -e "$ctl/$script" $args || fail "$script $args failed"
    calls=$(sed 's/$/; /' "$ctl/calls" | tr -d '\n')
    [ "$calls" = "$expected" ] || fail "$script $args called: $calls, expected: $expected"
done <<TABLE
postinst|configure||$h unmask $u; $h --quiet was-enabled $u; $h enable $u; systemctl --system daemon-reload; deb-systemd-invoke start $u; 
postinst|configure 1.0.3-1||$h unmask $u; $h --quiet was-enabled $u; $h enable $u; systemctl --system daemon-reload; deb-systemd-invoke restart $u; 
postinst|configure 1.0.3-1|yes|$h unmask $u; $h --quiet was-enabled $u; $h update-state $u; systemctl --system daemon-reload; deb-systemd-invoke restart $u; 
prerm|remove||deb-systemd-invoke stop $u; 
prerm|upgrade 1.0.5-1||
postrm|upgrade 1.0.5-1||systemctl --system daemon-reload; 
postrm|remove||systemctl --system daemon-reload; $h mask $u; 
postrm|purge||systemctl --system daemon-reload; $h purge $u; $h unmask $u; 
TABLE

[ "$("$root/usr/bin/velmora-notes" --version)" = "velmora-notes ${version%-*}" ] || fail "velmora-notes --version"
[ "$("$root/usr/bin/velmora-server" --version)" = "velmora-server ${version%-*}" ] || fail "velmora-server --version"
"$root/usr/bin/velmora-server" --help | grep -q -- '--releases' || fail "velmora-server --help"
"$root/usr/bin/velmora-server" --help | grep -q ':[^@/ ]*@' && fail "velmora-server --help shows a password in a URL"
rc=0; "$root/usr/bin/velmora-server" --no-such-option >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 2 ] || fail "unknown option exits with $rc, not 2"

# The desktop entry is named after the AppStream id, which is also the
# application's Wayland app id.
metainfo=$root/usr/share/metainfo/app.velmora.notes.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "metainfo"
id=$(sed -n 's:.*<id>\(.*\)</id>.*:\1:p' "$metainfo")
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "launchable is not $id.desktop"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop entry"
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
unit=$(find "$root" -name velmora-server.service)
grep -q '^ExecStart=/usr/bin/velmora-server --data /var/lib/velmora-server ' "$unit" || fail "unit ExecStart"
if command -v systemd-analyze >/dev/null; then
    # verify wants the command to exist: point it at the unpacked one.
    mkdir "$work/unit" && sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$unit" >"$work/unit/velmora-server.service"
    systemd-analyze --man=no verify "$work/unit/velmora-server.service" 2>"$work/unit.err" || true
    [ ! -s "$work/unit.err" ] || { cat "$work/unit.err"; fail "unit does not verify"; }
fi

# The unpacked application takes its fonts from beside its data and finds them
# all; the icon font's relative link reaches the package it depends on.
mkdir -p "$root/usr/share/fonts/truetype"
ln -s /usr/share/fonts/truetype/material-design-icons-iconfont "$root/usr/share/fonts/truetype/"
mkdir -p "$work/home/data" "$work/home/runtime" && chmod 700 "$work/home/runtime"
mkfifo "$work/log"
HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/share \
    XDG_RUNTIME_DIR=$work/home/runtime NOTES_DATA_DIR=$work/home/data QT_QPA_PLATFORM=offscreen \
    UPDATE_BASE_URL=http://127.0.0.1:9/releases "$root/usr/bin/velmora-notes" >"$work/log" 2>&1 &
app_pid=$!
started=$(timeout 60 sed -n '/Fonts\|Opening database/{p;/Opening database/q}' "$work/log") || true
echo "$started" | grep -q "Fonts from $root/usr/share/velmora-notes/fonts" || fail "fonts not taken from the package: $started"
# Without fetched fonts (setup offline) the application falls back to system fonts for Plex only.
if [ $plex = yes ]; then
    ! echo "$started" | grep -q "Fonts not available" || fail "$started"
else
    ! echo "$started" | grep -q "Fonts not available.*MaterialIcons" || fail "icon font missing: $started"
fi
echo "$started" | grep -q "Opening database" || fail "application did not start: $started"
echo "packages OK"
