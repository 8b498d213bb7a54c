// The command-line words of the test helper programs: "--name value"
// options and "--flag"s; every other word is left alone, so a helper that
// stands in for a product program can be started with that program's own
// arguments.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace olvex::gui {

class HelperOptions {
  public:
    // flags: the options that take no value.
    explicit HelperOptions(const std::vector<std::wstring>& flags) {
        int count = 0;
        wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
        for (int i = 1; i < count; ++i) {
            const std::wstring word = words[i];
            if (word.rfind(L"--", 0) != 0) {
                plain_.push_back(word);
                continue;
            }
            bool flag = false;
            for (const auto& name : flags)
                flag = flag || name == word;
            if (flag)
                values_[word] = L"1";
            else if (i + 1 < count)
                values_[word] = words[++i];
        }
        LocalFree(words);
    }

    std::optional<std::wstring> Get(const std::wstring& name) const {
        const auto found = values_.find(name);
        if (found == values_.end())
            return std::nullopt;
        return found->second;
    }
    std::wstring Get(const std::wstring& name, const std::wstring& fallback) const {
        return Get(name).value_or(fallback);
    }
    long Number(const std::wstring& name, long fallback) const {
        const auto value = Get(name);
        return value ? std::wcstol(value->c_str(), nullptr, 10) : fallback;
    }
    void Set(const std::wstring& name, const std::wstring& value) { values_[name] = value; }
    bool Has(const std::wstring& name) const { return values_.count(name) != 0; }
    // The words that are no options, in order.
    const std::vector<std::wstring>& plain() const { return plain_; }

  private:
    std::map<std::wstring, std::wstring> values_;
    std::vector<std::wstring> plain_;
};

// Signals the named event (made when missing): the helper is ready.
inline void SignalEvent(const std::optional<std::wstring>& name) {
    if (!name)
        return;
    if (HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name->c_str())) {
        SetEvent(event);
        CloseHandle(event);
    }
}

// Waits for seconds, or until the named event is signalled when one is
// given: the helper's time is up.
inline void WaitForTheEnd(long seconds, const std::optional<std::wstring>& until) {
    HANDLE event = until ? CreateEventW(nullptr, TRUE, FALSE, until->c_str()) : nullptr;
    if (event) {
        WaitForSingleObject(event, static_cast<DWORD>(seconds) * 1000);
        CloseHandle(event);
    } else {
        Sleep(static_cast<DWORD>(seconds) * 1000);
    }
}

}  // namespace olvex::gui
