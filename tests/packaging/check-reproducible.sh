#!/bin/sh
# check-reproducible.sh DIR_A DIR_B: the .deb files of two package builds are
# byte for byte the same; otherwise says which members and files differ.
set -eu
a=$(cd "$1" && pwd)
b=$(cd "$2" && pwd)
status=0
for deb in "$a"/*.deb; do
    other=$b/$(basename "$deb")
    [ -f "$other" ] || { echo "FAIL: $(basename "$deb") only in $a" >&2; status=1; continue; }
    cmp -s "$deb" "$other" && continue
    status=1
    echo "FAIL: $(basename "$deb") differs between $a and $b" >&2
    work=$(mktemp -d)
    for side in 1 2; do
        if [ $side = 1 ]; then f=$deb; else f=$other; fi
        mkdir "$work/$side"
        (cd "$work/$side" && ar x "$f" && mkdir c d && tar -xf control.tar.* -C c && tar -xf data.tar.* -C d \
            && tar -tvf data.tar.* >listing && md5sum control.tar.* data.tar.* >members) >/dev/null
    done
    diff "$work/1/members" "$work/2/members" >&2 || true
    diff "$work/1/listing" "$work/2/listing" >&2 || true
    diff -r "$work/1/c" "$work/2/c" >&2 || true
    diff -rq "$work/1/d" "$work/2/d" >&2 || true
    rm -rf "$work"
done
[ $status = 0 ] && echo "packages reproducible: $(cd "$a" && ls *.deb | tr '\n' ' ')"
exit $status
