#include "client/common/message_boxes.h"

#include <array>

namespace olvex {
namespace {

class SystemPresenter final : public MessageBoxPresenter {
  public:
    int Show(HWND owner, const std::wstring& text, const std::wstring& caption,
             UINT style) const override {
        return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
    }
};

class UnattendedPresenter final : public MessageBoxPresenter {
  public:
    int Show(HWND, const std::wstring& text, const std::wstring& caption,
             UINT style) const override {
        OutputDebugStringW((caption + L": " + text + L"\n").c_str());
        return DefaultButtonAnswer(style);
    }
};

const MessageBoxPresenter* g_presenter = nullptr;

}  // namespace

const MessageBoxPresenter& SystemMessageBoxes() {
    static const SystemPresenter presenter;
    return presenter;
}

const MessageBoxPresenter& UnattendedMessageBoxes() {
    static const UnattendedPresenter presenter;
    return presenter;
}

const MessageBoxPresenter& CurrentMessageBoxes() {
    return g_presenter != nullptr ? *g_presenter : SystemMessageBoxes();
}

int DefaultButtonAnswer(UINT style) {
    struct Buttons {
        UINT type;
        std::array<int, 3> answers;  // by default button; one the box lacks means its first
    };
    static constexpr Buttons kButtons[] = {
        {MB_OK, {IDOK, IDOK, IDOK}},
        {MB_OKCANCEL, {IDOK, IDCANCEL, IDOK}},
        {MB_ABORTRETRYIGNORE, {IDABORT, IDRETRY, IDIGNORE}},
        {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}},
        {MB_YESNO, {IDYES, IDNO, IDYES}},
        {MB_RETRYCANCEL, {IDRETRY, IDCANCEL, IDRETRY}},
        {MB_CANCELTRYCONTINUE, {IDCANCEL, IDTRYAGAIN, IDCONTINUE}},
    };
    const UINT type = style & MB_TYPEMASK;
    const UINT default_button = style & MB_DEFMASK;
    const std::size_t index = default_button == MB_DEFBUTTON2   ? 1
                              : default_button == MB_DEFBUTTON3 ? 2
                                                                : 0;
    for (const auto& buttons : kButtons) {
        if (buttons.type == type)
            return buttons.answers[index];
    }
    return IDOK;
}

ScopedMessageBoxes::ScopedMessageBoxes(const MessageBoxPresenter& presenter)
    : previous_(g_presenter) {
    g_presenter = &presenter;
}

ScopedMessageBoxes::~ScopedMessageBoxes() {
    g_presenter = previous_;
}

}  // namespace olvex
