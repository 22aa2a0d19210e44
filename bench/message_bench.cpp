// The bytes rs-sim-mpi sends between ranks for each block: every segment a worker makes goes
// through the words that carry it between processes, here within one process.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/hit_search/chunk_maker.h"
#include "engine/kernel/draw_kernels.h"
#include "engine/parallel/segment_maker.h"
#include "engine/parallel_engine.h"
#include "engine/remote/segment_message.h"

namespace rs {
namespace {

// Makes segments as a remote rank would, and hands them over packed and unpacked.
class LoopbackFiller final : public SegmentFiller {
  public:
    LoopbackFiller(const DrawKernel& kernel, std::int32_t m, std::int32_t t)
        : maker(kernel, ChunkMaker::RowsFor(kernel), m, t, true) {}

    bool Fill(const SegmentTask& task, Segment& segment,
              const std::function<bool()>& abandoned) override {
        if (!maker.Fill(task, made, abandoned)) {
            return false;
        }
        PackSegment(task, made, words);
        bytes += (words.size() + PackTask(task).size()) * sizeof(std::uint64_t);
        draws += task.end - task.base;
        return UnpackSegment(task, words, segment);
    }

    static std::atomic<std::uint64_t> bytes;
    static std::atomic<std::uint64_t> draws;

  private:
    SegmentMaker maker;
    Segment made;
    MessageWords words;
};

std::atomic<std::uint64_t> LoopbackFiller::bytes{0};
std::atomic<std::uint64_t> LoopbackFiller::draws{0};

// Arguments: P0 in millionths, blocks. Reports bytes a block: the bytes of the segments sent
// over their draws, times the draws a block takes.
void BM_MessageBytes(benchmark::State& state) {
    const float p0 = static_cast<float>(state.range(0)) / 1e6F;
    const auto blocks = static_cast<std::int32_t>(state.range(1));
    ReedSolomonCodec codec;
    codec.Configure(8, 16);
    const DrawKernel& kernel = BestKernel();
    std::vector<std::unique_ptr<SegmentFiller>> remote;
    remote.push_back(std::make_unique<LoopbackFiller>(kernel, 8, 16));
    remote.push_back(std::make_unique<LoopbackFiller>(kernel, 8, 16));
    ParallelEngine engine(codec, 8, kernel, 1, {}, std::move(remote));
    LoopbackFiller::bytes = 0;
    LoopbackFiller::draws = 0;
    PointStatistics statistics;
    for (auto _ : state) {
        engine.StartPoint(p0, 1234);
        while (statistics.blocks < blocks) {
            engine.RunBlocks(statistics, blocks);
        }
    }
    // A block takes k + n draws and one more for each hit.
    const double pointDraws =
        static_cast<double>(statistics.blocks) * (codec.GetK() + codec.GetN()) +
        static_cast<double>(statistics.channelErrors);
    state.counters["bytes_per_block"] = static_cast<double>(LoopbackFiller::bytes) /
                                        static_cast<double>(LoopbackFiller::draws) * pointDraws /
                                        static_cast<double>(statistics.blocks);
}
BENCHMARK(BM_MessageBytes)
    ->ArgNames({"P0e6", "blocks"})
    ->Args({30000, 2000000})
    ->Args({1000, 2000000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
}  // namespace rs
