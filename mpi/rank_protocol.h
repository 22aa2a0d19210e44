#pragma once

namespace rs {

// Message tags between rank 0, which runs the program, and the ranks that make segments.
// Control messages go to and from rank 0; each lane of a rank gets its tasks and returns its
// segments on tags of its own, so lanes never take each other's messages.
inline constexpr int kControlTag = 1;
inline constexpr int kTaskTag = 1000;     // + lane
inline constexpr int kSegmentTag = 2000;  // + lane
inline constexpr int kMostLanes = 999;

// Control words: what, then the code (m, t, tabled, length).
inline constexpr int kConfigure = 1;
inline constexpr int kStop = 2;
inline constexpr int kControlInts = 5;

}  // namespace rs
