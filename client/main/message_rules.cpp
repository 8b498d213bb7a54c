#include "client/main/message_rules.h"

namespace olvex {

const wchar_t* MessageSoundFile(int sound_kind, int errorsound, int donesound) {
    if (sound_kind == kSoundWarning && errorsound != 0)
        return L"ALARM.WAV";
    if (sound_kind == kSoundDone && donesound != 0)
        return L"DONE.WAV";
    return nullptr;
}

std::wstring FillInMessage(std::wstring format, std::optional<long> number,
                           const std::wstring& text) {
    std::size_t after_number = 0;
    if (number) {
        const std::size_t at = format.find(L"%ld");
        if (at != std::wstring::npos) {
            const std::wstring digits = std::to_wstring(*number);
            format.replace(at, 3, digits);
            after_number = at + digits.size();
        }
    }
    // The text goes after the number: digits hold no "%s", and the text is
    // put in last so that nothing in it is replaced again.
    const std::size_t at = format.find(L"%s", after_number);
    if (at != std::wstring::npos)
        format.replace(at, 2, text);
    return format;
}

}  // namespace olvex
