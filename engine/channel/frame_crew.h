#pragma once

#include <condition_variable>
#include <cstdint>
#include <thread>
#include <vector>

#include "base/thread_annotations.h"

namespace rs {

// Threads that fill one batch of frames together with the calling thread: Run hands every
// worker the same job, each with its own number, and returns when all have finished. A batch is
// thousands of codewords, so one wake-up per batch costs nothing that shows.
class FrameCrew {
  public:
    // helpers threads besides the caller: workers 1..helpers; the caller is worker 0.
    explicit FrameCrew(int helpers);
    ~FrameCrew();
    FrameCrew(const FrameCrew&) = delete;
    FrameCrew& operator=(const FrameCrew&) = delete;

    int Workers() const { return static_cast<int>(threads.size()) + 1; }
    // Runs job(worker) on every worker, and returns when all are done. The job is called through
    // a plain pointer to it, so that handing one out allocates nothing.
    template <typename Job>
    void Run(Job& job) RS_EXCLUDES(mutex) {
        RunErased(&job, [](void* erased, int worker) { (*static_cast<Job*>(erased))(worker); });
    }

  private:
    using Call = void (*)(void* job, int worker);
    void RunErased(void* job, Call call) RS_EXCLUDES(mutex);
    void Serve(int worker) RS_EXCLUDES(mutex);

    Mutex mutex;
    std::condition_variable wake;  // a job came, or the crew stops
    std::condition_variable done;  // the last helper finished the job
    void* job RS_GUARDED_BY(mutex) = nullptr;
    Call call RS_GUARDED_BY(mutex) = nullptr;
    std::uint64_t generation RS_GUARDED_BY(mutex) = 0;  // jobs handed out so far
    int pending RS_GUARDED_BY(mutex) = 0;               // helpers still on the job
    bool stopping RS_GUARDED_BY(mutex) = false;
    // Owned by the thread that made the crew: started in the constructor, joined in the
    // destructor.
    std::vector<std::thread> threads;
};

}  // namespace rs
