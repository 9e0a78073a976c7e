// The settings store under Windows: the named shared block, the settings resources of the
// program and of a DLL carrying its own copy of the store, and the lookups by address.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "reporter/settings/entry_registry.h"
#include "reporter/settings/module_settings.h"
#include "reporter/settings/settings_stream.h"
#include "reporter/settings/store_platform.h"
#include "tests/support/message_box_watcher.h"

namespace {

using namespace reporter::settings;
using support::ComPtr;

std::wstring Name(const wchar_t* stem) {
  wchar_t pid[16] = {};
  wsprintfW(pid, L"$%x", GetCurrentProcessId());
  return std::wstring(stem) + pid;
}

bool MappingExists() {
  HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, Name(L"velExceptSettingsBuf").c_str());
  if (h == nullptr) return false;
  CloseHandle(h);
  return true;
}

std::string Mail(IMEModuleSettings* s) {
  return ReadSettingText([&](char* b, ULONG n) { return s->GetMailAddr(b, n); });
}

class TestDll {
 public:
  TestDll() : module_(LoadLibraryA("settings_test_dll.dll")) {}
  ~TestDll() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module() const { return module_; }
  template <class Fn>
  Fn* Get(const char* name) const {
    return reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

TEST(SettingsStoreWin, SharedBlockHasItsNamesAndLivesWithTheSettings) {
  ASSERT_FALSE(MappingExists());
  const HMODULE exe = GetModuleHandleW(nullptr);
  {
    ComPtr<ModuleSettings> s(ModuleSettings::Create(exe));
    ASSERT_TRUE(s->GetValid());
    EXPECT_TRUE(MappingExists());
    EXPECT_EQ(s->ReadIntKey("Tiny"), -5);
    EXPECT_EQ(s->ReadIntKey("Medium"), 1000);
    EXPECT_EQ(s->ReadIntKey("Large"), 100000);
    EXPECT_EQ(s->ReadTextKey("Title"), "reporter_tests.exe %exceptMsg%");

    // The block's layout: reference count, mapping handle, critical section, list head.
    HANDLE h = OpenFileMappingW(FILE_MAP_READ, FALSE, Name(L"velExceptSettingsBuf").c_str());
    const auto* raw = static_cast<const std::uint32_t*>(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 40));
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(raw[0], 1u);
    const auto* head = reinterpret_cast<const ModuleSettingsEntry*>(raw[8]);
    ASSERT_NE(head, nullptr);
    EXPECT_EQ(head->module, exe);
    EXPECT_EQ(head->capacity, 131u);
    // Entries and properties live on the process heap, for every copy to free.
    EXPECT_NE(HeapSize(GetProcessHeap(), 0, head), static_cast<SIZE_T>(-1));
    EXPECT_NE(HeapSize(GetProcessHeap(), 0, head->properties), static_cast<SIZE_T>(-1));
    UnmapViewOfFile(raw);
    CloseHandle(h);
  }
  EXPECT_FALSE(MappingExists());

  // Referencing waits for the settings mutex of that name.
  HANDLE mutex = CreateMutexW(nullptr, TRUE, Name(L"velExceptSettingsMtx").c_str());
  ASSERT_NE(mutex, nullptr);
  std::atomic<bool> done{false};
  std::thread other([&] {
    ModuleSettings* s = ModuleSettings::Create(exe);
    done = true;
    if (s != nullptr) s->Release();
  });
  Sleep(300);
  EXPECT_FALSE(done);
  ReleaseMutex(mutex);
  other.join();
  EXPECT_TRUE(done);
  CloseHandle(mutex);
  EXPECT_FALSE(MappingExists());
}

TEST(SettingsStoreWin, TwoCopiesOfTheStoreShareOneEntryPerModule) {
  TestDll dll;
  ASSERT_NE(dll.module(), nullptr);
  auto* code_address = dll.Get<const void*()>("DllCodeAddress");
  auto* for_address = dll.Get<IMEModuleSettings*(const void*)>("DllSettingsForAddress");
  auto* for_module = dll.Get<IMEModuleSettings*(HMODULE)>("DllSettingsForModule");
  ASSERT_TRUE(code_address && for_address && for_module);
  {
    // The DLL's copy finds the DLL's settings for an address inside the DLL; so does ours.
    ComPtr<IMEModuleSettings> theirs(for_address(code_address()));
    ComPtr<IMEModuleSettings> ours(SettingsForAddress(code_address()));
    ASSERT_TRUE(theirs && ours);
    EXPECT_EQ(theirs->GetModule(), dll.module());
    EXPECT_EQ(ours->GetModule(), dll.module());
    EXPECT_EQ(Mail(theirs.get()), "dll@example.com");

    // A write through one copy is seen through the other, both ways.
    EXPECT_TRUE(ours->SetMailAddr("changed@example.com"));
    EXPECT_EQ(Mail(theirs.get()), "changed@example.com");
    theirs->SetPluginEnabled("hardware", TRUE);
    EXPECT_TRUE(ours->GetPluginEnabled("HARDWARE"));

    // The program module's settings through the DLL's copy.
    ComPtr<IMEModuleSettings> exe(for_module(GetModuleHandleW(nullptr)));
    EXPECT_EQ(Mail(exe.get()), "exe@example.com");

    // NoSettings in the DLL's entry sends the search to the process: the program's settings.
    ComPtr<ModuleSettings> writer(ModuleSettings::Create(dll.module()));
    EXPECT_TRUE(writer->WriteBoolKey("NoSettings", true));
    ComPtr<IMEModuleSettings> redirected(for_address(code_address()));
    EXPECT_EQ(redirected->GetModule(), GetModuleHandleW(nullptr));
    // Objects made by the DLL's copy are released by ours last: the entry the DLL allocated is
    // freed by this copy.
    theirs = ComPtr<IMEModuleSettings>();
  }
  EXPECT_FALSE(MappingExists());
}

TEST(SettingsStoreWin, ModulesWithoutSettingsAndUnreadableMemory) {
  // kernel32 has no settings: the search ends at the program's own settings.
  const void* in_kernel32 =
      reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "Sleep"));
  ComPtr<IMEModuleSettings> s(SettingsForAddress(in_kernel32));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->GetModule(), GetModuleHandleW(nullptr));
  EXPECT_TRUE(s->GetValid());
  ComPtr<IMEModuleSettings> caller(SettingsForCaller());
  EXPECT_EQ(caller->GetModule(), GetModuleHandleW(nullptr));
  ComPtr<IMEModuleSettings> up(SettingsForCallerLevel(1));
  EXPECT_TRUE(up);

  ComPtr<ModuleSettings> none(ModuleSettings::Create(GetModuleHandleA("kernel32.dll")));
  EXPECT_FALSE(none->GetValid());
  EXPECT_FALSE(none->WriteTextKey("MailAddr", "x"));

  // The version variable is read under a guard.
  EXPECT_EQ(platform::VersionVarText(GetModuleHandleW(nullptr), 0x7FFF0000), "");
  const void* value = nullptr;
  EXPECT_FALSE(platform::ReadPointer(nullptr, value));
  EXPECT_TRUE(platform::SettingsResource(reinterpret_cast<HMODULE>(&value)).empty());
}

