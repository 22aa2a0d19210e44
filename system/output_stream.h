#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace rs {

// Where the driver's text goes: the console, "results.dat", or a capture in tests.
class OutputStream {
  public:
    virtual ~OutputStream() = default;
    virtual void Write(std::string_view text) = 0;
    // Pushes everything written so far to its destination. False when any write or flush of
    // this stream has failed.
    virtual bool Flush() = 0;
    // Why a write or flush failed, when the stream knows; empty otherwise.
    virtual std::string FailureReason() const { return {}; }
    // Whether a write failed because the reader went away (a closed pipe).
    virtual bool ReaderGone() const { return false; }
};

// A C stdio stream, not owned. With flushEveryWrite each write is shown at once, as the
// console needs for its progress bar; without it text waits for Flush.
class StdioStream final : public OutputStream {
  public:
    StdioStream(std::FILE* file, bool flushEveryWrite)
        : file(file), flushEveryWrite(flushEveryWrite) {}
    void Write(std::string_view text) override;
    bool Flush() override;
    std::string FailureReason() const override;
    bool ReaderGone() const override;

  private:
    void NoteFailure();

    std::FILE* file;
    bool flushEveryWrite;
    int firstError = 0;  // errno of the first failure
};

}  // namespace rs
