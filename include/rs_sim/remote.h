#pragma once

// Help from other processes. A program that runs several (rs-sim-mpi, over MPI) carries the
// engines' work between them as words: the simulator says what to send, and a lane server in
// each other process makes what was asked for. The counts are those of one process.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rs_sim {

using Words = std::vector<std::uint64_t>;

// The code the other processes work for.
struct RemoteCode {
    std::int32_t m = 0;
    std::int32_t t = 0;
    std::int32_t length = 0;  // 0 for the full length
    bool tabled = true;       // decoding with the field's tables
};

// One lane of another process, as the program reaches it. Used by one thread at a time.
class RemoteLane {
  public:
    virtual ~RemoteLane() = default;
    // Sends words to the lane: a task, or a stop as the lane is given up.
    virtual void Send(const Words& words) = 0;
    // The lane's answer to the last task.
    virtual Words Receive() = 0;
    // The lane answered with words that are not what was asked for: the processes do not run
    // the same program. Ends the job; does not return.
    [[noreturn]] virtual void Fail(const std::string& why) = 0;
};

// The lanes of every other process, set up for a code when a run makes its engines.
struct RemoteWorkers {
    std::function<std::vector<std::unique_ptr<RemoteLane>>(const RemoteCode&)> connect;
};

// In another process: makes what one lane's tasks ask for.
class LaneServer {
  public:
    explicit LaneServer(const RemoteCode& code);
    LaneServer(LaneServer&&) noexcept;
    LaneServer& operator=(LaneServer&&) noexcept;
    ~LaneServer();

    // The answer to a task's words; nothing when the words say stop (or are no task).
    std::optional<Words> Serve(const Words& task);

  private:
    struct State;
    std::unique_ptr<State> state;
};

}  // namespace rs_sim
