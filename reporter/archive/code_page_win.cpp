// The system's 8-bit code page.
#include <windows.h>

#include "reporter/archive/code_page.h"

namespace reporter::archive {

namespace {

std::wstring ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string FromWide(const wchar_t* text, int length, UINT code_page) {
  if (length <= 0) return {};
  const int n = WideCharToMultiByte(code_page, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, text, length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string AnsiToUtf8(std::string_view text) {
  const std::wstring wide = ToWide(text);
  return FromWide(wide.data(), static_cast<int>(wide.size()), CP_UTF8);
}

std::string Utf16ToAnsi(std::u16string_view text) {
  return FromWide(reinterpret_cast<const wchar_t*>(text.data()), static_cast<int>(text.size()),
                  CP_ACP);
}

}  // namespace reporter::archive
