#pragma once

#include <cstdio>
#include <cstdlib>

// RS_ASSERT(condition, message): a condition the code relies on but does not handle, with a
// string literal saying what the caller broke. Debug builds check it and, when it fails, print
// the place, the condition and the message to stderr and abort. Release builds (NDEBUG) compile
// it to nothing: the condition sits in a branch never taken, folded away at any optimisation
// level, so it is still compiled and cannot rot, but never runs. (Not sizeof: clang would then
// call a helper used only in conditions unneeded.)

namespace rs::contract {

[[noreturn, gnu::cold, gnu::noinline]] inline void Fail(const char* file, int line,
                                                        const char* condition,
                                                        const char* message) {
    std::fprintf(stderr, "%s:%d: RS_ASSERT(%s) failed: %s\n", file, line, condition, message);
    std::fflush(stderr);
    std::abort();
}

}  // namespace rs::contract

// "" message accepts a string literal only.
#ifdef NDEBUG
#define RS_ASSERT(condition, message) \
    (true ? static_cast<void>(sizeof("" message)) : static_cast<void>(static_cast<bool>(condition)))
#else
#define RS_ASSERT(condition, message) \
    (static_cast<bool>(condition)     \
         ? static_cast<void>(0)       \
         : ::rs::contract::Fail(__FILE__, __LINE__, #condition, "" message))
#endif
