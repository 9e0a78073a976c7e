#include "support/pe_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/method_stub.h"

namespace {

using namespace support;

// Test modules built beside this program.
class TestModules : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = LoadLibraryW(L"pe_target.dll");
    forwarder_ = LoadLibraryW(L"pe_forwarder.dll");
    ASSERT_NE(target_, nullptr);
    ASSERT_NE(forwarder_, nullptr);
  }
  void TearDown() override {
    FreeLibrary(forwarder_);
    FreeLibrary(target_);
  }
  const void* Proc(HMODULE m, const char* name) {
    return reinterpret_cast<const void*>(GetProcAddress(m, name));
  }
  HMODULE target_ = nullptr;
  HMODULE forwarder_ = nullptr;
};

// An image laid out by hand in a buffer: DOS header, NT headers, and sections.
struct FakeImage {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(0x2000, 0);
  static constexpr std::uint32_t kNtOffset = 0x80;

  explicit FakeImage(std::uint16_t magic) {
    bytes[0] = 'M';
    bytes[1] = 'Z';
    std::memcpy(&bytes[60], &kNtOffset, 4);
    std::memcpy(&bytes[kNtOffset], "PE\0\0", 4);
    std::memcpy(&bytes[kNtOffset + offsetof(IMAGE_NT_HEADERS32, OptionalHeader)], &magic, 2);
  }
  template <class Headers>
  Headers* Nt() {
    return reinterpret_cast<Headers*>(&bytes[kNtOffset]);
  }
};

TEST(PeHeaders, FoundInLoadedModulesOnly) {
  const IMAGE_NT_HEADERS32* own = ReadPeHeaders(GetModuleHandleW(nullptr));
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
  EXPECT_NE(ReadPeHeaders(GetModuleHandleW(L"kernel32.dll")), nullptr);

  EXPECT_EQ(ReadPeHeaders(nullptr), nullptr);
  void* no_access = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  void* guarded =
      VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE | PAGE_GUARD);
  void* reserved = VirtualAlloc(nullptr, 4096, MEM_RESERVE, PAGE_READWRITE);
  EXPECT_EQ(ReadPeHeaders(no_access), nullptr);
  EXPECT_EQ(ReadPeHeaders(guarded), nullptr);
  EXPECT_EQ(ReadPeHeaders(reserved), nullptr);
  for (void* p : {no_access, guarded, reserved}) VirtualFree(p, 0, MEM_RELEASE);

  FakeImage image(IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_NE(ReadPeHeaders(image.bytes.data()), nullptr);
  image.bytes[FakeImage::kNtOffset] = 'X';
  EXPECT_EQ(ReadPeHeaders(image.bytes.data()), nullptr);
  std::uint32_t far_away = 0x7FFF0000;  // header offset into unmapped memory
  std::memcpy(&image.bytes[60], &far_away, 4);
  EXPECT_EQ(ReadPeHeaders(image.bytes.data()), nullptr);
}

