#include "client/main/app_helpers.h"

#include <array>
#include <vector>

#include "client/common/client_environment.h"
#include "client/common/ui/ansi_text.h"
#include "client/common/ui/gdi.h"
#include "client/main/app_ids.h"
#include "client/main/app_paths.h"
#include "client/main/gorsewatch5_app.h"
#include "client/main/text_values.h"

namespace olvex {
namespace {

// A string value of a key; nullopt unless it is a REG_SZ that can be read.
std::optional<std::string> StringValue(HKEY key, const char* name) {
    std::array<char, MAX_PATH + 1> value{};
    DWORD type = 0;
    DWORD size = MAX_PATH;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return std::nullopt;
    return std::string(value.data());  // up to its first zero, whatever the size said
}

std::string LocaleText(LCTYPE type) {
    std::array<char, 64> text{};
    if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, type, text.data(), static_cast<int>(text.size())) ==
        0)
        return {};
    return text.data();
}

UINT LocaleNumber(LCTYPE type) {
    return static_cast<UINT>(ParseLeadingLong(LocaleText(type)));
}

// A separator of the system locale; nullopt when the system reports no
// length for it.
std::optional<std::string> Separator(LCTYPE type) {
    const int length = GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, type, nullptr, 0);
    if (length <= 0)
        return std::nullopt;
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, type, text.data(), length);
    return std::string(text.data());
}

}  // namespace

COLORREF ColorFromResource(UINT id) {
    return static_cast<COLORREF>(ColorFromText(AnsiResourceText(id)));
}

std::string AnsiResourceText(UINT id) {
    return ui::ToAnsi(ui::LoadText(id));
}

com::UniqueBstr MakeBstr(std::string_view ansi) {
    const std::wstring wide = ui::FromAnsi(ansi);
    return com::UniqueBstr(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())));
}

std::string AnsiFromBstrText(const wchar_t* text) {
    if (text == nullptr)
        return {};
    return ui::ToAnsi(std::wstring_view(text, SysStringLen(const_cast<BSTR>(text))));
}

LONG OpenProgramKey(HKEY* key, bool read_only) {
    if (key == nullptr)
        return ERROR_INVALID_PARAMETER;
    const std::string path = "Software\\" + AnsiResourceText(IDS_COMPANY_KEY_NAME) + "\\" +
                             AnsiResourceText(IDS_PRODUCT_FOLDER_NAME);
    if (read_only)
        return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key);
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                           key, nullptr);
}

std::string GetInstallFolder() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return {};
    std::string folder = app->install_folder();
    HKEY key = nullptr;
    if (OpenProgramKey(&key, true) == ERROR_SUCCESS) {
        if (const auto value = StringValue(key, "InstallPath"); value && !value->empty())
            folder = *value;
        RegCloseKey(key);
    }
    return WithTrailingBackslash(folder);
}

std::string GetSuiteFolder() {
    const CGorsewatch5App* app = CGorsewatch5App::Current();
    if (app == nullptr)
        return {};
    const std::string path = "Software\\" + AnsiResourceText(IDS_COMPANY_KEY_NAME) + "\\" +
                             AnsiResourceText(IDS_SUITE_KEY_NAME);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        const auto value = StringValue(key, "Path");
        RegCloseKey(key);
        if (value && !value->empty())
            return WithTrailingBackslash(*value);
    }
    return SuiteFolderFromInstallFolder(app->install_folder());
}

LocationDescription DescribeLocation(BSTR location, ILocation* location_object) {
    if (location_object != nullptr) {
        location_object->SetString(location);
        struct Question {
            HRESULT (STDMETHODCALLTYPE ILocation::*ask)(VARIANT_BOOL*);
            const wchar_t* kind;
            const wchar_t* attribute;
        };
        static constexpr Question kQuestions[] = {
            {&ILocation::IsCookie, L"Cookie", L"File"},
            {&ILocation::IsFolder, L"Folder", L"Folder"},
            {&ILocation::IsFile, L"File", L"File"},
            {&ILocation::IsRegistryItem, L"Key", L"Key"},
            {&ILocation::IsProcess, L"Process", L"File"},
        };
        for (const Question& question : kQuestions) {
            VARIANT_BOOL answer = VARIANT_FALSE;
            (location_object->*question.ask)(&answer);
            if (answer != VARIANT_TRUE)
                continue;
            const com::UniqueBstr name(SysAllocString(question.attribute));
            com::UniqueBstr value;
            location_object->GetAttributeValue(name.Get(), value.Put());
            return {question.kind, value.Get() != nullptr ? value.Get() : L""};
        }
    }
    return {L"Unknown type",
            location != nullptr ? std::wstring(location, SysStringLen(location)) : std::wstring()};
}

void GetLocationDisplayText(BSTR location, BSTR* display, ILocation* location_object) {
    if (display == nullptr)
        return;
    SysFreeString(*display);
    const LocationDescription description = DescribeLocation(location, location_object);
    *display = SysAllocStringLen(description.value.data(),
                                 static_cast<UINT>(description.value.size()));
}

std::string FormatFileTime(const FILETIME& time) {
    SYSTEMTIME system{};
    if (!FileTimeToSystemTime(&time, &system))
        return "-";
    return FormatDateTime(system);
}

SystemNumberFormat::SystemNumberFormat() {
    format_.NumDigits = LocaleNumber(LOCALE_IDIGITS);
    format_.LeadingZero = LocaleNumber(LOCALE_ILZERO);
    format_.Grouping = GroupingFromLocaleText(LocaleText(LOCALE_SGROUPING));
    format_.NegativeOrder = LocaleNumber(LOCALE_INEGNUMBER);
    if (const auto decimal = Separator(LOCALE_SDECIMAL)) {
        decimal_ = *decimal;
        has_decimal_ = true;
    }
    if (const auto thousand = Separator(LOCALE_STHOUSAND)) {
        thousand_ = *thousand;
        has_thousand_ = true;
    }
}

NUMBERFMTA SystemNumberFormat::Format() {
    NUMBERFMTA format = format_;
    format.lpDecimalSep = has_decimal_ ? decimal_.data() : nullptr;
    format.lpThousandSep = has_thousand_ ? thousand_.data() : nullptr;
    return format;
}

}  // namespace olvex
