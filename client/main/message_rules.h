// What the Message dialog decides without the window system: the sound that
// goes with a message, and the engine's error details filled into a message
// text from the string table.
#pragma once

#include <optional>
#include <string>

namespace olvex {

// Sound kinds of a message.
inline constexpr int kSoundNone = 0;
inline constexpr int kSoundWarning = 1;  // warnings and errors: "ALARM.WAV" with errorsound
inline constexpr int kSoundDone = 2;     // a task completed: "DONE.WAV" with donesound

// The sound file a message of the kind plays with these settings; none for
// any other kind, or when its setting is off.
const wchar_t* MessageSoundFile(int sound_kind, int errorsound, int donesound);

// The format with its first "%ld" replaced by the number (when given) and
// its first "%s" by the text. Nothing else in the format is read, so an
// engine's error text can never be taken for a format.
std::wstring FillInMessage(std::wstring format, std::optional<long> number,
                           const std::wstring& text);

}  // namespace olvex
