#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "system/output_stream.h"
#include "system/performance_counter.h"

namespace rs::testing {

// A new folder under the system's temporary one, named by the process and a random number and
// removed with everything in it when this goes: two test runs side by side (two clones, two
// builds, the same binaries twice) never share one.
class TempRoot {
  public:
    TempRoot() : owner(getpid()) {
        std::random_device device;
        do {
            path = std::filesystem::temp_directory_path() /
                   ("rs-sim-test-" + std::to_string(owner) + "-" + std::to_string(device()));
        } while (!std::filesystem::create_directory(path));
    }
    ~TempRoot() {
        // A forked child that ends normally leaves its parent's folder alone.
        if (getpid() == owner) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;

    const std::filesystem::path& Path() const { return path; }

  private:
    pid_t owner;
    std::filesystem::path path;
};

// An empty folder of the name in this process's own temporary folder, which is made on first
// use and removed at exit.
inline std::filesystem::path FreshTempFolder(const std::string& name) {
    static const TempRoot root;
    const std::filesystem::path folder = root.Path() / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

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

// The screen a terminal shows after bytes, for the few controls the status line uses: newline
// (the terminal's driver adds the carriage return), carriage return, cursor up, down and right,
// and erase to the end of the line.
inline std::vector<std::string> Screen(std::string_view bytes) {
    std::vector<std::string> rows(1);
    std::size_t row = 0;
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n') {
            ++row;
            column = 0;
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
            std::size_t end = i + 2;
            std::size_t count = 0;
            while (bytes[end] >= '0' && bytes[end] <= '9') {
                count = 10 * count + static_cast<std::size_t>(bytes[end++] - '0');
            }
            const char command = bytes[end];
            if (command == 'A') {
                row -= 1;
            } else if (command == 'B') {
                row += 1;
            } else if (command == 'C') {
                column += count;
            } else if (command == 'K') {
                rows[row].resize(std::min(rows[row].size(), column));
            } else {
                rows[row] += "<unexpected control>";
            }
            i = end;
            continue;
        } else {
            if (rows[row].size() <= column) {
                rows[row].resize(column + 1, ' ');
            }
            rows[row][column++] = c;
        }
        if (rows.size() <= row) {
            rows.resize(row + 1);
        }
    }
    while (!rows.empty() && rows.back().empty()) {
        rows.pop_back();
    }
    return rows;
}

}  // namespace rs::testing
