#!/usr/bin/env bash
# scripts/package.sh makes a Debian package that lintian finds no error in, with the control
# fields, the files and the modes it should have; the program and the manual page taken out of
# it with `dpkg -x` run and render. Nothing is installed into the machine. Fails on the first
# problem.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(ondelis VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in the project() line of CMakeLists.txt"
deb=$(scripts/package.sh | tail -n 1)
[ -f "$deb" ] || fail "scripts/package.sh did not name a package: '$deb'"
[ "$(basename "$deb")" = "ondelis_${version}_$(dpkg --print-architecture).deb" ] ||
  fail "unexpected file name $deb"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = ondelis ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is wrong"
[ "$(field Section)" = sound ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[a-z0-9.-]+\.[a-z]+\>$ ]] ||
  fail "Maintainer is '$(field Maintainer)'"
[ "$(field Description | wc -l)" -ge 3 ] || fail "no summary and longer description"
depends=$(field Depends)
[[ "$depends" =~ (^|, )libasound2\  ]] || fail "Depends does not name libasound2: $depends"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch"
program=$scratch/usr/bin/ondelis

# Every package in Depends ships a library that the program needs.
needed=$(readelf -dW "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
ships_needed() {
  dpkg -L "$1" 2>/dev/null |
    awk -F/ 'NR == FNR { want[$0]; next } $NF in want { found = 1 } END { exit !found }' <(echo "$needed") -
}
read -ra depended <<<"$(sed 's/ ([^)]*)//g; s/,/ /g' <<<"$depends")"
for package in "${depended[@]}"; do
  ships_needed "$package" || fail "Depends names $package, which ships no library the program needs"
done

expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/ondelis
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/ondelis/
-rw-r--r-- root/root ./usr/share/doc/ondelis/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/ondelis/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/ondelis.1.gz"
listed=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
[ "$listed" = "$expected" ] || fail "unexpected contents:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"

status=0
report=$(lintian --display-info "$deb" 2>&1 </dev/null) || status=$?
grep -v '^running with root privileges' <<<"$report" || true
! grep -q '^E: ' <<<"$report" || fail "lintian reports errors"
[ "$status" -eq 0 ] || fail "lintian failed (status $status)"

sections=$(readelf -SW "$program")
! grep -qE '\.(symtab|debug_[a-z]+|comment) ' <<<"$sections" || fail "usr/bin/ondelis is not stripped"
[ "$(timeout 10 "$program" --version </dev/null)" = "Ondelis $version" ] ||
  fail "the packaged program does not print 'Ondelis $version'"

# gzip -9n: no file name and no time in the header, the best compression flag.
gzip_header() { od -An -tx1 -j3 -N6 "$1" | tr -d ' \n'; }
page=$scratch/usr/share/man/man1/ondelis.1.gz
changelog=$scratch/usr/share/doc/ondelis/changelog.gz
for file in "$page" "$changelog"; do
  [ "$(gzip_header "$file")" = 000000000002 ] || fail "${file#"$scratch"} is not compressed with gzip -9n"
done
zcat "$page" | cmp -s - docs/ondelis.1 || fail "the packaged manual page differs from docs/ondelis.1"
rendered=$(MANWIDTH=80 timeout 30 man -l "$page" 2>&1 </dev/null) || fail "man -l failed: $rendered"
grep -q "ondelis" <<<"$rendered" || fail "man -l renders no page naming ondelis"

[ "$(zcat "$changelog" | head -n 1)" = "ondelis ($version) unstable; urgency=medium" ] ||
  fail "the changelog does not begin with version $version"
zcat "$changelog" | grep -qE '^ -- [^<]+ <[^@>]+@example\.org>  [A-Z][a-z]{2}, [0-9]{2} ' ||
  fail "the changelog has no trailer line with an example.org address"
copyright=$scratch/usr/share/doc/ondelis/copyright
[ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "the copyright file is not in the machine-readable format"
# The licence paragraph holds the text of LICENSE below its copyright line.
awk 'found { sub(/^ /, ""); sub(/^\.$/, ""); print } /^License: Expat$/ && previous == "" { found = 1 }
     { previous = $0 }' "$copyright" | cmp -s - <(tail -n +5 LICENSE) ||
  fail "the copyright file does not carry the licence text of LICENSE"
echo "package: $(basename "$deb") has the fields, files and modes it should, and no lintian error"
