#include "report/plot/plot.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <variant>

#include "report/text/channel_text.h"
#include "stats/bounded_distance.h"
#include "stats/channel_model.h"

namespace rs {

namespace {

constexpr int kTheorySamples = 60;

// The last line with text in a file, trimmed; empty when there is none.
std::string LastLine(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::string last;
    for (std::string line; std::getline(in, line);) {
        const auto begin = line.find_first_not_of(" \t\r^");
        if (begin != std::string::npos) {
            last = line.substr(begin);
        }
    }
    return last;
}

std::string Number(double value) {
    if (!std::isfinite(value) || value <= 0.0) {
        return "NaN";  // gnuplot skips it
    }
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, end);
}

// A gnuplot string in single quotes, which knows no escape but a doubled quote.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c;
        if (c == '\'') {
            quoted += '\'';
        }
    }
    return quoted + "'";
}

std::string LowerExtension(const std::filesystem::path& output) {
    std::string extension = output.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

bool IsPngPlot(const std::filesystem::path& output) {
    return LowerExtension(output) == ".png";
}

bool IsPlotFile(const std::filesystem::path& output) {
    const std::string extension = LowerExtension(output);
    return extension == ".png" || extension == ".svg";
}

std::filesystem::path FindGnuplot() {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string_view directory = rest.substr(0, colon);
        std::filesystem::path candidate =
            std::filesystem::path(directory.empty() ? "." : std::string(directory)) / "gnuplot";
        std::error_code ignored;
        if (access(candidate.c_str(), X_OK) == 0 &&
            !std::filesystem::is_directory(candidate, ignored)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return {};
}

namespace {

// The terminal, title, axes and key.
std::string CodeTitle(const rs_sim::CodeFacts& code, const rs_sim::Channel& channel,
                      std::int32_t interleave) {
    return "RS(" + std::to_string(code.n) + "," + std::to_string(code.k) +
           "), t = " + std::to_string(code.t) + ", q = " + std::to_string(code.q) + ", " +
           ChannelTitle(channel, interleave);
}

// What the x axis shows of a channel's P0.
std::string XLabel(const rs_sim::Channel& channel) {
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&channel)) {
        return markov->level == rs_sim::GilbertElliottChannel::Level::kBit
                   ? "P0, long-run channel bit error probability"
                   : "P0, long-run channel symbol error probability";
    }
    if (SweepsEbN0(channel)) {
        return "E_b/N_0 (dB)";
    }
    return std::holds_alternative<rs_sim::BinarySymmetricChannel>(channel)
               ? "P0, channel bit error probability"
               : "P0, channel symbol error probability";
}

// Eb/N0 goes on a linear axis, where the rates fall to the right; P0 on a log axis. The key
// stands right of the axes, where it covers no data however many curves it names. The y axis
// runs from the user's range, or from a decade boundary a little below the lowest rate
// measured (lowest, 0 when none) up to what the data reach.
// A figure of many runs (keyRows > 0, an entry each) has its key below the axes instead, and
// grows taller by them, so that long labels do not narrow the axes.
std::string PlotSettings(const std::filesystem::path& output, const std::string& title,
                         const std::string& xLabel, bool ebN0, std::optional<YRange> yRange,
                         double lowest, int keyRows = 0) {
    const std::string size =
        keyRows > 0 ? "1000," + std::to_string(560 + 18 * keyRows) : std::string("1250,660");
    std::string script;
    script +=
        IsPngPlot(output)
            ? "set terminal pngcairo size " + size + " enhanced font 'sans,11'\n"
            : "set terminal svg size " + size + " enhanced font 'sans,11' background '#ffffff'\n";
    script += "set output " + Quoted(output.string()) + "\n";
    script += "set title " + Quoted(title) + "\n";
    script += ebN0 ? "set logscale y\nset format y '10^{%L}'\n"
                   : "set logscale xy\nset format x '10^{%L}'\nset format y '10^{%L}'\n";
    script += "set xlabel " + Quoted(xLabel) + "\n";
    script +=
        "set ylabel 'error rate'\n"
        "set grid xtics ytics lc rgb '#dddddd'\n";
    script += keyRows > 0 ? "set key below center vertical Left reverse font ',10'\n"
                          : "set key outside right top vertical Left reverse box font ',10'\n";
    if (yRange) {
        script += "set yrange [" + Number(yRange->low) + ":" + Number(yRange->high) + "]\n";
    } else if (lowest > 0.0) {
        const double floor = std::pow(10.0, std::floor(std::log10(lowest) - 0.3));
        script += "set yrange [" + Number(floor) + ":*]\n";
    }
    script += "set bars 0.6\n";
    return script;
}

// An Eb/N0 in dB as the script gives it: any finite value has a place on a linear axis.
std::string Decibels(double value) {
    return std::isfinite(value) ? DecimalText(value) : "NaN";
}

// The simulated points as a data block, and what the rest of the script needs of them.
struct PointsBlock {
    std::string text;
    bool any = false;     // a point is plotted
    double lowest = 0.0;  // the smallest and largest x plotted
    double highest = 0.0;
    bool anyWithoutErrors = false;
    bool anyMiscorrections = false;
    double lowestRate = 0.0;  // the smallest positive rate drawn, 0 when none
};

void NoteRate(PointsBlock& block, double rate) {
    if (std::isfinite(rate) && rate > 0.0 && (block.lowestRate == 0.0 || rate < block.lowestRate)) {
        block.lowestRate = rate;
    }
}

void Extend(PointsBlock& block, double x) {
    block.lowest = block.any ? std::min(block.lowest, x) : x;
    block.highest = block.any ? std::max(block.highest, x) : x;
    block.any = true;
}

// Against Eb/N0 a point also gives its decoded BER, in an eighth column.
PointsBlock SimulatedPoints(const std::vector<PlotPoint>& points, const rs_sim::CodeFacts& code,
                            bool ebN0, const std::string& name = "$points") {
    PointsBlock block;
    block.text = name + " << EOD\n";
    for (const PlotPoint& p : points) {
        if (p.blocks <= 0 || !(ebN0 ? std::isfinite(p.P0) : p.P0 > 0.0)) {
            continue;
        }
        const rs_sim::Interval interval = rs_sim::FrameErrorInterval(p.errorBlocks, p.blocks);
        const double fer = static_cast<double>(p.errorBlocks) / p.blocks;
        const double ser = static_cast<double>(p.errorSymbols) /
                           (static_cast<double>(p.blocks) * static_cast<double>(code.k));
        // A point without error blocks has no FER on a log axis, but still its upper bound.
        // Miscorrections, the blocks a practical decoder would deliver wrong unflagged.
        const double miscorrected = static_cast<double>(p.miscorrections) / p.blocks;
        block.text += (ebN0 ? Decibels(p.P0) : Number(p.P0)) + ' ' + Number(fer) + ' ' +
                      Number(interval.low) + ' ' + Number(interval.high) + ' ' + Number(ser) + ' ' +
                      (p.errorBlocks > 0 ? "NaN" : Number(interval.high)) + ' ' +
                      (p.miscorrections > 0 ? Number(miscorrected) : "NaN");
        if (ebN0) {
            const double bits = static_cast<double>(p.blocks) * code.k * code.m;
            block.text += ' ' + (p.bitErrors >= 0 ? Number(p.bitErrors / bits) : "NaN");
        }
        block.text += '\n';
        for (const double rate :
             {fer, interval.low, interval.high, ser, p.miscorrections > 0 ? miscorrected : 0.0}) {
            NoteRate(block, rate);
        }
        if (ebN0 && p.bitErrors > 0) {
            NoteRate(block, p.bitErrors / (static_cast<double>(p.blocks) * code.k * code.m));
        }
        block.anyWithoutErrors = block.anyWithoutErrors || p.errorBlocks == 0;
        block.anyMiscorrections = block.anyMiscorrections || p.miscorrections > 0;
        Extend(block, p.P0);
    }
    block.text += "EOD\n";
    return block;
}

// Where the curves are drawn: log-spaced P0 a little beyond the points' ends (up to 1), or
// Eb/N0 evenly spaced a little beyond them.
std::vector<double> CurveSamples(const PointsBlock& points, bool ebN0) {
    std::vector<double> samples;
    if (!points.any) {
        return samples;
    }
    if (ebN0) {
        const double span = points.highest - points.lowest;
        const double margin = span > 0.0 ? 0.05 * span : 0.5;
        for (int i = 0; i <= kTheorySamples; ++i) {
            samples.push_back(points.lowest - margin + (span + 2.0 * margin) * i / kTheorySamples);
        }
        return samples;
    }
    const double from = std::log(points.lowest / 1.2);
    const double to = std::log(std::min(points.highest * 1.2, 1.0));
    for (int i = 0; i <= kTheorySamples; ++i) {
        samples.push_back(std::exp(from + (to - from) * i / kTheorySamples));
    }
    return samples;
}

// The bounded-distance decoder's FER at the curve's samples, on the channel as run (behind a
// Gilbert-Elliott chain, the chain's exact FER at the interleaving depth).
std::string TheoryPoints(const PointsBlock& points, const rs_sim::CodeFacts& code,
                         const rs_sim::Channel& channel, std::int32_t interleave,
                         const std::string& name = "$theory") {
    const bool ebN0 = SweepsEbN0(channel);
    std::string text = name + " << EOD\n";
    for (const double x : CurveSamples(points, ebN0)) {
        const double fer = rs_sim::TheoryFER(code, x, channel, interleave);
        text += (ebN0 ? Decibels(x) : Number(x)) + ' ' + Number(fer) + '\n';
    }
    return text + "EOD\n";
}

// Uncoded BPSK's bit error rate, Q(sqrt(2 Eb/N0)), at the curve's samples: what the code gains.
std::string UncodedPoints(const PointsBlock& points, const std::string& name = "$uncoded") {
    std::string text = name + " << EOD\n";
    for (const double x : CurveSamples(points, true)) {
        text += Decibels(x) + ' ' + Number(BpskBitErrorProbability(x, 1.0)) + '\n';
    }
    return text + "EOD\n";
}

// Miscorrections are rare beside failures, and they are what a receiver cannot see: a thick
// line in a colour no other curve uses.
constexpr const char* kMiscorrectionColour = "lc rgb '#e67e22'";

constexpr const char* kUncodedCurve =
    "$uncoded using 1:2 with lines lw 1.5 dt 4 lc rgb '#555555' title 'BER, uncoded BPSK, "
    "Q(sqrt(2E_b/N_0))'";

// Estimated points as a data block: P0 (or Eb/N0), then FER, SER and BER each with its low
// and high end, then the miscorrection rate.
PointsBlock EstimatedBlock(const std::vector<EstimatedPoint>& points, bool ebN0,
                           const std::string& name = "$estimates") {
    PointsBlock block;
    block.text = name + " << EOD\n";
    for (const EstimatedPoint& p : points) {
        if (!(ebN0 ? std::isfinite(p.P0) : p.P0 > 0.0)) {
            continue;
        }
        block.text += ebN0 ? Decibels(p.P0) : Number(p.P0);
        for (const auto* rate : {&p.fer, &p.ser, &p.ber}) {
            for (const double value : *rate) {
                block.text += ' ' + Number(value);
                NoteRate(block, value);
            }
        }
        block.text += ' ' + Number(p.miscorrections) + '\n';
        NoteRate(block, p.miscorrections);
        block.anyMiscorrections = block.anyMiscorrections || p.miscorrections > 0.0;
        Extend(block, p.P0);
    }
    block.text += "EOD\n";
    return block;
}

// The plot commands of an estimated run: each rate's band and line in one colour family.
std::string EstimatedCurves(const std::string& block, const std::string& label,
                            const std::array<const char*, 3>& colours, bool miscorrections) {
    const auto title = [&](const char* what) {
        return " title " + Quoted(label.empty() ? what : label + ", " + what) + " noenhanced";
    };
    std::string plots;
    const char* names[] = {"FER", "SER", "BER"};
    const char* dashes[] = {"1", "4", "5"};  // told apart when one colour draws all three
    for (int r = 0; r < 3; ++r) {
        const std::string colour = std::string("lc rgb '") + colours[r] + "'";
        const int column = 2 + 3 * r;
        plots += ", \\\n     " + block + " using 1:" + std::to_string(column + 1) + ":" +
                 std::to_string(column + 2) + " with filledcurves fs transparent solid 0.25 " +
                 colour + " notitle" + ", \\\n     " + block +
                 " using 1:" + std::to_string(column) + " with lines lw 1.5 dt " + dashes[r] + " " +
                 colour + title((std::string(names[r]) + ", 95 % band").c_str());
    }
    if (miscorrections) {
        plots += ", \\\n     " + block + " using 1:11 with lines lw 2.5 dt 1 " +
                 kMiscorrectionColour +
                 title("miscorrections (wrong blocks not flagged), per block");
    }
    return plots;
}

}  // namespace

