#include <charconv>
#include <cmath>
#include <iterator>
#include <string>
#include <system_error>

#include "random/jump_ahead.h"
#include "rs_sim/experiment.h"
#include "simulator/p0_grid.h"
#include "simulator/sweep.h"
#include "stats/channel_model.h"

namespace rs_sim {

namespace {

// q = 2^m must fit a 32-bit signed integer.
constexpr std::int32_t kMaxFieldDegree = 30;

Expected<Points> FromGrid(const rs::P0GridParse& parsed, Points::Kind kind) {
    if (!parsed.error.empty()) {
        return {{}, parsed.error};
    }
    Points points;
    points.kind = kind;
    points.values = parsed.grid.points;
    points.text = parsed.grid.text;
    return {points, {}};
}

std::string CheckCode(const Code& code) {
    if (code.m < 1 || code.m > kMaxFieldDegree) {
        return "M=" + std::to_string(code.m) + " is out of range: the field degree must be 1 to " +
               std::to_string(kMaxFieldDegree);
    }
    if (code.t < 0) {
        return "T=" + std::to_string(code.t) + " is out of range: T must be 0 or more";
    }
    const std::int64_t n = (std::int64_t{1} << code.m) - 1;
    if (2 * std::int64_t{code.t} > n) {
        return "T=" + std::to_string(code.t) + " is too large for M=" + std::to_string(code.m) +
               ": 2T must not exceed n=" + std::to_string(n);
    }
    if (code.length && (*code.length <= 2 * std::int64_t{code.t} || *code.length > n)) {
        return "length " + std::to_string(*code.length) +
               " does not shorten the code (M=" + std::to_string(code.m) +
               ", T=" + std::to_string(code.t) +
               "): it must exceed 2T=" + std::to_string(2 * code.t) +
               " and be at most 2^M-1=" + std::to_string(n);
    }
    return {};
}

// The shortest text that reads back as the same double.
std::string DoubleText(double value) {
    char buffer[64];
    const auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return status == std::errc{} ? std::string(buffer, end) : std::string("nan");
}

std::string CheckChannel(const Experiment& experiment) {
    const bool qary = !SendsFrames(experiment.channel);
    if (const auto* symmetric = std::get_if<QarySymmetricChannel>(&experiment.channel);
        symmetric != nullptr && symmetric->erasure) {
        const double erasure = *symmetric->erasure;
        if (!(erasure >= 0.0 && erasure <= 1.0)) {
            return "the erasure probability " + ShortestText(static_cast<float>(erasure)) +
                   " is not a probability: 0 to 1";
        }
    }
    if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&experiment.channel);
        bpsk != nullptr && bpsk->eraseBelow) {
        if (const auto* threshold = std::get_if<double>(&*bpsk->eraseBelow);
            threshold != nullptr && !(std::isfinite(*threshold) && *threshold >= 0.0)) {
            return "the erasure threshold " + DoubleText(*threshold) +
                   " is not an amplitude: it must be finite and 0 or more";
        }
    }
    if (experiment.interleave < 1 || experiment.interleave > kMaxInterleave) {
        return "interleave " + std::to_string(experiment.interleave) + " is out of range: 1 to " +
               std::to_string(kMaxInterleave);
    }
    if (experiment.puncture < 0 || experiment.puncture > 2 * experiment.code.t) {
        return "puncture " + std::to_string(experiment.puncture) +
               " is out of range: 0 to 2T=" + std::to_string(2 * experiment.code.t);
    }
    if (qary &&
        (experiment.puncture > 0 || experiment.onFailure != Experiment::OnFailure::kDecoded)) {
        return "puncturing and delivering received blocks need the frame engine: the "
               "q-ary-symmetric "
               "channel runs there with an erasure probability (0 for none)";
    }
    if (qary && experiment.interleave > 1) {
        return "the q-ary-symmetric channel has no memory to spread: interleaving needs another "
               "channel";
    }
    if (experiment.interleave > 1 && experiment.stop.maxBlocks < experiment.interleave) {
        return "maxBlocks must be at least the interleaving depth " +
               std::to_string(experiment.interleave) + ": a frame holds that many blocks";
    }
    if (const auto* markov = std::get_if<GilbertElliottChannel>(&experiment.channel)) {
        if (!(markov->goodError >= 0.0 && markov->goodError <= 1.0) ||
            !(markov->badError >= 0.0 && markov->badError <= 1.0)) {
            return "the gilbert-elliott channel's error probabilities must be 0 to 1";
        }
        if (!(markov->burst >= 1.0 && markov->burst <= 1e12)) {
            return "the gilbert-elliott channel needs a mean burst length of 1 to 1e12";
        }
        if (std::holds_alternative<Stratified>(experiment.method)) {
            return "the stratified method weights independent symbol errors: the "
                   "gilbert-elliott channel's bursts make them dependent";
        }
    }
    // Every point must be one the channel reaches.
    for (const float P0 : experiment.points.values) {
        const rs::ChannelAt at = rs::ModelChannel(
            experiment.channel,
            {experiment.code.m, experiment.code.N(), experiment.code.t, experiment.puncture},
            static_cast<double>(P0));
        if (!at.model) {
            return at.error;
        }
    }
    return {};
}

