#include "listen/note.h"

#include <gtest/gtest.h>

namespace {

// A note that has read at 220 Hz, its last hop's coarse pitch 221 Hz, a change to 330 Hz heard
// once.
Note Changing() {
    Note note;
    Advance(note, NoteEvent::Onset, 0, 1000);
    Advance(note, NoteEvent::Pitch, 221);
    Advance(note, NoteEvent::Reading, 220);
    Advance(note, NoteEvent::Other, 330);
    return note;
}

TEST(Note, EachEventMovesTheNoteAsTheListenerNeeds) {
    const struct {
        const char* event;
        NoteEvent what;
        double hz;
        uint64_t start;
        Note after;
    } table[] = {
        // A new note forgets the old one whole...
        {"onset", NoteEvent::Onset, 0, 5000, {NoteState::Unread, 5000, 0, 0, false, 0}},
        // ... but a swell keeps the last hop's pitch, which still confirms the next.
        {"swell", NoteEvent::Swell, 0, 5000, {NoteState::Unread, 5000, 0, 221, false, 0}},
        // Another pitch heard twice is a new note whose pitch the hop already agrees with.
        {"new note", NoteEvent::NewNote, 331, 5000, {NoteState::Unread, 5000, 0, 331, false, 0}},
        // The held note sounding on forgets the change; a hop without a pitch its pitch too.
        {"steady", NoteEvent::Steady, 0, 0, {NoteState::Read, 1000, 220, 221, false, 0}},
        {"no pitch", NoteEvent::NoPitch, 0, 0, {NoteState::Read, 1000, 220, 0, false, 0}},
        // Silence keeps the rest, unused until the next onset resets it.
        {"quiet", NoteEvent::Quiet, 0, 0, {NoteState::Silent, 1000, 220, 221, false, 330}},
        {"reading", NoteEvent::Reading, 219, 0, {NoteState::Changing, 1000, 219, 221, false, 330}},
        {"point", NoteEvent::Point, 223, 0, {NoteState::Changing, 1000, 220, 223, false, 330}},
        {"pitch", NoteEvent::Pitch, 222, 0, {NoteState::Changing, 1000, 220, 222, true, 330}},
        {"pitch far", NoteEvent::Pitch, 240, 0, {NoteState::Changing, 1000, 220, 240, false, 330}},
    };
    for (const auto& row : table) {
        Note note = Changing();
        Advance(note, row.what, row.hz, row.start);
        EXPECT_EQ(note.state, row.after.state) << row.event;
        EXPECT_EQ(note.start, row.after.start) << row.event;
        EXPECT_EQ(note.held, row.after.held) << row.event;
        EXPECT_EQ(note.last_coarse, row.after.last_coarse) << row.event;
        EXPECT_EQ(note.agreed, row.after.agreed) << row.event;
        EXPECT_EQ(note.changed_to, row.after.changed_to) << row.event;
    }
}

TEST(Note, ANewNoteReadsOnceTwoHopsAgreeAndThenHasRead) {
    Note note;
    EXPECT_FALSE(HasRead(note));
    Advance(note, NoteEvent::Onset, 0, 0);
    Advance(note, NoteEvent::HopBegins);
    Advance(note, NoteEvent::Pitch, 440);
    EXPECT_FALSE(note.agreed); // one hop's pitch alone may be noise
    Advance(note, NoteEvent::HopBegins);
    Advance(note, NoteEvent::Pitch, 441);
    EXPECT_TRUE(note.agreed);
    EXPECT_FALSE(HasRead(note));
    Advance(note, NoteEvent::Reading, 440.5);
    EXPECT_TRUE(HasRead(note));
    EXPECT_EQ(note.state, NoteState::Read);
    Advance(note, NoteEvent::HopBegins);
    EXPECT_FALSE(note.agreed);
}

} // namespace
