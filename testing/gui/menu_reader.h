// What menu_reader.dll fills in inside the process that owns a popup menu.
// A menu's items can be read only in its own process (Wine keeps them
// there), so the window driver loads the DLL into that process and runs
// ReadMenuInto there on a block of that process's memory.
#pragma once

#include <cstdint>

namespace olvex::gui {

struct MenuReadBlock {
    static constexpr int kMostItems = 64;
    static constexpr int kTextLength = 128;
    struct Item {
        std::uint32_t id;
        std::uint32_t type;   // MFT_...
        std::uint32_t state;  // MFS_...
        wchar_t text[kTextLength];
    };
    std::uint64_t menu;  // in: the HMENU
    std::int32_t count;  // out: its items, -1 when it could not be read
    std::uint32_t default_id;
    Item items[kMostItems];
};

// The export's name.
inline constexpr char kReadMenuExport[] = "ReadMenuInto";
inline constexpr wchar_t kMenuReaderFileName[] = L"menu_reader.dll";

}  // namespace olvex::gui
