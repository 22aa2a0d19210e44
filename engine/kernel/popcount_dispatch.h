#pragma once

namespace rs {

// Whether the machine counts bits in one instruction. The program is built for plain x86-64,
// where std::popcount is a library call, and the block walks count bits in every word.
bool MachineHasPopcount();

#if defined(__x86_64__)
// body, with everything it calls inline compiled for the popcnt instruction.
template <typename Body>
[[gnu::target("popcnt"), gnu::flatten]] void RunWithPopcount(Body& body) {
    body();
}
#endif

// Runs body, compiled for popcnt where the machine has it.
template <typename Body>
void RunWithBestPopcount(Body&& body) {
#if defined(__x86_64__)
    static const bool has = MachineHasPopcount();
    if (has) {
        RunWithPopcount(body);
        return;
    }
#endif
    body();
}

}  // namespace rs
