// The one sound the listener hears in a frame of several channels, for capture devices and
// sound files alike: the mean of all of them, or one of them alone.
#pragma once

#include <span>

// The sample heard in `frame`, its channels' samples in order: with `channel` 0 their mean,
// else channel `channel` (1 the first) alone. `channel` is at most frame.size().
float HeardInFrame(std::span<const float> frame, unsigned channel);
