// rs_sim.simulate: an Experiment from keywords, run on a thread of its own while the calling
// thread, with the GIL released between looks, watches for signals and passes progress on.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "base/thread_annotations.h"
#include "python/bindings.h"
#include "rs_sim/documents.h"
#include "rs_sim/simulator.h"

namespace py = pybind11;

namespace rs_sim::python {

namespace {

// How often the calling thread looks at signals while a run proceeds, and the least time
// between two progress calls.
constexpr auto kSignalSlice = std::chrono::milliseconds(50);
constexpr double kProgressSeconds = 0.1;

// The running point's counts (a stratified run's round and patterns), written by the run's
// thread, read by the calling thread.
class ProgressBoard final : public Observer {
  public:
    struct Sighting {
        std::size_t point = 0;
        std::int64_t blocks = 0;
        std::int64_t errorBlocks = 0;
    };

    void Progress(std::size_t index, const Counts& sofar, double /*seconds*/) override {
        Post({index, sofar.blocks, sofar.errorBlocks});
    }
    void PointCounted(std::size_t index, const PointResult& result) override {
        Post({index, result.counts.blocks, result.counts.errorBlocks});
    }
    void Round(int round, std::int64_t patterns, double /*seconds*/) override {
        Post({static_cast<std::size_t>(round), patterns, 0});
    }

    // What was seen since the last call, if anything.
    std::optional<Sighting> Take() RS_EXCLUDES(lock) {
        const rs::MutexLock hold(lock);
        return std::exchange(latest, std::nullopt);
    }

  private:
    void Post(const Sighting& seen) RS_EXCLUDES(lock) {
        const rs::MutexLock hold(lock);
        latest = seen;
    }

