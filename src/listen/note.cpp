#include "note.h"

#include "thresholds.h"

#include "common/units.h"

#include <cmath>

bool SameNote(double a, double b) {
    return std::abs(Cents(a, b)) < kSameNoteCents;
}

void Advance(Note& note, NoteEvent event, double hz, uint64_t start) {
    switch (event) {
    case NoteEvent::HopBegins:
        note.agreed = false;
        break;
    case NoteEvent::Quiet:
        // The rest stays as it was, unused until the next onset resets it.
        note.state = NoteState::Silent;
        break;
    case NoteEvent::Onset:
        note = Note{NoteState::Unread, start};
        break;
    case NoteEvent::Swell: {
        // A note that swells (a reed's or a bow's attack, 6 dB a hop) starts afresh at each
        // rise, but keeps the last hop's coarse pitch: it still confirms this hop's.
        const double before = note.last_coarse;
        note = Note{NoteState::Unread, start};
        note.last_coarse = before;
        break;
    }
    case NoteEvent::NoPitch:
        note.last_coarse = 0;
        [[fallthrough]];
    case NoteEvent::Steady:
        note.changed_to = 0;
        note.state = note.state == NoteState::Changing ? NoteState::Read : note.state;
        break;
    case NoteEvent::Pitch:
        note.agreed = note.last_coarse > 0 && SameNote(hz, note.last_coarse);
        note.last_coarse = hz;
        break;
    case NoteEvent::Other:
        note.changed_to = hz;
        note.state = NoteState::Changing;
        break;
    case NoteEvent::NewNote:
        // The new note's pitch was heard twice: this hop's agrees with itself.
        note = Note{NoteState::Unread, start};
        note.last_coarse = hz;
        break;
    case NoteEvent::Reading:
        note.held = hz;
        note.state = note.state == NoteState::Unread ? NoteState::Read : note.state;
        break;
    case NoteEvent::Point:
        note.last_coarse = hz;
        break;
    }
}
