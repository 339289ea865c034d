#!/bin/sh
# help2roff.sh PROGRAM SUMMARY DATE OUTPUT [EXTRA]
# Writes the section 1 manual page of PROGRAM to OUTPUT from what `PROGRAM --help` and
# `PROGRAM --version` print, so the page always says what the program says. SUMMARY is the
# NAME line, DATE the page date, EXTRA a file of roff appended at the end (FILES, SEE ALSO).
#
# The help text is read like this: "Usage: ..." or "Aufruf:" opens the synopsis (a German help
# gives German headings), plain text after it is the description, a line ending in ":" opens a
# section ("Admin commands (CALL):" puts CALL under its heading), "  TERM  text" is an item
# whose deeper-indented lines continue it.
set -eu
[ $# -ge 4 ] || { echo "usage: help2roff.sh PROGRAM SUMMARY DATE OUTPUT [EXTRA]" >&2; exit 2; }
program=$1
summary=$2
date=$3
output=$4
extra=${5:-}
name=$(basename "$program")

help=$("$program" --help)
version=$("$program" --version)
[ -n "$help" ] || { echo "help2roff.sh: $program --help printed nothing" >&2; exit 1; }

printf '%s\n' "$help" | awk -v path="$program" -v name="$name" -v summary="$summary" \
    -v date="$date" -v version="$version" '
function esc(s) {
    gsub(/\\/, "\\e", s)
    gsub(/-/, "\\-", s)
    return s
}
function text(s) {
    # A line starting with a dot or an apostrophe would be read as a request.
    if (s ~ /^[.\047]/) s = "\\&" s
    print s
}
function fill() { if (nofill) { print ".fi"; nofill = 0 } }
function verbatim() { if (!nofill) { print ".nf"; nofill = 1 } }
function heading(title) {
    fill()
    print ".SH \"" title "\""
    inItem = 0; paragraphOpen = 0
}
function paragraph() {
    if (!paragraphOpen) { fill(); if (started) print ".PP"; paragraphOpen = 1 }
    started = 1
}
function sectionTitle(t) {
    if (t == "Options") return german ? "OPTIONEN" : "OPTIONS"
    if (t == "Arguments") return german ? "ARGUMENTE" : "ARGUMENTS"
    return toupper(t)
}
BEGIN {
    upper = toupper(name); gsub(/-/, "\\-", upper)
    print ".\\\" Generated from the output of " name " --help by packaging/help2roff.sh."
    print ".TH " upper " 1 \"" date "\" \"" esc(version) "\" \"" "LORVEX Monitor" "\""
}
{
    sub(/\r$/, "")
    while ((i = index($0, path)) > 0) $0 = substr($0, 1, i - 1) name substr($0, i + length(path))
}
NR == 1 {
    german = ($0 ~ /^Aufruf:/)
    print ".SH " (german ? "BEZEICHNUNG" : "NAME")
    print esc(name) " \\- " esc(summary)
    # Option names must not be broken at their hyphens.
    print ".nh"
    if ($0 !~ /^(Usage|Aufruf):/) { heading(german ? "BESCHREIBUNG" : "DESCRIPTION"); started = 1 }
}
/^(Usage|Aufruf):/ {
    heading(german ? "\\(:UBERSICHT" : "SYNOPSIS")
    verbatim()
    rest = $0; sub(/^[^:]*: */, "", rest)
    if (rest != "") text(esc(rest))
    state = "synopsis"; next
}
/^$/ {
    fill(); inItem = 0; paragraphOpen = 0
    if (state == "synopsis") state = "afterSynopsis"
    next
}
state == "synopsis" && /^ / { sub(/^  /, ""); text(esc($0)); next }
/^[^ ].*:$/ {
    title = substr($0, 1, length($0) - 1); call = ""
    if ((i = index(title, " (")) > 0 && title ~ /\)$/) {
        call = substr(title, i + 2, length(title) - i - 2); title = substr(title, 1, i - 1)
    }
    heading(sectionTitle(title)); started = 1
    if (call != "") { verbatim(); text(esc(call)); fill(); paragraphOpen = 0 }
    state = "section"; next
}
/^[^ ]/ {
    if (state == "synopsis" || state == "afterSynopsis") {
        heading(german ? "BESCHREIBUNG" : "DESCRIPTION"); started = 1; state = "section"
        paragraphOpen = 1
    }
    if (inItem) { inItem = 0; paragraphOpen = 0 }
    paragraph(); text(esc($0)); next
}
/^   / && inItem { sub(/^ +/, ""); text(esc($0)); next }
{
    line = $0; sub(/^ +/, "", line)
    term = line; rest = ""
    if ((i = match(line, /  +/)) > 0) {
        term = substr(line, 1, i - 1); rest = substr(line, i + RLENGTH)
    }
    fill(); print ".TP"; print "\\fB" esc(term) "\\fR"
    if (rest != "") text(esc(rest))
    inItem = 1; paragraphOpen = 0; started = 1
}
END { fill() }
' >"$output"

if [ -n "$extra" ]; then
    cat "$extra" >>"$output"
fi
