// Pianos: the 88 keys, the stiffness of their strings, and a key's partials. A piano string is
// stiff: its partials run sharp of whole multiples, f_k = k f0 sqrt(1 + B k^2), B from about
// 1e-4 in the tenor to 1e-2 and more at the top. Pure functions of their arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Keys are numbered 1 (A0) to 88 (C8); A4 is key 49.
constexpr int kPianoKeys = 88;
constexpr int kA4Key = 49;

// The note of `key` (1 to 88) in scientific notation: "A0", "C#4", "Bb3", "C8".
std::string KeyName(int key);

// The key a note of the keyboard names ("A0" to "C8", its letter in either case, sharps or
// flats), 0 for anything else.
int KeyOfName(const std::string& name);

// Stiffness beyond this is no piano string's: the stiffest treble strings stay below 0.1.
constexpr double kStiffestString = 0.5;
// A stiff string's line takes two partials at least.
constexpr int kFewestFitPartials = 2;

// A key as measured: its string's first partial, its stiffness, and how many partials the
// fit of the two took.
struct MeasuredKey {
    int key = 0;
    double f1 = 0; // Hz
    double b = 0;  // inharmonicity coefficient
    int partials = 0;
};

// Hz of partial `k` (1 the first) of a string whose first partial sounds at `f1` Hz with
// stiffness `b`: k f0 sqrt(1 + b k^2), f0 = f1 / sqrt(1 + b).
double PartialHz(double f1, double b, int k);

// The measurements of a piano, one key a line: NOTE F1 B PARTIALS, whitespace-separated
// ("A4 440.000 3.90e-04 14"); '#' starts a comment to the end of its line, blank lines are
// passed over. Each key at most once.
struct PianoFileReading {
    bool ok = false;
    int line = 0; // of the refusal, 1 the first
    std::string why;
    std::vector<MeasuredKey> keys; // in key order
};
PianoFileReading ParsePianoFile(std::string_view text);

// The text of a piano file of `keys` (in any order: written in key order), with a comment
// that says what each field is.
std::string FormatPianoFile(const std::vector<MeasuredKey>& keys);

// `keys` with `key` in, in key order: a key measured again takes the place of its line.
std::vector<MeasuredKey> WithKey(std::vector<MeasuredKey> keys, const MeasuredKey& key);