// The q-ary channel's generator has a period, and independent points each a lane of it: a
// point whose blocks could take more draws than it has would repeat its own errors or another
// point's. Checked from the longest block a point can send: its information symbols, then for
// every symbol sent a uniform and, were each one hit, an error value.
std::string CheckStreamReach(const Experiment& experiment) {
    if (!std::holds_alternative<MonteCarlo>(experiment.method) || SendsFrames(experiment.channel)) {
        return {};
    }
    const std::int64_t longest =
        std::int64_t{experiment.code.K()} + 2 * std::int64_t{experiment.code.N()};
    const auto blocks = static_cast<std::int64_t>(experiment.stop.maxBlocks);
    const std::uint64_t reach = experiment.independentPoints ? rs::kPointLane : rs::kDrawPeriod;
    const auto mostBlocks = static_cast<std::int64_t>(reach / static_cast<std::uint64_t>(longest));
    if (blocks > mostBlocks) {
        const std::string what =
            experiment.independentPoints
                ? "the 2^40 draws an independent point has before the next point's begin"
                : "the generator's period of (2^52 - 1)/3 draws, after which its draws repeat";
        return "maxBlocks=" + std::to_string(blocks) + " blocks of up to " +
               std::to_string(longest) + " draws each could outrun " + what + ": use at most " +
               std::to_string(mostBlocks) + " blocks a point" +
               (experiment.independentPoints ? ", run without independent points," : "") +
               " or draw from Philox frames (--generator philox)";
    }
    const std::uint64_t mostPoints = rs::kDrawPeriod / rs::kPointLane;
    if (experiment.independentPoints && experiment.points.values.size() > mostPoints) {
        return std::to_string(experiment.points.values.size()) +
               " independent points would wrap around the generator's period, which holds " +
               std::to_string(mostPoints) +
               " points' lanes of 2^40 draws: run fewer points, without independent points, "
               "or on Philox frames (--generator philox)";
    }
    return {};
}

}  // namespace

const char* ChannelName(const Channel& channel) {
    constexpr const char* kNames[] = {"q-ary-symmetric", "binary-symmetric", "bpsk-awgn",
                                      "gilbert-elliott"};
    static_assert(std::size(kNames) == std::variant_size_v<Channel>);
    return kNames[channel.index()];
}

std::int32_t Code::N() const {
    return length.value_or(static_cast<std::int32_t>((std::int64_t{1} << m) - 1));
}

Expected<Points> Points::Sweep(float Pmax, float Pmin, float Pstep) {
    rs::SweepPlan plan = rs::PlanSweep(Pmax, Pmin, Pstep);
    if (!plan.error.empty()) {
        return {{}, plan.error};
    }
    Points points;
    points.kind = Kind::kSweep;
    points.values = std::move(plan.points);
    points.Pmax = Pmax;
    points.Pmin = Pmin;
    points.Pstep = Pstep;
    return {points, {}};
}

Expected<Points> Points::List(std::string_view text) {
    return FromGrid(rs::ParseP0List(text), Kind::kList);
}

Expected<Points> Points::Decades(std::string_view text) {
    return FromGrid(rs::ParseP0Decades(text), Kind::kDecades);
}

Expected<Points> Points::EbN0List(std::string_view text) {
    return FromGrid(rs::ParseEbN0List(text), Kind::kEbN0List);
}

Expected<Points> Points::EbN0Range(std::string_view text) {
    return FromGrid(rs::ParseEbN0Range(text), Kind::kEbN0Range);
}

Points Points::Values(std::vector<float> values) {
    Points points;
    points.values = std::move(values);
    return points;
}

std::string CheckExperiment(const Experiment& experiment) {
    if (std::string problem = CheckCode(experiment.code); !problem.empty()) {
        return problem;
    }
    if (experiment.points.values.size() > rs::kMaxSweepPoints) {
        return "more than " + std::to_string(rs::kMaxSweepPoints) + " points";
    }
    for (const float P0 : experiment.points.values) {
        if (!(P0 == P0)) {
            return "a P0 is not a number";
        }
    }
    if (experiment.seed < 0 || experiment.seed > kMaxSeed) {
        return "seed " + std::to_string(experiment.seed) + " is out of range: 0 to " +
               std::to_string(kMaxSeed);
    }
    if (experiment.threads < 1 || experiment.threads > kMaxThreads) {
        return "threads " + std::to_string(experiment.threads) + " is out of range: 1 to " +
               std::to_string(kMaxThreads);
    }
    if (std::string problem = CheckChannel(experiment); !problem.empty()) {
        return problem;
    }
    if (std::string problem = CheckStreamReach(experiment); !problem.empty()) {
        return problem;
    }
    if (const auto* stratified = std::get_if<Stratified>(&experiment.method)) {
        if (experiment.engine == EngineChoice::kReference) {
            return "the stratified method runs no Monte-Carlo engine: the reference engine "
                   "cannot be asked for";
        }
        if (experiment.independentPoints) {
            return "the stratified method has no points' streams to make independent";
        }
        if (stratified->samples &&
            (*stratified->samples < 1 || *stratified->samples > std::int64_t{1} << 40)) {
            return "samples must be 1 to 2^40";
        }
        if (!stratified->samples &&
            !(stratified->precision >= 1e-4 && stratified->precision <= 0.5)) {
            return "precision must be 0.0001 to 0.5";
        }
    }
    return {};
}

}  // namespace rs_sim
