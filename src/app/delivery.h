// Whether standard output takes the readings: listening that nobody reads stops.
#pragma once

#include <cstdio>

// Whether `out` took everything written to it (flushed) and can take more: false, after a
// line on standard error naming the failure, when a write failed (a full disk, /dev/full),
// it is closed, or it is a pipe whose reader has gone (even with SIGPIPE ignored). For
// listening that would otherwise go on with nobody reading.
bool ReadingsDelivered(FILE* out);

// Whether `out` took everything written to it (flushed): false, after a line on standard
// error naming the failure, when a write failed. For the end, when nothing more is to be
// written: a reader that left after the last line (`| head -1`) took all it wanted.
bool ReadingsWritten(FILE* out);
