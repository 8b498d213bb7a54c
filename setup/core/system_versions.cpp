#include <windows.h>

#include "setup/core/setup_logger.h"
#include "setup/core/setup_strings.h"
#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

// The whole version block of a file; empty when it has none.
std::vector<uint8_t> VersionBlock(const std::u16string& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(W(path), &ignored);
    std::vector<uint8_t> block(size);
    if (size == 0 || !GetFileVersionInfoW(W(path), 0, size, block.data())) {
        block.clear();
    }
    return block;
}

std::optional<std::u16string> StringValue(std::vector<uint8_t>& block, std::u16string_view name) {
    struct Translation {
        WORD language;
        WORD code_page;
    };
    Translation* translations = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translations), &length) ||
        length < sizeof(Translation)) {
        return std::nullopt;
    }
    wchar_t prefix[64];
    wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", translations[0].language,
              translations[0].code_page);
    const std::u16string query = U(prefix) + std::u16string(name);
    wchar_t* value = nullptr;
    if (!VerQueryValueW(block.data(), W(query), reinterpret_cast<void**>(&value), &length) ||
        !value) {
        return std::nullopt;
    }
    std::u16string text = U(value, length);
    while (!text.empty() && text.back() == 0) {
        text.pop_back();
    }
    return text;
}

}  // namespace

std::optional<FileVersionInfo> ReadFileVersionInfo(std::u16string_view path) {
    const std::u16string file(path);
    if (Seams().file_version) {
        return Seams().file_version(file);
    }
    std::vector<uint8_t> block = VersionBlock(file);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (block.empty() ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    FileVersionInfo info;
    info.file_version_ms = fixed->dwFileVersionMS;
    info.file_version_ls = fixed->dwFileVersionLS;
    info.product_version_ms = fixed->dwProductVersionMS;
    info.product_version_ls = fixed->dwProductVersionLS;
    for (const char16_t* name :
         {u"CompanyName", u"FileDescription", u"FileVersion", u"InternalName", u"OriginalFilename",
          u"ProductName", u"ProductVersion"}) {
        if (auto value = StringValue(block, name)) {
            info.strings[name] = std::move(*value);
        }
    }
    return info;
}

uint32_t CheckFileVersion(std::u16string_view file, uint32_t major, uint32_t minor) {
    const auto info = ReadFileVersionInfo(file);
    const uint32_t file_major = info ? HIWORD(info->file_version_ms) : 0;
    const uint32_t file_minor = info ? LOWORD(info->file_version_ms) : 0;
    if (info && (file_major > major || (file_major == major && file_minor >= minor))) {
        return 0;
    }
    SetupLogger& logger = SetupLogger::Instance();
    const std::u16string detail =
        std::u16string(file) + u" " + UnsignedText(file_major) + u"." + UnsignedText(file_minor, 2);
    logger.Info(msg::kComponentTooOld,
                SubstituteArguments(logger.host().LoadText(msg::kComponentTooOld, 512), {detail}));
    return msg::kComponentTooOld;
}

std::optional<std::u16string> GetVersionInfoData(std::u16string_view file,
                                                 std::u16string_view value_name) {
    const std::u16string path(file);
    if (Seams().file_version) {
        const auto info = Seams().file_version(path);
        if (!info) {
            return std::nullopt;
        }
        const auto found = info->strings.find(std::u16string(value_name));
        if (found == info->strings.end()) {
            return std::nullopt;
        }
        return found->second;
    }
    std::vector<uint8_t> block = VersionBlock(path);
    if (block.empty()) {
        return std::nullopt;
    }
    return StringValue(block, value_name);
}

}  // namespace olvex::setup::util
