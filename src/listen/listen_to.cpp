#include "listen.h"

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
