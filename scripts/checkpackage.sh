#!/usr/bin/env bash
# checkpackage.sh tessaly92_VERSION_ARCH.deb: unpacks the package into a scratch root and
# checks that it holds exactly the files an installed tessaly92 needs, where they belong,
# that its programs run from there and say the package's version, that they are built
# hardened, and that its dependencies and its udev step are there.
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
usr/share/doc/tessaly92/README.md.gz
usr/share/doc/tessaly92/changelog.gz
usr/share/doc/tessaly92/copyright
usr/share/icons/hicolor/scalable/apps/tessaly92.svg
usr/share/lintian/overrides/tessaly92
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
# Hardened as Debian builds: position independent, relocations read-only once loaded
# (RELRO with BIND_NOW), the stack protector in, and libc's checked functions used where
# the fortified headers could check (a program that calls only unchecked ones was not).
# wputfargo is a script.
for p in tessaly92 tessaly92-cli tessaly92-vcalc; do
    bin=$root/usr/bin/$p
    headers=$(LC_ALL=C readelf -W -h -l -d "$bin")
    symbols=$(LC_ALL=C readelf -W --dyn-syms "$bin" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }')
    grep -q 'Type: *DYN' <<<"$headers" || { echo "checkpackage: usr/bin/$p is not position independent"; fails=1; }
    grep -q 'GNU_RELRO' <<<"$headers" || { echo "checkpackage: usr/bin/$p has no RELRO"; fails=1; }
    grep -Eq 'BIND_NOW|FLAGS_1.* NOW' <<<"$headers" || { echo "checkpackage: usr/bin/$p is not linked with BIND_NOW"; fails=1; }
    grep -qx '__stack_chk_fail' <<<"$symbols" || { echo "checkpackage: usr/bin/$p has no stack protector"; fails=1; }
    if ! grep -Eqx '__[a-z_]+_chk' <<<"$symbols" &&
       grep -Eqx '(mem(cpy|move|set)|str(n?cpy|n?cat)|v?s?n?printf|read|fgets|realpath)' <<<"$symbols"; then
        echo "checkpackage: usr/bin/$p calls libc's unchecked functions only: not built with _FORTIFY_SOURCE"; fails=1
    fi
done
# Run as root (as the direct port needs), a program writes nothing beside itself: the
# unpacked programs' folder is writable as /usr/bin is to root. A FARGO install whose
# inserter fails keeps the fetched backup, which must land in the home folder.
mkdir -p "$root/scratch/home" "$root/scratch/fargo"
printf '#!/bin/sh\n[ "$1" = --check ]\n' >"$root/scratch/inserter"
chmod +x "$root/scratch/inserter"
touch "$root/scratch/start"
env -i PATH=/usr/bin:/bin HOME="$root/scratch/home" timeout 60 "$root/usr/bin/tessaly92-cli" --link virtual \
    install-fargo --fargo-dir "$root/scratch/fargo" --inserter "$root/scratch/inserter" >/dev/null 2>&1 || true
written=$(cd "$root" && find usr -newer scratch/start)
[ -z "$written" ] || { echo "checkpackage: tessaly92-cli wrote into the package's folders: $written"; fails=1; }
[ -f "$root/scratch/home/.local/share/tessaly92/backup.~92" ] ||
    { echo "checkpackage: tessaly92-cli install-fargo kept no backup in ~/.local/share/tessaly92"; fails=1; }
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