std::string StratifiedPlotScript(const std::filesystem::path& output,
                                 const std::vector<EstimatedPoint>& points,
                                 const PlotSubject& subject) {
    const bool ebN0 = SweepsEbN0(subject.channel);
    const PointsBlock estimated = EstimatedBlock(points, ebN0);
    std::string script =
        PlotSettings(
            output,
            CodeTitle(subject.code, subject.channel, subject.interleave) + ", weight-stratified",
            XLabel(subject.channel), ebN0, subject.yRange, estimated.lowestRate) +
        estimated.text + TheoryPoints(estimated, subject.code, subject.channel, subject.interleave);
    std::string plots =
        "$theory using 1:2 with lines lw 2 lc rgb '#999999' title 'FER, bounded-distance "
        "decoder (theory)'";
    if (ebN0) {
        script += UncodedPoints(estimated);
        plots += std::string(", \\\n     ") + kUncodedCurve;
    }
    script += "plot " + plots +
              EstimatedCurves("$estimates", "stratified", {"#c0392b", "#2471a3", "#1e8449"},
                              estimated.anyMiscorrections) +
              "\nunset output\n";
    return script;
}

std::string DrawStratifiedPlot(const std::filesystem::path& gnuplot, const OutputTarget& output,
                               const std::vector<EstimatedPoint>& points,
                               const PlotSubject& subject) {
    return DrawScript(gnuplot, output, [&](const std::filesystem::path& aside) {
        return StratifiedPlotScript(aside, points, subject);
    });
}

