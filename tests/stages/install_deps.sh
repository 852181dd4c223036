#!/usr/bin/env bash
# scripts/install-deps.sh against stand-ins for apt-get, dpkg-query and sudo, so that nothing
# is asked of the machine's apt: an `apt-get update` that cannot fetch an index (a mirror
# mid-sync) is a warning and what is missing is still installed; a package that apt does not
# install fails the script, naming it; a package whose installation would remove one the
# machine has is left out, saying so. Fails on the first case that goes otherwise.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
work=$(mktemp -d "${TMPDIR:-/tmp}/ondelis-deps-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"

fail() {
  echo "install_deps: $*" >&2
  exit 1
}

# A package is installed when a file of its name is in $STUB/installed.
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
for last; do :; done
[ -e "$STUB/installed/$last" ] || exit 1
printf 'install ok installed'
EOF
# update fails as a mirror mid-sync makes it fail; a dry run of installing $STUB_REMOVES says
# it would remove pipewire-alsa; install installs every package but $STUB_UNAVAILABLE.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$STUB/calls"
case " $* " in
  *" update "*)
    echo "E: Failed to fetch http://deb.example.org/dists/x/main/binary-armhf/Packages  File has unexpected size" >&2
    exit 100 ;;
  *" -s "*)
    for word; do [ "$word" = "${STUB_REMOVES:-}" ] && echo "Remv pipewire-alsa [1.0]"; done
    exit 0 ;;
  *" install "*)
    for word; do
      case $word in
        -* | *=* | install) ;;
        "${STUB_UNAVAILABLE:-}") echo "E: Unable to locate package $word" >&2 ;;
        *) touch "$STUB/installed/$word" ;;
      esac
    done ;;
esac
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# run CASE MISSING [VARIABLE=VALUE...]: install-deps.sh build with every build package
# installed but MISSING; leaves its status in $status and its streams in $out and $err.
eval "$(sed -n '/^build_packages=(/,/)$/p' scripts/install-deps.sh)"
run() {
  local name=$1 missing=$2 package
  shift 2
  export STUB=$work/$name
  mkdir -p "$STUB/installed"
  for package in "${build_packages[@]}"; do
    [ "$package" = "$missing" ] || touch "$STUB/installed/$package"
  done
  status=0
  env PATH="$work/bin:$PATH" "$@" "$root/scripts/install-deps.sh" build \
    >"$STUB/out" 2>"$STUB/err" || status=$?
  out=$(cat "$STUB/out")
  err=$(cat "$STUB/err")
}

[ "${#build_packages[@]}" -ge 5 ] || fail "could not read build_packages: ${build_packages[*]}"

run update_fails libsndfile1-dev
[ "$status" -eq 0 ] || fail "a failed apt-get update failed the script (status $status): $err"
grep -q '^Warning: apt-get update failed' <<<"$err" || fail "no warning of the failed update: $err"
[ -e "$STUB/installed/libsndfile1-dev" ] || fail "the missing package was not installed: $out"
[ "$(grep -c ' update' "$STUB/calls")" -eq 1 ] || fail "apt-get update not asked once: $(cat "$STUB/calls")"

run unavailable libsndfile1-dev STUB_UNAVAILABLE=libsndfile1-dev
[ "$status" -ne 0 ] || fail "a package apt did not install passed: $out"
grep -q 'not installed after apt-get install: libsndfile1-dev$' <<<"$err" ||
  fail "the package apt did not install is not named: $err"

run removes alsa-utils STUB_REMOVES=alsa-utils
[ "$status" -eq 0 ] || fail "a package left out failed the script (status $status): $err"
grep -q '^Leaving out alsa-utils: installing it would remove pipewire-alsa' <<<"$err" ||
  fail "the package left out is not named: $err"
! grep -q ' install -y.*alsa-utils' "$STUB/calls" || fail "alsa-utils was installed all the same"

run nothing_missing ""
[ "$status" -eq 0 ] && [ ! -e "$STUB/calls" ] || fail "apt-get was asked with nothing missing"
echo "install_deps: a failed update warns, an uninstalled package is named, a remover is left out"
