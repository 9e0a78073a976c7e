// Conversions between the process's 8-bit code page and Unicode. On Windows they are the
// system's (CP_ACP); elsewhere the 8-bit code page is Windows-1252, the one the program
// runs with under Wine.
#pragma once

#include <string>
#include <string_view>

namespace reporter::archive {

// An 8-bit text as UTF-8. Empty when the conversion fails.
std::string AnsiToUtf8(std::string_view text);

// UTF-16 code units as an 8-bit text; characters the code page lacks become "?".
std::string Utf16ToAnsi(std::u16string_view text);

}  // namespace reporter::archive
