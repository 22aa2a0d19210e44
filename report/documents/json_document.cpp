#include "report/documents/json_document.h"

#include <string>
#include <utility>
#include <variant>

#include "report/text/channel_text.h"
#include "rs_sim/simulator.h"

namespace rs {

RunDescription DescribeExperiment(const rs_sim::Experiment& experiment) {
    const rs_sim::Points& points = experiment.points;
    const bool sweep = points.kind == rs_sim::Points::Kind::kSweep;
    RunDescription run;
    run.parameters = {.Pmax = sweep ? points.Pmax : 0.0F,
                      .Pmin = sweep ? points.Pmin : 0.0F,
                      .Pstep = sweep ? points.Pstep : 0.0F,
                      .maxBlocks = experiment.stop.maxBlocks,
                      .maxErrorBlocks = experiment.stop.maxErrorBlocks,
                      .M = experiment.code.m,
                      .T = experiment.code.t};
    run.seed = experiment.seed;
    run.code = rs_sim::FactsOf(experiment.code.m, experiment.code.t, experiment.code.length,
                               experiment.puncture);
    if (!sweep) {
        run.grid = points;
    }
    run.length = experiment.code.length;
    run.independentPoints = experiment.independentPoints;
    run.channel = experiment.channel;
    run.interleave = experiment.interleave;
    run.onFailure = experiment.onFailure;
    return run;
}

nlohmann::ordered_json ExperimentJson(const RunDescription& run) {
    const SimulationParameters& p = run.parameters;
    nlohmann::ordered_json experiment = {{"Pmax", rs_sim::ShortestDecimal(p.Pmax)},
                                         {"Pmin", rs_sim::ShortestDecimal(p.Pmin)},
                                         {"Pstep", rs_sim::ShortestDecimal(p.Pstep)},
                                         {"maxBlocks", p.maxBlocks},
                                         {"maxErrorBlocks", p.maxErrorBlocks},
                                         {"M", p.M},
                                         {"T", p.T},
                                         {"seed", run.seed}};
    if (run.length) {
        experiment["length"] = *run.length;
    }
    if (run.independentPoints) {
        experiment["independentPoints"] = true;
    }
    if (!IsDefaultChannel(run.channel)) {
        experiment["channel"] = ChannelJson(run.channel);
        experiment["interleave"] = run.interleave;
        // Frames draw from Philox keyed by (seed, point), not from the program's generator.
        experiment["generator"] = "philox";
    }
    if (run.code.punctured > 0) {
        experiment["puncture"] = run.code.punctured;
    }
    if (run.onFailure == rs_sim::Experiment::OnFailure::kReceived) {
        experiment["onFailure"] = "received";
    }
    if (run.grid) {
        // The points that run in place of the sweep lines, and how they were asked for.
        nlohmann::ordered_json points = nlohmann::ordered_json::array();
        for (const float P0 : run.grid->values) {
            points.push_back(rs_sim::ShortestDecimal(P0));
        }
        constexpr std::pair<rs_sim::Points::Kind, const char*> kOptions[] = {
            {rs_sim::Points::Kind::kList, "p0"},
            {rs_sim::Points::Kind::kDecades, "p0Decades"},
            {rs_sim::Points::Kind::kEbN0List, "ebn0"},
            {rs_sim::Points::Kind::kEbN0Range, "ebn0Range"}};
        const char* option = "p0";
        for (const auto& [kind, name] : kOptions) {
            option = run.grid->kind == kind ? name : option;
        }
        experiment["grid"] = {{option, run.grid->text},
                              {SweepsEbN0(run.channel) ? "EbN0" : "P0", std::move(points)}};
    }
    return experiment;
}

nlohmann::ordered_json ChannelJson(const rs_sim::Channel& channel) {
    nlohmann::ordered_json json = {{"name", rs_sim::ChannelName(channel)}};
    if (const auto* markov = std::get_if<rs_sim::GilbertElliottChannel>(&channel)) {
        json["level"] =
            markov->level == rs_sim::GilbertElliottChannel::Level::kBit ? "bit" : "symbol";
        json["burst"] = markov->burst;
        json["goodError"] = markov->goodError;
        json["badError"] = markov->badError;
    }
    if (const auto* bpsk = std::get_if<rs_sim::BpskAwgnChannel>(&channel);
        bpsk != nullptr && bpsk->eraseBelow) {
        const auto* given = std::get_if<double>(&*bpsk->eraseBelow);
        json["eraseBelow"] =
            given != nullptr ? nlohmann::ordered_json(*given) : nlohmann::ordered_json("best");
    } else if (CountsErasures(channel)) {
        json["erasures"] = rs_sim::ErasureProbability(channel);
    }
    return json;
}

nlohmann::ordered_json CodeJson(const rs_sim::CodeFacts& code) {
    return {{"n", code.n}, {"k", code.k}, {"t", code.t}, {"q", code.q}, {"rate", code.rate}};
}

nlohmann::ordered_json IntervalsJson(std::int32_t interleave) {
    const std::string trials = interleave > 1 ? "frames" : "blocks";
    return {{"confidence", 0.95},
            {"FER", interleave > 1 ? "Korn-Graubard over frames" : "Clopper-Pearson"},
            {"SER", "Korn-Graubard over " + trials + " (from errorSymbolSquares)"}};
}

nlohmann::ordered_json PointJson(const rs_sim::PointResult& point, const rs_sim::Channel& channel) {
    nlohmann::ordered_json json = PointJson(point);
    if (CountsChannelBits(channel)) {
        json["channelBitErrors"] = point.counts.channelBitErrors;
        json["channelBER"] = point.channelBER;
    }
    if (!IsDefaultChannel(channel)) {
        json["errorBlockSquares"] = point.counts.errorBlockSquares;
    }
    if (CountsErasures(channel)) {
        json["channelErasures"] = point.counts.channelErasures;
        json["errorsCorrected"] = point.counts.errorsCorrected;
        json["erasuresCorrected"] = point.counts.erasuresCorrected;
    }
    if (point.eraseBelow) {
        json["eraseBelow"] = *point.eraseBelow;
    }
    return json;
}

nlohmann::ordered_json PointJson(const rs_sim::PointResult& point) {
    // NaN rates (a point without blocks) become null, as JSON has no NaN.
    return {{"P0", rs_sim::ShortestDecimal(point.P0)},
            {"blocks", point.counts.blocks},
            {"errorBlocks", point.counts.errorBlocks},
            {"channelErrors", point.counts.channelErrors},
            {"errorSymbols", point.counts.errorSymbols},
            {"bitErrors", point.counts.bitErrors},
            {"detectedFailures", point.counts.failures},
            {"miscorrections", point.counts.miscorrections},
            {"errorSymbolSquares", point.counts.errorSymbolSquares},
            {"channelSER", point.channelSER},
            {"FER", point.FER},
            {"FERLow", point.FERLow},
            {"FERHigh", point.FERHigh},
            {"SER", point.SER},
            {"SERLow", point.SERLow},
            {"SERHigh", point.SERHigh},
            {"BER", point.BER},
            {"theoryFER", point.theoryFER},
            {"seconds", point.seconds}};
}

nlohmann::ordered_json DocumentHead(const RunDescription& run, const char* method) {
    nlohmann::ordered_json document;
    document["program"] = "rs-sim";
    document["version"] = rs_sim::Version();
    // Named in every report, so that a file alone says how it was made.
    document["method"] = method;
    document["experiment"] = ExperimentJson(run);
    document["code"] = CodeJson(run.code);
    return document;
}

nlohmann::ordered_json MonteCarloJson(const RunDescription& run) {
    nlohmann::ordered_json document = DocumentHead(run, "monte-carlo");
    document["intervals"] = IntervalsJson(run.interleave);
    document["points"] = nlohmann::ordered_json::array();
    return document;
}

}  // namespace rs
