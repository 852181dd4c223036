#include "piano_play.h"
#include "piano_tuning.h"
#include "strings.h"

#include <cmath>
#include <string>

bool LayPianoTargets(ToneSettings& settings, FILE* err) {
    std::string why;
    if (!ReadPianoCurve(settings, settings.piano.targets, why)) {
        std::fprintf(err, "%s\n", why.c_str());
        return false;
    }
    return true;
}

bool PlaysPianoKeys(const ToneSettings& settings) {
    return !settings.piano.targets.empty();
}

int KeyOfNote(int above_a, double octave) {
    // The menu's offsets and the presets' are whole octaves; anything else is no key.
    const double key = kA4Key + above_a + 12 * octave;
    return key >= 1 && key <= kPianoKeys && key == std::floor(key) ? static_cast<int>(key) : 0;
}

NoteAboveA NoteOfKey(int key) {
    const int from_a4 = key - kA4Key;
    const int above_a = (from_a4 % 12 + 12) % 12;
    return {above_a, (from_a4 - above_a) / 12};
}

int CurrentKey(const ToneSettings& settings) {
    return KeyOfNote(SemitonesAboveA(settings.note), settings.octave);
}

void SoundKey(ToneSettings& settings, int key, double cents) {
    const CurveKey& target = settings.piano.targets[static_cast<size_t>(key - 1)];
    settings.frequency = static_cast<float>(target.f1 * std::exp2(cents / 1200));
    settings.piano.b = target.b;
}

bool KeyOfWord(const char* word, int& key, FILE* err) {
    key = KeyOfName(word);
    if (key != 0) {
        return true;
    }
    double octave = 0;
    const char* name = word;
    if (!NoteOfWord(word, name, octave)) {
        std::fprintf(err,
                     "--piano plays a key's target: give a key A0 to C8 (a0, C#4, Bb3), not "
                     "'%s'\n",
                     word);
        return false;
    }
    key = KeyOfNote(SemitonesAboveA(name), octave);
    if (key == 0) {
        std::fprintf(err, "'%s' is no key of the piano: its keys are A0 to C8\n", word);
        return false;
    }
    return true;
}