std::string PlotScript(const std::filesystem::path& output, const std::vector<PlotPoint>& points,
                       const PlotSubject& subject) {
    const bool ebN0 = SweepsEbN0(subject.channel);
    const PointsBlock simulated = SimulatedPoints(points, subject.code, ebN0);
    std::string script =
        PlotSettings(output, CodeTitle(subject.code, subject.channel, subject.interleave),
                     XLabel(subject.channel), ebN0, subject.yRange, simulated.lowestRate) +
        simulated.text;
    std::string plots;
    script += TheoryPoints(simulated, subject.code, subject.channel, subject.interleave);
    plots +=
        "$theory using 1:2 with lines lw 2 lc rgb '#999999' title 'FER, bounded-distance "
        "decoder (theory)', \\\n     ";
    if (ebN0) {
        script += UncodedPoints(simulated);
        plots += std::string(kUncodedCurve) + ", \\\n     ";
    }
    script += "plot " + plots +
              "$points using 1:2:3:4 with yerrorbars pt 7 ps 0.8 lc rgb '#c0392b' title 'FER, "
              "simulated, 95 % interval', \\\n";
    if (simulated.anyWithoutErrors) {
        script +=
            "     $points using 1:6 with points pt 11 ps 1.0 lc rgb '#c0392b' title 'FER upper "
            "bound, no error block', \\\n";
    }
    if (simulated.anyMiscorrections) {
        script += std::string("     $points using 1:7 with linespoints lw 2.5 pt 9 ps 1.2 ") +
                  kMiscorrectionColour +
                  " title 'miscorrections (wrong blocks not flagged), per block', \\\n";
    }
    if (ebN0) {
        script +=
            "     $points using 1:8 with linespoints pt 7 ps 0.6 lc rgb '#1e8449' title 'BER "
            "(decoded bits)', \\\n";
    }
    script +=
        "     $points using 1:5 with linespoints pt 5 ps 0.7 lc rgb '#2471a3' title 'SER "
        "(decoded symbols)'\n"
        "unset output\n";
    return script;
}

