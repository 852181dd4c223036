#!/usr/bin/env bash
# How well `ondelis --piano FILE --measure --listen TAKE` measures a piano's strings: synthetic
# pianos of known stiffness (a development and a validation piano), Csound's prepiano physical
# model given B along a published curve, and sampled pianos (bench/piano.py says how each is
# made and measured).
#
#   bench/piano.sh              # builds a Release binary in build-bench, then measures
#   NOBUILD=1 bench/piano.sh    # the binary already in build-bench, as it is
#
# The takes are made once, into build-bench/piano, and kept. It needs Debian's python3-numpy
# (/usr/bin/python3); the modelled piano needs csound, the sampled pianos fluidsynth, timidity,
# csound-soundfont, freepats, timgm6mb-soundfont, fluid-soundfont-gm and
# musescore-general-soundfont, none of which the program or its tests use (a missing one's
# pianos are left out):
#   apt-get install --no-remove csound fluidsynth timidity csound-soundfont freepats \
#     timgm6mb-soundfont fluid-soundfont-gm musescore-general-soundfont python3-numpy
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
[ -n "${NOBUILD:-}" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -n "${NOBUILD:-}" ] || cmake --build "$build" -j2 --target ondelis >/dev/null
mkdir -p "$build/piano"
cd bench && /usr/bin/python3 piano.py "$(realpath "../$build/ondelis")" "../$build/piano"
