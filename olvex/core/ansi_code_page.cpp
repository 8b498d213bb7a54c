#include "olvex/core/ansi_code_page.h"

#include <windows.h>

namespace olvex {

const MultiByteText& AnsiCodePageText() {
    // The ANSI code page is fixed for the life of the process.
    static const MultiByteText text(
        [](unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; });
    return text;
}

}  // namespace olvex
