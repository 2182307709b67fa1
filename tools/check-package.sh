#!/usr/bin/env bash
# Builds the Debian package and checks it as a user would meet it: its file list (no build paths,
# no test files, everything a desktop expects), its computed dependencies, its desktop entries,
# metainfo and manual pages, and the unpacked program polling the unpacked simulator with only
# HOME set. tools/check-package.sh [build folder, default build/package]
#
# PX_PACKAGE_BUILD_TYPE chooses the build type (default Release). The test command passes its
# warning-free release build, so the package is made from the binaries it checked.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}
type=${PX_PACKAGE_BUILD_TYPE:-Release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DPX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target package
deb=$(ls "$build"/px740_*.deb | head -n 1)
echo "== $deb"
fail() {
    echo "!! $*" >&2
    exit 1
}

# The file list.
list=$(dpkg-deb -c "$deb" | awk '{print $6}')
for expected in ./usr/bin/px740 ./usr/bin/px745 ./usr/bin/px74x-sim ./usr/lib/libserlo.so \
    ./usr/include/serlo.h ./usr/include/serlo_ids.h ./usr/share/px740/Format.ini \
    ./usr/share/px740/Language/English.txt ./usr/share/applications/px740.desktop \
    ./usr/share/applications/px745.desktop ./usr/share/metainfo/org.px740.px740.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/px740.svg \
    ./usr/share/icons/hicolor/48x48/apps/px740.png ./usr/share/man/man1/px740.1.gz \
    ./usr/share/man/man1/px74x-sim.1.gz ./usr/share/doc/px740/copyright \
    ./usr/share/doc/px740/changelog.gz ./usr/share/doc/px740/examples/px740-poll.timer; do
    grep -qxF "$expected" <<<"$list" || fail "missing from the package: $expected"
done
if grep -Ei '/(work|home|build|tmp)/|test|gtest|fuzz|\.o$|\.a$' <<<"$list"; then
    fail "build or test files in the package"
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
grep -q 'libqt6widgets6' <<<"$depends" || fail "dependencies were not computed from the binaries"
for needed in qt6-qpa-plugins libsqlite3-0 libpq5; do
    grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed"
done

# Desktop entries, metainfo and manual pages.
root=$(mktemp -d)
trap 'pkill -P $$ px74x-sim 2>/dev/null || true; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
desktop-file-validate "$root"/pkg/usr/share/applications/*.desktop
for meta in "$root"/pkg/usr/share/metainfo/*.xml; do
    appstreamcli validate --no-net --pedantic "$meta"
done
for page in "$root"/pkg/usr/share/man/man1/*.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "manual page $page: $warnings"
done

# The unpacked programs, with nothing but HOME: they must find their library and data alone.
home="$root/home"
mkdir -p "$home/.config/serlo" "$home/.local/share/PX740"
simout="$root/sim.out"
# The simulator ends at the end of its input: a pipe held open here keeps it running.
mkfifo "$root/simin"
exec 9<>"$root/simin"
"$root/pkg/usr/bin/px74x-sim" --pty --id 1 --records 7 --quiet >"$simout" 2>&1 <"$root/simin" &
sim=$!
for _ in $(seq 50); do
    grep -q '^PTY ' "$simout" && break
    sleep 0.1
done
pty=$(awk '/^PTY /{print $2; exit}' "$simout")
[ -n "$pty" ] || fail "the packaged simulator did not start"
printf '[SERIALCOMM]\r\n%s=COM5\r\n' "$pty" >"$home/.config/serlo/ports.ini"
printf '1,Gate,,5,19200,0.0.0.0,1001\r\n' >"$home/.local/share/PX740/PX740.TXT"
status=0
env -i HOME="$home" "$root/pkg/usr/bin/px740" /TS:ONCE || status=$?
kill "$sim" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
    cat "$home"/.local/share/PX740/Logfiles/*.txt >&2 || true
    fail "the unpacked px740 /TS:ONCE ended with status $status"
fi
saved=$(cat "$home"/.local/share/PX740/Records/[0-9]*.TXT | grep -c . || true)
[ "$saved" -eq 7 ] || fail "the unpacked program saved $saved records, not 7"
# The punches are in the archive and export again as the run wrote them.
exported=$(env -i HOME="$home" "$root/pkg/usr/bin/px740" --export 2000-01-01 2099-12-31)
[ "$exported" = "$(cat "$home"/.local/share/PX740/Records/[0-9]*.TXT)" ] ||
    fail "the unpacked px740 --export differs from the run's output file"
env -i HOME="$home" "$root/pkg/usr/bin/px740" --archive-status
"$root/pkg/usr/bin/px740" --version
echo "package checks passed"
