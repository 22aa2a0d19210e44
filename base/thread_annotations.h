#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// Clang's thread-safety analysis proves at compile time that shared state is touched only
// under its lock; other compilers see nothing.
#if defined(__clang__)
#define RS_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define RS_THREAD_ANNOTATION(x)
#endif

#define RS_CAPABILITY(x) RS_THREAD_ANNOTATION(capability(x))
#define RS_SCOPED_CAPABILITY RS_THREAD_ANNOTATION(scoped_lockable)
#define RS_GUARDED_BY(x) RS_THREAD_ANNOTATION(guarded_by(x))
#define RS_REQUIRES(...) RS_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define RS_EXCLUDES(...) RS_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define RS_ACQUIRE(...) RS_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RS_RELEASE(...) RS_THREAD_ANNOTATION(release_capability(__VA_ARGS__))

namespace rs {

// A std::mutex the analysis knows. Waiting on a condition variable is a member so that the
// predicate is checked by the caller, in code the analysis sees under the lock.
class RS_CAPABILITY("mutex") Mutex {
  public:
    void lock() RS_ACQUIRE() { mutex.lock(); }
    void unlock() RS_RELEASE() { mutex.unlock(); }

    // Blocks until notified (or spuriously); the mutex is held again on return. Callers loop
    // on their condition.
    void Await(std::condition_variable& condition) RS_REQUIRES(this) {
        std::unique_lock<std::mutex> held(mutex, std::adopt_lock);
        condition.wait(held);
        held.release();
    }

    // As Await, back after timeout at the latest.
    template <class Rep, class Period>
    void AwaitFor(std::condition_variable& condition, std::chrono::duration<Rep, Period> timeout)
        RS_REQUIRES(this) {
        std::unique_lock<std::mutex> held(mutex, std::adopt_lock);
        condition.wait_for(held, timeout);
        held.release();
    }

  private:
    std::mutex mutex;
};

// Holds a Mutex for a scope; Unlock and Lock let a scope leave it for a stretch of work.
class RS_SCOPED_CAPABILITY MutexLock {
  public:
    explicit MutexLock(Mutex& held) RS_ACQUIRE(held) : mutex(held) { mutex.lock(); }
    ~MutexLock() RS_RELEASE() {
        if (locked) {
            mutex.unlock();
        }
    }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

    void Unlock() RS_RELEASE() {
        mutex.unlock();
        locked = false;
    }
    void Lock() RS_ACQUIRE() {
        mutex.lock();
        locked = true;
    }

  private:
    Mutex& mutex;
    bool locked = true;
};

}  // namespace rs
