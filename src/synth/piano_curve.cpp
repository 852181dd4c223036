#include "piano_curve.h"

#include <algorithm>
#include <cmath>

namespace {

// The keys where the octave rules change (A0 is key 1).
constexpr int kC2 = 16;
constexpr int kC3 = 28;
constexpr int kA3 = 37;
constexpr int kC6 = 64;
constexpr int kC7 = 76;
constexpr int kOctave = 12;
// A measured stiffness of 0 has no logarithm: it is laid from as this, far below any string's.
constexpr double kLeastLaid = 1e-7;
// A low key's first partial is weak and its next ones carry its pitch: it is tuned on its
// lowest partial at or above this, but never above its 6th, the highest a tuner counts beats
// of in the bass.
constexpr double kClearHz = 100;
constexpr int kHighestTuningPartial = 6;

struct Region {
    int first;
    int last;
    const char* words;
};
constexpr Region kRegions[] = {{1, kC3 - 1, "the bass (A0 to B2)"},
                               {kC3, kC6 - 1, "the middle (C3 to B5)"},
                               {kC6, kPianoKeys, "the treble (C6 to C8)"}};

// Why the keys measured lay no curve: the regions without a key, or empty.
std::string MissingRegions(const std::vector<MeasuredKey>& keys) {
    std::vector<const char*> missing;
    for (const Region& region : kRegions) {
        const bool measured = std::any_of(keys.begin(), keys.end(), [&](const MeasuredKey& k) {
            return k.key >= region.first && k.key <= region.last;
        });
        if (!measured) {
            missing.push_back(region.words);
        }
    }
    std::string why;
    for (size_t i = 0; i < missing.size(); ++i) {
        why += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + std::string(missing[i]);
    }
    return why.empty() ? "" : "measure a key in " + why + (keys.empty() ? "" : " too");
}

double LogB(const MeasuredKey& key) {
    return std::log(std::max(key.b, kLeastLaid));
}

// The stiffness of every key, [0] unused: log B is linear in the key number between two keys
// measured, and runs on beyond the outermost along the slope of the two at that end.
std::vector<double> LaidStiffness(const std::vector<MeasuredKey>& keys) {
    std::vector<double> b(kPianoKeys + 1, 0);
    size_t right = 1; // keys[right - 1] and keys[right] span the key, or are the end pair
    for (int key = 1; key <= kPianoKeys; ++key) {
        while (right + 1 < keys.size() && keys[right].key < key) {
            ++right;
        }
        const MeasuredKey& low = keys[right - 1];
        const MeasuredKey& high = keys[right];
        const double slope = (LogB(high) - LogB(low)) / (high.key - low.key);
        // No further than the stiffest a piano file takes: two keys measured close together
        // at one end would otherwise throw their slope to infinity.
        b[key] = std::min(std::exp(LogB(low) + slope * (key - low.key)), kStiffestString);
    }
    for (const MeasuredKey& key : keys) {
        b[key.key] = key.b;
    }
    return b;
}

// The ratio of the upper key's first partial to the lower's when the lower's m-th partial
// sounds with the upper's n-th.
double MatchRatio(const OctaveMatch& match, double b_lower, double b_upper) {
    return PartialHz(1, b_lower, match.lower) / PartialHz(1, b_upper, match.upper);
}

// The octave from `lower` up to the key 12 above it: the middle's up to C6 (by the upper key)
// and down to C3 (by the lower key), the treble's from C7 up, the bass's from C2 down, and
// between them the geometric blend of the two, weighed linearly by the key number.
double OctaveRatio(const OctaveRules& rules, const std::vector<double>& b, int lower) {
    const int upper = lower + kOctave;
    const double middle = MatchRatio(rules.middle, b[lower], b[upper]);
    double weight = 0;
    double other = 0;
    if (upper > kA4Key) {
        weight = std::clamp((kC7 - upper) / double(kC7 - kC6), 0.0, 1.0);
        other = MatchRatio(rules.treble, b[lower], b[upper]);
    } else {
        weight = std::clamp((lower - kC2) / double(kC3 - kC2), 0.0, 1.0);
        other = MatchRatio(rules.bass, b[lower], b[upper]);
    }
    return std::pow(middle, weight) * std::pow(other, 1 - weight);
}

// The first partials of the targets, [0] unused: A4 at a4, A3 an octave under it, the keys
// between in equal steps, and every other key an octave from the key 12 nearer the middle.
std::vector<double> Targets(const OctaveRules& rules, const std::vector<double>& b, double a4) {
    std::vector<double> f1(kPianoKeys + 1, 0);
    f1[kA4Key] = a4;
    f1[kA3] = a4 / OctaveRatio(rules, b, kA3);
    for (int step = 1; step < kOctave; ++step) {
        f1[kA3 + step] = f1[kA3] * std::pow(a4 / f1[kA3], step / double(kOctave));
    }
    for (int key = kA4Key + 1; key <= kPianoKeys; ++key) {
        f1[key] = f1[key - kOctave] * OctaveRatio(rules, b, key - kOctave);
    }
    for (int key = kA3 - 1; key >= 1; --key) {
        f1[key] = f1[key + kOctave] / OctaveRatio(rules, b, key);
    }
    return f1;
}

int TuningPartial(double f1, double b) {
    int partial = 1;
    while (partial < kHighestTuningPartial && PartialHz(f1, b, partial) < kClearHz) {
        ++partial;
    }
    return partial;
}

// "M:N" with M twice N and N from 1 to 8, in digits alone.
bool ParseMatch(std::string_view text, OctaveMatch& match) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    int numbers[2] = {0, 0};
    const std::string_view parts[2] = {text.substr(0, colon), text.substr(colon + 1)};
    for (int i = 0; i < 2; ++i) {
        if (parts[i].empty() || parts[i].size() > 2) {
            return false;
        }
        for (const char c : parts[i]) {
            if (c < '0' || c > '9') {
                return false;
            }
            numbers[i] = numbers[i] * 10 + (c - '0');
        }
    }
    match = {numbers[0], numbers[1]};
    return match.upper >= 1 && match.upper <= 8 && match.lower == 2 * match.upper;
}

} // namespace

