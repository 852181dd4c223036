#include "listener_state.h"

#include "common/units.h"

#include <algorithm>
#include <cmath>

namespace {

// Readings per second of input.
constexpr double kHopsPerSecond = 40;
// The frame of the coarse period holds two periods of the lowest fundamental.
constexpr double kCoarseSeconds = 2 / kLowestHz;
// Quieter than this (RMS, full scale 1: -66 dB) is silence.
constexpr double kQuietest = 0.0005;
// A hop this many times as loud (RMS) as the one before is a new attack (6 dB).
constexpr double kAttackRise = 2;
// A note begins after silence at the first sample this share of the hop's loudest.
constexpr double kOnsetShare = 0.1;
// A reading's confidence is the share of the frame's power in the partials' lobes; below this
// the partials are not what sounds, and there is no reading. Half the power at least: at a
// bass's attack, partials read while the thump of the pluck still holds half the frame's power
// (0.4 to 0.5) named a note 54 cents from what the string then settled to.
constexpr double kLeastConfidence = 0.55;
// Pitches of one note from hop to hop agree this closely (cents).
constexpr double kSameNoteCents = 60;
// A note's octave holds once its frames span this many of its periods: the main lobes of
// partials a third of the note apart, three bins of rate / length wide either side, part there.
constexpr double kLockPeriods = 18;
// A hop that repeats at the note's period less than this share as well as the hop before
// holds a change of note.
constexpr double kSteadyShare = 0.8;
// How far a vibrato moves a held note's period from its last reading (cents), and the steps in
// which the lags within it are tried: a bright note's NSDF falls by a few hundredths at a few
// cents off its period.
constexpr double kVibratoCents = 40;
constexpr double kVibratoStepCents = 4;
// A held note whose period the hop repeats at this well (McLeod's NSDF) may still sound
// where the coarse period says another.
constexpr double kStillRepeating = 0.4;
// A point of a hop may confirm a new note's pitch in place of the hop's end this many hops
// after its onset at most: by then two hops have had their chance to agree.
constexpr uint64_t kPointHops = 3;
// Samples beyond this many times full scale are clipped: their squares and sums stay finite.
constexpr float kLoudest = 1e6f;
// A new note's first reading comes once the coarse pitches of this many hops agree.
constexpr size_t kFirstReadingHops = 2;

bool SameNote(double a, double b) {
    return std::abs(Cents(a, b)) < kSameNoteCents;
}

void StartNote(ListenerState& s, uint64_t back) {
    s.note_start = s.written - std::min<uint64_t>(s.written, back);
    s.held = 0;
    s.changed_to = 0;
    s.last_coarse = 0;
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
// times as loud as the one before, starts a note.
bool NoteSounds(ListenerState& s) {
    const double hop_level = RecentLevel(s, s.hop);
    const bool attack = hop_level > kAttackRise * s.last_hop_level;
    s.last_hop_level = hop_level;
    if (RecentLevel(s, 2 * s.hop) < kQuietest) {
        s.sounding = false;
        return false;
    }
    if (!s.sounding) {
        StartNote(s, SinceOnset(s));
    } else if (attack) {
        // A note that swells (a reed's or a bow's attack, 6 dB a hop) starts afresh at each
        // rise, and the pitch of the hop before still confirms this hop's.
        const double before = s.last_coarse;
        StartNote(s, s.hop);
        s.last_coarse = before;
    }
    s.sounding = true;
    return true;
}

// Whether the held note's octave is decided: it is decided afresh each hop until the frames
// resolve a third of the note, where a period found three times too short shows its missing
// partials.
bool Locked(const ListenerState& s, double rate) {
    return s.held > 0 && static_cast<double>(s.written - s.note_start) >=
                             kLockPeriods * rate / s.held / (1 - kShiftShare);
}

// How well the hop that ends `before` samples ahead of the newest repeats at the note's period
// as a vibrato moves it: the best of the lags within kVibratoCents of `period`, climbed to in
// steps of kVibratoStepCents each way while they repeat better (a steady note costs a step each
// way). A violinist's vibrato moves the period 26 cents a hop, and the held reading, from frames
// that span most of a hop or more, lags it; at the held period alone, a bright note's hops on the
// swing repeat a quarter worse than the hop before and read as a new note beginning.
double RepetitionNear(const ListenerState& s, double period, size_t before) {
    const double at_period = Repetition(s, period, before);
    double best = at_period;
    for (const double step : {kVibratoStepCents, -kVibratoStepCents}) {
        double climbed = at_period;
        for (double cents = step; std::abs(cents) <= kVibratoCents; cents += step) {
            const double r = Repetition(s, period * std::exp2(cents / 1200), before);
            if (!(r > climbed)) {
                break;
            }
            climbed = r;
        }
        best = std::max(best, climbed);
    }
    return best;
}

// Where a hop's coarse pitch leaves a note whose octave is held: the note's f0 while it
// sounds on, 0 when a new note begins (two hops agree on another pitch, without an attack or
// a silence between), -1 when the hop gives no reading. `read` receives the note's reading
// where finding that it sounds on took reading it.
double FollowHeld(ListenerState& s, double rate, double coarse, PitchReading& read) {
    if (SameNote(coarse, s.held)) {
        s.changed_to = 0;
        // The newest hop no longer repeats at the note's period, as the hop before did: a new
        // note begins within it, and a frame that holds both would read neither. At one period,
        // not at a multiple of it: a vibrato's 30 cents move eight periods a sixth of a cycle
        // from themselves, and half its hops would read as changes.
        const double period = rate / s.held;
        const bool steady =
            RepetitionNear(s, period, 0) >= kSteadyShare * RepetitionNear(s, period, s.hop);
        return steady ? s.held : -1;
    }
    // Another period: a multiple of the note's (its fundamental fading below its second
    // partial), or one the note's partials do not share (a stiff string's stretched partials
    // repeat at no lag exactly, and a longer one may repeat a little better than the note's).
    // While the newest hop still repeats at the note's period and the note's partials read,
    // the note sounds on.
    if (Repetition(s, rate / s.held, 0) >= kStillRepeating) {
        read = ReadPartials(s, rate, s.held, true);
        if (read.hz > 0) {
            s.changed_to = 0;
            return s.held;
        }
    }
    if (s.changed_to > 0 && SameNote(coarse, s.changed_to)) {
        StartNote(s, s.hop);
        return 0;
    }
    s.changed_to = coarse;
    return -1;
}

// The f0 of a note whose octave is not held yet: this hop's pitch when the last hop's agrees
// with it, 0 when they disagree (one hop's pitch alone may be noise).
double NewNotePitch(ListenerState& s, double coarse) {
    const bool agrees = s.last_coarse > 0 && SameNote(coarse, s.last_coarse);
    s.last_coarse = coarse;
    s.agreed = agrees;
    return agrees ? coarse : 0;
}

// The hop's decisions and reading; returns its coarse pitch, 0 when it heard none.
double CompleteHop(ListenerState& s, double rate) {
    s.has_reading = false;
    s.agreed = false;
    if (!NoteSounds(s)) {
        return 0;
    }
    const double coarse = CoarsePitch(s, rate);
    if (coarse <= 0) {
        // A hop of noise or a beat: the note goes on, its octave held.
        s.last_coarse = 0;
        s.changed_to = 0;
        return 0;
    }
    const bool locked = Locked(s, rate);
    PitchReading reading;
    double f0 = locked ? FollowHeld(s, rate, coarse, reading) : 0;
    if (f0 == 0) {
        if (locked) {
            // The new note's pitch was heard twice: this hop's agrees with itself.
            s.last_coarse = coarse;
        }
        f0 = NewNotePitch(s, coarse);
    }
    if (f0 <= 0) {
        return coarse;
    }
    if (!(reading.hz > 0)) {
        reading = ReadPartials(s, rate, f0, locked);
    }
    // A reading too unsure to give holds no octave either: noise whose peaks happened to line
    // up would otherwise keep the note they made up.
    if (!(reading.hz > 0 && std::isfinite(reading.hz)) || reading.confidence < kLeastConfidence) {
        return coarse;
    }
    s.held = reading.hz;
    s.reading = reading;
    s.reading.onset = static_cast<double>(s.note_start) / rate;
    s.has_reading = true;
    return coarse;
}

// Whether the hop under way has come to one of the kReadsPerYoungHop - 1 points between its
// ends while a note is young: its readings then come sooner after the attack, where a tuner's
// wait shows most, and follow it closer while it settles.
bool YoungNoteReadsHere(const ListenerState& s) {
    const bool between =
        s.in_hop * kReadsPerYoungHop / s.hop != (s.in_hop - 1) * kReadsPerYoungHop / s.hop;
    return between && s.sounding && NoteIsYoung(s);
}

// The pitch that confirms a point's coarse pitch, for a note that has not read and whose last
// two hops did not agree: the one found at the same point a hop before, in the note's first
// kPointHops hops; 0 otherwise. A bow's scratch or a pluck's body at the first hop puts off
// the hops' agreeing by a hop, and two points a hop apart confirm the note as two hops' ends
// do: a sampled violin's first reading comes 8 to 17 ms sooner. Not the last hop's end: its
// coarse frame shares most of its samples with the point's a third of a hop later, and their
// agreeing says little (brown noise named notes five times as often). Nor later in a note:
// there the points would only add to how often noise agrees.
double PointConfirms(const ListenerState& s, const PointPitch& before) {
    const bool hop_before = before.written + s.hop == s.written;
    const bool attack = s.written - s.note_start < kPointHops * s.hop;
    return hop_before && attack ? before.hz : 0;
}

// A reading between the ends of a hop, as a hop that ended there would read. What the hops
// decide (where the note began, its octave, the pitch the next hop agrees with) stays as it
// was, so the readings at the ends of hops are what they would be without it; and once the
// note has read, it names the octave the note holds or nothing: until a note's frames are long
// enough to hold its octave, each hop decides it afresh, and decisions between the hops would
// add their errors to the hops' own (at a steel string's attack, one named the octave below).
void ReadWithinHop(ListenerState& s, double rate) {
    const HopDecisions kept = s;
    PointPitch& before = s.point_pitches[s.in_hop * kReadsPerYoungHop / s.hop];
    if (kept.held == 0 && !kept.agreed) {
        s.last_coarse = PointConfirms(s, before);
    }
    before = {CompleteHop(s, rate), s.written};
    static_cast<HopDecisions&>(s) = kept;
    s.reading.between_hops = true;
    if (s.has_reading && kept.held > 0 && !SameNote(s.reading.hz, kept.held)) {
        s.has_reading = false;
    }
}

// Until the first reading, keeps the newest sound whenever it holds more energy than any kept
// before: what the listener heard, should it never read, to say why. Energy, not a hop's level:
// a whole ring of a steady low tone outweighs its first hops, and a hop of it, shorter than a
// period, may happen to hold its peaks.
void KeepLoudest(ListenerState& s) {
    s.has_read = s.has_read || s.has_reading;
    if (s.has_read) {
        return;
    }
    const size_t capacity = s.ring.size();
    double energy = 0;
    for (float x : s.ring) {
        energy += double{x} * x;
    }
    if (!(energy > s.loudest_energy)) {
        return;
    }
    s.loudest_energy = energy;
    for (size_t i = 0; i < capacity; ++i) {
        s.loudest[i] = s.ring[(s.written + i) % capacity]; // the oldest first
    }
    s.loudest_count = static_cast<size_t>(std::min<uint64_t>(s.written, capacity));
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
            CompleteHop(s, listener.rate);
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

size_t ListenerFirstReadingFrames(const Listener& listener) {
    return kFirstReadingHops * listener.state->hop;
}
