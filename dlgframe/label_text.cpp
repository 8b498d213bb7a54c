#include "dlgframe/label_text.h"

#include <algorithm>

namespace olvex::dlgframe {

std::size_t CopyText(std::wstring_view text, std::span<wchar_t> out) {
    if (out.empty())
        return 0;
    text = text.substr(0, text.find(L'\0'));
    const std::size_t count = std::min(text.size(), out.size() - 1);
    std::copy_n(text.begin(), count, out.begin());
    out[count] = L'\0';
    return count;
}

LabelParts SplitLabel(std::wstring_view text) {
    const std::size_t bar = text.find(L'|');
    if (bar == std::wstring_view::npos)
        return {text, std::nullopt};
    return {text.substr(0, bar), text.substr(bar + 1)};
}

}  // namespace olvex::dlgframe
