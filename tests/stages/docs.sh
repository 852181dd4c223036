#!/usr/bin/env bash
# The man page, as build-test (built by scripts/test.sh before the stages run) makes it from
# docs/ondelis.1.in, names the project's version, renders without warnings and names every
# menu command and string preset, and `cmake --install` of build-test puts the program, the
# man page and the bash completion in place. Fails on the first problem.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build-test
page=$build/ondelis.1

fail() {
  echo "docs: $*" >&2
  exit 1
}

[ -f "$page" ] || fail "$page is missing: build $build first (scripts/test.sh does)"
version=$(sed -n 's/^project(ondelis VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
[[ "$(head -n 1 "$page")" =~ ^\.TH\ ONDELIS\ 1\ [0-9-]+\ \"Ondelis\ $version\"\  ]] ||
  fail "the .TH line of $page does not name Ondelis $version: $(head -n 1 "$page")"

# Both checks print warnings on stderr and nothing else there.
warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page: $warnings"
[ -z "$warnings" ] || fail "groff -man -ww warns about $page:"$'\n'"$warnings"
warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null) || fail "man -l failed: $warnings"
[ -z "$warnings" ] || fail "man --warnings warns about $page:"$'\n'"$warnings"

for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" EXAMPLES FILES "SEE ALSO"; do
  grep -qx "\.SH \"\?$section\"\?" "$page" || fail "$page has no $section section"
done
synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH DESCRIPTION/p' "$page")
listen=$(grep -A2 -x '\.B \\-\\-listen' <<<"$synopsis" || true)
grep -qx '\.RI \[ device' <<<"$listen" ||
  fail "the SYNOPSIS of $page does not name --listen [device [seconds]]"
# In EXAMPLES every example's text begins a paragraph of its own: .RE is followed by .PP or
# another section.
awk '/^\.SH EXAMPLES/ { on = 1 } /^\.SH FILES/ { on = 0 }
     on && after_re && !/^\.(PP|SH)/ { print FNR": "$0; bad = 1 }
     { after_re = on && /^\.RE$/ } END { exit bad }' "$page" >&2 ||
  fail "an example of $page follows .RE without .PP"
for command in a b c d e f g p o cn z l v s r exp h x; do
  grep -q "^\.B.* $command\b\|^\.B $command\$" "$page" || fail "$page does not describe the menu command '$command'"
done
presets="G1:329.63 G2:246.94 G3:196.00 G4:146.83 G5:110.00 G6:82.41 B1:98.00 B2:73.42 B3:55.00 B4:41.20"
for preset in $presets; do
  # Each output is taken whole before it is searched: grep -q stops reading at its first
  # match, and under pipefail the writer's SIGPIPE would fail the check.
  entry=$(grep -A1 -x "\.B ${preset%%:*}" "$page" || true)
  grep -q "${preset#*:} Hz" <<<"$entry" ||
    fail "$page does not give ${preset%%:*} as ${preset#*:} Hz"
done

[ -x "$build/ondelis" ] || fail "$build/ondelis is missing: build it first (scripts/test.sh does)"
prefix=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-install-XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install $build failed"
[ -x "$prefix/bin/ondelis" ] || fail "cmake --install did not install bin/ondelis"
[ -f "$prefix/share/man/man1/ondelis.1" ] || fail "cmake --install did not install share/man/man1/ondelis.1"
cmp -s "$page" "$prefix/share/man/man1/ondelis.1" || fail "the installed man page differs from $page"
cmp -s completion/ondelis.bash "$prefix/share/bash-completion/completions/ondelis" ||
  fail "cmake --install did not install share/bash-completion/completions/ondelis"
help=$("$prefix/bin/ondelis" --help) || fail "the installed ondelis fails --help"
grep -q '^Usage: ondelis' <<<"$help" || fail "the installed ondelis does not answer --help"
MANPATH="$prefix/share/man" man -w ondelis >/dev/null 2>&1 || fail "man does not find the installed page"
echo "docs: man page of Ondelis $version renders cleanly; install puts bin/ondelis," \
  "share/man/man1/ondelis.1 and share/bash-completion/completions/ondelis in place"
