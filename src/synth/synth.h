// Tone synthesis: pitch of a note name, the sine generator and 24-bit packing.
// Everything here is a pure function of its arguments.
#pragma once

#include <cstdint>

// The pitch of A that notes are counted from unless the player asks for another.
constexpr double kConcertA = 440.0;

// Frequency in Hz of a note ("a", "c#", "bb", ...) with A = `a4` Hz, shifted by whole
// octaves and detuned in cents. Names not in the table sound as A.
double Get_Freq(const char* note, double octave, double cents, double a4 = kConcertA);

// True for the names of the note table: a to g, with '#' for a sharp or 'b' for a flat.
bool IsNoteName(const char* note);

// Number of whole cycles of period `cycle` samples that fit strictly inside `count` frames:
// the largest n with trunc(n * cycle) < count. 0 when no cycle fits or the period is not a
// finite positive number.
int64_t WholeCycles(double cycle, int32_t count);

// Fills samples[0 .. count-1] with a sine of the given frequency (its magnitude, limited
// to half the rate) and level (percent of full scale) that holds a whole number of
// cycles, starts at phase 0 and is followed by silence. Does nothing when count <= 0.
void MakeTone(int32_t* samples, float frequency, uint32_t rate, int32_t count, float level);

// Where a tone cut short may end without a click: the first frame at or after `at` that ends
// a whole cycle of the tone MakeTone renders for these values (a zero crossing, as at the
// tone's own end). Within the silent tail, or for a tone with no cycle at all, that is `at`.
int32_t CycleEnd(float frequency, uint32_t rate, int32_t count, int32_t at);

// Packs signed 24-bit samples as 3 little-endian bytes each (S24_3LE).
void NUM24_TO_CHAR(const int32_t* samples, unsigned char* packed, int32_t count);
