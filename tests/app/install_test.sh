#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that a desktop finds everything there: the
# two programs, the help pages where the program looks for them, the launcher naming the song
# type, the icons, and the song type itself, which the shared MIME database must give to
# "*.Sng" files in any case.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "install: $*" >&2; exit 1; }
for f in bin/wavestack bin/wavestack-cli; do
    [ -x "$prefix/$f" ] || fail "$f is not an executable"
done
for f in share/wavestack/help/index.html share/applications/wavestack.desktop \
         share/mime/packages/wavestack-song.xml share/icons/hicolor/scalable/apps/wavestack.svg \
         share/icons/hicolor/scalable/mimetypes/application-x-wavestack-song.svg; do
    [ -s "$prefix/$f" ] || fail "$f is missing"
done
desktop=$prefix/share/applications/wavestack.desktop
grep -qx 'Exec=wavestack %F' "$desktop" || fail "the launcher does not pass its files on"
grep -q '^MimeType=.*application/x-wavestack-song;' "$desktop" || fail "the launcher lacks the song type"
grep -qx 'Icon=wavestack' "$desktop" || fail "the launcher names another icon"

if command -v update-mime-database >/dev/null; then
    update-mime-database "$prefix/share/mime" >/dev/null 2>&1
    grep -q 'application/x-wavestack-song:\*\.sng' "$prefix/share/mime/globs2" ||
        fail "the song type is not in the MIME database"
fi
echo "installed and found"
