#include "channels.h"

float HeardInFrame(std::span<const float> frame, unsigned channel) {
    if (channel > 0) {
        return frame[channel - 1];
    }
    // In double: the mean of many loud channels is exact to the float it ends as.
    double sum = 0;
    for (const float sample : frame) {
        sum += sample;
    }
    return static_cast<float>(sum / static_cast<double>(frame.size()));
}
