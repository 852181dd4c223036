#!/usr/bin/env bash
# Ondelis's pitch readings (--listen) beside aubio's aubiopitch (yin and yinfast, buffer 4096,
# hop 512) on notes of known pitch that bench/listen.py generates: B0 to C8, plucks with a weak
# or a missing fundamental, stiff strings, white noise at 20 and 10 dB, vibrato, mains hum.
#
#   bench/listen.sh              # builds a Release binary in build-bench, then measures
#   NOBUILD=1 bench/listen.sh    # the binary already in build-bench, as it is
#   LIVE=0 bench/listen.sh       # without the live row (bench/listen_live.sh)
#   INSTRUMENTS=0 bench/listen.sh  # without the sampled instruments (bench/instruments.py)
#   SF2=FILE bench/listen.sh     # the sampled instruments' notes from another SF2, both renderers
#   bench/listen.sh split        # the split bench alone (bench/split.py), both halves, variants
#   HALF=dev|validation|both|none  # the split bench's halves (none leaves it out; default both)
#   VARIANTS=0 bench/listen.sh   # the split bench's clean notes without their variants
#   SYNTHETIC=0 bench/listen.sh  # without bench/listen.py's synthetic notes
#   ONDELIS=PATH bench/listen.sh # measures that binary instead of building one (the live row
#                                # keeps build-bench's)
#
# The split bench (bench/split.py) renders its notes by source, development and validation
# apart (bench/sources.py: soundfonts through fluidsynth and timidity, the Synthesis ToolKit's
# stk-demo, Csound), makes their variants (bench/variants.py: SoX, opus-tools) and reads them
# with aubio and Praat beside Ondelis, all kept in build-bench/split; a rerun runs Ondelis alone:
#   apt-get install --no-remove stk faketime csound opl3-soundfont fluid-soundfont-gm \
#     musescore-general-soundfont timgm6mb-soundfont praat opus-tools libsox-fmt-all
#
# The notes are made once, into build-bench/listen/notes, and kept. It needs python3 and
# aubio-tools (aubiopitch; apt-get install aubio-tools), the peer, which the program does not use.
# The sampled instruments (bench/instruments.py, into build-bench/listen/instruments) are rendered
# with Debian's fluidsynth, timidity, csound-soundfont and freepats, and measured with Debian's
# python3-numpy (/usr/bin/python3), none of which the program or its tests use:
#   apt-get install --no-remove fluidsynth timidity csound-soundfont freepats python3-numpy
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
command -v aubiopitch >/dev/null || { echo "bench/listen.sh needs aubiopitch (aubio-tools)" >&2; exit 1; }
if [ "${1:-}" = split ]; then
  SYNTHETIC=0 INSTRUMENTS=0 LIVE=0
fi
if [ -n "${ONDELIS:-}" ]; then
  program=$(realpath "$ONDELIS")
  NOBUILD=1
else
  program=$(realpath -m "$build/ondelis")
fi
[ -n "${NOBUILD:-}" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
[ -n "${NOBUILD:-}" ] || cmake --build "$build" -j2 --target ondelis >/dev/null
mkdir -p "$build/listen" "$build/split"
[ "${SYNTHETIC:-1}" = 0 ] || python3 bench/listen.py "$program" "$build/listen"
[ "${INSTRUMENTS:-1}" = 0 ] ||
  (cd bench && /usr/bin/python3 instruments.py "$program" "../$build/listen" ${SF2:+"$SF2"})
[ "${HALF:-both}" = none ] ||
  (cd bench && /usr/bin/python3 -u split.py "$program" "$(realpath "../$build/split")" \
    "${HALF:-both}" "${VARIANTS:-1}")

# The live row: listening to a sound server's sink beside arecord (LIVE=0 leaves it out).
[ "${LIVE:-1}" = 0 ] || NOBUILD=1 BUILD_DIR="$build" bench/listen_live.sh
