// The note the listener follows from hop to hop, and the steps a hop takes:
//
//   samples -> ring (the newest quarter second and more) -> hop (40 a second; three a hop while
//   a note is young) -> level and onset (silence, a new attack) -> coarse pitch (McLeod's NSDF)
//   -> note state (below: two hops agree on a new note, a held note's octave holds) -> pair of
//   frames (the newest, and one a shift before it) -> spectra (Blackman's window) -> octave
//   (partials between the coarse pitch's multiples) -> partials (each where those before put
//   it) -> gates (one note, spread, confidence) -> measure (the first partial as it sounds, the
//   string's stiffness) -> reading
//
// Each gate that refuses says why (NoReading), and the listener keeps the last hop's reason.
#pragma once

#include <cstdint>

// What the listener knows of the note sounding. Young (its first quarter second, while its
// frames grow) and whether its octave holds (its frames span enough periods) are questions of
// its time, asked of NoteIsYoung and Locked, not states.
enum class NoteState {
    Silent,   // below the quietest level
    Unread,   // sounding, not read yet: two coarse pitches must agree on it first
    Read,     // read at least once: `held` is its pitch
    Changing, // read, and the last hop's coarse pitch was another (`changed_to`) once
};

// What happens to the note at a hop, or at a point between hops.
enum class NoteEvent {
    HopBegins, // a hop's decisions start: no agreement heard yet
    Quiet,     // the level fell to silence
    Onset,     // a sound after silence, from `start`
    Swell,     // a sounding note's level rose by an attack, from `start`
    NoPitch,   // the hop holds no coarse pitch (noise, a beat)
    Pitch,     // a coarse pitch `hz` of a note whose octave is not held
    Steady,    // the held note sounds on
    Other,     // the held note's hop heard another pitch `hz`
    NewNote,   // another pitch heard twice over a held note: a new note from `start`, at `hz`
    Reading,   // the note read at `hz`
    Point,     // a point between hops confirms the coarse pitch `hz`, or 0
};

// A note's fields, reset whole when a new one starts.
struct Note {
    NoteState state = NoteState::Silent;
    uint64_t start = 0;     // the sample where the note began
    double held = 0;        // Hz: its last reading, 0 before it read
    double last_coarse = 0; // Hz: the coarse pitch of the last hop, 0 when none
    bool agreed = false;    // the last hop's coarse pitch agreed with the one before
    double changed_to = 0;  // Hz: while Changing, the other pitch the last hop heard
};

// Whether two pitches are one note's, from hop to hop (kSameNoteCents).
bool SameNote(double a, double b);

// Whether the note has read (its pitch is `held`).
inline bool HasRead(const Note& note) {
    return note.state == NoteState::Read || note.state == NoteState::Changing;
}

// The note after `event`: the one function that moves a note between its states.
void Advance(Note& note, NoteEvent event, double hz = 0, uint64_t start = 0);
