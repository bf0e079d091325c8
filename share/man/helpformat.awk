# Lays out a program's --help for help2man, which reads options indented by two spaces, a
# description on the tag's line or indented by at least 20 on the next, "Usage:" and "or:"
# synopsis lines and "*Name*" section headings. The programs' own help is written for people
# at a terminal; this keeps their text and only moves it, so the pages follow the help.
#
#   usage: PROG ...  + lines starting with PROG   -> Usage: / or:
#   NAME: text + indented lines (LINK: ...)        -> NAME as a tag, the text under it; right
#                                                      after the usage, in a section NAMES
#   --option ... at the left margin                 -> an option under OPTIONS
#   heading: alone at the left margin               -> a section of its own
#   "  word args" + lines indented by six           -> a command: usage as the tag, the rest
#                                                      its description ("word ..." lines
#                                                      among them: another usage)
#   exit codes: text                                -> EXIT STATUS
# An entry's text in paragraphs, each on one line (help2man would take the first line of a
# later paragraph for a tag): a new one where a sentence ends and the next line starts with
# an option. A further usage of the command ("get --from-calc ...") is a paragraph of its
# own, before the paragraph that starts with its option.
function flushentry(    p, k, m, para, first, w) {
    if (tag == "") return
    print "  " tag
    m = 0
    for (k = 1; k <= n; k++) {
        if (m == 0 || (body[k] ~ /^--/ && para[m] ~ /\.$/)) para[++m] = body[k]
        else para[m] = para[m] " " body[k]
    }
    for (p = 1; p <= m; p++) {
        if (p > 1) {
            first = para[p]; sub(/ .*/, "", first)
            for (k = 1; k <= nalso; k++) {
                split(also[k], w, / +/)
                if (w[2] == first) { print ""; print "                        " also[k]; also[k] = "" }
            }
            print ""
        }
        print "                        " para[p]
    }
    for (k = 1; k <= nalso; k++) if (also[k] != "") { print ""; print "                        " also[k] }
    tag = ""; n = 0; nalso = 0
}
# "get --from-calc -o FILE [--comment TEXT]": the word, then only options and placeholders.
function usageline(s, w,    k, m, parts) {
    m = split(s, parts, / +/)
    if (parts[1] != w) return 0
    for (k = 2; k <= m; k++) if (parts[k] !~ /^(\[|-|[A-Z])/) return 0
    return 1
}
function trim(s) { sub(/^ +/, "", s); sub(/ +$/, "", s); return s }
BEGIN { options = 0; mode = ""; prevblank = 1 }
{
    line = $0
    wasblank = prevblank; prevblank = (line == "")
    if (mode == "usage" && line ~ /^ +/ && trim(line) ~ ("^" prog "( |$)")) { print "  or:  " trim(line); next }
    if (line ~ /^[Uu]sage: /) { flushentry(); sub(/^[Uu]sage: /, "", line); prog = line; sub(/ .*/, "", prog);
                             print "Usage: " line; mode = "usage"; next }
    if (line ~ /^[Ee]xit codes?: /) { flushentry(); sub(/^[^:]*: */, "", line); print ""; print "*Exit status*";
                                      print line; mode = ""; next }
    if (line ~ /^(Usage|Options|Environment|Files|Examples):$/) { flushentry(); if (line == "Options:") options = 1
                                                                   print; mode = ""; next }
    if (line ~ /^[A-Za-z][^:]*:$/ && wasblank) { flushentry(); sub(/:$/, "", line); print "*" line "*"; mode = "entries"; next }
    if (line ~ /^[A-Z][A-Z0-9_-]*: /) { flushentry(); tag = line; sub(/:.*/, "", tag); sub(/^[^:]*: */, "", line)
                                        if (!options) print "*" tag "S*"
                                        body[++n] = line; mode = "tagged"; next }
    if (mode == "tagged" && line ~ /^ +[^ ]/) { body[++n] = trim(line); next }
    if (line ~ /^-/ || (line ~ /^  -/ && mode != "entries")) {
        flushentry()
        if (!options) { print "Options:"; options = 1 }
        mode = "option"
    }
    # An option as a tag, its text under it: help2man needs two spaces before the text on the
    # tag's line, which "--model MODEL the calculator" lacks.
    if (mode == "option" && line ~ /^ *-/ && line !~ /^  [^ -]/) {
        t = trim(line); text = ""
        if (match(t, /  +/) || match(t, /^--[a-z-]+ [A-Z]+ /)) {
            text = substr(t, RSTART + RLENGTH); t = trim(substr(t, 1, RSTART + RLENGTH - 1))
        }
        print "  " t
        if (text != "") print "                        " text
        next
    }
    if (mode == "option" && line ~ /^ +[^ ]/) { print "                        " trim(line); next }
    if (mode == "entries" && line ~ /^  [^ ]/) {
        flushentry()
        tag = trim(line); word = tag; sub(/ .*/, "", word); next
    }
    if (mode == "entries" && tag != "" && line ~ /^      [^ ]/) {
        t = trim(line)
        if (n == 0 && usageline(t, word)) also[++nalso] = t
        else body[++n] = t
        next
    }
    flushentry()
    if (line == "") mode = (mode == "entries" ? "entries" : "")
    print line
}
END { flushentry() }
