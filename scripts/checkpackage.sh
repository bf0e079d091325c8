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
usr/lib/udev/rules.d/69-tessaly92-silver.rules
usr/libexec/tessaly92/wputfargo
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
usr/share/man/man1/wputfargo.1.gz
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
for p in bin/tessaly92 bin/tessaly92-cli bin/tessaly92-vcalc libexec/tessaly92/wputfargo; do
    [ -x "$root/usr/$p" ] || { echo "checkpackage: usr/$p is not executable"; fails=1; }
done
for p in bin/tessaly92-cli bin/tessaly92-vcalc libexec/tessaly92/wputfargo; do
    out=$("$root/usr/$p" --version) || true
    [ "$out" = "$(basename "$p") $version" ] || { echo "checkpackage: $p --version says '$out', the package $version"; fails=1; }
done
homepage=$(dpkg-deb -f "$deb" Homepage)
[ -n "$homepage" ] || { echo "checkpackage: no Homepage field"; fails=1; }
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
# unpacked programs' folder is writable as /usr/bin is to root. The window runs a few
# seconds on the virtual calculator; a FARGO install whose inserter fails keeps the fetched
# backup, which must land in the home folder. Without --inserter, the programs find the
# package's wputfargo in usr/libexec/tessaly92, which says FARGO's own inserter is missing.
mkdir -p "$root/scratch/home" "$root/scratch/fargo"
printf '#!/bin/sh\n[ "$1" = --check ]\n' >"$root/scratch/inserter"
chmod +x "$root/scratch/inserter"
touch "$root/scratch/start"
home=(env -i PATH=/usr/bin:/bin HOME="$root/scratch/home")
rc=0
"${home[@]}" QT_QPA_PLATFORM=offscreen TESSALY92_LINK=virtual timeout 5 "$root/usr/bin/tessaly92" >/dev/null 2>&1 || rc=$?
[ "$rc" -eq 124 ] || { echo "checkpackage: the unpacked window ended by itself ($rc) instead of running"; fails=1; }
"${home[@]}" timeout 60 "$root/usr/bin/tessaly92-cli" --link virtual \
    install-fargo --fargo-dir "$root/scratch/fargo" --inserter "$root/scratch/inserter" >/dev/null 2>&1 || true
said=$("${home[@]}" timeout 60 "$root/usr/bin/tessaly92-cli" --link virtual install-fargo --fargo-dir "$root/scratch/fargo" 2>&1) || true
grep -q "FARGO's own inserter is not installed" <<<"$said" ||
    { echo "checkpackage: tessaly92-cli did not find the package's wputfargo: $said"; fails=1; }
written=$(cd "$root" && find usr -newer scratch/start)
[ -z "$written" ] || { echo "checkpackage: the programs wrote into the package's folders: $written"; fails=1; }
[ -f "$root/scratch/home/.local/share/tessaly92/backup.~92" ] ||
    { echo "checkpackage: tessaly92-cli install-fargo kept no backup in ~/.local/share/tessaly92"; fails=1; }
# The package installed as root in a throw-away root (the machine's own, below an overlay
# that keeps every write), the window run there as root for a few seconds and FARGO's
# install after it, then the package purged: the programs write nothing outside the home
# folder, and the purge leaves nothing of tessaly92 but the user's own settings and store.
# Needs root and mount namespaces; elsewhere the unpacked checks above stand for it.
throwawayroot() { # DEB FOLDER; in a mount namespace of its own
    local deb=$1 top=$2 written left
    local upper=$top/upper new=$top/root
    mkdir -p "$upper" "$top/work" "$new"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$upper,workdir=$top/work" "$new" 2>/dev/null || return 77
    for m in proc sys dev; do mount --rbind "/$m" "$new/$m"; done
    mkdir -p "$new/tmp/fargo"
    cp "$deb" "$new/tmp/package.deb"
    printf '#!/bin/sh\n[ "$1" = --check ]\n' >"$new/tmp/inserter"
    chmod +x "$new/tmp/inserter"
    chrooted() { chroot "$new" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }
    chrooted dpkg -i /tmp/package.deb >/dev/null || { echo "checkpackage: dpkg -i failed in the throw-away root"; return 1; }
    touch "$top/installed"
    local rc=0  # the window still runs when it is stopped
    chrooted QT_QPA_PLATFORM=offscreen TESSALY92_LINK=virtual timeout 5 tessaly92 >/dev/null 2>&1 || rc=$?
    [ "$rc" -eq 124 ] || { echo "checkpackage: the window ended by itself ($rc) in the throw-away root"; return 1; }
    chrooted tessaly92-cli --link virtual install-fargo --fargo-dir /tmp/fargo --inserter /tmp/inserter >/dev/null 2>&1
    written=$(cd "$upper" && find . ! -type d -newer "$top/installed" ! -path './root/*' | sed 's|^\.||')
    [ -z "$written" ] || { echo "checkpackage: run as root, the programs wrote outside the home folder:" $written; return 1; }
    [ -f "$upper/root/.local/share/tessaly92/backup.~92" ] ||
        { echo "checkpackage: run as root, install-fargo kept no backup in ~/.local/share/tessaly92"; return 1; }
    chrooted dpkg --purge tessaly92 >/dev/null || { echo "checkpackage: dpkg --purge failed in the throw-away root"; return 1; }
    left=$(cd "$upper" && find . -name '*tessaly*' ! -type c ! -path './root/*' | sed 's|^\.||')  # c: removed
    [ -z "$left" ] || { echo "checkpackage: after the purge, left outside the home folder:" $left; return 1; }
    return 0
}
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    rc=0
    unshare --mount --propagation private bash -c "$(declare -f throwawayroot); throwawayroot \"\$@\"" \
        throwawayroot "$deb" "$root/throwaway" || rc=$?
    case $rc in
    0) ;;
    77) echo "checkpackage: no overlay mount here: the throw-away root check is skipped" ;;
    *) fails=1 ;;
    esac
else
    echo "checkpackage: not root (or no mount namespaces): the throw-away root check is skipped"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libusb-1.0-0 libpng16-16 libc6; do
    grep -q "$lib" <<<"$depends" || { echo "checkpackage: Depends lacks $lib: $depends"; fails=1; }
done
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
for f in postinst md5sums; do
    grep -q "$f\$" <<<"$control" || { echo "checkpackage: no $f in the control area"; fails=1; }
done
# Debian's own checker, as strict as it goes: no error, no warning, no hardening tag. Its
# informational tags are shown, not counted (one of them names overrides that went unused).
if command -v lintian >/dev/null; then
    tags=$(lintian -EIL +pedantic "$deb" 2>/dev/null) || true
    [ -z "$tags" ] || echo "$tags"
    if grep -Eq '^[EW]: |hardening' <<<"$tags"; then echo "checkpackage: lintian finds fault with the package"; fails=1; fi
else
    echo "checkpackage: lintian is not installed: the package is not checked with it"
fi
[ "$fails" -eq 0 ] && echo "checkpackage: $(basename "$deb"): every file in place"
exit "$fails"
