#!/usr/bin/env bash
# checkpackage.sh tessaly92_VERSION_ARCH.deb: unpacks the package into a scratch root and
# checks that it holds exactly the files an installed tessaly92 needs, where they belong,
# that its programs run from there and say the package's version, and that its
# dependencies and its udev step are there.
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
expected="usr/bin/tessaly92
usr/bin/tessaly92-cli
usr/bin/tessaly92-vcalc
usr/bin/wputfargo
usr/lib/udev/rules.d/69-tessaly92-silver.rules
usr/share/applications/tessaly92.desktop
usr/share/bash-completion/completions/tessaly92-cli
usr/share/doc/tessaly92/changelog.gz
usr/share/doc/tessaly92/copyright
usr/share/icons/hicolor/scalable/apps/tessaly92.svg
usr/share/man/man1/tessaly92-cli.1.gz
usr/share/man/man1/tessaly92-vcalc.1.gz
usr/share/man/man1/tessaly92.1.gz
usr/share/metainfo/org.tessaly92.Tessaly92.metainfo.xml
usr/share/mime/packages/tessaly92.xml"
found=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
fails=0
if [ "$found" != "$expected" ]; then
    echo "checkpackage: the package's files differ from what belongs in it (< missing, > not expected):"
    diff <(echo "$expected") <(echo "$found") | grep '^[<>]' || true
    fails=1
fi
version=$(dpkg-deb -f "$deb" Version)
for p in tessaly92 tessaly92-cli tessaly92-vcalc wputfargo; do
    [ -x "$root/usr/bin/$p" ] || { echo "checkpackage: usr/bin/$p is not executable"; fails=1; }
done
for p in tessaly92-cli tessaly92-vcalc; do
    out=$("$root/usr/bin/$p" --version) || true
    [ "$out" = "$p $version" ] || { echo "checkpackage: $p --version says '$out', the package $version"; fails=1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libusb-1.0-0 libpng16-16 libc6; do
    grep -q "$lib" <<<"$depends" || { echo "checkpackage: Depends lacks $lib: $depends"; fails=1; }
done
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
for f in postinst md5sums; do
    grep -q "$f\$" <<<"$control" || { echo "checkpackage: no $f in the control area"; fails=1; }
done
[ "$fails" -eq 0 ] && echo "checkpackage: $(basename "$deb"): every file in place"
exit "$fails"
