#include "report/plot/compare.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <variant>

#include "rs_sim/simulator.h"
#include "system/output_target.h"

namespace rs {

namespace {

// A whole number of at least 0 in document[key], or nothing.
bool Count(const nlohmann::json& document, const char* key, std::int64_t& value) {
    const auto found = document.find(key);
    if (found == document.end() || !found->is_number_integer() || found->get<std::int64_t>() < 0) {
        return false;
    }
    value = found->get<std::int64_t>();
    return true;
}

std::string ReadCode(const nlohmann::json& document, rs_sim::CodeFacts& code) {
    const auto shape = document.find("code");
    std::int64_t n = 0;
    std::int64_t k = 0;
    std::int64_t t = 0;
    std::int64_t q = 0;
    if (shape == document.end() || !shape->is_object() || !Count(*shape, "n", n) ||
        !Count(*shape, "k", k) || !Count(*shape, "t", t) || !Count(*shape, "q", q) || n < 1 ||
        k > n || q < 2 || n > q - 1) {
        return "its code is missing or is no code";
    }
    code.n = static_cast<std::int32_t>(n);
    code.k = static_cast<std::int32_t>(k);
    code.t = static_cast<std::int32_t>(t);
    code.q = static_cast<std::int32_t>(q);
    code.m = static_cast<std::int32_t>(std::bit_width(static_cast<std::uint64_t>(q)) - 1);
    code.rate = static_cast<double>(k) / static_cast<double>(n);
    return {};
}

std::string ReadPoints(const nlohmann::json& document, std::vector<PlotPoint>& points) {
    const auto all = document.find("points");
    if (all == document.end() || !all->is_array()) {
        return "it holds no points";
    }
    for (std::size_t i = 0; i < all->size(); ++i) {
        const nlohmann::json& point = (*all)[i];
        std::int64_t blocks = 0;
        std::int64_t errorBlocks = 0;
        std::int64_t errorSymbols = 0;
        std::int64_t miscorrections = -1;
        std::int64_t bitErrors = -1;
        if (!point.is_object() || !point.contains("P0") || !point["P0"].is_number() ||
            !Count(point, "blocks", blocks) || !Count(point, "errorBlocks", errorBlocks) ||
            !Count(point, "errorSymbols", errorSymbols) || errorBlocks > blocks) {
            return "point " + std::to_string(i + 1) + " lacks its P0 or its counts";
        }
        if (point.contains("miscorrections") && !Count(point, "miscorrections", miscorrections)) {
            return "point " + std::to_string(i + 1) + " has a broken miscorrection count";
        }
        if (point.contains("bitErrors") && !Count(point, "bitErrors", bitErrors)) {
            return "point " + std::to_string(i + 1) + " has a broken bit error count";
        }
        points.push_back({point["P0"].get<double>(), static_cast<std::int32_t>(blocks), errorBlocks,
                          errorSymbols, miscorrections, bitErrors});
    }
    return {};
}

// A stratified run's points: each rate's value and interval, null where a double has no room.
std::string ReadEstimatedPoints(const nlohmann::json& document,
                                std::vector<EstimatedPoint>& points) {
    const auto all = document.find("points");
    if (all == document.end() || !all->is_array() || all->empty()) {
        return "it holds no points";
    }
    const auto value = [](const nlohmann::json& point, const std::string& key, double& out) {
        const auto found = point.find(key);
        if (found == point.end() || !(found->is_number() || found->is_null())) {
            return false;
        }
        out = found->is_null() ? std::nan("") : found->get<double>();
        return true;
    };
    for (std::size_t i = 0; i < all->size(); ++i) {
        const nlohmann::json& point = (*all)[i];
        EstimatedPoint estimated;
        bool whole = point.is_object() && value(point, "P0", estimated.P0) &&
                     value(point, "miscorrectionRate", estimated.miscorrections);
        const std::pair<const char*, std::array<double, 3>*> rates[] = {
            {"FER", &estimated.fer}, {"SER", &estimated.ser}, {"BER", &estimated.ber}};
        for (const auto& [name, rate] : rates) {
            const std::string base(name);
            whole = whole && value(point, base, (*rate)[0]) &&
                    value(point, base + "Low", (*rate)[1]) &&
                    value(point, base + "High", (*rate)[2]);
        }
        if (!whole) {
            return "point " + std::to_string(i + 1) + " lacks its P0 or its rates";
        }
        points.push_back(estimated);
    }
    return {};
}

// The run's channel from its experiment, the q-ary symmetric channel when it names none.
std::string ReadChannel(const nlohmann::json& experiment, PlottedRun& run) {
    const auto channel = experiment.find("channel");
    if (channel == experiment.end()) {
        return {};
    }
    const std::string name =
        channel->is_object() ? channel->value("name", std::string()) : std::string();
    const rs_sim::Channel known[] = {rs_sim::QarySymmetricChannel{},
                                     rs_sim::BinarySymmetricChannel{}, rs_sim::BpskAwgnChannel{},
                                     rs_sim::GilbertElliottChannel{}};
    const auto found = std::find_if(std::begin(known), std::end(known),
                                    [&](const auto& c) { return name == rs_sim::ChannelName(c); });
    if (found == std::end(known)) {
        return "its channel is not one rs-sim knows";
    }
    run.channel = *found;
    if (auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&run.channel)) {
        // The threshold, so that the plot's title names it.
        const auto threshold = channel->find("eraseBelow");
        if (threshold != channel->end() && threshold->is_number()) {
            bpsk->eraseBelow = threshold->get<double>();
        } else if (threshold != channel->end() && *threshold == "best") {
            bpsk->eraseBelow = rs_sim::BpskAwgnChannel::BestThreshold{};
        }
    }
    if (auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&run.channel)) {
        const auto number = [&](const char* key, double& value) {
            const auto given = channel->find(key);
            if (given == channel->end() || !given->is_number()) {
                return false;
            }
            value = given->get<double>();
            return true;
        };
        const std::string level = channel->value("level", std::string());
        if (!number("burst", markov->burst) || !number("goodError", markov->goodError) ||
            !number("badError", markov->badError) || (level != "bit" && level != "symbol")) {
            return "its gilbert-elliott channel lacks its level, burst or error probabilities";
        }
        markov->level = level == "bit" ? rs_sim::GilbertElliottChannel::Level::kBit
                                       : rs_sim::GilbertElliottChannel::Level::kSymbol;
    }
    std::int64_t interleave = 1;
    if (experiment.contains("interleave") &&
        (!Count(experiment, "interleave", interleave) || interleave < 1 ||
         interleave > rs_sim::kMaxInterleave)) {
        return "its interleave is not 1 to " + std::to_string(rs_sim::kMaxInterleave);
    }
    run.interleave = static_cast<std::int32_t>(interleave);
    return {};
}

}  // namespace

