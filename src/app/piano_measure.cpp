#include "piano_measure.h"
#include "option_files.h"

#include "common/units.h"

#include "input/input.h"
#include "output/output.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace {

// A key is measured once its readings of this long lie within kSteadyCents of their median:
// the attack's pitch, 10 to 15 cents off, has settled, and half a second holds some twenty
// readings whose medians a stray one cannot move.
constexpr double kSteadySeconds = 0.5;
constexpr double kSteadyCents = 3;
// A fit holds (from kFewestFitPartials up) as long as its partials lie on its line within
// this (cents, RMS).
constexpr double kMostSpreadCents = 3;
// The least stiffness of a piano's string: the plain strings at the bass break come to about
// 1e-4, the wound bass strings no lower than a few 1e-5 (Young 1952).
constexpr double kLeastStiffness = 1e-5;
// No well-tuned piano stretches further from equal temperament than about 40 cents, at C8
// (Railsback's measurements); a curve that lays more was laid from a stray B.
constexpr double kMostStretchCents = 50;

template <typename Field> double MedianOf(const std::vector<PitchReading>& readings, Field field) {
    std::vector<double> values;
    for (const PitchReading& r : readings) {
        values.push_back(static_cast<double>(r.*field));
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The readings of the last kSteadySeconds, when the key has sounded that long and they lie
// within kSteadyCents of their median; else none.
std::vector<PitchReading> SteadyReadings(const PianoMeasure& m) {
    const double newest = m.recent.back().time;
    if (newest - m.first_time < kSteadySeconds) {
        return {};
    }
    std::vector<PitchReading> window;
    std::copy_if(m.recent.begin(), m.recent.end(), std::back_inserter(window),
                 [&](const PitchReading& r) { return r.time >= newest - kSteadySeconds; });
    const double hz = MedianOf(window, &PitchReading::hz);
    const bool steady = std::all_of(window.begin(), window.end(), [&](const PitchReading& r) {
        return std::abs(Cents(r.hz, hz)) <= kSteadyCents;
    });
    return steady ? window : std::vector<PitchReading>{};
}

// Why a key's fit does not hold, or empty.
std::string WhyNoFit(const MeasuredKey& key, double spread) {
    char why[160] = "";
    if (key.partials < kFewestFitPartials) {
        std::snprintf(why, sizeof why, "its fit found %d partial, and B needs %d at least",
                      key.partials, kFewestFitPartials);
    } else if (!(spread <= kMostSpreadCents)) {
        std::snprintf(why, sizeof why,
                      "its partials stray %.1f cents from a stiff string's line (%.0f at most)",
                      spread, kMostSpreadCents);
    } else if (!(key.b >= kLeastStiffness)) {
        // Written, it would lay the curve's B from nothing, and stretch the keys beyond it.
        std::snprintf(why, sizeof why,
                      "its partials lie on whole multiples (B %.1e): no piano string's, whose B "
                      "is %.0e at least",
                      key.b, kLeastStiffness);
    }
    return why;
}

// The curve that `keys` lay, empty while they are too few.
std::vector<CurveKey> CurveOf(const PianoMeasure& m, const std::vector<MeasuredKey>& keys) {
    std::string why;
    return PianoCurve(keys, m.octaves, m.a4, why);
}

// Writes `key` into the file, in the place of its line if it has one; the curve follows.
void WriteKey(PianoMeasure& m, const MeasuredKey& key, FILE* out) {
    std::vector<MeasuredKey> keys;
    std::string why;
    if (!ReadPianoFile(m.path, true, keys, why)) {
        std::fprintf(stderr, "%s (%s not written)\n", why.c_str(), KeyName(key.key).c_str());
        return;
    }
    keys = WithKey(keys, key);
    m.curve = CurveOf(m, keys);
    if (!WriteFileWhole(m.path, FormatPianoFile(keys), why)) {
        std::fprintf(stderr, "%s: cannot write it: %s (%s not written)\n", m.path, why.c_str(),
                     KeyName(key.key).c_str());
        return;
    }
    std::fprintf(out, "%s\t%.3f\t%.4e\t%d\t%zu\n", KeyName(key.key).c_str(), key.f1, key.b,
                 key.partials, keys.size());
    std::fflush(out);
}

} // namespace

int KeyOfHz(double hz, double a4, const std::vector<CurveKey>& curve) {
    // A curve laid from a stray B (a key whose partials held no stiff string's line) can
    // stretch past any piano's: its key is taken only where its stretch is a piano's.
    if (const int key = curve.empty() ? 0 : NearestKey(curve, hz);
        key != 0 && std::abs(curve[static_cast<size_t>(key - 1)].cents) <= kMostStretchCents) {
        return key;
    }
    const double key = std::round(kA4Key + 12 * std::log2(hz / a4));
    return key >= 1 && key <= kPianoKeys ? static_cast<int>(key) : 0;
}

PianoMeasure NewPianoMeasure(const ToneSettings& settings) {
    PianoMeasure m;
    m.path = settings.piano.file;
    m.a4 = settings.a4;
    m.octaves = settings.piano.octaves;
    std::vector<MeasuredKey> keys;
    std::string why;
    if (ReadPianoFile(m.path, true, keys, why)) { // refused before listening otherwise
        m.curve = CurveOf(m, keys);
    }
    return m;
}

void MeasureReading(PianoMeasure& m, const PitchReading& reading, FILE* out) {
    const int key = KeyOfHz(reading.hz, m.a4, m.curve);
    if (key != m.key || reading.onset != m.onset) {
        m.key = key;
        m.onset = reading.onset;
        m.first_time = reading.time;
        m.recent.clear();
        m.done = false;
    }
    if (m.done || key == 0) {
        return;
    }
    m.recent.push_back(reading);
    const double oldest = reading.time - 2 * kSteadySeconds;
    m.recent.erase(m.recent.begin(),
                   std::find_if(m.recent.begin(), m.recent.end(),
                                [&](const PitchReading& r) { return r.time >= oldest; }));
    const std::vector<PitchReading> steady = SteadyReadings(m);
    if (steady.empty()) {
        return;
    }
    m.done = true;
    const MeasuredKey measured{key, MedianOf(steady, &PitchReading::hz),
                               MedianOf(steady, &PitchReading::b),
                               static_cast<int>(MedianOf(steady, &PitchReading::partials))};
    if (const std::string why = WhyNoFit(measured, MedianOf(steady, &PitchReading::spread));
        !why.empty()) {
        std::fprintf(stderr, "%s: not measured: %s\n", KeyName(key).c_str(), why.c_str());
        return;
    }
    WriteKey(m, measured, out);
}
