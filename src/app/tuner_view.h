// The tuner at a terminal: one line drawn over again in place, the needle or the strobe, and
// under it the strings' checklist.
#pragma once

#include "naming.h"
#include "tuner.h"

#include <string>

struct TunerView {
    const ToneSettings* settings = nullptr;
    bool utf8 = false;
    bool erases = true;     // the terminal takes ESC[K and ESC[nA (moving up, for the checklist)
    bool drawn = false;     // the terminal's lines hold a drawing not yet finished
    size_t shown = 0;       // columns of the drawing on the needle's line
    size_t lines_below = 0; // the checklist's lines drawn under it
    std::vector<size_t> shown_below;
    // The newest reading's view, how long it has been in tune, the strobe and the strings'
    // checklist, all kept reading by reading.
    NeedleView view{};
    InTuneHold hold{};
    Strobe strobe{};
    Checklist checklist{};
    double frame_seconds = 0; // between drawings: a period of the device
    // A piano's checklist holds its 88 keys, too many for a terminal: it shows the octave being
    // tuned, C to B of the key heard last (A4's before any), 12 keys at either end.
    bool piano = false;
    int key = kA4Key;
};

// The tuner for standard output's terminal, as its type and locale say, drawn every
// `frame_seconds`.
TunerView NewTunerView(const ToneSettings& settings, const Naming& naming, double frame_seconds);

// Takes a reading.
void TuneTo(TunerView& tuner, const Reading& reading);

// Draws the tuner after a period of the device whose level was `dbfs`, `heard` a reading or
// not (silence: the in-tune count and the strobe begin again).
void DrawTuner(TunerView& tuner, double dbfs, bool heard);

// The drawing is finished: what comes next starts a line of its own.
void EndTunerLine(TunerView& tuner);

// The checklist as lines of at most `columns` columns each, every string on one of them.
std::vector<std::string> ChecklistLines(const Checklist& checklist, bool utf8, size_t columns);

// The checklist the tuner draws: a piano's octave being tuned, else every string.
Checklist ShownChecklist(const TunerView& tuner);
