// Where listening's output goes, checked: standard output that can take the readings, a
// terminal's width and capabilities, and text from outside made safe to show.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Whether `out` took everything written to it (flushed) and can take more: false, after a
// line on standard error naming the failure, when a write failed (a full disk, /dev/full),
// it is closed, or it is a pipe whose reader has gone (even with SIGPIPE ignored).
bool ReadingsDelivered(FILE* out);
