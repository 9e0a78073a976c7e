// Texts of system error codes (Windows). The names of the libraries, the conversion function
// and the fallback prefix are kept scrambled, so they do not show as plain strings in the
// program file.
#include <windows.h>

#include <array>
#include <cstddef>
#include <string>

#include "support/text_rules.h"

namespace support {

namespace {

constexpr char kScrambleKey = 0x5C;

template <std::size_t N>
struct Scrambled {
  std::array<char, N - 1> bytes;
};

template <std::size_t N>
constexpr Scrambled<N> Scramble(const char (&text)[N]) {
  Scrambled<N> out{};
  for (std::size_t i = 0; i + 1 < N; ++i) out.bytes[i] = static_cast<char>(text[i] ^ kScrambleKey);
  return out;
}

template <std::size_t N>
std::string Plain(const Scrambled<N>& scrambled) {
  std::string text(scrambled.bytes.begin(), scrambled.bytes.end());
  for (char& c : text) c = static_cast<char>(c ^ kScrambleKey);
  return text;
}

constexpr auto kSystemLibrary = Scramble("ntdll.dll");
constexpr auto kStatusConversion = Scramble("RtlNtStatusToDosError");
constexpr auto kNetworkModule = Scramble("netmsg.dll");
constexpr auto kPrefix = Scramble("Error");

constexpr DWORD kFirstNetworkCode = 2100;
constexpr DWORD kLastNetworkCode = 2999;
constexpr DWORD kLastPlainCode = 0x3FFFFFFF;
// What the conversion gives for a status it does not know.
constexpr DWORD kNoConversion = ERROR_MR_MID_NOT_FOUND;

// The message text of code from the system table, or from module when it is given.
std::string Message(DWORD code, HMODULE module) {
  char* buffer = nullptr;
  const DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
      (module != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  const DWORD length =
      FormatMessageA(flags, module, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (buffer != nullptr) {
    try {
      text.assign(buffer, length);
    } catch (...) {
      text.clear();
    }
    LocalFree(buffer);
  }
  return text;
}

// Status codes (above 0x3FFFFFFF) as system error codes; a status the system does not know
// keeps its own code, so that an HRESULT still finds its text.
DWORD ConvertedCode(DWORD code) {
  if (code <= kLastPlainCode) return code;
  HMODULE library = GetModuleHandleA(Plain(kSystemLibrary).c_str());
  if (library == nullptr) return code;
  using Conversion = ULONG(WINAPI*)(LONG);
  auto convert = reinterpret_cast<Conversion>(
      reinterpret_cast<void*>(GetProcAddress(library, Plain(kStatusConversion).c_str())));
  if (convert == nullptr) return code;
  const DWORD converted = convert(static_cast<LONG>(code));
  return converted == kNoConversion ? code : converted;
}

}  // namespace

std::string ErrorCodeText(std::uint32_t code, const std::string& network_module) {
  return DropErrors([&] {
    const DWORD converted = ConvertedCode(code);
    std::string text;
    if (converted >= kFirstNetworkCode && converted <= kLastNetworkCode) {
      HMODULE module = LoadLibraryExA(network_module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
      if (module != nullptr) {
        text = Message(converted, module);
        FreeLibrary(module);
      }
    } else {
      text = Message(converted, nullptr);
    }
    text = RemoveByte(ReplaceAll(text, "\r", " ", false), '\n');
    if (text.empty()) text = Plain(kPrefix) + " " + DollarHex(code);
    return text;
  });
}

std::string ErrorCodeText(std::uint32_t code) {
  return DropErrors([&] { return ErrorCodeText(code, Plain(kNetworkModule)); });
}

}  // namespace support
