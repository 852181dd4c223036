// Listening: the pitch of a sound fed to it piece by piece. Pure code: samples in, readings
// out, in memory fixed by the sample rate alone, so that a file of ten minutes and a live
// device cost what ten seconds do. Where the samples come from is input's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

// A pitch heard: the frequency of its first partial in Hz (the fundamental as it sounds: a
// stiff string's stands a little above the f0 its upper partials are stretched from), the
// seconds of input up to the last sample it depends on, and how sure it is: the share of the
// sound's power that the note's partials hold (0 to 1). Readings less sure than the
// estimator's threshold are not given.
struct PitchReading {
    double time = 0;
    double hz = 0;
    double confidence = 0;
    // Read between the ends of hops, where a young note is read three times a hop: what counts
    // readings as time, at one a hop, leaves it out.
    bool between_hops = false;
    // Seconds of input where the note read began: after silence, at a new attack (a rise in
    // level, a pluck or a strike of the same note too) or where another note took over.
    double onset = 0;
    // The string as the partials lay it, f_k = k f0 sqrt(1 + b k^2): its stiffness (0 where
    // they do not say it is stiff), how many partials the fit took, and how far they stray
    // from it (cents, RMS by power). A piano's strings are measured by them.
    double b = 0;
    int partials = 0;
    double spread = 0;
};

// The fundamentals the listener hears, in Hz. The lowest is below a piano's A0 (27.5 Hz) and a
// 5-string bass's B0 (30.87 Hz); the highest above a piano's C8 (4186 Hz). A tone above it
// reads as nothing, never as the note its period's multiple would name.
constexpr double kLowestHz = 25;
constexpr double kHighestHz = 5000;

struct ListenerState; // the buffers and transforms, sized once by the rate

// The estimator. Fed any number of samples at a time; it reads once per hop of the input.
struct Listener {
    uint32_t rate = 0;
    std::unique_ptr<ListenerState> state;
    Listener();
    ~Listener();
    Listener(Listener&&) noexcept;
    Listener& operator=(Listener&&) noexcept;
};

// An estimator for mono samples at `rate` Hz (kLowestRate to kHighestRate; others are
// clamped into that range).
Listener NewListener(uint32_t rate);

// Takes samples (full scale is 1) up to the end of the next hop and returns how many it took;
// the caller feeds the rest after reading. Samples that are not finite count as silence,
// and those beyond a million times full scale are clipped there.
size_t FeedListener(Listener& listener, std::span<const float> samples);

// The pitch of the hop that the last feed completed, once; none while no pitch sounds
// (silence, noise) or when no hop was completed since the last read.
std::optional<PitchReading> ReadListener(Listener& listener);

// Samples per hop: the estimator reads this often (at least 20 times a second).
size_t ListenerHop(const Listener& listener);

// Samples a note must last before the listener's first reading of it at the least: the hops
// whose coarse pitches must agree, the last of them to its first point.
size_t ListenerFirstReadingFrames(const Listener& listener);

// Why a hop gave no reading: the first step of the hop that refused.
enum class NoReading {
    None,       // it gave one (or no hop has ended yet)
    Silent,     // below the quietest level
    NoPeriod,   // no coarse pitch: noise, a click, a beat
    Disagree,   // a new note's coarse pitch not yet heard twice alike
    Changing,   // a held note's hop heard another pitch, or stopped repeating at its period
    TooShort,   // the note's frames hold too few periods yet
    NoPartials, // no partial found near the coarse pitch's multiples
    NotOneNote, // the partials are two notes' (gaps where neither has one)
    Spread,     // the partials stray too far from one string's line
    OffCoarse,  // the first partial too far from the coarse pitch
    TooHigh,    // above kHighestHz or the rate's half
    TooLow,     // below kLowestHz
    Unsure,     // the partials hold too little of the sound's power
};

// The name of a reason, for messages and tests: "silent", "no period", ...
const char* NoReadingName(NoReading why);

// Why the last hop completed gave no reading (the points between a young note's hops aside);
// None when it gave one.
NoReading ListenerWhyNone(const Listener& listener);

// The confidence of the last partials measured (at a hop's end or between), whether they gave a
// reading or were Unsure: 0 to 1, 0 before any.
double ListenerLastConfidence(const Listener& listener);

// Where the listener gave no reading: the frequency in Hz of the tone that holds most of the
// sound at its loudest hop (its newest quarter second and more), for saying why; 0 when no
// tone holds most of it (noise, a click, silence) or once it has given a reading.
double ListenerStrongestHz(const Listener& listener);

// Feeds all of `samples` and puts every reading they complete, in order, into `readings`
// (emptied first): the loop of feeding and reading that every caller would write.
void ListenTo(Listener& listener, std::span<const float> samples,
              std::vector<PitchReading>& readings);