    rs::Mutex lock;
    std::optional<Sighting> latest RS_GUARDED_BY(lock);
};

// The run's end, signalled by its thread to the calling thread.
struct Finish {
    rs::Mutex lock;
    std::condition_variable ended;
    bool done RS_GUARDED_BY(lock) = false;
};

std::string Text(const py::handle& value) {
    return py::str(value).cast<std::string>();
}

// "a,b,c" of the values' reprs, as --p0 takes them, so that the program's checks and messages
// apply alike.
std::string ListText(const py::handle& values, const char* separator) {
    std::string text;
    for (const py::handle value : values) {
        text += (text.empty() ? "" : separator) + Text(py::repr(value));
    }
    return text;
}

Points PointsOf(const py::object& p0, const py::object& decades, bool ebN0) {
    if (p0.is_none() == decades.is_none()) {
        throw py::value_error("give the P0 values as either p0 or p0_decades");
    }
    Expected<Points> points;
    if (!p0.is_none()) {
        if (py::isinstance<py::str>(p0) || !py::isinstance<py::iterable>(p0)) {
            throw py::type_error("p0 must be a sequence of numbers");
        }
        points = ebN0 ? Points::EbN0List(ListText(p0, ",")) : Points::List(ListText(p0, ","));
    } else {
        if (py::len(decades) != 3) {
            throw py::value_error("p0_decades must be (from, to, per_decade)");
        }
        points = Points::Decades(ListText(decades, ":"));
    }
    if (!points) {
        throw py::value_error(points.error);
    }
    return *std::move(points.value);
}

// The channel as --channel and its options give it; CheckExperiment judges the values.
// erase_below: None, a threshold THETA, or "best".
std::optional<BpskAwgnChannel::Threshold> ThresholdOf(const py::object& eraseBelow) {
    if (eraseBelow.is_none()) {
        return std::nullopt;
    }
    if (py::isinstance<py::str>(eraseBelow)) {
        if (Text(eraseBelow) == "best") {
            return BpskAwgnChannel::BestThreshold{};
        }
    } else if (py::isinstance<py::float_>(eraseBelow) || py::isinstance<py::int_>(eraseBelow)) {
        return eraseBelow.cast<double>();
    }
    throw py::value_error(
        "erase_below takes a threshold THETA (a number, 0 or more) or \"best\", "
        "not " +
        Text(py::repr(eraseBelow)));
}

Channel ChannelOf(const std::string& name, std::optional<double> erasures,
                  const py::object& eraseBelow, const std::string& level,
                  std::optional<double> burst, double goodError, double badError) {
    const bool markov = name == ChannelName(GilbertElliottChannel{});
    if (erasures && name != ChannelName(QarySymmetricChannel{})) {
        throw py::value_error("erasures belongs to channel=\"q-ary-symmetric\", not to " + name);
    }
    if (!eraseBelow.is_none() && name != ChannelName(BpskAwgnChannel{})) {
        throw py::value_error("erase_below belongs to channel=\"bpsk-awgn\", not to " + name);
    }
    if (markov != burst.has_value()) {
        throw py::value_error(markov ? "channel=\"gilbert-elliott\" needs burst, the mean length "
                                       "of a burst in bits or symbols"
                                     : "burst belongs to channel=\"gilbert-elliott\"");
    }
    if (level != "bit" && level != "symbol") {
        throw py::value_error("level must be \"bit\" or \"symbol\", not \"" + level + "\"");
    }
    if (name == ChannelName(QarySymmetricChannel{})) {
        return QarySymmetricChannel{erasures};
    }
    if (name == ChannelName(BinarySymmetricChannel{})) {
        return BinarySymmetricChannel{};
    }
    if (name == ChannelName(BpskAwgnChannel{})) {
        return BpskAwgnChannel{ThresholdOf(eraseBelow)};
    }
    if (markov) {
        return GilbertElliottChannel{level == "bit" ? GilbertElliottChannel::Level::kBit
                                                    : GilbertElliottChannel::Level::kSymbol,
                                     goodError, badError, *burst};
    }
    throw py::value_error(
        "channel must be q-ary-symmetric, binary-symmetric, bpsk-awgn or "
        "gilbert-elliott, not \"" +
        name + "\"");
}

py::dict ExperimentDict(const Experiment& experiment) {
    py::dict dict;
    dict["m"] = experiment.code.m;
    dict["t"] = experiment.code.t;
    dict["n"] = experiment.code.N();
    dict["k"] = experiment.code.K();
    dict["length"] = experiment.code.length ? py::cast(*experiment.code.length) : py::none();
    std::vector<double> p0;
    for (const float value : experiment.points.values) {
        p0.push_back(ShortestDecimal(value));
    }
    dict["p0"] = p0;
    dict["max_blocks"] = experiment.stop.maxBlocks;
    dict["max_error_blocks"] = experiment.stop.maxErrorBlocks;
    if (const auto* stratified = std::get_if<Stratified>(&experiment.method)) {
        dict["method"] = "stratified";
        dict["samples"] = stratified->samples ? py::cast(*stratified->samples) : py::none();
        dict["precision"] = stratified->precision;
    } else {
        dict["method"] = "monte-carlo";
    }
    dict["channel"] = ChannelName(experiment.channel);
    if (const auto* symmetric = std::get_if<QarySymmetricChannel>(&experiment.channel)) {
        dict["erasures"] = symmetric->erasure ? py::cast(*symmetric->erasure) : py::none();
    }
    if (const auto* bpsk = std::get_if<BpskAwgnChannel>(&experiment.channel)) {
        const auto* given = bpsk->eraseBelow ? std::get_if<double>(&*bpsk->eraseBelow) : nullptr;
        dict["erase_below"] = given != nullptr   ? py::cast(*given)
                              : bpsk->eraseBelow ? py::cast("best")
                                                 : py::none();
    }
    if (const auto* markov = std::get_if<GilbertElliottChannel>(&experiment.channel)) {
        dict["level"] = markov->level == GilbertElliottChannel::Level::kBit ? "bit" : "symbol";
        dict["burst"] = markov->burst;
        dict["good_error"] = markov->goodError;
        dict["bad_error"] = markov->badError;
    }
    dict["interleave"] = experiment.interleave;
    dict["puncture"] = experiment.puncture;
    dict["on_failure"] =
        experiment.onFailure == Experiment::OnFailure::kReceived ? "received" : "decoded";
    dict["engine"] = experiment.engine == EngineChoice::kFast ? "fast" : "reference";
    dict["threads"] = experiment.threads;
    dict["seed"] = experiment.seed;
    dict["independent_points"] = experiment.independentPoints;
    return dict;
}

// What simulate returns: the results as numpy arrays, one element per point.
class SimulationResults {
  public:
    SimulationResults(Results results, Experiment asked)
        : results(std::move(results)),
          asked(std::move(asked)),
          experiment(ExperimentDict(this->asked)) {}