bool AnythingToPlot(const std::vector<PlotPoint>& points) {
    return std::any_of(points.begin(), points.end(),
                       [](const PlotPoint& p) { return p.blocks > 0; });
}

std::string DrawPlot(const std::filesystem::path& gnuplot, const OutputTarget& output,
                     const std::vector<PlotPoint>& points, const PlotSubject& subject) {
    return DrawScript(gnuplot, output, [&](const std::filesystem::path& aside) {
        return PlotScript(aside, points, subject);
    });
}

std::string SweepsOfOneKind(const std::vector<PlottedRun>& runs,
                            const std::vector<std::string>& names) {
    const auto ebN0 = std::find_if(runs.begin(), runs.end(),
                                   [](const PlottedRun& run) { return SweepsEbN0(run.channel); });
    const auto p0 = std::find_if(runs.begin(), runs.end(),
                                 [](const PlottedRun& run) { return !SweepsEbN0(run.channel); });
    if (ebN0 == runs.end() || p0 == runs.end()) {
        return {};
    }
    return names[static_cast<std::size_t>(ebN0 - runs.begin())] +
           " runs against Eb/N0 (bpsk-awgn) and " +
           names[static_cast<std::size_t>(p0 - runs.begin())] +
           " against P0: one figure has one x axis";
}

