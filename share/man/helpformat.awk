# Lays out a program's --help for help2man, which reads options indented by two spaces, a
# description on the tag's line or indented by at least 20 on the next, "Usage:" and "or:"
# synopsis lines and "*Name*" section headings. The programs' own help is written for people
# at a terminal; this keeps their text and only moves it, so the pages follow the help.
#
#   usage: PROG ...  + lines starting with PROG   -> Usage: / or:
#   NAME: text + indented lines (LINK: ...)        -> NAME as a tag, the text under it
#   --option ... at the left margin                 -> an option under OPTIONS
#   heading: alone at the left margin               -> a section of its own
#   "  word args" + lines indented by six           -> a command: usage as the tag, the rest
#                                                      its description ("word ..." lines
#                                                      among them: another usage)
#   exit codes: text                                -> EXIT STATUS
function flushentry() {
    if (tag == "") return
    print "  " tag
    for (i = 1; i <= n; i++) print "                        " body[i]
    tag = ""; n = 0
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
                                        body[++n] = line; mode = "tagged"; next }
    if (mode == "tagged" && line ~ /^ +[^ ]/) { body[++n] = trim(line); next }
    if (line ~ /^-/ || (line ~ /^  -/ && mode != "entries")) {
        flushentry()
        if (!options) { print "Options:"; options = 1 }
        if (mode != "option") shift = (line ~ /^-/ ? "  " : "")
        mode = "option"
    }
    if (mode == "option" && line ~ /^ *[^ ]/ && line !~ /^  [^ -]/) { print shift line; next }
    if (mode == "entries" && line ~ /^  [^ ]/) {
        flushentry()
        tag = trim(line); word = tag; sub(/ .*/, "", word); next
    }
    if (mode == "entries" && tag != "" && line ~ /^      [^ ]/) {
        t = trim(line)
        if (n == 0 && usageline(t, word)) t = "Also: " t "."
        body[++n] = t
        next
    }
    flushentry()
    if (line == "") mode = (mode == "entries" ? "entries" : "")
    print line
}
END { flushentry() }
