#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "driver/output_stream.h"
#include "driver/performance_counter.h"

namespace rs::testing {

// Keeps everything written, counts writes and flushes, and can be told to fail its flushes.
class CapturingStream final : public OutputStream {
  public:
    void Write(std::string_view piece) override {
        text.append(piece);
        ++writes;
        if (onWrite) {
            onWrite(piece);
        }
    }
    bool Flush() override {
        ++flushes;
        return !failFlush;
    }

    std::string text;
    int writes = 0;
    int flushes = 0;
    bool failFlush = false;
    std::function<void(std::string_view)> onWrite;
};

// Every point takes one second, on whichever thread it runs: a point reads the clock at its
// start and at its end, and each thread's reads climb by a second.
class SecondPerPointCounter final : public PerformanceCounter {
  public:
    std::int64_t Count() override {
        thread_local std::int64_t reads = 0;
        return 1000 * reads++;
    }
    std::int64_t Frequency() override { return 1000; }
};

// Hands out scripted counts (the last one repeats) and a fixed frequency; remembers how
// often it was read and can report each read to the test.
class ScriptedCounter final : public PerformanceCounter {
  public:
    ScriptedCounter(std::deque<std::int64_t> counts, std::int64_t frequency)
        : counts(std::move(counts)), frequency(frequency) {}

    std::int64_t Count() override {
        ++reads;
        if (onCount) {
            onCount();
        }
        const std::int64_t value = counts.front();
        if (counts.size() > 1) {
            counts.pop_front();
        }
        return value;
    }
    std::int64_t Frequency() override { return frequency; }

    int reads = 0;
    std::function<void()> onCount;

  private:
    std::deque<std::int64_t> counts;
    std::int64_t frequency;
};

}  // namespace rs::testing