    bool Stratified() const { return results.stratified.has_value(); }
    std::size_t Size() const {
        return Stratified() ? results.stratified->points.size() : results.points.size();
    }

    // A point's field as an array: from a Monte-Carlo point, or from a stratified one.
    template <typename T, typename OfPoint, typename OfStratified>
    py::array_t<T> Field(OfPoint ofPoint, OfStratified ofStratified) const {
        py::array_t<T> array(static_cast<py::ssize_t>(Size()));
        auto out = array.template mutable_unchecked<1>();
        for (std::size_t i = 0; i < Size(); ++i) {
            out(static_cast<py::ssize_t>(i)) =
                Stratified() ? static_cast<T>(ofStratified(results.stratified->points[i]))
                             : static_cast<T>(ofPoint(results.points[i]));
        }
        return array;
    }
    // A count of the Monte-Carlo points; empty for a stratified run, which counts patterns.
    template <typename OfCounts>
    py::array_t<std::int64_t> Count(OfCounts ofCounts) const {
        return Field<std::int64_t>([&](const PointResult& p) { return ofCounts(p.counts); },
                                   [](const StratifiedPoint&) { return 0; });
    }
    // A rate: a Monte-Carlo point's, or the stratified estimate's (kept as a logarithm).
    py::array_t<double> RateOf(double PointResult::*member, Rate rate,
                               double LogEstimate::*end) const {
        return Field<double>([&](const PointResult& p) { return p.*member; },
                             [&](const StratifiedPoint& p) {
                                 return std::exp(p.rates[static_cast<std::size_t>(rate)].*end);
                             });
    }
    py::array_t<double> Log10Of(double PointResult::*member, Rate rate,
                                double LogEstimate::*end) const {
        return Field<double>([&](const PointResult& p) { return std::log10(p.*member); },
                             [&](const StratifiedPoint& p) {
                                 return p.rates[static_cast<std::size_t>(rate)].*end /
                                        std::log(10.0);
                             });
    }

