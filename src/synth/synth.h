// Tone synthesis: pitch of a note name, the sine generator and 24-bit packing; pure functions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The pitch of A that notes are counted from unless the player asks for another.
constexpr double kConcertA = 440.0;

// Frequency in Hz of a note ("a", "c#", "bb", ...) with A = `a4` Hz, shifted by whole
// octaves and detuned in cents. Names not in the table sound as A.
double Get_Freq(const char* note, double octave, double cents, double a4 = kConcertA);

// Each degree of a tuning above its root, as a ratio; the root's own is 1.
using PitchRatios = std::array<double, 12>;

// How the twelve notes are laid out: equal temperament (Get_Freq's pitches exactly), or the
// pitches of a temperament or a scale above its root, repeating every `period`.
struct Tuning {
    bool equal = true;
    PitchRatios ratios{};
    double period = 2;
    int root = 3; // semitones above A of the note the tuning is laid from: c
};

// Frequency of a note as `tuning` lays it, with A at `a4` Hz whatever the tuning and its root,
// every other note placed from A upward by the tuning's interval; the octave offset counts
// in the tuning's period, the cents as in Get_Freq.
double TunedFreq(const Tuning& tuning, const char* note, double octave, double cents, double a4);

// A note as TunedFreq counts it: semitones above A (0 to 11) and the octave offset.
struct NoteAboveA {
    int above_a = 0;
    int octave = 0;
};

// The note nearest `hz` (a finite number above 0) as `tuning` lays it with A at `a4`, and
// how many cents `hz` is above it (below it when negative): the inverse of TunedFreq, which
// it calls, so that TunedFreq's pitch of a note reads back as that note at 0 cents.
struct HeardNote {
    NoteAboveA note;
    double cents = 0;
};
HeardNote NearestNote(const Tuning& tuning, double hz, double a4);

// The name of the table for a note `above_a` semitones above A (0 to 11): a, a#, b, c, ...
const char* NoteNameAboveA(int above_a);

// A note in scientific pitch notation: "A4" for A at offset 0, "C4" middle C (the octave
// number changes at C), sharps and flats as C C# D Eb E F F# G G# A Bb B.
std::string ScientificName(NoteAboveA note);

// A note of the table with its octave number in scientific pitch notation, in lower case as
// typed ("e2", "c#4", "bb3", "a0"; octaves 0 to 9), read into `note`. False for anything else.
bool ParseScientificName(const char* text, NoteAboveA& note);

// Cents as a reading shows them, "%+.2f", except that what rounds to 0 is "+0.00" from either
// side: a note in tune is never shown "-0.00".
std::string CentsShown(double cents);

// Semitones above A of a note name of the table, 0 for any other text.
int SemitonesAboveA(const char* note);

// The built-in temperaments, by name ("equal", "meantone", "werckmeister3", ...).
size_t TemperamentCount();
const char* TemperamentName(size_t index);

// Lays the named temperament into `tuning`, its root unchanged. False for an unknown name.
bool LayTemperament(const char* name, Tuning& tuning);

// A Scala scale file (.scl) read into a tuning, or why not: the line (from 1) and the reason.
struct ScaleReading {
    bool ok = false;
    int line = 0;
    std::string why;
    PitchRatios ratios{};
    double period = 2;
};

// Reads the text of a scale file of 12 notes.
ScaleReading ParseScale(std::string_view text);

// True for the names of the note table: a to g, with '#' for a sharp or 'b' for a flat.
bool IsNoteName(const char* note);

// Number of whole cycles of period `cycle` samples that fit strictly inside `count` frames: the
// largest n with trunc(n * cycle) < count; 0 when none fits or the period is no finite n > 0.
int64_t WholeCycles(double cycle, int32_t count);

// The length of a tone that plays until it is stopped.
constexpr int64_t kEndless = INT64_MAX;

// The most partials a tone may have: the fundamental and its first 15 overtones.
constexpr int kMostHarmonics = 16;

// A tone as MakeTone renders it, worked out once, so that any span of its frames renders alone.
struct ToneShape {
    double amplitude = 0; // the peak, in steps of 24 bits
    double step = 0;      // phase step per frame, radians
    double cycle = 0;     // frames per cycle of the frequency it sounds
    int64_t frames = 0;   // the tone's length, kEndless for one that plays until stopped
    int64_t sounding = 0; // frames of whole cycles at its start; silence follows them
    int partials = 1;     // harmonics that sound, the fundamental first; 1 is the pure sine
    double gain = 0;      // with partials > 1: a sample is the sum of sin(k phase) / k times this
    // A stiff string's B: with partials > 1 and B > 0, the k-th sounds at PartialHz(f, B, k), its
    // phase k sqrt((1 + B k^2) / (1 + B)) times the first's; 0 is whole multiples.
    double inharmonicity = 0;
    int64_t stopped = kEndless; // the frame a stop came at, kEndless for none (StoppedTone)
};

// The tone MakeTone renders for these values, `frames` long (at most 2^31 - 1, or kEndless).
// An endless tone is whole cycles throughout, unless its cycle is longer than the longest
// finite tone: then it is silence, as such a finite tone would be.
// `harmonics` (1 to kMostHarmonics, limited to that range) partials sound: the k-th at k times
// the frequency and 1/k of the first's amplitude, all from phase 0, those at or above half
// the rate left out; their sum is scaled so that its peak is the level. With `inharmonicity`
// B above 0 (a finite number; anything else is 0) they are stretched as a stiff string's: the
// k-th at PartialHz(frequency, B, k), the sum scaled by that of 1/k, since partials that drift
// in and out of phase with each other all come near their peaks together at times.
// The whole cycles that a tone holds and ends on are the first partial's (CycleEnd's too);
// each stretched partial of a finite tone ends on its own last whole cycle before that end.
ToneShape ShapeTone(float frequency, uint32_t rate, int64_t frames, float level, int harmonics = 1,
                    double inharmonicity = 0);

// Renders frames first .. first + count - 1 of the tone into samples[0 .. count-1], exactly as
// MakeTone renders them into a buffer of the whole tone: a frame's phase is its index's alone.
void RenderSpan(const ToneShape& tone, int64_t first, int32_t count, int32_t* samples);

// Fills samples[0 .. count-1] with a sine of the given frequency (its magnitude, limited to
// half the rate) and level (percent of full scale) that holds a whole number of cycles, starts
// at phase 0 and is followed by silence; with `harmonics` partials as ShapeTone adds them.
// Does nothing when count <= 0.
void MakeTone(int32_t* samples, float frequency, uint32_t rate, int32_t count, float level,
              int harmonics = 1);

// Where a tone cut short may end without a click: the first frame at or after `at` that ends a
// whole cycle (a zero crossing, as at the tone's own end); in the silent tail, or with no cycle
// at all, `at`.
int64_t CycleEnd(const ToneShape& tone, int64_t at);

// The tone as it plays out once a stop comes at frame `at`: its frames end at CycleEnd; a
// stretched tone's partials each fall silent at their own first zero crossing from `at` on
// (or at their own end, if sooner), and its frames end with the last of them.
ToneShape StoppedTone(const ToneShape& tone, int64_t at);

// Packs signed 24-bit samples as 3 little-endian bytes each (S24_3LE).
void NUM24_TO_CHAR(const int32_t* samples, unsigned char* packed, int32_t count);
