#include "driver/output_stream.h"

namespace rs {

void StdioStream::Write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), file);
    if (flushEveryWrite) {
        std::fflush(file);
    }
}

bool StdioStream::Flush() {
    return std::fflush(file) == 0 && std::ferror(file) == 0;
}

}  // namespace rs
