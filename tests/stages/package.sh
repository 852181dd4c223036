#!/usr/bin/env bash
# scripts/package.sh makes Debian packages, for this machine and cross-built for armhf and
# arm64, that lintian finds no error in, with the control fields, the files and the modes they
# should have; the program and the manual page taken out of each with `dpkg -x` run and render,
# and each program plays the same samples as this machine's (the ARM ones under qemu, where
# binfmt_misc runs them; tests/stages/cross.sh sets that up). A second build of this machine's
# package from a copy of the sources at another path gives the same bytes. Nothing is
# installed into the machine. Fails on the first problem.
#
#   package.sh [--fast]   this machine's package alone
#   package.sh --full     also armhf and arm64, and the reproducibility rebuild
set -euo pipefail
cd "$(dirname "$0")/../.."
case "${1:---fast}" in
  --fast) full=false ;;
  --full) full=true ;;
  *)
    echo "usage: $0 [--fast|--full]" >&2
    exit 2
    ;;
esac

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(ondelis VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in the project() line of CMakeLists.txt"
native=$(dpkg --print-architecture)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-package-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
# The system's ALSA configuration without its hooks, which load the machine's own plugins
# (pulse, pipewire): an ARM program under qemu cannot load those and finds no device at all.
printf '</usr/share/alsa/alsa.conf>\n!@hooks [ ]\n' >"$scratch/alsa.conf"

# check_package ARCH: builds the package for ARCH and checks it; leaves it in $deb.
check_package() {
  local arch=$1
  deb=$(scripts/package.sh "$arch" | tail -n 1)
  [ -f "$deb" ] || fail "scripts/package.sh $arch did not name a package: '$deb'"
  [ "$(basename "$deb")" = "ondelis_${version}_$arch.deb" ] || fail "unexpected file name $deb"
  local unpacked=$scratch/$arch
  dpkg -x "$deb" "$unpacked"
  program=$unpacked/usr/bin/ondelis
  check_fields "$arch"
  check_files "$unpacked"
  check_lintian
  check_program "$arch"
  check_documents "$unpacked"
  echo "package: $(basename "$deb") has the fields, files and modes it should, and no lintian error"
}

field() { dpkg-deb -f "$deb" "$1"; }

check_fields() {
  local arch=$1 depends needed depended package
  [ "$(field Package)" = ondelis ] || fail "Package is '$(field Package)'"
  [ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
  [ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"
  [ "$(field Section)" = sound ] || fail "Section is '$(field Section)'"
  [[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[a-z0-9.-]+\.[a-z]+\>$ ]] ||
    fail "Maintainer is '$(field Maintainer)'"
  [ "$(field Description | wc -l)" -ge 3 ] || fail "no summary and longer description"
  depends=$(field Depends)
  [[ "$depends" =~ (^|, )libasound2\  ]] || fail "Depends does not name libasound2: $depends"
  [[ "$depends" =~ (^|, )libcairo2\  ]] || fail "Depends does not name libcairo2: $depends"

  # Every package in Depends ships a library that the program needs, in ARCH's build of it.
  needed=$(readelf -dW "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  read -ra depended <<<"$(sed 's/ ([^)]*)//g; s/,/ /g' <<<"$depends")"
  for package in "${depended[@]}"; do
    dpkg -L "$package:$arch" 2>/dev/null |
      awk -F/ 'NR == FNR { want[$0]; next } $NF in want { found = 1 } END { exit !found }' \
        <(echo "$needed") - ||
      fail "Depends names $package, which ships no library the program needs"
  done
}

check_files() {
  local unpacked=$1 expected listed
  expected="drwxr-xr-x root/root ./usr/
drwxr-xr-x root/root ./usr/bin/
-rwxr-xr-x root/root ./usr/bin/ondelis
drwxr-xr-x root/root ./usr/share/
drwxr-xr-x root/root ./usr/share/bash-completion/
drwxr-xr-x root/root ./usr/share/bash-completion/completions/
-rw-r--r-- root/root ./usr/share/bash-completion/completions/ondelis
drwxr-xr-x root/root ./usr/share/doc/
drwxr-xr-x root/root ./usr/share/doc/ondelis/
-rw-r--r-- root/root ./usr/share/doc/ondelis/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/ondelis/copyright
drwxr-xr-x root/root ./usr/share/man/
drwxr-xr-x root/root ./usr/share/man/man1/
-rw-r--r-- root/root ./usr/share/man/man1/ondelis.1.gz"
  listed=$(dpkg-deb -c "$deb" | awk '{print $1, $2, $6}')
  [ "$listed" = "$expected" ] || fail "unexpected contents:"$'\n'"$(diff <(echo "$expected") <(echo "$listed"))"
  cmp -s "$unpacked/usr/share/bash-completion/completions/ondelis" completion/ondelis.bash ||
    fail "the packaged bash completion differs from completion/ondelis.bash"
}

check_lintian() {
  local status=0 report
  report=$(lintian --display-info "$deb" 2>&1 </dev/null) || status=$?
  grep -v '^running with root privileges' <<<"$report" || true
  ! grep -q '^E: ' <<<"$report" || fail "lintian reports errors"
  [ "$status" -eq 0 ] || fail "lintian failed (status $status)"
}

# The program is stripped, prints its version and plays 0.5 s of A into ALSA's file device:
# 22050 stereo frames of 3-byte samples, the same bytes as this machine's program plays.
check_program() {
  local arch=$1 sections status=0 said
  sections=$(readelf -SW "$program")
  ! grep -qE '\.(symtab|debug_[a-z]+|comment) ' <<<"$sections" || fail "usr/bin/ondelis is not stripped"
  said=$(ALSA_CONFIG_PATH=$scratch/alsa.conf timeout 20 "$program" --version 2>&1 </dev/null) ||
    status=$?
  if [ "$arch" != "$native" ] && [ "$status" -eq 126 ]; then
    echo "package: the $arch program was not run: this machine does not run $arch programs" \
      "(binfmt_misc with qemu-user-static, as tests/stages/cross.sh sets it up): $said"
    return
  fi
  [ "$said" = "Ondelis $version" ] || fail "the packaged $arch program does not print 'Ondelis $version': $said"
  (cd "$scratch" && ALSA_CONFIG_PATH=$scratch/alsa.conf timeout 60 "$program" 440 0.5 \
    "file:FILE=$arch.raw" </dev/null >/dev/null) || fail "the packaged $arch program did not play"
  [ "$(stat -c %s "$scratch/$arch.raw")" -eq $((22050 * 6)) ] ||
    fail "the $arch program played $(stat -c %s "$scratch/$arch.raw") bytes, not $((22050 * 6))"
  [ "$arch" = "$native" ] || cmp "$scratch/$native.raw" "$scratch/$arch.raw" ||
    fail "the $arch program plays other samples than the $native one"
  # It reads its own low E back in tune: the libraries of --listen come with the Depends.
  local heard
  heard=$(timeout 60 "$program" -o - G6 1 2>/dev/null </dev/null | timeout 60 "$program" --listen - |
    tail -n 1)
  [[ "$heard" == *$'\t'E2$'\t'+0.00 ]] || fail "the packaged $arch program read its low E as '$heard'"
}

# gzip -9n: no file name and no time in the header, the best compression flag.
gzip_header() { od -An -tx1 -j3 -N6 "$1" | tr -d ' \n'; }

check_documents() {
  local unpacked=$1 page changelog copyright file rendered
  page=$unpacked/usr/share/man/man1/ondelis.1.gz
  changelog=$unpacked/usr/share/doc/ondelis/changelog.gz
  for file in "$page" "$changelog"; do
    [ "$(gzip_header "$file")" = 000000000002 ] || fail "${file#"$unpacked"} is not compressed with gzip -9n"
  done
  zcat "$page" | cmp -s - <(sed "s/@PROJECT_VERSION@/$version/" docs/ondelis.1.in) ||
    fail "the packaged manual page is not docs/ondelis.1.in for version $version"
  rendered=$(MANWIDTH=80 timeout 30 man -l "$page" 2>&1 </dev/null) || fail "man -l failed: $rendered"
  grep -q "ondelis" <<<"$rendered" || fail "man -l renders no page naming ondelis"

  [ "$(zcat "$changelog" | head -n 1)" = "ondelis ($version) unstable; urgency=medium" ] ||
    fail "the changelog does not begin with version $version"
  zcat "$changelog" | grep -qE '^ -- [^<]+ <[^@>]+@example\.org>  [A-Z][a-z]{2}, [0-9]{2} ' ||
    fail "the changelog has no trailer line with an example.org address"
  copyright=$unpacked/usr/share/doc/ondelis/copyright
  [ "$(head -n 1 "$copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "the copyright file is not in the machine-readable format"
  # The licence paragraph holds the text of LICENSE below its copyright line.
  awk 'found { sub(/^ /, ""); sub(/^\.$/, ""); print } /^License: Expat$/ && previous == "" { found = 1 }
       { previous = $0 }' "$copyright" | cmp -s - <(tail -n +5 LICENSE) ||
    fail "the copyright file does not carry the licence text of LICENSE"
}

check_package "$native"
native_deb=$deb
[ "$full" = true ] || exit 0
for arch in armhf arm64; do
  [ "$arch" = "$native" ] || check_package "$arch"
done

# Reproducible: the same sources copied to another path, built a little later, give the same
# package, byte for byte.
copy=$scratch/elsewhere/ondelis-sources
mkdir -p "$copy"
tar -c --exclude='./build*' --exclude=./.git . | tar -x -C "$copy"
again=$("$copy/scripts/package.sh" | tail -n 1)
sums=$(sha256sum "$native_deb" "$again")
echo "$sums"
[ "$(awk '{print $1}' <<<"$sums" | uniq | wc -l)" -eq 1 ] ||
  fail "two builds of the same sources differ:"$'\n'"$(diff <(dpkg-deb -c "$native_deb") <(dpkg-deb -c "$again"))"
echo "package: a second build at another path gives the same $(basename "$native_deb")"
