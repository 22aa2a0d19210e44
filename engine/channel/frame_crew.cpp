#include "engine/channel/frame_crew.h"

#include "base/contract.h"

namespace rs {

FrameCrew::FrameCrew(int helpers) {
    RS_ASSERT(helpers >= 0, "a crew has no fewer than no helpers");
    threads.reserve(static_cast<std::size_t>(helpers));
    for (int worker = 1; worker <= helpers; ++worker) {
        threads.emplace_back([this, worker] { Serve(worker); });
    }
}

FrameCrew::~FrameCrew() {
    {
        MutexLock lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) {
        thread.join();
    }
}

void FrameCrew::RunErased(void* work, Call workCall) {
    {
        MutexLock lock(mutex);
        job = work;
        call = workCall;
        pending = static_cast<int>(threads.size());
        ++generation;
    }
    wake.notify_all();
    workCall(work, 0);
    MutexLock lock(mutex);
    while (pending > 0) {
        mutex.Await(done);
    }
    job = nullptr;
    call = nullptr;
}

void FrameCrew::Serve(int worker) {
    std::uint64_t seen = 0;
    MutexLock lock(mutex);
    for (;;) {
        while (!stopping && generation == seen) {
            mutex.Await(wake);
        }
        if (stopping) {
            return;
        }
        seen = generation;
        void* const work = job;
        const Call workCall = call;
        lock.Unlock();
        workCall(work, worker);
        lock.Lock();
        if (--pending == 0) {
            done.notify_one();
        }
    }
}

}  // namespace rs
