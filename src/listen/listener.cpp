#include "listener_state.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>

namespace {

// Readings per second of input.
constexpr double kHopsPerSecond = 40;
// Samples beyond this many times full scale are clipped: their squares and sums stay finite.
constexpr float kLoudest = 1e6f;

// Whether `hz` is a whole multiple (the second or above) of `of`, as closely as one note.
bool MultipleOf(double hz, double of) {
    const double times = std::round(hz / of);
    return times >= 2 && SameNote(hz, times * of);
}

// The samples since a note began within the newest hop after silence: from the first that
// stands kOnsetShare of the hop's loudest off the hop's mean. Frames that hold the silence
// before it would read the step into the note as a change of phase, and the first reading
// would come further off.
uint64_t SinceOnset(const ListenerState& s) {
    const size_t capacity = s.ring.size();
    const size_t count = static_cast<size_t>(std::min<uint64_t>(s.hop, s.written));
    double mean = 0;
    for (size_t i = 0; i < count; ++i) {
        mean += s.ring[(s.written - 1 - i) % capacity];
    }
    mean /= static_cast<double>(std::max<size_t>(count, 1));
    double loudest = 0;
    for (size_t i = 0; i < count; ++i) {
        loudest = std::max(loudest, std::abs(s.ring[(s.written - 1 - i) % capacity] - mean));
    }
    size_t since = count;
    while (since > 1 &&
           std::abs(s.ring[(s.written - since) % capacity] - mean) < kOnsetShare * loudest) {
        --since;
    }
    return since;
}

// Whether a note sounds at the hop just completed; a hop after silence, or one kAttackRise
// times as loud as the one before (or as the one before that, rising by kAttackStepRise at
// each), starts a note.
bool NoteSounds(ListenerState& s) {
    const double hop_level = RecentLevel(s, s.hop);
    const bool attack = hop_level > kAttackRise * s.last_hop_level ||
                        (hop_level > kAttackRise * s.hop_level_before &&
                         hop_level > kAttackStepRise * s.last_hop_level &&
                         s.last_hop_level > kAttackStepRise * s.hop_level_before);
    // After an attack the rise starts over: the next hop's is measured from this one.
    s.hop_level_before = attack ? hop_level : s.last_hop_level;
    s.last_hop_level = hop_level;
    if (RecentLevel(s, 2 * s.hop) < kQuietest) {
        Advance(s.note, NoteEvent::Quiet);
        return false;
    }
    const auto since = [&](uint64_t back) {
        return s.written - std::min<uint64_t>(s.written, back);
    };
    if (s.note.state == NoteState::Silent) {
        Advance(s.note, NoteEvent::Onset, 0, since(SinceOnset(s)));
        s.after_silence = s.note.start;
    } else if (attack) {
        Advance(s.note, NoteEvent::Swell, 0, since(s.hop));
    }
    return true;
}

// Whether the read note's octave is decided: it is decided afresh each hop until its frames
// span kLockPeriods periods, where the main lobes of partials a third of the note apart (three
// bins of rate / length either side) part, and a period found three times too short shows its
// missing partials.
bool Locked(const ListenerState& s, double rate) {
    return HasRead(s.note) && static_cast<double>(s.written - s.note.start) >=
                                  kLockPeriods * rate / s.note.held / (1 - kShiftShare);
}

// Where a hop's coarse pitch leaves a note whose octave is held: the note's f0 while it
// sounds on, 0 when a new note begins (two hops agree on another pitch, without an attack or
// a silence between), -1 when the hop gives no reading. `read` receives the note's reading
// where finding that it sounds on took reading it.
double FollowHeld(ListenerState& s, double rate, double coarse, PartialsRead& read) {
    const double held = s.note.held;
    if (SameNote(coarse, held)) {
        Advance(s.note, NoteEvent::Steady);
        // The newest hop no longer repeats at the note's period, as the hop before did: a new
        // note begins within it, and a frame that holds both would read neither. At one period,
        // not at a multiple of it: a vibrato's 30 cents move eight periods a sixth of a cycle
        // from themselves, and half its hops would read as changes.
        const double period = rate / held;
        const bool steady =
            RepetitionNear(s, period, 0) >= kSteadyShare * RepetitionNear(s, period, s.hop);
        return steady ? held : -1;
    }
    // Another period: a multiple of the note's (its fundamental fading below its second
    // partial), or one the note's partials do not share (a stiff string's stretched partials
    // repeat at no lag exactly, and a longer one may repeat a little better than the note's).
    // While the newest hop still repeats at the note's period and the note's partials read,
    // the note sounds on.
    if (Repetition(s, rate / held, 0) >= kStillRepeating) {
        read = ReadPartials(s, rate, held, true);
        if (read.reading.hz > 0) {
            Advance(s.note, NoteEvent::Steady);
            return held;
        }
        // A multiple of the note's pitch, the hop still repeating at the note's period, and its
        // partials unread: the note sounds on, unread for a hop (a piano's unison strings beat
        // its weaker partials off their line, and the search for them strays); nothing says
        // another note began. A new note there comes with an attack, or reads as the held
        // note's octave above.
        if (MultipleOf(coarse, held)) {
            Advance(s.note, NoteEvent::Steady);
            return -1;
        }
    }
    // Nor does the octave below begin one without an attack, where the sound repeats at it: a
    // struck chord's fifth and tenth ringing on as the note's own partials die make it repeat
    // at twice the note's period, and the note's lower octave, where it sounds, reads as the
    // held note's, above. A rumble's band of noise repeats at no period for long.
    if (SameNote(2 * coarse, held) && Repetition(s, 2 * rate / held, 0) >= kStillRepeating) {
        Advance(s.note, NoteEvent::Steady);
        return -1;
    }
    if (s.note.state == NoteState::Changing && SameNote(coarse, s.note.changed_to)) {
        Advance(s.note, NoteEvent::NewNote, coarse,
                s.written - std::min<uint64_t>(s.written, s.hop));
        return 0;
    }
    Advance(s.note, NoteEvent::Other, coarse);
    return -1;
}

// What a hop heard: its coarse pitch (0 when none), and why it gave no reading.
struct Hop {
    double coarse = 0;
    NoReading why = NoReading::None;
};

// The f0 the hop reads at, from its coarse pitch: a held note's while it sounds on, a new
// note's once the last hop's pitch agrees with this one's (one hop's pitch alone may be noise);
// 0 with why when it reads none.
double HopF0(ListenerState& s, double rate, double coarse, bool locked, PartialsRead& read,
             NoReading& why) {
    const double f0 = locked ? FollowHeld(s, rate, coarse, read) : 0;
    if (f0 < 0) {
        why = NoReading::Changing;
        return 0;
    }
    if (f0 > 0) {
        return f0;
    }
    Advance(s.note, NoteEvent::Pitch, coarse);
    why = s.note.agreed ? NoReading::None : NoReading::Disagree;
    return s.note.agreed ? coarse : 0;
}

// The hop's decisions and reading.
Hop CompleteHop(ListenerState& s, double rate) {
    s.has_reading = false;
    Advance(s.note, NoteEvent::HopBegins);
    if (!NoteSounds(s)) {
        return {0, NoReading::Silent};
    }
    const double coarse = CoarsePitch(s, rate);
    if (coarse <= 0) {
        // A hop of noise or a beat: the note goes on, its octave held.
        Advance(s.note, NoteEvent::NoPitch);
        return {0, NoReading::NoPeriod};
    }
    s.first_pitch = s.first_pitch > s.note.start ? s.first_pitch : s.written;
    // Whether the octave held when the hop began: a new note that the held one gave way to in
    // this hop is read as held too.
    const bool locked = Locked(s, rate);
    PartialsRead read;
    NoReading why = NoReading::None;
    const double f0 = HopF0(s, rate, coarse, locked, read, why);
    if (f0 <= 0) {
        return {coarse, why};
    }
    if (!(read.reading.hz > 0)) {
        read = ReadPartials(s, rate, f0, locked);
    }
    const PitchReading& reading = read.reading;
    if (reading.hz > 0) {
        s.last_confidence = reading.confidence;
    }
    // A reading too unsure to give holds no octave either: noise whose peaks happened to line
    // up would otherwise keep the note they made up. Half the power at least: at a bass's
    // attack, partials read while the thump of the pluck still holds half the frame's power
    // (0.4 to 0.5) named a note 54 cents from what the string then settled to.
    if (!(reading.hz > 0 && std::isfinite(reading.hz)) || reading.confidence < kLeastConfidence) {
        return {coarse, read.why != NoReading::None ? read.why : NoReading::Unsure};
    }
    Advance(s.note, NoteEvent::Reading, reading.hz);
    s.reading = reading;
    s.reading.onset = static_cast<double>(s.note.start) / rate;
    s.has_reading = true;
    return {coarse, NoReading::None};
}

// Whether the hop under way has come to one of the kReadsPerYoungHop - 1 points between its
// ends while a note is young: its readings then come sooner after the attack, where a tuner's
// wait shows most, and follow it closer while it settles. In silence too: there they hear an
// attack within the hop, and confirm the next hop's points, not its end and the one after.
bool YoungNoteReadsHere(const ListenerState& s) {
    const bool between =
        s.in_hop * kReadsPerYoungHop / s.hop != (s.in_hop - 1) * kReadsPerYoungHop / s.hop;
    return between && (s.note.state == NoteState::Silent || NoteIsYoung(s));
}

// The pitch that confirms a point's coarse pitch, for a note that has not read and whose last
// two hops did not agree: the one found at the same point a hop before, in the note's first
// kPointHops hops (by then two hops have had their chance to agree), or, after silence, in the
// kPointHops hops from its first coarse pitch, up to twice as many from the onset (a stiff low
// string's stretched partials repeat at no one lag for hops after it); 0 otherwise. A bow's
// scratch or a pluck's body at the first hop puts off the hops' agreeing by a hop, and two
// points a hop apart confirm the note as two hops' ends do: a sampled violin's first reading
// comes 8 to 17 ms sooner. Not the last hop's end: its coarse frame shares most of its samples
// with the point's a third of a hop later, and their agreeing says little (brown noise named
// notes five times as often). Nor later in a note: there the points would only add to how
// often noise agrees (a rumble's first pitch after a swell may come hops after it).
double PointConfirms(const ListenerState& s, const PointPitch& before) {
    const bool hop_before = before.written + s.hop == s.written;
    const uint64_t most = kPointHops * s.hop, onset = s.after_silence;
    const uint64_t late = std::min(s.first_pitch - std::min(s.first_pitch, onset), most);
    const bool heard_late = s.note.start - onset < most && s.written - onset < most + late;
    const bool attack = s.written - s.note.start < most || heard_late;
    return hop_before && attack ? before.hz : 0;
}

// A reading between the ends of a hop, as a hop that ended there would read. What the hops
// decide (the note, and the level an attack rises from) stays as it was, so the readings at the
// ends of hops are what they would be without it; and once the note has read, it names the
// octave the note holds or nothing: until a note's frames are long enough to hold its octave,
// each hop decides it afresh, and decisions between the hops would add their errors to the
// hops' own (at a steel string's attack, one named the octave below).
void ReadWithinHop(ListenerState& s, double rate) {
    const Note kept = s.note;
    const double kept_level = s.last_hop_level;
    const double kept_before = s.hop_level_before;
    PointPitch& before = s.point_pitches[s.in_hop * kReadsPerYoungHop / s.hop];
    if (kept.state == NoteState::Unread && !kept.agreed) {
        Advance(s.note, NoteEvent::Point, PointConfirms(s, before));
    }
    before = {CompleteHop(s, rate).coarse, s.written};
    s.note = kept;
    s.last_hop_level = kept_level;
    s.hop_level_before = kept_before;
    s.reading.between_hops = true;
    if (s.has_reading && HasRead(kept) && !SameNote(s.reading.hz, kept.held)) {
        s.has_reading = false;
    }
}

} // namespace

