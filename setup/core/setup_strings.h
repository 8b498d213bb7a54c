// The setup messages by their string ids, and the English texts that the
// setup resources carry for them (setup_strings.inc).
#pragma once

#include <cstdint>
#include <string_view>

namespace olvex::setup {

namespace msg {
// Messages the setup core itself writes; the operations and product
// handlers name theirs by number where they use them.
inline constexpr uint32_t kComponentTooOld = 25008;
inline constexpr uint32_t kFolderNotWritable = 25016;
inline constexpr uint32_t kDestinationRefused = 25025;
inline constexpr uint32_t kCopyFailed = 25033;
inline constexpr uint32_t kProgramGroupRefused = 25047;
inline constexpr uint32_t kSetupStarted = 25501;
inline constexpr uint32_t kSetupFinished = 25502;
inline constexpr uint32_t kValueLabel = 25504;
inline constexpr uint32_t kWarningWord = 25505;
inline constexpr uint32_t kErrorWord = 25506;
inline constexpr uint32_t kUserSessions = 25507;
inline constexpr uint32_t kTrustListEntry = 25515;
inline constexpr uint32_t kFolderCreation = 25516;
inline constexpr uint32_t kVersionUnreadable = 25519;
inline constexpr uint32_t kBadArgument = 25520;
inline constexpr uint32_t kCallFailed = 25521;
inline constexpr uint32_t kLookupFailed = 25522;
inline constexpr uint32_t kRegistryValueNotWritten = 25524;
inline constexpr uint32_t kRegistryKeyNotCreated = 25525;
inline constexpr uint32_t kArgumentTooLong = 25551;
}  // namespace msg

// The English text of a setup message; empty for an id the table lacks.
std::u16string_view EnglishSetupString(uint32_t id);

}  // namespace olvex::setup
