#pragma once

namespace rs {

// The project version, set by the build from the CMake project version.
inline constexpr const char* kVersion = RS_SIM_VERSION;

}  // namespace rs