std::string CompareScript(const std::filesystem::path& output, const std::vector<PlottedRun>& runs,
                          std::optional<YRange> yRange) {
    // A colour a run: its FER with intervals, its SER and its theory.
    static constexpr const char* kColours[] = {"#c0392b", "#2471a3", "#1e8449", "#7d3c98",
                                               "#b9770e", "#17202a", "#ca6f1e", "#138d75"};
    // The runs' channel names the figure when they share it; otherwise each label names its own.
    const bool oneChannel = std::all_of(runs.begin(), runs.end(), [&](const PlottedRun& run) {
        return run.channel.index() == runs.front().channel.index() &&
               ChannelTitle(run.channel, run.interleave) ==
                   ChannelTitle(runs.front().channel, runs.front().interleave);
    });
    const rs_sim::Channel& first = runs.front().channel;
    const bool ebN0 = SweepsEbN0(first);
    std::string script;  // the data blocks; the settings go before them at the end
    std::string plots;
    PointsBlock all;  // every run's points, for the uncoded curve's reach
    int entries = 0;  // the key's
    for (std::size_t r = 0; r < runs.size(); ++r) {
        const PlottedRun& run = runs[r];
        const std::string points = "$points" + std::to_string(r);
        const std::string theory = "$theory" + std::to_string(r);
        const std::string colour =
            std::string("lc rgb '") + kColours[r % std::size(kColours)] + "'";
        const auto title = [&](const char* what) {
            return " title " + Quoted(run.label + ", " + what) + " noenhanced";
        };
        const std::string next = plots.empty() ? "plot " : ", \\\n     ";
        if (!run.estimated.empty()) {
            const PointsBlock estimated = EstimatedBlock(run.estimated, ebN0, points);
            script += estimated.text +
                      TheoryPoints(estimated, run.code, run.channel, run.interleave, theory);
            if (estimated.any) {
                Extend(all, estimated.lowest);
                Extend(all, estimated.highest);
            }
            NoteRate(all, estimated.lowestRate);
            const char* base = kColours[r % std::size(kColours)];
            entries += 4;
            plots += next + theory + " using 1:2 with lines lw 1.5 dt 2 " + colour +
                     title("FER, theory") +
                     EstimatedCurves(points, run.label, {base, base, base}, false);
            continue;
        }
        const PointsBlock simulated = SimulatedPoints(run.points, run.code, ebN0, points);
        script += simulated.text;
        if (simulated.any) {
            Extend(all, simulated.lowest);
            Extend(all, simulated.highest);
        }
        NoteRate(all, simulated.lowestRate);
        std::string curves = points + " using 1:2:3:4 with yerrorbars pt 7 ps 0.7 " + colour +
                             title("FER, 95 % interval") + ", \\\n     " + points +
                             " using 1:5 with linespoints pt 5 ps 0.5 lw 0.8 " + colour +
                             title("SER");
        script += TheoryPoints(simulated, run.code, run.channel, run.interleave, theory);
        curves = theory + " using 1:2 with lines lw 1.5 dt 2 " + colour + title("FER, theory") +
                 ", \\\n     " + curves;
        plots += next + curves;
        entries += 3;
    }
    if (ebN0) {
        ++entries;
        script += UncodedPoints(all);
        plots += ", \\\n     " + std::string(kUncodedCurve);
    }
    return PlotSettings(output,
                        std::to_string(runs.size()) + " runs" +
                            (oneChannel ? ", " + ChannelTitle(first, runs.front().interleave)
                                        : std::string()),
                        oneChannel || ebN0 ? XLabel(first) : "P0, channel error probability", ebN0,
                        yRange, all.lowestRate, entries) +
           script + plots + "\nunset output\n";
}