bool ParseOctaves(std::string_view text, OctaveRules& rules, std::string& why) {
    OctaveMatch matches[3];
    std::string_view rest = text;
    bool ok = true;
    for (int i = 0; i < 3 && ok; ++i) {
        const size_t comma = i < 2 ? rest.find(',') : rest.size();
        ok = comma != std::string_view::npos && ParseMatch(rest.substr(0, comma), matches[i]);
        rest.remove_prefix(ok ? std::min(comma + 1, rest.size()) : 0);
    }
    if (!ok) {
        why = "three octaves, the bass's, the middle's and the treble's, each M:N (the lower "
              "key's M-th partial on the upper key's N-th) with M twice N, 2:1 to 16:8, as "
              "6:3,4:2,2:1; not '" +
              std::string(text) + "'";
        return false;
    }
    rules = {matches[0], matches[1], matches[2]};
    return true;
}

std::vector<CurveKey> PianoCurve(const std::vector<MeasuredKey>& measured, const OctaveRules& rules,
                                 double a4, std::string& why) {
    std::vector<MeasuredKey> keys;
    for (const MeasuredKey& key : measured) {
        keys = WithKey(keys, key);
    }
    why = MissingRegions(keys);
    if (!why.empty()) {
        return {};
    }
    const std::vector<double> b = LaidStiffness(keys);
    const std::vector<double> f1 = Targets(rules, b, a4);
    std::vector<CurveKey> curve;
    for (int key = 1; key <= kPianoKeys; ++key) {
        const bool was_measured = std::any_of(keys.begin(), keys.end(),
                                              [&](const MeasuredKey& k) { return k.key == key; });
        const double equal = a4 * std::exp2((key - kA4Key) / double(kOctave));
        curve.push_back({key, b[key], was_measured, 1200 * std::log2(f1[key] / equal), f1[key],
                         TuningPartial(f1[key], b[key])});
    }
    return curve;
}

int NearestKey(const std::vector<CurveKey>& curve, double hz) {
    int nearest = 0;
    double nearest_cents = 0;
    for (const CurveKey& key : curve) {
        const double cents = std::abs(1200 * std::log2(hz / key.f1));
        if (nearest == 0 || cents < nearest_cents) {
            nearest = key.key;
            nearest_cents = cents;
        }
    }
    return nearest_cents <= 50 ? nearest : 0;
}
