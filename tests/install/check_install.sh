#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks that every installed file is there and valid.
# Usage: check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr >/dev/null
root="$dest/usr"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
for f in bin/invexa bin/invexa-admin \
         share/icons/hicolor/32x32/apps/invexa-admin.png share/icons/hicolor/64x64/apps/invexa-admin.png \
         share/applications/org.invexa.admin.desktop share/metainfo/org.invexa.admin.metainfo.xml \
         share/man/man1/invexa.1.gz share/man/man1/invexa-admin.1.gz share/bash-completion/completions/invexa \
         share/doc/invexa-admin/README.md share/doc/invexa-admin/copyright share/doc/invexa-admin/changelog.gz; do
  [ -s "$root/$f" ] || fail "not installed: $f"
done
[ $failed -eq 0 ] || exit 1
desktop-file-validate "$root/share/applications/org.invexa.admin.desktop" || fail "desktop entry"
appstreamcli validate --no-net --pedantic "$root/share/metainfo/org.invexa.admin.metainfo.xml" >&2 ||
  fail "AppStream metadata"
for page in invexa invexa-admin; do
  out=$(MANWIDTH=80 man -l "$root/share/man/man1/$page.1.gz" 2>&1 >/dev/null | grep -v '^$' || true)
  [ -z "$out" ] || fail "man page $page: $out"
  MANWIDTH=80 man -l "$root/share/man/man1/$page.1.gz" 2>/dev/null | grep -q "$version" || fail "man page $page: no $version"
done
bash -n "$root/share/bash-completion/completions/invexa" || fail "bash completion"
# The programs answer --version with the one version, without a display.
[ "$("$root/bin/invexa" --version)" = "invexa $version" ] || fail "invexa --version"
[ "$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$root/bin/invexa-admin" --version)" = "invexa-admin $version" ] ||
  fail "invexa-admin --version"
exit $failed