    Results results;
    Experiment asked;
    py::dict experiment;
};

// The Monte-Carlo counts, each an array of its own (zeros for a stratified run, which counts
// patterns, and on channels that do not count it).
struct CountField {
    const char* name;
    std::int64_t Counts::*member;
    const char* doc;
};
constexpr CountField kCountFields[] = {
    {"blocks", &Counts::blocks, "blocks sent (Monte-Carlo)"},
    {"error_blocks", &Counts::errorBlocks, "blocks whose information came out wrong (Monte-Carlo)"},
    {"channel_errors", &Counts::channelErrors, "symbols the channel changed (Monte-Carlo)"},
    {"error_symbols", &Counts::errorSymbols,
     "wrong information symbols after decoding (Monte-Carlo)"},
    {"bit_errors", &Counts::bitErrors, "wrong information bits after decoding (Monte-Carlo)"},
    {"failures", &Counts::failures,
     "blocks a practical decoder would flag (Monte-Carlo; the JSON's detectedFailures)"},
    {"miscorrections", &Counts::miscorrections,
     "wrong blocks the decoder would not flag (Monte-Carlo)"},
    {"error_symbol_squares", &Counts::errorSymbolSquares,
     "the sum over blocks (frames when interleaved) of their wrong information symbols "
     "squared, for the SER's interval (Monte-Carlo)"},
    {"channel_bit_errors", &Counts::channelBitErrors,
     "bits the channel flipped, on the channels that flip bits (Monte-Carlo)"},
    {"error_block_squares", &Counts::errorBlockSquares,
     "the sum over frames of each frame's error blocks squared (Monte-Carlo)"},
    {"channel_erasures", &Counts::channelErasures,
     "symbols the channel erased, on the channels that erase (Monte-Carlo)"},
    {"errors_corrected", &Counts::errorsCorrected,
     "errors corrected in the blocks delivered right, on the channels that erase "
     "(Monte-Carlo)"},
    {"erasures_corrected", &Counts::erasuresCorrected,
     "erasures corrected in the blocks delivered right, on the channels that erase "
     "(Monte-Carlo)"},
};

// The rates, each an array of its own: a Monte-Carlo point's, or the stratified estimate's
// (kept as a logarithm, so that its log10 keeps digits below 1e-308).
struct RateField {
    const char* name;
    double PointResult::*member;
    Rate rate;
    double LogEstimate::*end;
    const char* doc;
};
constexpr RateField kRateFields[] = {
    {"fer", &PointResult::FER, Rate::kFER, &LogEstimate::value, "frame (block) error rate"},
    {"fer_low", &PointResult::FERLow, Rate::kFER, &LogEstimate::low,
     "lower end of the FER's 95 % interval"},
    {"fer_high", &PointResult::FERHigh, Rate::kFER, &LogEstimate::high,
     "upper end of the FER's 95 % interval"},
    {"ser", &PointResult::SER, Rate::kSER, &LogEstimate::value,
     "wrong information symbols over those sent"},
    {"ser_low", &PointResult::SERLow, Rate::kSER, &LogEstimate::low,
     "lower end of the SER's 95 % interval"},
    {"ser_high", &PointResult::SERHigh, Rate::kSER, &LogEstimate::high,
     "upper end of the SER's 95 % interval"},
    {"ber", &PointResult::BER, Rate::kBER, &LogEstimate::value,
     "wrong information bits over those sent"},
};
constexpr RateField kLog10Fields[] = {
    {"log10_fer", &PointResult::FER, Rate::kFER, &LogEstimate::value,
     "log10 of the FER (a stratified run's keeps digits below 1e-308)"},
    {"log10_fer_low", &PointResult::FERLow, Rate::kFER, &LogEstimate::low,
     "log10 of the FER interval's lower end"},
    {"log10_fer_high", &PointResult::FERHigh, Rate::kFER, &LogEstimate::high,
     "log10 of the FER interval's upper end"},
    {"log10_ser", &PointResult::SER, Rate::kSER, &LogEstimate::value, "log10 of the SER"},
    {"log10_ber", &PointResult::BER, Rate::kBER, &LogEstimate::value, "log10 of the BER"},
};

// Adds the results' array properties.
void BindResults(py::module_& module) {
    using R = SimulationResults;
    using P = const PointResult&;
    using S = const StratifiedPoint&;
    py::class_<R> results(module, "Results",
                          "What simulate returns: per point a numpy array element of each field.");
    auto field = [&](const char* name, auto getter, const char* doc) {
        results.def_property_readonly(name, getter, doc);
    };
    field(
        "p0",
        [](const R& r) {
            return r.Field<double>([](P p) { return ShortestDecimal(p.P0); },
                                   [](S p) { return p.P0; });
        },
        "P0 of each point (Eb/N0 in dB on BPSK over AWGN)");
    for (const CountField& count : kCountFields) {
        field(
            count.name,
            [member = count.member](const R& r) {
                return r.Count([member](const Counts& c) { return c.*member; });
            },
            count.doc);
    }
    field(
        "channel_ber",
        [](const R& r) {
            return r.Field<double>([](P p) { return p.channelBER; },
                                   [](S p) { return p.channelBER; });
        },
        "the channel's bit error rate, where it flips bits");
    for (const RateField& rate : kRateFields) {
        field(
            rate.name, [rate](const R& r) { return r.RateOf(rate.member, rate.rate, rate.end); },
            rate.doc);
    }
    field(
        "channel_ser",
        [](const R& r) {
            return r.Field<double>([](P p) { return p.channelSER; },
                                   [](S p) { return p.channelSER; });
        },
        "the channel's symbol error rate");
    field(
        "theory_fer",
        [](const R& r) {
            return r.Field<double>([](P p) { return p.theoryFER; },
                                   [](S p) { return std::exp(p.theoryFER); });
        },
        "the bounded-distance decoder's FER on this channel");
    for (const RateField& rate : kLog10Fields) {
        field(
            rate.name, [rate](const R& r) { return r.Log10Of(rate.member, rate.rate, rate.end); },
            rate.doc);
    }
    field(
        "log10_theory_fer",
        [](const R& r) {
            return r.Field<double>([](P p) { return std::log10(p.theoryFER); },
                                   [](S p) { return p.theoryFER / std::log(10.0); });
        },
        "log10 of the bounded-distance decoder's FER");
    field(
        "seconds",
        [](const R& r) {
            return r.Field<double>([](P p) { return p.seconds; },
                                   [&](S) { return r.results.stratified->seconds; });
        },
        "each point's time (a stratified run's whole time)");
    field(
        "experiment", [](const R& r) { return r.experiment; }, "the experiment as run, a dict");
    field(
        "stopped", [](const R& r) { return r.results.stopped; }, "whether the run ended early");
    results.def("__len__", &R::Size);
    results.def(
        "to_json", [](const R& r) { return JsonDocument(r.asked, r.results); },
        "The JSON document rs-sim --json writes for the same experiment, as text: the same "
        "bytes apart from the times in it.");
    results.def(
        "to_pandas",
        [](py::object self) {
            const py::module_ pandas = py::module_::import("pandas");
            py::dict columns;
            for (const char* name :
                 {"p0", "blocks", "error_blocks", "fer", "fer_low", "fer_high", "ser", "ser_low",
                  "ser_high", "ber", "failures", "miscorrections", "theory_fer", "seconds"}) {
                columns[name] = self.attr(name);
            }
            return pandas.attr("DataFrame")(columns);
        },
        "The fields as a pandas DataFrame, one row a point (pandas must be installed).");
    results.def("__repr__", [](const R& r) {
        return "<rs_sim.Results: " + std::to_string(r.Size()) + " points, " +
               (r.Stratified() ? "stratified" : "monte-carlo") + ">";
    });
}

// Runs the simulator on a thread of its own; the calling thread waits in short slices with the
// GIL released, raising KeyboardInterrupt (or whatever a signal handler raises) and passing
// progress between them. The run's thread is always joined before anything is raised.
Results RunWatched(Simulator& simulator, const py::object& progress) {
    ProgressBoard board;
    Finish finish;
    std::atomic<bool> stop{false};
    Expected<Results> results;  // the run's thread's until it is joined
    const RunControls controls{.observer = &board,
                               .stop = &stop,
                               .progressEvery = progress.is_none() ? 0.0 : kProgressSeconds};
    std::thread runner;
    {
        const py::gil_scoped_release released;
        runner = std::thread([&] {
            results = simulator.Run(controls);
            const rs::MutexLock hold(finish.lock);
            finish.done = true;
            finish.ended.notify_all();
        });
    }
    auto lastProgress = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    auto stopAndJoin = [&] {
        stop.store(true);
        const py::gil_scoped_release released;
        runner.join();
    };
    for (;;) {
        bool done = false;
        {
            const py::gil_scoped_release released;
            const rs::MutexLock hold(finish.lock);
            if (!finish.done) {
                finish.lock.AwaitFor(finish.ended, kSignalSlice);  // a spurious wake loops
            }
            done = finish.done;
        }
        if (done) {
            break;
        }
        if (PyErr_CheckSignals() != 0) {
            stopAndJoin();
            throw py::error_already_set();
        }
        const auto now = std::chrono::steady_clock::now();
        if (!progress.is_none() &&
            now - lastProgress >= std::chrono::duration<double>(kProgressSeconds)) {
            if (const auto seen = board.Take()) {
                lastProgress = now;
                try {
                    progress(seen->point, seen->blocks, seen->errorBlocks);
                } catch (...) {
                    stopAndJoin();
                    throw;
                }
            }
        }
    }
    {
        const py::gil_scoped_release released;
        runner.join();
    }
    if (!results) {
        throw py::value_error(results.error);
    }
    return *std::move(results.value);
}

}  // namespace

void BindSimulate(py::module_& module) {
    BindResults(module);
    module.def(
        "simulate",
        [](std::int32_t m, std::int32_t t, std::optional<std::int32_t> length, py::object p0,
           py::object p0Decades, std::int64_t maxBlocks, std::int64_t maxErrorBlocks,
           const std::string& method, std::optional<double> precision,
           std::optional<std::int64_t> samples, int threads, std::int32_t seed,
           bool independentPoints, const std::string& engine, const std::string& channel,
           std::optional<double> erasures, const py::object& eraseBelow, std::int32_t interleave,
           std::int32_t puncture, const std::string& onFailure, const std::string& level,
           std::optional<double> burst, double goodError, double badError, py::object progress) {
            Experiment experiment;
            experiment.code = {m, t, length};
            experiment.channel =
                ChannelOf(channel, erasures, eraseBelow, level, burst, goodError, badError);
            experiment.interleave = interleave;
            experiment.puncture = puncture;
            if (onFailure != "decoded" && onFailure != "received") {
                throw py::value_error("on_failure must be \"decoded\" or \"received\", not \"" +
                                      onFailure + "\"");
            }
            experiment.onFailure = onFailure == "received" ? Experiment::OnFailure::kReceived
                                                           : Experiment::OnFailure::kDecoded;
            experiment.points = PointsOf(
                p0, p0Decades, std::holds_alternative<BpskAwgnChannel>(experiment.channel));
            experiment.stop = {maxBlocks, maxErrorBlocks};
            if (method == "stratified") {
                experiment.method = rs_sim::Stratified{samples, precision.value_or(0.01)};
            } else if (method != "monte-carlo") {
                throw py::value_error("method must be \"monte-carlo\" or \"stratified\", not \"" +
                                      method + "\"");
            } else if (precision || samples) {
                throw py::value_error(std::string(samples ? "samples" : "precision") +
                                      " needs method=\"stratified\"");
            }
            if (engine != "fast" && engine != "reference") {
                throw py::value_error("engine must be \"fast\" or \"reference\", not \"" + engine +
                                      "\"");
            }
            experiment.engine = engine == "fast" ? EngineChoice::kFast : EngineChoice::kReference;
            experiment.threads = threads;
            experiment.seed = seed;
            experiment.independentPoints = independentPoints;
            if (!progress.is_none() && !PyCallable_Check(progress.ptr())) {
                throw py::type_error("progress must be callable");
            }
            if (const std::string problem = CheckExperiment(experiment); !problem.empty()) {
                throw py::value_error(problem);
            }
            Expected<Simulator> simulator;
            {
                const py::gil_scoped_release released;
                simulator = Simulator::Make(experiment);
            }
            if (!simulator) {
                throw py::value_error(simulator.error);
            }
            Results results = RunWatched(*simulator.value, progress);
            return SimulationResults(std::move(results), std::move(experiment));
        },
        py::kw_only(), py::arg("m"), py::arg("t"), py::arg("length") = py::none(),
        py::arg("p0") = py::none(), py::arg("p0_decades") = py::none(), py::arg("max_blocks"),
        py::arg("max_error_blocks"), py::arg("method") = "monte-carlo",
        py::arg("precision") = py::none(), py::arg("samples") = py::none(), py::arg("threads") = 1,
        py::arg("seed") = kDefaultSeed, py::arg("independent_points") = false,
        py::arg("engine") = "fast", py::arg("channel") = "q-ary-symmetric",
        py::arg("erasures") = py::none(), py::arg("erase_below") = py::none(),
        py::arg("interleave") = 1, py::arg("puncture") = 0, py::arg("on_failure") = "decoded",
        py::arg("level") = "bit", py::arg("burst") = py::none(), py::arg("good_error") = 0.0,
        py::arg("bad_error") = 0.5, py::arg("progress") = py::none(),
        R"(Simulates RS(n, n - 2t) over GF(2^m) on a noisy channel, as rs-sim does.

Every argument is a keyword:
  m, t                 the field degree (1 to 30) and the symbols the code corrects
  length               shortened length in symbols (2t < length <= 2^m - 1); None: 2^m - 1
  p0                   the symbol error probabilities to run, a sequence (as --p0), or
  p0_decades           (from, to, per_decade): per_decade values a decade (as --p0-decades)
  max_blocks           a point ends after this many blocks,
  max_error_blocks     or this many wrongly decoded blocks, whichever comes first
  method               "monte-carlo" (random blocks, counted exactly) or "stratified"
                       (error patterns of each weight, weighted by their exact chance)
  precision, samples   the stratified method's target relative half-width (0.01), or its
                       fixed patterns per weight
  threads              threads to run on (1); the counts are the same on any number
  seed                 the random stream's seed (1234, the program's)
  independent_points   point i starts i x 2^40 draws along the stream (--independent-points)
  engine               "fast" or "reference" (the literal block-by-block experiment): the
                       same counts
  channel              "q-ary-symmetric", "binary-symmetric", "bpsk-awgn" (p0 is then Eb/N0
                       in dB) or "gilbert-elliott" (with level "bit" or "symbol", burst,
                       good_error, bad_error), as --channel
  erasures             the q-ary channel's erasure probability per symbol (--erasures)
  erase_below          BPSK's threshold THETA, or "best" at each point: a symbol with a bit
                       received below it is erased (--erase-below)
  interleave           codewords a frame, on the channels that send frames (--interleave)
  puncture             parity symbols not sent, erased at the receiver (--puncture)
  on_failure           what a flagged block delivers: "decoded" or "received" (--on-failure)
  progress             called as progress(point, blocks, error_blocks) from the calling
                       thread, at most about 10 times a second; a stratified run calls it as
                       progress(round, patterns decoded so far, 0)

Returns a Results object with a numpy array per field, one element a point: p0, blocks,
error_blocks, channel_errors, error_symbols, bit_errors, failures, miscorrections,
error_symbol_squares, on the channels that count them channel_bit_errors, error_block_squares,
channel_erasures, errors_corrected and erasures_corrected; fer, fer_low, fer_high (its 95 %
interval), ser, ser_low, ser_high, ber, channel_ser, theory_fer, log10_fer, log10_fer_low,
log10_fer_high, log10_ser, log10_ber, log10_theory_fer, seconds; and experiment (a dict), stopped, to_json(), to_pandas(). The counts equal the program's for
the same experiment, bit for bit, and to_json() is the program's --json document.

The GIL is released while the engines run; Ctrl-C stops the run and raises
KeyboardInterrupt. Bad arguments raise ValueError with the program's message.)");
}

}  // namespace rs_sim::python