// Calls through the virtual table by slot number with the interfaces' calling convention, as a
// module built by another compiler would.
template <class Result, class... Args>
Result CallSlot(void* object, int slot, Args... args) {
  using Fn = Result(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot])(object, args...);
}

TEST(SettingsStoreWin, SlotsFollowTheInterfaceOrderAndItsCallingConvention) {
  const HMODULE exe = GetModuleHandleW(nullptr);
  ComPtr<ModuleSettings> s(ModuleSettings::Create(exe));
  IMEModuleSettings* object = s.get();
  EXPECT_EQ(CallSlot<HMODULE>(object, 3), exe);              // the module
  EXPECT_EQ(CallSlot<BOOL>(object, 5, FALSE), TRUE);         // AutoSave writer
  EXPECT_EQ(CallSlot<BOOL>(object, 4), FALSE);               // AutoSave
  EXPECT_EQ(CallSlot<BOOL>(object, 193, "failed"), TRUE);    // SendFailMsg writer
  EXPECT_EQ(CallSlot<ULONG>(object, 192, nullptr, 0u), 6u);  // SendFailMsg
  EXPECT_EQ(CallSlot<BOOL>(object, 194), TRUE);              // valid
  EXPECT_EQ(CallSlot<ULONG>(object, 52, nullptr, 0u), 15u);  // MailAddr
  CallSlot<void>(object, 241);                               // RereadResource
  EXPECT_NE(ReadSettingText([&](char* b, ULONG n) { return s->GetSendFailMsg(b, n); }), "failed");

  // The typed access that other copies of the store use.
  IMEPropAccess* access = s.get();
  EXPECT_EQ(CallSlot<LONG>(access, 4, "Tiny"), -5);  // ReadInt
  EXPECT_EQ(CallSlot<void*>(access, 9), s.get());    // Self
}

TEST(SettingsStoreWin, UnknownValueTypeIsShownAndTheKeysBeforeItStay) {
  std::string stream(kSettingsStreamHeader);
  stream += std::string(
                "\x04"
                "Kept\x09",
                6) +
            std::string(
                "\x04"
                "Lost\x2a",
                6);
  ModuleSettingsEntry* entry = NewModuleEntry(nullptr);
  ASSERT_NE(entry, nullptr);
  {
    testing_support::MessageBoxWatcher boxes;
    FillModuleEntry(*entry, {reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()});
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{
                                 L"velExcept|Internal error: Invalid settings resource ($2a)."});
  }
  EXPECT_EQ(entry->count, 1u);
  FreeModuleEntry(entry);
}

}  // namespace
