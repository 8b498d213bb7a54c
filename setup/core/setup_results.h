// Setup result codes: 0 for success, 9002 to 9044 for failures. Every step
// returns one; the running operation turns the first failure into its
// message.
#pragma once

#include <cstdint>

namespace olvex::setup {

inline constexpr uint32_t kResultSuccess = 0;
// Other users are logged on.
inline constexpr uint32_t kResultUserSessions = 9007;

}  // namespace olvex::setup
