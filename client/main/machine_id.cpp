#include "client/main/machine_id.h"

#include <cstdio>

namespace olvex {

std::string FormatMachineId(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                            const std::array<std::uint8_t, 8>& data4) {
    char text[33] = {};
    std::snprintf(text, sizeof(text), "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(data1), static_cast<unsigned>(data2),
                  static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3], data4[4],
                  data4[5], data4[6], data4[7]);
    return text;
}

}  // namespace olvex