std::string DrawComparison(const std::filesystem::path& gnuplot, const OutputTarget& output,
                           const std::vector<PlottedRun>& runs, std::optional<YRange> yRange) {
    return DrawScript(gnuplot, output, [&](const std::filesystem::path& aside) {
        return CompareScript(aside, runs, yRange);
    });
}

std::string DrawScript(const std::filesystem::path& gnuplot, const OutputTarget& output,
                       const std::function<std::string(const std::filesystem::path&)>& make) {
    const std::filesystem::path aside = AsidePath(output);
    const std::string script = make(aside);
    const std::string& name = output.name;
    // gnuplot's complaints go to a file of their own: the user sees one line, not its dump.
    const std::filesystem::path complaints = aside.string() + ".err";

    int channel[2];
    if (pipe(channel) != 0) {
        return name + ": cannot start gnuplot: " + std::strerror(errno);
    }
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        return name + ": cannot start gnuplot: " + std::strerror(errno);
    }
    if (child == 0) {
        dup2(channel[0], STDIN_FILENO);
        close(channel[0]);
        close(channel[1]);
        const int err = open(complaints.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (err >= 0) {
            dup2(err, STDERR_FILENO);
        }
        execl(gnuplot.c_str(), "gnuplot", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[0]);
    // gnuplot may end early on a bad script; its closed pipe must not end us.
    const auto previous = std::signal(SIGPIPE, SIG_IGN);
    std::size_t written = 0;
    while (written < script.size()) {
        const ssize_t got = write(channel[1], script.data() + written, script.size() - written);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        written += static_cast<std::size_t>(got);
    }
    close(channel[1]);
    std::signal(SIGPIPE, previous);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string said = LastLine(complaints);
    std::error_code ignored;
    std::filesystem::remove(complaints, ignored);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || written < script.size() ||
        !std::filesystem::exists(aside)) {
        std::filesystem::remove(aside, ignored);
        return name + ": gnuplot could not draw the plot" + (said.empty() ? "" : ": " + said);
    }
    return PutInPlace(output, aside);
}

}  // namespace rs
