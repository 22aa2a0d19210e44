#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rs_sim/experiment.h"
#include "rs_sim/results.h"
#include "system/output_stream.h"

namespace rs {

// A terminal console with a status line under the text: the line shows while a long point
// runs and goes before any text is written, so the screen always ends as the text alone would
// leave it. Drawn with the cursor moves every terminal in use knows (VT100).
class StatusConsole final : public OutputStream {
  public:
    // width: the terminal's columns; the status is cut to fit one line.
    StatusConsole(OutputStream& console, int width) : console(console), width(width) {}
    ~StatusConsole() override;
    StatusConsole(const StatusConsole&) = delete;
    StatusConsole& operator=(const StatusConsole&) = delete;

    void Write(std::string_view text) override;
    bool Flush() override { return console.Flush(); }
    std::string FailureReason() const override { return console.FailureReason(); }

    // Shows status on the line under the cursor's, the cursor staying where it was.
    void Show(std::string_view status);
    // Clears the status line, if shown.
    void Hide();

  private:
    // The moves back to the text's column on the line above the status.
    std::string ReturnToText() const;
    // Tells an interrupt's handler what the terminal shows, so that its line is clean.
    void NoteTerminal() const;

    OutputStream& console;
    const int width;
    std::int64_t column = 0;  // characters since the text's last newline
    bool shown = false;
};

// The status of a point so far after seconds: blocks and error blocks, FER with its 95 %
// interval, blocks a second and the time to whichever limit ends the point first.
std::string StatusText(const rs_sim::Counts& statistics, const rs_sim::StopRules& limits,
                       double seconds);

// A dense point's status before its first block: about how long a block and the point take.
std::string EstimateText(double blockSeconds, double pointSeconds);

// When a point's status is due: after the point has run kStatusAfter seconds, then every
// kStatusEvery.
inline constexpr double kStatusAfter = 2.0;
inline constexpr double kStatusEvery = 0.25;

}  // namespace rs
