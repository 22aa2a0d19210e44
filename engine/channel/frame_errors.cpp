#include "engine/channel/frame_errors.h"

#include <algorithm>

#include "base/contract.h"
#include "random/geometric_gap.h"

namespace rs {

namespace {

// Events at one rate over steps from..end-1, after the gap drawn first; each an error with
// probability errorShare (1: no draw), else an erasure (at bit level, an unreliable bit).
void SampleRun(const GeometricGap& gap, std::uint64_t from, std::uint64_t end, std::int32_t q,
               double errorShare, PhiloxStream& stream, FrameErrors& errors) {
    // Steps stay below 2^62 and gaps at most 2^62, so the sum cannot wrap.
    for (std::uint64_t at = from + gap.Draw(stream); at < end; at += 1 + gap.Draw(stream)) {
        errors.steps.push_back(at);
        if (errors.bitLevel) {
            if (errorShare < 1.0) {
                errors.erased.push_back(stream.UniformOpenBelow() > errorShare ? 1 : 0);
            }
            continue;
        }
        const bool erased = errorShare < 1.0 && stream.UniformOpenBelow() > errorShare;
        errors.erased.push_back(erased ? 1 : 0);
        errors.values.push_back(
            erased ? Symbol{0}
                   : static_cast<Symbol>(stream.Below(static_cast<std::uint32_t>(q - 1)) + 1));
    }
}

}  // namespace

void SampleFrame(const ChannelModel& model, std::int32_t m, std::uint64_t steps,
                 PhiloxStream& stream, FrameErrors& errors) {
    RS_ASSERT(m >= 1 && m <= 30, "symbols of 1 to 30 bits");
    RS_ASSERT(steps < GeometricGap::kNever, "a frame is shorter than the longest gap");
    errors.Clear();
    errors.bitLevel = model.bitLevel;
    const auto q = static_cast<std::int32_t>(std::int64_t{1} << m);
    if (model.Memoryless()) {
        // The q-ary channel's erasures, or BPSK's unreliable bits: events of two kinds.
        const double other = model.bitLevel ? model.unreliableRate : model.erasureRate;
        if (other > 0.0) {
            const double rate = std::min(model.errorRate + other, 1.0);
            SampleRun(GeometricGap(rate), 0, steps, q, model.errorRate / rate, stream, errors);
            return;
        }
        SampleRun(GeometricGap(model.errorRate), 0, steps, q, 1.0, stream, errors);
        return;
    }
    const GeometricGap leave[2] = {GeometricGap(model.goodToBad), GeometricGap(model.badToGood)};
    const GeometricGap err[2] = {GeometricGap(model.goodError), GeometricGap(model.badError)};
    int state = stream.UniformOpenBelow() <= model.badShare ? 1 : 0;
    for (std::uint64_t at = 0; at < steps; state = 1 - state) {
        // A sojourn lasts one step and then as many more as it stays.
        const std::uint64_t length = 1 + leave[state].Draw(stream);
        const std::uint64_t end = std::min(steps, at + length);
        SampleRun(err[state], at, end, q, 1.0, stream, errors);
        at = end;
    }
}

}  // namespace rs
