#include "system/output_stream.h"

#include <cerrno>
#include <cstring>

namespace rs {

void StdioStream::NoteFailure() {
    if (firstError == 0) {
        firstError = errno != 0 ? errno : EIO;
    }
}

void StdioStream::Write(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        NoteFailure();
    }
    if (flushEveryWrite && std::fflush(file) != 0) {
        NoteFailure();
    }
}

bool StdioStream::Flush() {
    if (std::fflush(file) != 0) {
        NoteFailure();
    }
    return firstError == 0 && std::ferror(file) == 0;
}

std::string StdioStream::FailureReason() const {
    return firstError != 0 ? std::strerror(firstError) : std::string();
}

bool StdioStream::ReaderGone() const {
    return firstError == EPIPE;
}

}  // namespace rs
