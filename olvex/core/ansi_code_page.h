// The engine's texts are multibyte strings in the process's ANSI code page;
// this is how the portable text code learns which bytes lead a double-byte
// character there.
#pragma once

#include "olvex/core/multibyte_text.h"

namespace olvex {

// Lead bytes as IsDBCSLeadByte reports them for the ANSI code page.
const MultiByteText& AnsiCodePageText();

}  // namespace olvex
