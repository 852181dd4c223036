#include "tuner.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

std::string ChecklistEntry(const CheckedString& string, bool utf8) {
    char cents[16] = "  --";
    if (string.heard) {
        std::snprintf(cents, sizeof cents, "%+5.1f", string.cents);
    }
    if (std::strcmp(cents, " -0.0") == 0) { // in tune from below is in tune all the same
        std::strcpy(cents, " +0.0");
    }
    const char* mark = string.in_tune ? (utf8 ? "✓ " : "OK") : "  ";
    return string.shown + " " + cents + mark;
}

Checklist NewChecklist(const std::vector<OpenString>& strings) {
    Checklist checklist;
    for (const OpenString& string : strings) {
        // A number alone says little: "6:D2". A preset's name says its note already: "G6".
        const bool numbered =
            !string.name.empty() && std::isdigit(static_cast<unsigned char>(string.name[0])) != 0;
        checklist.strings.push_back(
            {string.name, numbered ? string.name + ":" + string.note : string.name, string.hz});
    }
    return checklist;
}

void CheckString(Checklist& checklist, const std::string& name, double cents, bool in_tune,
                 double tolerance) {
    if (name != checklist.running) {
        BreakRun(checklist);
        checklist.running = name;
    }
    checklist.run.push_back(cents);
    if (checklist.run.size() > kRunReadings) {
        checklist.run.erase(checklist.run.begin());
    }
    checklist.held = checklist.held || in_tune;
    if (checklist.run.size() < kFewestReadings) {
        return;
    }
    std::vector<double> sorted = checklist.run;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    // A reading of one string of a unison pair is a reading of both: their pitch is one.
    const auto named = std::find_if(checklist.strings.begin(), checklist.strings.end(),
                                    [&name](const CheckedString& s) { return s.name == name; });
    if (named == checklist.strings.end()) {
        return;
    }
    const double hz = named->hz;
    for (CheckedString& string : checklist.strings) {
        if (string.hz == hz) {
            string.heard = true;
            string.cents = median;
            string.in_tune = checklist.held && std::fabs(median) <= tolerance;
        }
    }
}

void BreakRun(Checklist& checklist) {
    checklist.running.clear();
    checklist.run.clear();
    checklist.held = false;
}
