// menu_reader.dll: loaded by the window driver into a process that shows a
// popup menu, it reads the menu's items where they live (menu_reader.h).
#include <windows.h>

#include "testing/gui/menu_reader.h"

extern "C" __declspec(dllexport) DWORD WINAPI ReadMenuInto(void* parameter) {
    auto* block = static_cast<olvex::gui::MenuReadBlock*>(parameter);
    const auto menu = reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(block->menu));
    block->count = GetMenuItemCount(menu);
    block->default_id = GetMenuDefaultItem(menu, FALSE, 0);
    const int count = block->count < olvex::gui::MenuReadBlock::kMostItems
                          ? block->count
                          : olvex::gui::MenuReadBlock::kMostItems;
    for (int i = 0; i < count; ++i) {
        auto& item = block->items[i];
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = item.text;
        info.cch = olvex::gui::MenuReadBlock::kTextLength - 1;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) {
            item.id = 0;
            item.type = 0;
            item.state = 0;
            item.text[0] = L'\0';
            continue;
        }
        item.id = info.wID;
        item.type = info.fType;
        item.state = info.fState;
    }
    return 1;
}
