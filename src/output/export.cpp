#include "output.h"

#include "app/app.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>

namespace {

void ReportWriteFailure(FILE* out) {
    std::fputs("Unable to write to file!\n", out);
}

// Writes the parts in order, one writev() for the lot unless the kernel takes less at a time
// (a single call stops short of 2 GiB). Returns the number of bytes written.
size_t WriteParts(int fd, iovec* parts, int count) {
    size_t written = 0;
    while (count > 0) {
        const ssize_t n = writev(fd, parts, count);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<size_t>(n);
        auto left = static_cast<size_t>(n);
        while (count > 0 && left >= parts->iov_len) {
            left -= parts->iov_len;
            ++parts;
            --count;
        }
        if (count > 0) {
            parts->iov_base = static_cast<char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return written;
}

// Creates or truncates the file and writes the header and the samples through one file
// descriptor, without stdio's buffer in between. The messages are those of writing the header
// and then appending the data: one for each part that did not reach the file.
void WriteWav(const char* path, uint32_t rate, int32_t frames, const unsigned char* data,
              FILE* out) {
    const WavHeader header = WavHeaderBytes(rate, 24, frames);
    const size_t size = static_cast<size_t>(frames > 0 ? frames : 0) * 3;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        ReportWriteFailure(out);
        ReportWriteFailure(out);
        return;
    }
    iovec parts[] = {{const_cast<unsigned char*>(header.data()), header.size()},
                     {const_cast<unsigned char*>(data), size}};
    const size_t written = WriteParts(fd, parts, 2);
    const bool closed = close(fd) == 0;
    if (written < header.size()) {
        ReportWriteFailure(out);
    }
    if (written < header.size() + size || !closed) {
        ReportWriteFailure(out);
    }
}

} // namespace

void ExportTone(ToneSettings& settings, FILE* in, FILE* out) {
    std::fputs("Export will be to a 24-bit wave file\n", out);
    std::fputs("Enter the filename to write to\n", out);
    std::fflush(out);
    if (!ReadName(in, settings.export_file, sizeof settings.export_file, "File name", out)) {
        return;
    }
    // Refuse what cannot be written before the file is touched.
    int32_t frames = 0;
    if (ToneFrames(settings, frames) && frames > kMaxWavFrames) {
        std::fprintf(out, "Tone too long for a WAV file: %d frames pass its 4 GiB size limit\n",
                     frames);
        return;
    }
    RefreshNoteFrequency(settings);
    const RenderedTone tone = RenderTone(settings);
    if (tone.status != RenderStatus::Ok) {
        ReportRenderFailure(settings, tone, out);
        return;
    }
    // A header that failed does not stop the data: each part reports its own failure.
    WriteWav(settings.export_file, settings.sample_rate, tone.frames, tone.packed.get(), out);
}
