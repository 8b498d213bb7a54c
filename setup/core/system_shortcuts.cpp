#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
// After objbase.h, whose interface macros it uses.
#include <intshcut.h>

#include "setup/core/setup_text.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup::util {
namespace {

// COM for the calling thread, for as long as the call needs it; a thread
// that has it already keeps it as it was.
class ComScope {
  public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    HRESULT result_;
};

template <class Interface>
class ComPointer {
  public:
    ComPointer() = default;
    ~ComPointer() {
        if (pointer_) {
            pointer_->Release();
        }
    }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    Interface* operator->() const { return pointer_; }
    Interface* get() const { return pointer_; }
    void** Receive() { return reinterpret_cast<void**>(&pointer_); }

  private:
    Interface* pointer_ = nullptr;
};

// folder\name with the extension added unless the name carries it.
std::optional<std::u16string> ShortcutPath(std::u16string_view folder, std::u16string_view name,
                                           std::u16string_view extension) {
    std::u16string file(name);
    if (file.size() < extension.size() ||
        !EqualsNoCase(std::u16string_view(file).substr(file.size() - extension.size()),
                      extension)) {
        file += extension;
    }
    return AppendPath(folder, file);
}

HRESULT Save(IUnknown* object, const std::u16string& path) {
    ComPointer<IPersistFile> file;
    HRESULT result = object->QueryInterface(IID_IPersistFile, file.Receive());
    if (SUCCEEDED(result)) {
        result = file->Save(W(path), TRUE);
    }
    return result;
}

}  // namespace

HRESULT CreateShortcut(std::u16string_view folder, std::u16string_view name,
                       std::u16string_view target, std::u16string_view arguments,
                       std::u16string_view working_folder, std::u16string_view description,
                       std::u16string_view icon_file, int icon_index) {
    const auto path = ShortcutPath(folder, name, u".lnk");
    if (!path) {
        return E_INVALIDARG;
    }
    const ComScope com;
    ComPointer<IShellLinkW> link;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.Receive());
    if (FAILED(result)) {
        return result;
    }
    const std::u16string target_text(target), arguments_text(arguments),
        working_text(working_folder), description_text(description), icon_text(icon_file);
    link->SetPath(W(target_text));
    link->SetArguments(W(arguments_text));
    if (!working_text.empty()) {
        link->SetWorkingDirectory(W(working_text));
    }
    link->SetDescription(W(description_text));
    if (!icon_text.empty()) {
        link->SetIconLocation(W(icon_text), icon_index);
    }
    return Save(link.get(), *path);
}

HRESULT CreateInternetShortcut(std::u16string_view folder, std::u16string_view name,
                               std::u16string_view address) {
    const auto path = ShortcutPath(folder, name, u".url");
    if (!path) {
        return E_INVALIDARG;
    }
    const ComScope com;
    ComPointer<IUniformResourceLocatorW> shortcut;
    HRESULT result = CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IUniformResourceLocatorW, shortcut.Receive());
    if (FAILED(result)) {
        return result;
    }
    const std::u16string url(address);
    result = shortcut->SetURL(W(url), 0);
    if (FAILED(result)) {
        return result;
    }
    return Save(shortcut.get(), *path);
}

}  // namespace olvex::setup::util
