#include "report/text/status_line.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "system/interrupt_notice.h"

namespace rs {

namespace {

// "1h05m", "3m20s", "12s".
std::string Duration(double seconds) {
    char text[32];
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%lldh%02lldm", whole / 3600, whole % 3600 / 60);
    } else if (whole >= 60) {
        std::snprintf(text, sizeof text, "%lldm%02llds", whole / 60, whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%llds", whole);
    }
    return text;
}

// Exact below 10 000, else three digits and k, M or G: the line must fit a terminal's.
std::string Count(double value) {
    char text[32];
    if (value < 1e4) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else if (value < 1e6) {
        std::snprintf(text, sizeof text, "%.3gk", value / 1e3);
    } else if (value < 1e9) {
        std::snprintf(text, sizeof text, "%.3gM", value / 1e6);
    } else {
        std::snprintf(text, sizeof text, "%.3gG", value / 1e9);
    }
    return text;
}

}  // namespace

void StatusConsole::Write(std::string_view text) {
    Hide();
    console.Write(text);
    const std::size_t newline = text.rfind('\n');
    column = newline == std::string_view::npos
                 ? column + static_cast<std::int64_t>(text.size())
                 : static_cast<std::int64_t>(text.size() - newline - 1);
    NoteTerminal();
}

StatusConsole::~StatusConsole() {
    InterruptNotice::NoteTerminal(InterruptNotice::Terminal::kLineStart);
}

void StatusConsole::NoteTerminal() const {
    using Terminal = InterruptNotice::Terminal;
    InterruptNotice::NoteTerminal(shown        ? Terminal::kStatusShown
                                  : column > 0 ? Terminal::kMidLine
                                               : Terminal::kLineStart);
}

std::string StatusConsole::ReturnToText() const {
    std::string moves = "\x1b[A\r";
    if (column > 0) {
        moves.append("\x1b[").append(std::to_string(column)).append("C");
    }
    return moves;
}

void StatusConsole::Show(std::string_view status) {
    // A status that wrapped would leave the cursor a line off.
    const auto fits = static_cast<std::size_t>(std::max(width - 1, 0));
    std::string line = "\n";
    line.append(status.substr(0, fits)).append("\x1b[K").append(ReturnToText());
    // One write, so that an interrupt finds the cursor back on the text's line.
    console.Write(line);
    shown = true;
    NoteTerminal();
}

void StatusConsole::Hide() {
    if (!shown) {
        return;
    }
    shown = false;
    console.Write("\x1b[B\r\x1b[K" + ReturnToText());
    NoteTerminal();
}

std::string EstimateText(double blockSeconds, double pointSeconds) {
    char text[160];
    std::snprintf(text, sizeof text, "dense point: about %.2g s a block, %s in all (estimated)",
                  blockSeconds, Duration(std::max(pointSeconds, 0.0)).c_str());
    return text;
}

std::string StatusText(const rs_sim::Counts& statistics, const rs_sim::StopRules& limits,
                       double seconds) {
    const rs_sim::Interval interval =
        rs_sim::FrameErrorInterval(statistics.errorBlocks, statistics.blocks);
    const double rate = seconds > 0.0 ? statistics.blocks / seconds : 0.0;
    double left = std::numeric_limits<double>::infinity();
    if (rate > 0.0) {
        left = (limits.maxBlocks - statistics.blocks) / rate;
    }
    if (statistics.errorBlocks > 0) {
        left = std::min(left, (limits.maxErrorBlocks - statistics.errorBlocks) * seconds /
                                  statistics.errorBlocks);
    }
    const bool any = statistics.blocks > 0;
    char text[160];
    std::snprintf(text, sizeof text, "%s blocks  %s errors  FER %.2e [%.1e, %.1e]  %s/s  %s left",
                  Count(statistics.blocks).c_str(), Count(statistics.errorBlocks).c_str(),
                  any ? static_cast<double>(statistics.errorBlocks) / statistics.blocks : 0.0,
                  any ? interval.low : 0.0, any ? interval.high : 1.0, Count(rate).c_str(),
                  std::isfinite(left) ? Duration(std::max(left, 0.0)).c_str() : "?");
    return text;
}

}  // namespace rs