Listener::Listener() = default;
Listener::~Listener() = default;
Listener::Listener(Listener&&) noexcept = default;
Listener& Listener::operator=(Listener&&) noexcept = default;

Listener NewListener(uint32_t rate) {
    rate = std::clamp(rate, kLowestRate, kHighestRate);
    Listener listener;
    listener.rate = rate;
    listener.state = std::make_unique<ListenerState>();
    ListenerState& s = *listener.state;
    s.hop = std::max<size_t>(1, static_cast<size_t>(std::lround(rate / kHopsPerSecond)));
    s.coarse_length = static_cast<size_t>(std::ceil(kCoarseSeconds * rate));
    s.longest = static_cast<size_t>(std::ceil(kLongestSeconds * rate));
    s.longest_lag = s.coarse_length / 2;
    s.shortest_lag = std::max<size_t>(2, static_cast<size_t>(rate / kHighestHz));
    s.ring.assign(std::max(s.longest + s.hop, s.coarse_length), 0.0f);
    s.loudest.assign(s.ring.size(), 0.0f);

    s.coarse_size = PowerOfTwoAtLeast(2 * s.coarse_length);
    s.coarse_forward = NewFft(s.coarse_size, false);
    s.coarse_inverse = NewFft(s.coarse_size, true);
    s.coarse_frame.assign(s.coarse_size, 0.0f);
    s.correlation.assign(s.coarse_size, 0.0f);
    s.nsdf.assign(s.longest_lag + 2, 0.0f);
    s.coarse_spectrum.assign(s.coarse_size / 2 + 1, {});

    s.spectrum_size = std::max(kSmallestSpectrum, PowerOfTwoAtLeast(s.longest + s.longest / 4));
    for (size_t size = kSmallestSpectrum; size <= s.spectrum_size; size *= 2) {
        s.spectrum_forwards.push_back(NewFft(size, false));
    }
    s.frame.assign(s.spectrum_size, 0.0f);
    s.window.assign(s.spectrum_size, 0.0f);
    s.later.assign(s.spectrum_size / 2 + 1, {});
    s.earlier.assign(s.spectrum_size / 2 + 1, {});
    return listener;
}

