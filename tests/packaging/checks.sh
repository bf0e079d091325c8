#!/usr/bin/env bash
# What a user meets of an installed tessaly92 besides the windows and transfers, checked on
# the build: checks.sh versions|pages|completion|appstream BUILD-DIR SOURCE-DIR VERSION.
# Exit 77 (skipped) when the tool a check needs is not installed.
set -uo pipefail
what=$1 build=$2 source=$3 version=$4
cli=$build/src/tessaly92-cli
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }
need() { command -v "$1" >/dev/null || { echo "$1 not installed"; exit 77; }; }
# The commands the program's help lists, one a line.
commands() { "$cli" --help | awk 'tolower($0) ~ /^commands:/ { on = 1; next } on && /^[^ ]/ { on = 0 } on && /^  [^ ]/ { print $1 }'; }

case $what in
versions)  # every program answers --version with the one version, without a display
    for p in tessaly92 tessaly92-cli tessaly92-vcalc wputfargo; do
        [ -x "$build/src/$p" ] || continue
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/src/$p" --version) || fail "$p --version failed"
        [ "$out" = "$p $version" ] || fail "$p --version said '$out'"
        env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/src/$p" --help | grep -- --version >/dev/null ||
            fail "$p --help does not offer --version"
    done ;;
pages)  # the pages render without a warning, carry the version and follow the programs' help
    need help2man; need man
    for page in "$build"/share/man/*.1.gz; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "$page: $warnings"
        zcat "$page" | grep "tessaly92 $version" >/dev/null || fail "$page does not name version $version"
    done
    text=$(MANWIDTH=200 man -l "$build/share/man/tessaly92-cli.1.gz" 2>/dev/null)
    for c in $(commands) --link --trace --no-pacing TESSALY92_LINK "EXIT STATUS" EXAMPLES; do
        grep -q -- "$c" <<<"$text" || fail "tessaly92-cli(1) lacks $c"
    done
    synopsis=$(awk '/^SYNOPSIS/ { on = 1; next } /^[A-Z]/ { on = 0 } on' <<<"$text")
    for o in --model --any-model $("$cli" --help | awk 'NR == 1' | grep -oE 'ti[0-9a-z]+|v200'); do
        grep -q -- "$o" <<<"$synopsis" || fail "tessaly92-cli(1)'s synopsis lacks $o"
    done
    vtext=$(MANWIDTH=200 man -l "$build/share/man/tessaly92-vcalc.1.gz" 2>/dev/null)
    for o in $("$build/src/tessaly92-vcalc" --help | grep -oE '^  --[a-z-]+'); do
        grep -q -- "$o" <<<"$vtext" || fail "tessaly92-vcalc(1) lacks $o"
    done ;;
completion)  # Tab offers what the program takes, read from its help
    [ -r /usr/share/bash-completion/bash_completion ] || { echo "bash-completion not installed"; exit 77; }
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    cd "$scratch" && touch a.92b b.92p notes.txt shot.PNG shot.bmp && mkdir sub
    tab() { bash -c 'source /usr/share/bash-completion/bash_completion; source "$0"
                     COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
                     _tessaly92_cli "$1"; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
                  "$source/share/completion/tessaly92-cli" "$cli" "$@"; }
    expect() { local want=$1; shift; local got; got=$(tab "$@"); [ "$got" = "$want" ] || fail "$* <Tab>: '$got', not '$want'"; }
    offered=$(tab "")
    [ "$offered" = "$(commands | sort | tr '\n' ' ')" ] || fail "commands offered: $offered"
    for c in $offered; do  # each one is a command the program knows
        "$cli" --link socket:/nonexistent "$c" </dev/null 2>&1 | grep "unknown command" >/dev/null && fail "offers unknown $c"
    done
    expect "send " se
    expect "--calc-sends --comment --from-calc --model --no-store-folder -o " get -
    expect "a.92b sub " restore ""
    expect "shot.PNG shot.bmp sub " screenshot -o ""
    expect "1 2 " screenshot --calc-streams ""
    expect "--any-model --help --link --model --no-pacing --trace --version " -
    expect "ti89 ti89t ti92 ti92p v200 " --model ""
    expect "ti92 ti92p " --model=ti9
    expect "lock ls " --model ti89 l
    expect "black: direct: grey: ppdev: silver silver: socket: virtual virtual: " --link ""
    expect "sub " --link virtual ls ""
    expect "F1 F2 F3 F4 F5 F6 F7 F8 " --link virtual key F ;;
appstream)  # software centres accept the metadata
    need appstreamcli
    appstreamcli validate --no-net "$build/share/org.tessaly92.Tessaly92.metainfo.xml" || fail "appstreamcli validate"
    grep -q "version=\"$version\"" "$build/share/org.tessaly92.Tessaly92.metainfo.xml" || fail "no release $version" ;;
esac
[ "$fails" -eq 0 ] && echo "$what: all checks passed"
[ "$fails" -eq 0 ]
