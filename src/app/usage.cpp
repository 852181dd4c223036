#include "app.h"

namespace {

constexpr const char* kUsage =
    R"(Usage: ondelis [options] <frequency, note or string> [<time in seconds>
                [<soundcard device> [<level>]]]
       ondelis [options] --listen [SOURCE [SECONDS]] [options]
       ondelis [options] --piano FILE --curve [--octaves B,M,T] [--plot FILE.svg|.png]
       ondelis [options] --piano FILE --listen [SOURCE [SECONDS]]
       ondelis [options] --piano FILE [KEY [<time in seconds> [<device> [<level>]]]]
       ondelis [options]       (no positional arguments: the interactive menu)
       ondelis -h | --help | --version

Ondelis plays a pure sine reference tone for tuning musical instruments.

With arguments it prints a summary, plays one tone and exits:
  frequency   Hz (440, 82.41); a negative frequency sounds as its magnitude;
              or a note, a to g with '#' for sharp or 'b' for flat (c#, eb),
              counted upward from A as in the menu; or a note with its octave
              number (e2, c#4, bb3; C4 is middle C), its letter in upper case too
              (E2, C#4, Bb3) but for the presets G1-G7 and B1-B5 (g4 is the note G4);
              or a string preset (below)
  time        seconds of tone (default 8); a negative time plays nothing, and
              inf a drone that holds until Ctrl-C stops it
  device      ALSA PCM device name, at most 31 characters (default "default");
              'aplay -L' lists the device names of this machine, and 'null'
              plays into nothing, for trying things out without a sound card
  level       percent of full scale, 0 to 100 (default 25)

Options come before the frequency, note or string of a tone (one after it is refused);
with --listen they may also come after SOURCE and SECONDS (--listen a.wav --summary).
'--' ends the options: every argument after it is positional.
  -o FILE     write the tone to FILE, a 24-bit mono WAV file, as the menu's exp does,
              instead of playing it: no sound device is opened; '-o -' writes it to
              standard output and the summary to standard error (also --output FILE,
              --output=FILE); a file that cannot be written ends with status 1
  --rate HZ   the sample rate, a whole number from 1000 to 768000 (default 44100),
              in both modes (also --rate=HZ)
  --harmonics N
              add the overtones of the tone: partials 1 to N, the k-th at 1/k of the
              first's amplitude, for a low string that a laptop's or a phone's
              speaker hardly gives; N from 1 (the pure sine, the default) to 16;
              the level stays the peak; in both modes (also --harmonics=N)
  --a4 HZ     the pitch of A, 400 to 480 Hz (default 440); every note and string
              preset follows it, in both modes; frequencies in Hz do not change
              (also --a4=HZ)
  --temperament NAME
              lay every note and string preset in a historical temperament or
              just intonation instead of 12 equal semitones; A stays at the
              --a4 pitch and frequencies in Hz do not change. NAME is one of:
              equal (the default), pythagorean, just,
              meantone, meantone3, meantone5 (1/4, 1/3, 1/5 syntonic comma),
              werckmeister3, werckmeister4, werckmeister5, werckmeister6,
              kirnberger1, kirnberger2, kirnberger3,
              neidhardt1, neidhardt2, neidhardt3, vallotti, young2
              (also --temperament=NAME)
  --root NOTE the note the temperament or scale is laid from, a to g with '#'
              or 'b' (default c): --temperament meantone --root d is meantone
              on D (also --root=NOTE)
  --scale FILE
              a Scala scale file (.scl) of 12 notes instead of a temperament:
              its degrees fall on the notes from the root upward, and its last
              pitch (the period) is the octave of the octave offset
              (also --scale=FILE)
  --listen [SOURCE [SECONDS]]
              instead of playing, name the pitch heard: SOURCE is a sound file (WAV,
              FLAC, Ogg, AIFF; its channels mixed), - for standard input (FLAC, CAF
              and MP3 only redirected from a file, not through a pipe), or else an
              ALSA capture device ('arecord -L' lists them; none: default), heard
              until Ctrl-C; SECONDS stops after that much input. One line per
              reading, 40 readings a second while a pitch sounds (one at the end of
              each hop of 25 ms, and two more between over a note's first quarter
              second), none in silence or noise, tab-separated: seconds of input up
              to the reading's last sample, Hz, the nearest note (A4 the A of --a4,
              C4 middle C) and its cents as --a4, --temperament, --root and --scale
              lay it; a device heard at a terminal shows one line redrawn in place
              instead, with a needle of +-50 cents; a file that is not sound it can
              read ends with status 1; everything but the readings goes to standard
              error (also --listen=SOURCE)
  --instrument NAME
              with --listen, a fifth column: the nearest open string of a guitar,
              bass, violin, viola, cello, mandolin, ukulele or banjo (G6, violin4);
              the note and cents are then that string's (also --instrument=NAME);
              at a terminal the lines under the tuner list every string's last
              cents, as --strings does
  --strings TUNING|NOTES
              with --listen, the open strings the nearest is found among, with
              --instrument or in its place: standard, drop-d, dadgad, open-g, open-d,
              open-e, half-step-down, full-step-down, seven-string, twelve-string,
              nashville (guitar), bass, bass-drop-d, bass-5, ukulele,
              baritone-ukulele, banjo, mandolin, violin, viola, cello, or up to 12
              notes from the lowest-placed string (D2,A2,D3,G3,B3,E4); the fifth
              column is the string's place, 1 the last given (also --strings=...);
              at a terminal the lines under the tuner list every string's last
              cents, unless TERM is dumb or unset (the tuner's line alone)
  --tolerance CENTS
              at a terminal, the in-tune mark once the reading has stayed within
              CENTS (0.5 to 25, default 1) for half a second (also --tolerance=CENTS)
  --strobe    at a terminal, a strobe band in place of the needle: still in tune,
              drifting right when sharp and left when flat, a period a second a cent
  --summary   with --listen, a line for each note, when it ends, instead of each
              reading: START END HZ NOTE CENTS SPREAD [STRING]; START and END are the
              times of its first and last readings at the end of a hop (those
              between hops count in no note), HZ the median of its steady part and
              SPREAD the cents that part spans from the 5th to the 95th percentile;
              a note ends at silence, at a new attack (the string struck again) or
              when another note takes over
  --channel N with --listen, hear channel N alone (1 the first) instead of the mix of
              them all: an interface with the instrument on input 2 (also --channel=N)
  --piano FILE
              the piano file of a piano's measured keys, one a line: NOTE F1 B PARTIALS
              (A4 440.000 3.90e-04 14), '#' a comment; for --curve, --measure and
              --listen; with a KEY (a0 to c8, A0 to C8; G1-G7 and B1-B5 the keys, not
              the strings) or a note of the menu, the key sounds its target from the
              curve (at --a4, by --octaves), not equal temperament, and --harmonics
              stretches its partials by the key's B (also --piano=FILE)
  --piano FILE --listen
              tune a piano key by key: each reading names the nearest key of the
              curve --curve prints, NOTE its note, CENTS from its target on the
              partial the curve tunes it on (a low key on its 2nd to 6th, laid by the
              string's own stiffness where the reading measures it), and KEY (1 A0 to
              88 C8) in a fifth column, with --summary too; at a terminal the lines
              under the tuner list the keys of the octave being tuned, C to B of the
              key heard last; a FILE that lays no curve is refused before listening
  --curve     with --piano, print its tuning curve and exit: a line a key, A0 to C8,
              KEY NOTE B CENTS HZ PARTIAL, tab-separated; the stiffness B laid from the
              keys measured (one in the bass, A0-B2, the middle, C3-B5, and the treble,
              C6-C8, at least), each octave stretched to meet on the partials of its
              region, CENTS from equal temperament at --a4, PARTIAL the one to tune on
  --octaves BASS,MIDDLE,TREBLE
              where the curve's octaves meet, from C2 down, from C3 to C6, from C7 up:
              the lower key's M-th partial on the upper key's N-th, M:N with M twice
              N (default 6:3,4:2,2:1) (also --octaves=BASS,MIDDLE,TREBLE)
  --plot FILE.svg
              with --curve, also draw the curve and the stiffness as an SVG picture,
              or as a PNG one for a FILE.png (also --plot=FILE.svg)
  --measure   with --listen and --piano FILE, each key that reads steadily for half a
              second is measured: F1 its first partial, B its string's stiffness
              (partial k at k f0 sqrt(1 + B k^2)), PARTIALS those of the fit; named by
              the nearest target of the curve the keys in FILE lay (in equal
              temperament at --a4 until they lay one), it is written into FILE at once
              (measured again, it replaces its line) and printed as NOTE F1 B PARTIALS
              KEYS, KEYS those FILE holds; a key whose fit does not hold is not
              written, and a line on standard error says why

String presets, in both modes: an instrument's open strings, numbered from the highest
(Hz at A = 440):
  guitar    G1 329.63  G2 246.94  G3 196.00  G4 146.83  G5 110.00  G6 82.41
            G7 61.74 (the low B of a 7-string guitar)
  bass      B1 98.00  B2 73.42  B3 55.00  B4 41.20 (a double bass too)
            B5 30.87 (the low B of a 5-string bass)
  violin    violin1 659.26  violin2 440.00  violin3 293.66  violin4 196.00
  viola     viola1 440.00  viola2 293.66  viola3 196.00  viola4 130.81
  cello     cello1 220.00  cello2 146.83  cello3 98.00  cello4 65.41
  mandolin  mandolin1 659.26  mandolin2 440.00  mandolin3 293.66  mandolin4 196.00
  ukulele   ukulele1 440.00  ukulele2 329.63  ukulele3 261.63  ukulele4 392.00
            (re-entrant: ukulele4, the G string, is tuned above the C string)
  banjo     banjo1 293.66  banjo2 246.94  banjo3 196.00  banjo4 146.83
            banjo5 392.00 (the short drone string; open G tuning)

Ctrl-C during a tone ends it at the end of the cycle in progress, without a click.
In the menu at a terminal the menu then comes back; otherwise the program ends.

With no arguments it shows a menu and reads commands, one word at a time, from
standard input (type them and press Enter, or pipe them in):
  a b c d e f g   play a note above A = 440 Hz; add '#' for sharp, 'b' for flat (f# gb)
  G1 ... G7       guitar strings, G1 high E (329.63 Hz) to G6 low E (82.41 Hz),
                  G7 the low B of a 7-string guitar
  B1 ... B5       bass strings, B1 G (98.00 Hz) to B4 low E (41.20 Hz),
                  B5 the low B of a 5-string bass
  violin1 ...     the other string presets above; each sets the octave offset too
  p   play again            o   octave offset, -4 to 4    cn  detune, -100 to 100 cents
  z   exact frequency       l   length in seconds         v   volume in percent
  s   soundcard device      r   sample rate               exp export to a WAV file
  h   help                  x   exit

Examples:
  ondelis 440 2                             A (440 Hz) for 2 seconds
  ondelis G6                                the low E string of a guitar, 8 seconds
  ondelis cello4                            the C string of a cello, 8 seconds
  ondelis --harmonics 8 B4                  the low E of a bass, heard on a small speaker
  ondelis --a4 442 violin1 4                a violin's E string at A = 442 Hz, 4 seconds
  ondelis c# 4                              C sharp for 4 seconds
  ondelis --a4 442                          the menu, with every note tuned to A = 442 Hz
  ondelis --a4 415 a 4                      baroque pitch: A at 415 Hz for 4 seconds
  ondelis 82.41 4 default 50                low E string, 4 seconds at 50 percent
  ondelis G6 inf                            the low E string as a drone, until Ctrl-C
  ondelis --temperament werckmeister3 e 10  E of Werckmeister III, to tune a harpsichord
  ondelis --temperament just --root d f# inf
                                            a drone of F#, the pure third above D
  printf 'G1 G2 G3 G4 G5 G6 x' | ondelis    tune a guitar: the six strings in turn
  printf 'B1 B2 B3 B4 x' | ondelis          tune a bass: the four strings in turn
  printf 'c# x' | ondelis                   C sharp, a semitone above C
  printf 'cn 100 a cn -100 a x' | ondelis   A a semitone (100 cents) up, then down
  printf 'cn -20 c x' | ondelis             C, 20 cents flat
  printf 'l 2 exp a440.wav x' | ondelis     2 seconds of A written to a440.wav;
                                            'aplay a440.wav' plays it
  ondelis -o low-e.wav G6 2                 the low E string, 2 seconds, written to low-e.wav
  ondelis -o - 440 1 | aplay                A for 1 second, through a pipe to aplay
  ondelis --rate 48000 440 2                A for 2 seconds, played at 48000 Hz
  ondelis e2 4                              E2, the low E string, for 4 seconds
  ondelis -o - G6 2 | ondelis --listen -    the low E read back: E2, within 0.13 cents
  ondelis --instrument guitar --listen take.wav
                                            each reading of take.wav by its string
  ondelis --instrument guitar --listen      tune by the sound card's input: a needle
                                            at the nearest string, until Ctrl-C
  ondelis --strings drop-d --strobe --listen
                                            drop D by a strobe, every string's cents
  ondelis --summary --listen take.wav       the intonation of a take, a line a note
  ondelis --piano piano.txt --measure --listen
                                            a piano's keys measured as they are played
  ondelis --piano piano.txt --listen        the piano tuned key by key to its curve
  ondelis E2 4                              E2 as a reading names it, for 4 seconds
  ondelis --piano grand.txt --curve --plot grand.svg
                                            a piano's tuning curve, and its drawing
  ondelis --piano grand.txt a0 4            A0's target on the curve, for 4 seconds

Exit status: 0 after a normal end, 1 when the sound device fails, a tone cannot be made or
an argument is refused; Ctrl-C or SIGTERM during a tone ends the program by that signal
(130 for Ctrl-C), except in the menu at a terminal.
The manual page (man ondelis) has the details.
)";

} // namespace

const char* UsageText() {
    return kUsage;
}