size_t FeedListener(Listener& listener, std::span<const float> samples) {
    ListenerState& s = *listener.state;
    const size_t capacity = s.ring.size();
    size_t taken = 0;
    while (taken < samples.size()) {
        const float x = samples[taken++];
        s.ring[s.written % capacity] = std::isfinite(x) ? std::clamp(x, -kLoudest, kLoudest) : 0.0f;
        ++s.written;
        if (++s.in_hop == s.hop) {
            s.in_hop = 0;
            s.why_none = CompleteHop(s, listener.rate).why;
            KeepLoudest(s);
            break;
        }
        if (YoungNoteReadsHere(s)) {
            ReadWithinHop(s, listener.rate);
            s.has_read = s.has_read || s.has_reading;
            break;
        }
    }
    return taken;
}

std::optional<PitchReading> ReadListener(Listener& listener) {
    ListenerState& s = *listener.state;
    if (!s.has_reading) {
        return std::nullopt;
    }
    s.has_reading = false;
    return s.reading;
}

size_t ListenerHop(const Listener& listener) {
    return listener.state->hop;
}

void ListenTo(Listener& listener, std::span<const float> samples,
              std::vector<PitchReading>& readings) {
    readings.clear();
    // A feed stops at the end of each hop, so that no hop's reading is overwritten unread.
    for (size_t used = 0; used < samples.size();) {
        used += FeedListener(listener, samples.subspan(used));
        if (const auto reading = ReadListener(listener)) {
            readings.push_back(*reading);
        }
    }
}

NoReading ListenerWhyNone(const Listener& listener) {
    return listener.state->why_none;
}

double ListenerLastConfidence(const Listener& listener) {
    return listener.state->last_confidence;
}

const char* NoReadingName(NoReading why) {
    switch (why) {
    case NoReading::None:
        return "none";
    case NoReading::Silent:
        return "silent";
    case NoReading::NoPeriod:
        return "no period";
    case NoReading::Disagree:
        return "disagree";
    case NoReading::Changing:
        return "changing";
    case NoReading::TooShort:
        return "too short";
    case NoReading::NoPartials:
        return "no partials";
    case NoReading::NotOneNote:
        return "not one note";
    case NoReading::Spread:
        return "spread";
    case NoReading::OffCoarse:
        return "off coarse";
    case NoReading::TooHigh:
        return "too high";
    case NoReading::TooLow:
        return "too low";
    case NoReading::Unsure:
        return "unsure";
    }
    return "?";
}

size_t ListenerFirstReadingFrames(const Listener& listener) {
    const size_t hop = listener.state->hop;
    return (kFirstReadingHops - 1) * hop + (hop + kReadsPerYoungHop - 1) / kReadsPerYoungHop;
}
