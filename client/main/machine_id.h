// The machine id the main program makes once and keeps in its settings and
// in the temporary folder: a GUID as 32 upper-case hexadecimal digits.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace olvex {

// Data1, Data2, Data3 and the eight bytes of Data4 in order, printed
// without separators.
std::string FormatMachineId(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3,
                            const std::array<std::uint8_t, 8>& data4);

}  // namespace olvex
