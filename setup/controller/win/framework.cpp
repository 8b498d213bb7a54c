#include "setup/controller/win/framework.h"

#include <array>

#include "setup/core/setup_logger.h"
#include "setup/core/setup_process.h"
#include "setup/core/system_utilities.h"
#include "setup/core/win_text.h"

namespace olvex::setup {
namespace {

constexpr uint32_t kFrameworkMissing = 9003;
constexpr uint32_t kFrameworkStrings = 9004;
constexpr uint32_t kFrameworkMessage = 25006;
constexpr uint32_t kBadArgument = 25520;
constexpr UINT kSuiteName = 22000;
constexpr UINT kOkText = 20160;

template <class Fn>
bool Bind(HMODULE library, int ordinal, Fn& entry) {
    entry = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
    return entry != nullptr;
}

void ReportBadBuffer(const char16_t* function) {
    const std::array<MessageEntry, 1> entries{MessageEntry{kBadArgument, function, 0}};
    ReportMessage(SetupLogger::Instance(), 3, 3, 0, entries);
}

}  // namespace

Framework& Framework::Instance() {
    static Framework framework;
    return framework;
}

void Framework::ClearBindings() {
    initialize_ = nullptr;
    shutdown_ = nullptr;
    message_box_ = nullptr;
    message_box_by_id_ = nullptr;
    dialog_box_ = nullptr;
    create_dialog_ = nullptr;
    browse_ = nullptr;
    load_string_ = nullptr;
}

uint32_t Framework::Load() {
    const UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    library_.Reset(LoadLibraryW(L"ulmfrm.dll"));
    const DWORD error = GetLastError();
    SetErrorMode(previous);
    const HMODULE library = library_.Get();
    bool bound = library != nullptr;
    // Every entry is bound, so a framework lacking one is refused whole.
    bound = Bind(library, FRAMEWORK_ORDINAL_INITIALIZE_EX, initialize_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_SHUTDOWN, shutdown_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_MESSAGE_BOX, message_box_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_MESSAGE_BOX_BY_ID, message_box_by_id_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_DIALOG_BOX, dialog_box_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_CREATE_DIALOG, create_dialog_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_BROWSE_FOR_FOLDER, browse_) && bound;
    bound = Bind(library, FRAMEWORK_ORDINAL_LOAD_STRING, load_string_) && bound;
    if (!bound) {
        SetupLogger::Instance().InfoValue(kFrameworkMessage, library ? GetLastError() : error);
        ClearBindings();
        library_.Free();
        return kFrameworkMissing;
    }
    return 0;
}

uint32_t Framework::Initialize() {
    if (!library_.Get()) {
        const uint32_t loaded = Load();
        if (loaded != 0) {
            return loaded;
        }
    }
    initialize_(L"xjvprod.dll", L"ulmres.dll");
    std::array<WCHAR, 256> buffer{};
    const bool strings = load_string_(nullptr, kSuiteName, buffer.data(), 256) > 0 &&
                         load_string_(nullptr, kOkText, buffer.data(), 256) > 0;
    if (!strings) {
        // The framework started: it is shut down before its library goes.
        shutdown_();
        ClearBindings();
        library_.Free();
        return kFrameworkStrings;
    }
    initialized_ = true;
    // From here the setup's strings and boxes go through the framework.
    util::SetFrameworkStringLoader([this](uint32_t id, size_t chars) {
        return LoadText(nullptr, id, static_cast<int>(chars));
    });
    ProcessLoggerHost().SetBoxPresenter(
        [this](HWND owner, const std::u16string& text, const std::u16string& caption) {
            return ShowMessageBox(owner, text, caption, FRAMEWORK_MB_OK);
        });
    return 0;
}

void Framework::Unload() {
    if (initialized_) {
        initialized_ = false;
        util::SetFrameworkStringLoader(nullptr);
        ProcessLoggerHost().SetBoxPresenter(nullptr);
        shutdown_();
    }
    ClearBindings();
    library_.Free();
}

int Framework::ShowMessageBox(HWND parent, std::u16string_view text, std::u16string_view caption,
                              int type) {
    if (!initialized_) {
        return -1;
    }
    const std::u16string text_z(text);
    const std::u16string caption_z(caption);
    return message_box_(parent, W(text_z), W(caption_z), type, 0);
}

int Framework::MessageBoxById(HMODULE module, HWND parent, UINT text_id, UINT caption_id,
                              int type) {
    return initialized_ ? message_box_by_id_(module, parent, text_id, caption_id, type, 0) : -1;
}

INT_PTR Framework::RunModal(HMODULE module, UINT template_id, HWND parent, DLGPROC procedure,
                            LPARAM user_data, UINT flags) {
    return initialized_ ? dialog_box_(module, template_id, parent, procedure, user_data, flags)
                        : -1;
}

HWND Framework::CreateModeless(HMODULE module, UINT template_id, HWND parent, DLGPROC procedure,
                               LPARAM user_data, UINT flags) {
    return initialized_ ? create_dialog_(module, template_id, parent, procedure, user_data, flags)
                        : nullptr;
}

int Framework::ShowFolderPicker(HWND parent, std::u16string& folder, int chars,
                                std::u16string_view caption) {
    if (chars <= 0) {
        ReportBadBuffer(u"Framework::ShowFolderPicker");
        return -1;
    }
    std::u16string buffer(static_cast<size_t>(chars), u'\0');
    if (!initialized_) {
        return -1;
    }
    const std::u16string caption_z(caption);
    const int result = browse_(parent, W(buffer), chars, W(caption_z));
    buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
    if (result == 0) {
        folder = buffer;
    }
    return result;
}

std::u16string Framework::LoadText(HMODULE module, UINT id, int chars) {
    if (chars <= 0) {
        ReportBadBuffer(u"Framework::LoadString");
        return {};
    }
    if (!initialized_) {
        return {};
    }
    std::u16string buffer(static_cast<size_t>(chars), u'\0');
    const int length = load_string_(module, id, W(buffer), chars);
    buffer.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return buffer;
}

}  // namespace olvex::setup
