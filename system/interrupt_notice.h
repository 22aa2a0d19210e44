#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace rs {

// What the run says when SIGINT or SIGTERM ends it: one line, prepared before the signal can
// come, since a handler may only write and exit. The files stay as the last complete point
// left them: the report and CSV are flushed per point, and the JSON is replaced whole, so only
// a half-written copy beside it is removed.
class InterruptNotice {
  public:
    // Handles SIGINT and SIGTERM from now on, ending the process with 128 + the signal. aside
    // names files to remove if the signal comes while they are being written.
    static void Install(const std::filesystem::path& asideA, const std::filesystem::path& asideB);
    // The line the handler writes from now on.
    static void Prepare(const std::string& line);
    // Back to the default handling (at the closing prompt, the run is complete).
    static void Uninstall();

    // What the terminal shows below the console's text, so that the handler's line starts on a
    // line of its own: kStatusShown clears the status line under the cursor and writes there,
    // kMidLine starts a new line, kLineStart needs nothing.
    enum class Terminal : int { kLineStart, kMidLine, kStatusShown };
    static void NoteTerminal(Terminal terminal);
};

}  // namespace rs
