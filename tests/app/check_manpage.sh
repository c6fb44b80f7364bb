#!/bin/sh
# The manual page made from torvel --help: man and groff read it without a
# warning, it has the sections a user looks for, and every option that
# --help lists is described in its OPTIONS section.
# usage: check_manpage.sh TORVEL_BINARY PAGE
set -eu
torvel=$1
page=$2
fail() {
    echo "$page: $*" >&2
    exit 1
}
[ -s "$page" ] || fail "missing or empty"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) ||
    fail "man failed: $warnings"
[ -z "$warnings" ] || fail "man warns: $warnings"
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed: $warnings"
[ -z "$warnings" ] || fail "groff warns: $warnings"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS ENVIRONMENT FILES "EXIT STATUS" EXAMPLES; do
    grep -q "^\.SH \"\{0,1\}$section\"\{0,1\}\$" "$page" || fail "no section $section"
done
options=$(sed -n '/^\.SH OPTIONS/,/^\.SH/p' "$page")
count=0
for option in $("$torvel" --help | sed -n 's/^  *\(-[a-z], \)\{0,1\}\(--[a-z-]*\).*/\2/p'); do
    roff=$(printf '%s' "$option" | sed 's/-/\\-/g')
    printf '%s\n' "$options" | grep -qF -- "$roff" || fail "option $option of --help is not in OPTIONS"
    count=$((count + 1))
done
[ "$count" -ge 5 ] || fail "only $count options found in torvel --help"
echo "$page: $count options, no warnings"
