// Where the readings go: each reading, named once, is shown by one of three views: a line for
// each reading, a line for each note (--summary), or the tuner at a terminal.
#pragma once

#include "naming.h"
#include "piano_measure.h"
#include "summary.h"
#include "tuner_view.h"

#include <cstdio>
#include <string>

enum class ViewKind { Lines, Summary, Tuner, Measure };

struct View {
    ViewKind kind = ViewKind::Lines;
    Naming naming;
    FILE* out = stdout;
    NoteGatherer notes;   // Summary
    TunerView tuner;      // Tuner
    PianoMeasure measure; // Measure
    size_t readings = 0;
};

// The view for the settings: --summary's lines, else the tuner where a device is listened to
// at a terminal, else a line for each reading.
ViewKind ChooseView(const ToneSettings& settings, bool device, bool terminal);

// The options that only shape the tuner (--strobe, --tolerance) do nothing in another view:
// a line on standard error says so.
void SayIfNoTuner(const ToneSettings& settings, ViewKind kind);

// A view writing to `out`; the tuner's drawings come `frame_seconds` apart.
View NewView(const ToneSettings& settings, ViewKind kind, FILE* out, double frame_seconds);

// Shows a reading of the listener, `offset` seconds after the start of the input.
void ShowReading(View& view, const PitchReading& reading, double offset);

// A device's period ended `time` seconds into the input at a level of `dbfs`, with or without
// a reading, the listener still hearing a sound or not: the summary ends a note at silence,
// the tuner draws.
void ShowPeriod(View& view, double time, double dbfs, bool heard, bool sounding);

// The input is over: the note held is summed up, the tuner's line ended. Returns why no note
// was summed up though readings came, or empty.
std::string EndView(View& view);

// A reading as the lines view prints it: TIME, HZ, NOTE and CENTS tab-separated, and the
// string with --instrument or --strings, ended by a newline.
std::string ReadingLine(const Reading& reading);