TEST(PeHeaders, DirectoryAddressFollowsTheLayoutOfTheMagic) {
  FakeImage image32(IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  auto* nt32 = image32.Nt<IMAGE_NT_HEADERS32>();
  nt32->OptionalHeader.NumberOfRvaAndSizes = 16;
  nt32->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = 0x1234;
  EXPECT_EQ(PeDirectoryAddress(image32.bytes.data(), IMAGE_DIRECTORY_ENTRY_IMPORT),
            image32.bytes.data() + 0x1234);
  EXPECT_EQ(PeDirectoryAddress(image32.bytes.data(), IMAGE_DIRECTORY_ENTRY_EXPORT), nullptr);
  EXPECT_EQ(PeDirectoryAddress(image32.bytes.data(), 16), nullptr);

  FakeImage image64(IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  auto* nt64 = image64.Nt<IMAGE_NT_HEADERS64>();
  nt64->OptionalHeader.NumberOfRvaAndSizes = 16;
  nt64->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress = 0x1888;
  EXPECT_EQ(PeDirectoryAddress(image64.bytes.data(), IMAGE_DIRECTORY_ENTRY_IMPORT),
            image64.bytes.data() + 0x1888);

  // A directory smaller than the index asks for has no such entry.
  nt32->OptionalHeader.NumberOfRvaAndSizes = 1;
  EXPECT_EQ(PeDirectoryAddress(image32.bytes.data(), IMAGE_DIRECTORY_ENTRY_IMPORT), nullptr);
}

TEST(PeHeaders, RvaToFileOffsetThroughTheSectionTable) {
  FakeImage image(IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  auto* nt = image.Nt<IMAGE_NT_HEADERS32>();
  nt->FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
  nt->FileHeader.NumberOfSections = 2;
  IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(nt);
  s[0].VirtualAddress = 0x1000;
  s[0].PointerToRawData = 0x400;
  s[1].VirtualAddress = 0x3000;
  s[1].PointerToRawData = 0x1400;
  EXPECT_EQ(RvaToFileOffset(nt, 0x1010), 0x410u);
  EXPECT_EQ(RvaToFileOffset(nt, 0x2FFF), 0x23FFu);  // still the first section
  EXPECT_EQ(RvaToFileOffset(nt, 0x3004), 0x1404u);
  EXPECT_EQ(RvaToFileOffset(nt, 0x90000), 0x8E400u);  // the last section takes everything above
  EXPECT_EQ(RvaToFileOffset(nt, 0x0800), 0x0800u);    // in the headers: unchanged
}

TEST(Modules, ModuleOfAddress) {
  HMODULE module = nullptr;
  std::wstring name;
  ASSERT_TRUE(ModuleOfAddress(reinterpret_cast<const void*>(&ReadPeHeaders), &module, &name));
  EXPECT_EQ(module, GetModuleHandleW(nullptr));
  EXPECT_NE(name.find(L"reporter_tests.exe"), std::wstring::npos);

  int on_stack = 0;
  EXPECT_FALSE(ModuleOfAddress(&on_stack, &module, &name));
  EXPECT_FALSE(ModuleOfAddress(nullptr, &module, &name));
}

TEST_F(TestModules, ExportsByExactName) {
  EXPECT_EQ(ExportAddress(target_, "TargetFunction"), Proc(target_, "TargetFunction"));
  EXPECT_EQ(ExportAddress(target_, "NamedFunction"), Proc(target_, "NamedFunction"));
  EXPECT_EQ(ExportAddress(target_, "targetfunction"), nullptr);
  EXPECT_EQ(ExportAddress(target_, "Missing"), nullptr);
  EXPECT_EQ(ExportAddress(nullptr, "TargetFunction"), nullptr);
}

TEST_F(TestModules, ForwardedExportLandsInTheTargetModule) {
  const void* target = Proc(target_, "TargetFunction");
  EXPECT_EQ(ExportAddress(forwarder_, "ForwardedFunction"), target);
  EXPECT_EQ(ExportAddress(forwarder_, "ForwardedFunction", true), target);
  // The system's own modules forward a great deal under Wine (kernel32 to kernelbase, ntdll).
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  for (const char* name : {"GetProcAddress", "AddVectoredExceptionHandler", "CreateThread",
                           "HeapAlloc", "GetLastError"})
    EXPECT_EQ(ExportAddress(kernel32, name), Proc(kernel32, name)) << name;
}

// Writes an export table entry of the loaded module, as a code-patching tool would.
class ExportEntryPatch {
 public:
  ExportEntryPatch(HMODULE module, const char* name, std::uint32_t rva) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    auto* d = static_cast<const IMAGE_EXPORT_DIRECTORY*>(
        PeDirectoryAddress(module, IMAGE_DIRECTORY_ENTRY_EXPORT));
    auto* names = reinterpret_cast<const std::uint32_t*>(base + d->AddressOfNames);
    auto* ordinals = reinterpret_cast<const std::uint16_t*>(base + d->AddressOfNameOrdinals);
    for (DWORD i = 0; i < d->NumberOfNames; ++i)
      if (std::strcmp(reinterpret_cast<const char*>(base + names[i]), name) == 0)
        entry_ = reinterpret_cast<std::uint32_t*>(base + d->AddressOfFunctions) + ordinals[i];
    if (!entry_) return;
    VirtualProtect(entry_, 4, PAGE_READWRITE, &protection_);
    original_ = std::exchange(*entry_, rva);
  }
  ~ExportEntryPatch() {
    if (!entry_) return;
    *entry_ = original_;
    VirtualProtect(entry_, 4, protection_, &protection_);
  }
  bool applied() const { return entry_ != nullptr; }
  std::uint32_t original() const { return original_; }

 private:
  std::uint32_t* entry_ = nullptr;
  std::uint32_t original_ = 0;
  DWORD protection_ = 0;
};

TEST_F(TestModules, RedirectedExportIsAnsweredFromTheFile) {
  const void* genuine = Proc(target_, "TargetFunction");
  std::uint32_t image_size = ReadPeHeaders(target_)->OptionalHeader.SizeOfImage;
  {
    ExportEntryPatch outside(target_, "TargetFunction", image_size + 0x10000);
    ASSERT_TRUE(outside.applied());
    EXPECT_EQ(ExportAddress(target_, "TargetFunction"), genuine);
  }
  {
    // Inside the image the entry is believed, unless verification is asked for.
    auto other = static_cast<std::uint32_t>(
        static_cast<const std::uint8_t*>(Proc(target_, "NamedFunction")) -
        reinterpret_cast<const std::uint8_t*>(target_));
    ExportEntryPatch inside(target_, "TargetFunction", other);
    ASSERT_TRUE(inside.applied());
    EXPECT_EQ(ExportAddress(target_, "TargetFunction"), Proc(target_, "NamedFunction"));
    EXPECT_EQ(ExportAddress(target_, "TargetFunction", true), genuine);
  }
}

TEST_F(TestModules, VerificationHookIsAskedFirst) {
  static int marker;
  SetExportVerifyHook([](HMODULE, const char* name, const void** address) {
    if (std::strcmp(name, "NamedFunction") != 0) return false;
    *address = &marker;
    return true;
  });
  EXPECT_EQ(ExportAddress(target_, "NamedFunction", true), &marker);
  EXPECT_EQ(ExportAddress(target_, "TargetFunction", true), Proc(target_, "TargetFunction"));
  SetExportVerifyHook(nullptr);
}

TEST_F(TestModules, ExportNamesOfAddresses) {
  EXPECT_EQ(ExportNameOfAddress(target_, Proc(target_, "NamedFunction")), "NamedFunction");
  EXPECT_EQ(ExportNameOfAddress(target_, Proc(target_, MAKEINTRESOURCEA(5))), "#5");
  EXPECT_EQ(ExportNameOfAddress(target_, target_), "");
  SetExportNameDemangler([](const std::string& name) { return "Unit." + name; });
  EXPECT_EQ(ExportNameOfAddress(target_, Proc(target_, "NamedFunction"), true),
            "Unit.NamedFunction");
  EXPECT_EQ(ExportNameOfAddress(target_, Proc(target_, "NamedFunction"), false), "NamedFunction");
  SetExportNameDemangler(nullptr);
}

// ---- Method stubs ----------------------------------------------------------------------------

struct WindowCounter {
  DWORD process;
  int windows = 0;
};

BOOL __stdcall CountOwnWindow(WindowCounter* self, HWND window, LPARAM limit) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == self->process) ++self->windows;
  return self->windows < limit;
}

int __stdcall AddToBase(int* base, int a, int b) { return *base + a * 10 + b; }

TEST(MethodStubs, CallTheMethodWithItsObject) {
  int base = 1000;
  auto add = reinterpret_cast<int(__stdcall*)(int, int)>(
      MakeMethodStub(&base, reinterpret_cast<const void*>(&AddToBase)));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(4, 2), 1042);
  base = 2000;
  EXPECT_EQ(add(0, 7), 2007);

  // As a callback of the system: the stub keeps the stack balanced for EnumWindows.
  HWND window =
      CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  WindowCounter counter{GetCurrentProcessId()};
  auto enumerate = reinterpret_cast<WNDENUMPROC>(
      MakeMethodStub(&counter, reinterpret_cast<const void*>(&CountOwnWindow)));
  EnumWindows(enumerate, 1000);
  EXPECT_GE(counter.windows, 1);
  DestroyWindow(window);
  FreeMethodStub(reinterpret_cast<void*>(enumerate));
  FreeMethodStub(reinterpret_cast<void*>(add));
  FreeMethodStub(&base);  // not a stub: ignored
}

}  // namespace