ComparedRun ReadComparedRun(const std::filesystem::path& path, const std::string& name) {
    ComparedRun compared;
    const auto refuse = [&](const std::string& why) {
        compared.error = name + ": cannot compare: " + why;
        return compared;
    };
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        // The system's reason, where the open left one.
        return refuse(errno != 0 ? std::strerror(errno) : "the file cannot be read");
    }
    std::stringstream text;
    text << in.rdbuf();
    const nlohmann::json document = nlohmann::json::parse(text.str(), nullptr, false);
    if (document.is_discarded() || !document.is_object()) {
        return refuse("it is not JSON (a run cut short, or another file)");
    }
    if (document.value("program", "") != "rs-sim") {
        return refuse("it is not a JSON report of rs-sim");
    }
    if (const std::string version = document.value("version", "?"); version != rs_sim::Version()) {
        return refuse("it was written by rs-sim " + version + ", not by this rs-sim " +
                      std::string(rs_sim::Version()));
    }
    if (std::string why = ReadCode(document, compared.run.code); !why.empty()) {
        return refuse(why);
    }
    const bool stratified = document.value("method", "") == "stratified";
    if (std::string why = stratified ? ReadEstimatedPoints(document, compared.run.estimated)
                                     : ReadPoints(document, compared.run.points);
        !why.empty()) {
        return refuse(why);
    }
    const nlohmann::json experiment = document.value("experiment", nlohmann::json::object());
    if (std::string why = ReadChannel(experiment, compared.run); !why.empty()) {
        return refuse(why);
    }
    std::string label = "RS(" + std::to_string(compared.run.code.n) + "," +
                        std::to_string(compared.run.code.k) + ")";
    if (!std::holds_alternative<rs_sim::QarySymmetricChannel>(compared.run.channel)) {
        label += std::string(", ") + rs_sim::ChannelName(compared.run.channel);
    }
    if (compared.run.interleave > 1) {
        label += ", interleave " + std::to_string(compared.run.interleave);
    }
    if (experiment.contains("seed") && experiment["seed"].is_number_integer()) {
        label += ", seed " + std::to_string(experiment["seed"].get<std::int64_t>());
    }
    if (experiment.value("independentPoints", false)) {
        label += ", independent points";
    }
    label += stratified ? ", stratified" : ", Monte-Carlo";
    compared.run.label = label;
    return compared;
}

}  // namespace rs
