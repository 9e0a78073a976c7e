#include "reporter/settings/module_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "reporter/settings/settings_stream.h"
#include "reporter/settings/store_platform_host.h"

namespace {

using namespace reporter::settings;
using support::ComPtr;

HMODULE Handle(std::uintptr_t base) { return reinterpret_cast<HMODULE>(base); }
const HMODULE kExe = Handle(0x400000);
const HMODULE kDll = Handle(0x10000000);
const HMODULE kPlain = Handle(0x20000000);
const HMODULE kSilent = Handle(0x30000000);  // its settings say NoSettings

SettingsProperty Key(std::string name, PropertyKind kind, std::int32_t integer = 0,
                     std::string text = {}) {
  SettingsProperty p;
  p.name = std::move(name);
  p.kind = kind;
  p.boolean = integer != 0;
  p.integer = integer;
  p.text = std::move(text);
  return p;
}

std::vector<std::uint8_t> Resource(const std::string& stream) {
  return std::vector<std::uint8_t>(stream.begin(), stream.end());
}

std::vector<std::uint8_t> Resource(const SettingsList& keys) {
  return Resource(WriteSettingsStream(keys));
}

class ModuleSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SettingsList exe = {Key("NoSettings", PropertyKind::kBoolean, 0),
                        Key("Tiny", PropertyKind::kInteger, -5),
                        Key("Medium", PropertyKind::kInteger, 1000),
                        Key("Large", PropertyKind::kInteger, 100000),
                        Key("Title", PropertyKind::kText, 0, "%APPNAME% %exceptMsg% %modname%"),
                        Key("Plugins", PropertyKind::kText, 0, "modules|processes"),
                        Key("OnlyInExe", PropertyKind::kInteger, 42)};
    SettingsList dll = {Key("NoSettings", PropertyKind::kBoolean, 0),
                        Key("MailAddr", PropertyKind::kText, 0, "dll@example.com")};
    SettingsList silent = {Key("NoSettings", PropertyKind::kBoolean, 1)};
    host::SetModules({{kExe, "C:\\Program Files\\Pelmora\\pelmora.exe", Resource(exe), "1.2.3.4"},
                      {kDll, "C:\\Program Files\\Pelmora\\plugin.dll", Resource(dll), ""},
                      {kPlain, "C:\\Windows\\system32\\kernel32.dll", {}, "6.1.0.0"},
                      {kSilent, "C:\\Program Files\\Pelmora\\silent.dll", Resource(silent), ""}},
                     kExe);
    host::TakeMessages();
  }
  void TearDown() override {
    SetMainSettings(nullptr);
    EXPECT_EQ(host::SharedBlockReferences(), 0);
    EXPECT_EQ(platform::ListHead(), nullptr);
  }

  static std::string Text(IMEModuleSettings* s, const char* key) {
    IMEPropAccess* access = nullptr;
    s->QueryInterface(IID_IMEPropAccess, reinterpret_cast<void**>(&access));
    ComPtr<IMEPropAccess> holder(access);
    return ReadSettingText([&](char* b, ULONG n) { return access->ReadText(key, b, n); });
  }
  // The program's own settings resource as the executable's.
  static void UseProgramResource() {
    host::SetModules({{kExe, "C:\\Program Files\\Pelmora\\pelmora.exe",
                       Resource(ResourceSettings()), "1.2.3.4"}},
                     kExe);
  }
  static std::string SlotText(IMESettings* s,
                              ULONG (STDMETHODCALLTYPE IMESettings::*reader)(char*, ULONG)) {
    return ReadSettingText([&](char* b, ULONG n) { return (s->*reader)(b, n); });
  }
  static ModuleSettings* Of(IMEModuleSettings* s) {
    IMEPropAccess* access = nullptr;
    s->QueryInterface(IID_IMEPropAccess, reinterpret_cast<void**>(&access));
    auto* self = static_cast<ModuleSettings*>(access->Self());
    access->Release();
    return self;
  }
};

TEST_F(ModuleSettingsTest, IntegerWidthsAndKindsRead) {
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  ASSERT_TRUE(s->GetValid());
  EXPECT_EQ(s->ReadIntKey("Tiny"), -5);
  EXPECT_EQ(s->ReadIntKey("Medium"), 1000);
  EXPECT_EQ(s->ReadIntKey("Large"), 100000);
  EXPECT_EQ(s->ReadUIntKey("Tiny"), 0xFFFFFFFBu);
  EXPECT_FALSE(s->GetNoSettings());
  // Keys the resource lacks come from the built-in defaults (no MainSettings yet).
  EXPECT_EQ(s->GetAutoDelay(), 60u);
  EXPECT_EQ(s->ReadIntKey("NoSuchKey"), 0);
}

TEST_F(ModuleSettingsTest, SlotsReadTheBuiltInDefaultsWhereTheModuleHasNoKey) {
  ComPtr<IMEModuleSettings> s(ModuleSettings::Create(kPlain));
  EXPECT_EQ(s->GetLimitDisAsm(), 5);
  EXPECT_EQ(s->GetFreezeTimeout(), 60u);
  EXPECT_EQ(s->GetScrShotDepth(), 0);
  EXPECT_TRUE(s->GetNoSettings());
  EXPECT_EQ(s->GetDupFreezeDef(), 2u);  // boolean kind in the table, read as integer
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetPrepAttMsg), "Prepare attachments...");
  EXPECT_FALSE(s->GetMinDebugInfo());
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetVersionText), "");  // no VersionVar
}

TEST_F(ModuleSettingsTest, SlotsReadTheProgramResource) {
  UseProgramResource();
  ComPtr<IMEModuleSettings> s(ModuleSettings::Create(kExe));
  ASSERT_TRUE(s->GetValid());
  EXPECT_EQ(s->GetLimitDisAsm(), 7);
  EXPECT_FALSE(s->GetNoSettings());
  EXPECT_EQ(s->GetF1ShowCfg(), 3u);
  EXPECT_EQ(s->GetGnShowCfg(), 2u);
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetPrepAttMsg), "Preparing attachments...");
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetSendFailMsg),
            "Sorry, sending the bug report didn't work.");
  EXPECT_EQ(ReadSettingText([&](char* b, ULONG n) { return s->GetF1Classes(b, n); }),
            "EDBEditError");
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetTitleBar), "pelmora.exe");  // expanded
  EXPECT_EQ(s->GetAutoDelay(), 60u);                                       // not stored: built in
}

TEST_F(ModuleSettingsTest, KeysOfAnotherKindThanTheirSlot) {
  // Stored keys carry only their own kind's field: a reader of another kind sees its empty
  // field, not a conversion, and a writer of another kind fails.
  host::SetModules({{kExe, "C:\\app.exe",
                     Resource({Key("SmtpPort", PropertyKind::kText, 0, "2525"),
                               Key("FocusedBtn", PropertyKind::kBoolean, 1),
                               Key("AutoSave", PropertyKind::kInteger, 1),
                               Key("MailAddr", PropertyKind::kInteger, 7)}),
                     ""}},
                   kExe);
  ComPtr<IMEModuleSettings> s(ModuleSettings::Create(kExe));
  EXPECT_EQ(s->GetSmtpPort(), 0u);
  EXPECT_EQ(s->GetFocusedBtn(), 0u);
  EXPECT_FALSE(s->GetAutoSave());
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetMailAddr), "");
  EXPECT_FALSE(s->SetSmtpPort(26));
  EXPECT_FALSE(s->SetAutoSave(TRUE));
  EXPECT_FALSE(s->SetMailAddr("a@example.com"));
  EXPECT_EQ(Text(s.get(), "SmtpPort"), "2525");
}

TEST_F(ModuleSettingsTest, SlotWritesTakeTheirValuesWhole) {
  UseProgramResource();
  ComPtr<IMEModuleSettings> s(ModuleSettings::Create(kExe));
  EXPECT_TRUE(s->SetSmtpServer(nullptr));  // no text: empty
  EXPECT_EQ(SlotText(s.get(), &IMESettings::GetSmtpServer), "");
  EXPECT_TRUE(s->SetLimitDisAsm(-1));
  EXPECT_EQ(s->GetLimitDisAsm(), -1);
  EXPECT_TRUE(s->SetHttpPort(0xFFFFFFFFu));
  EXPECT_EQ(s->GetHttpPort(), 0xFFFFFFFFu);

  ComPtr<IMEModuleSettings> plain(ModuleSettings::Create(kPlain));
  EXPECT_FALSE(plain->SetAutoSend(TRUE));
  EXPECT_FALSE(plain->GetAutoSend());
}

TEST_F(ModuleSettingsTest, MissingKeyIsWrittenIntoTheOwnEntryNotTheDefaults) {
  ComPtr<IMEModuleSettings> exe(ModuleSettings::Create(kExe));
  ComPtr<IMEModuleSettings> dll(ModuleSettings::Create(kDll));
  // FocusedBtn has the boolean kind in the defaults table only: writing creates an integer key.
  EXPECT_TRUE(exe->SetFocusedBtn(4));
  EXPECT_EQ(exe->GetFocusedBtn(), 4u);
  EXPECT_EQ(dll->GetFocusedBtn(), 0u);
}

TEST_F(ModuleSettingsTest, TextReadersCutToTheBufferAndGiveTheFullLength) {
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  ASSERT_TRUE(s->WriteTextKey("MailSubj", "bug report"));
  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(s->GetMailSubj(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "bug ");
  EXPECT_EQ(s->GetMailSubj(nullptr, 0), 10u);
  EXPECT_EQ(s->GetMailSubj(buffer, 0), 10u);
  EXPECT_EQ(buffer[0], 'b');  // untouched
  // The length is that of the expanded text.
  EXPECT_EQ(s->ReadText("Title", buffer, sizeof buffer),
            std::string("pelmora.exe %exceptMsg% pelmora.exe").size());
  EXPECT_STREQ(buffer, "pelm");
}

TEST_F(ModuleSettingsTest, WritesNeedTheKindAndAreSharedByEveryObjectOfTheModule) {
  ComPtr<ModuleSettings> a(ModuleSettings::Create(kExe));
  ComPtr<ModuleSettings> b(ModuleSettings::Create(kExe));
  EXPECT_EQ(host::SharedBlockReferences(), 2);
  EXPECT_FALSE(a->WriteTextKey("Large", "text"));
  EXPECT_EQ(b->ReadIntKey("Large"), 100000);
  EXPECT_TRUE(a->WriteIntKey("Large", 7));
  EXPECT_EQ(b->ReadIntKey("Large"), 7);
  EXPECT_TRUE(a->WriteTextKey("NewKey", "made"));  // created with the written kind
  EXPECT_FALSE(b->WriteBoolKey("NewKey", true));
  EXPECT_EQ(b->ReadTextKey("NewKey"), "made");
  EXPECT_TRUE(a->WriteTextKey("NewKey", ""));
  EXPECT_EQ(b->ReadTextKey("NewKey"), "");
  // Reparsing forgets writes for every object.
  b->RereadResource();
  EXPECT_EQ(a->ReadIntKey("Large"), 100000);
  EXPECT_EQ(a->ReadTextKey("NewKey"), "");

  // A module without a settings resource: invalid, and every write fails.
  ComPtr<ModuleSettings> plain(ModuleSettings::Create(kPlain));
  EXPECT_FALSE(plain->GetValid());
  EXPECT_FALSE(plain->WriteBoolKey("Enabled", true));
  EXPECT_EQ(plain->GetAutoDelay(), 60u);
}

TEST_F(ModuleSettingsTest, StartUpMakesTheOwnModulesSettingsMain) {
  {
    const MainSettingsScope scope;
    ComPtr<IMEModuleSettings> main(MainSettings());
    ASSERT_TRUE(main);
    EXPECT_EQ(main->GetModule(), kExe);
  }
  EXPECT_EQ(MainSettings(), nullptr);
}

TEST_F(ModuleSettingsTest, TextWritesAndReadsFromTwoThreadsNeverMeetAFreedText) {
  ComPtr<ModuleSettings> writer(ModuleSettings::Create(kExe));
  ComPtr<ModuleSettings> reader(ModuleSettings::Create(kExe));
  std::thread other([&] {
    for (int i = 0; i < 5000; ++i) {
      writer->WriteTextKey("MailAddr", std::string((i % 50 + 1) * 100, 'm'));
    }
  });
  for (int i = 0; i < 5000; ++i) {
    const std::string text = reader->ReadTextKey("MailAddr");
    ASSERT_EQ(text.find_first_not_of('m'), std::string::npos) << text;
  }
  other.join();
}

TEST_F(ModuleSettingsTest, OtherModulesFallBackToMainSettings) {
  ComPtr<ModuleSettings> main(ModuleSettings::Create(kExe));
  SetMainSettings(main.get());
  ComPtr<ModuleSettings> dll(ModuleSettings::Create(kDll));
  EXPECT_EQ(dll->ReadIntKey("OnlyInExe"), 42);
  EXPECT_EQ(dll->ReadTextKey("MailAddr"), "dll@example.com");
  // With MainSettings in another module the defaults are not consulted: a key that neither
  // has reads as MainSettings reads it, which in its own module includes the defaults.
  EXPECT_EQ(dll->GetAutoDelay(), 60u);
  main->WriteIntKey("AutoDelay", 5);
  EXPECT_EQ(dll->GetAutoDelay(), 5u);
}

TEST_F(ModuleSettingsTest, TextsExpandPlaceholdersButLeaveTheExceptionOnes) {
  ComPtr<ModuleSettings> dll(ModuleSettings::Create(kDll));
  ComPtr<ModuleSettings> exe(ModuleSettings::Create(kExe));
  EXPECT_EQ(exe->ReadTextKey("Title"), "pelmora.exe %exceptMsg% pelmora.exe");
  ExceptionPlaceholders values;
  values.message = "";
  values.exception_class = "EAccessViolation";
  EXPECT_EQ(dll->Expand("%exceptmsg%/%EXCEPTCLASS%/%bugReport%/%modname%", values),
            "Unknown/EAccessViolation/%bugReport%/plugin.dll");
  // An exception's texts are not expanded themselves.
  values.message = "disk %date% full%LF%%bugReport%";
  values.bug_report = "report";
  EXPECT_EQ(dll->Expand("%exceptMsg% %BUGREPORT%", values),
            "disk %date% full%LF%%bugReport% report");
  host::SetNow({2024, 3, 7, 9, 5, 1, 42});
  EXPECT_EQ(dll->Expand("%date%|%time%|%datetime%|a%LF%b"),
            "2024-03-07|09:05:01, 42ms|2024-03-07, 09:05:01, 42ms|a\r\nb");
  EXPECT_EQ(dll->Expand("%appversion% %modversion%"), "1.2.3.4 ?");
  host::SetShellFolder(26, "C:\\Users\\me\\AppData\\Roaming\\");
  EXPECT_EQ(dll->Expand("%userappdata%|%commonappdata%"),
            "C:\\Users\\me\\AppData\\Roaming|C:\\Program Files\\Pelmora");
  host::SetShellFolder(26, "");
}

TEST_F(ModuleSettingsTest, VersionVarNamesTheVersionText) {
  SettingsList keys = {Key("VersionVar", PropertyKind::kInteger, 0x1234)};
  host::SetModules({{kExe, "C:\\app.exe", Resource(keys), "1.0.0.0"}}, kExe);
  host::SetVersionVar(kExe, 0x1234, "2.5 beta");
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  EXPECT_EQ(s->VersionText(), "2.5 beta");
  EXPECT_EQ(s->Expand("%appversion%/%modversion%"), "2.5 beta/2.5 beta");
}

TEST_F(ModuleSettingsTest, DamagedResources) {
  std::string stream = WriteSettingsStream({Key("Before", PropertyKind::kInteger, 3)});
  stream.pop_back();
  stream.pop_back();
  stream += std::string(
                "\x05"
                "Later\x2A",
                7) +
            WriteSettingsStream({}).substr(25);
  host::SetModules({{kExe, "C:\\app.exe", Resource(stream), ""},
                    {kDll, "C:\\b.dll", Resource("TPF0 not settings"), ""}},
                   kExe);
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  EXPECT_EQ(host::TakeMessages(),
            std::vector<std::string>{"Internal error: Invalid settings resource ($2a)."});
  EXPECT_EQ(s->ReadIntKey("Before"), 3);
  ComPtr<ModuleSettings> b(ModuleSettings::Create(kDll));
  EXPECT_TRUE(b->GetValid());  // a resource, but no keys: everything from the defaults
  EXPECT_TRUE(b->GetNoSettings());
}

TEST_F(ModuleSettingsTest, AssistantsLoseTheScreenshotFormWithoutScreenshots) {
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  ASSERT_TRUE(s->WriteTextKey("Assistant1", "Send|Send it|ContactForm|ScrShotForm"));
  ASSERT_TRUE(s->WriteIntKey("ScrShotDepth", 8));
  EXPECT_EQ(s->FindAssistantDefinition("SEND")->forms.size(), 2u);
  ASSERT_TRUE(s->WriteIntKey("ScrShotDepth", 0));
  EXPECT_EQ(s->FindAssistantDefinition("send")->forms, std::vector<std::string>{"ContactForm"});
  EXPECT_FALSE(s->FindAssistantDefinition("Other"));
}

TEST_F(ModuleSettingsTest, PluginSwitch) {
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  EXPECT_TRUE(s->GetPluginEnabled("MODULES"));
  EXPECT_FALSE(s->GetPluginEnabled("module"));
  s->SetPluginEnabled("Modules", TRUE);  // already on: nothing changes
  EXPECT_EQ(s->ReadTextKey("Plugins"), "modules|processes");
  s->SetPluginEnabled("hardware", TRUE);
  EXPECT_EQ(s->ReadTextKey("Plugins"), "modules|processes|hardware");
  s->SetPluginEnabled("PROCESSES", FALSE);
  s->SetPluginEnabled("modules", FALSE);
  s->SetPluginEnabled("hardware", FALSE);
  EXPECT_EQ(s->ReadTextKey("Plugins"), "");
  s->SetPluginEnabled("hardware", TRUE);
  EXPECT_EQ(s->ReadTextKey("Plugins"), "hardware");

  // Every copy goes, also adjacent ones.
  ASSERT_TRUE(s->WriteTextKey("Plugins", "a|a|b|A"));
  s->SetPluginEnabled("a", FALSE);
  EXPECT_EQ(s->ReadTextKey("Plugins"), "b");
}

TEST_F(ModuleSettingsTest, AddedListsWriteBackAndAreDetachedWithTheirSettings) {
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  ComPtr<IMEAttachments> attachments(s->GetAddAttachs());
  ComPtr<IMEFields> fields(s->GetAddFields());
  attachments->Add("C:\\log.txt", "", "", "logs.zip");
  fields->Add("Build", "%appname% 7");
  ComPtr<ModuleSettings> other(ModuleSettings::Create(kExe));
  EXPECT_EQ(other->ReadTextKey("AddAttachs"), "C:\\log.txt>log.txt>logs.zip>log");
  EXPECT_EQ(other->ReadTextKey("AddFields"), "Build=pelmora.exe 7");
  s = ComPtr<ModuleSettings>();  // the lists outlive their settings and write nothing more
  attachments->Clear();
  fields->Add("More", "x");
  EXPECT_EQ(other->ReadTextKey("AddAttachs"), "C:\\log.txt>log.txt>logs.zip>log");
}

TEST_F(ModuleSettingsTest, QueryInterfaceAndReferences) {
  ModuleSettings* s = ModuleSettings::Create(kExe);
  ASSERT_NE(s, nullptr);
  IMEModuleSettings* settings = s;
  EXPECT_EQ(settings->GetModule(), kExe);
  void* out = nullptr;
  ASSERT_EQ(settings->QueryInterface(IID_IMESettings, &out), S_OK);
  EXPECT_EQ(out, static_cast<IMESettings*>(s));
  ASSERT_EQ(settings->QueryInterface(support::kIidUnknown, &out), S_OK);
  void* const identity = out;
  ASSERT_EQ(settings->QueryInterface(IID_IMEPropAccess, &out), S_OK);
  auto* access = static_cast<IMEPropAccess*>(out);
  EXPECT_EQ(access->Self(), static_cast<void*>(s));
  // Every interface leads to the same IUnknown.
  ASSERT_EQ(access->QueryInterface(support::kIidUnknown, &out), S_OK);
  EXPECT_EQ(out, identity);
  EXPECT_EQ(settings->QueryInterface(IID_IMEFields, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(settings->QueryInterface(IID_IMEModuleSettings, nullptr), E_POINTER);
  EXPECT_EQ(access->Release(), 4u);  // the references are the object's, whichever interface
  EXPECT_EQ(settings->Release(), 3u);
  EXPECT_EQ(settings->Release(), 2u);
  EXPECT_EQ(settings->Release(), 1u);
  EXPECT_EQ(host::SharedBlockReferences(), 1);
  EXPECT_EQ(settings->Release(), 0u);
}

// Calls through the virtual table by slot number, as a module built by another compiler would.
template <class Result, class... Args>
Result CallSlot(void* object, int slot, Args... args) {
  using Fn = Result(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot])(object, args...);
}

TEST_F(ModuleSettingsTest, SlotNumbersFollowTheInterfaceOrder) {
  UseProgramResource();
  ComPtr<ModuleSettings> s(ModuleSettings::Create(kExe));
  IMEModuleSettings* object = s.get();
  EXPECT_EQ(CallSlot<HMODULE>(object, 3), kExe);     // the module
  EXPECT_EQ(CallSlot<BOOL>(object, 4), FALSE);       // AutoSave
  EXPECT_EQ(CallSlot<BOOL>(object, 5, TRUE), TRUE);  // AutoSave writer
  EXPECT_TRUE(s->GetAutoSave());
  EXPECT_EQ(CallSlot<BOOL>(object, 136, "hardware"), TRUE);           // plug-in test
  EXPECT_EQ(CallSlot<void*>(object, 139, "SendAssistant"), nullptr);  // assistant lookup
  EXPECT_EQ(CallSlot<BOOL>(object, 193, "failed"), TRUE);             // SendFailMsg writer
  EXPECT_EQ(CallSlot<ULONG>(object, 192, nullptr, 0u), 6u);           // SendFailMsg
  ComPtr<IMEFields> fields(CallSlot<IMEFields*>(object, 84));         // the added fields
  EXPECT_TRUE(fields);
  EXPECT_EQ(CallSlot<ULONG>(object, 52, nullptr, 0u), Text(object, "MailAddr").size());
  EXPECT_EQ(CallSlot<BOOL>(object, 194), TRUE);               // valid
  EXPECT_EQ(CallSlot<BOOL>(object, 195), TRUE);               // Enabled
  EXPECT_EQ(CallSlot<ULONG>(object, 200), 60000u);            // FreezeTimeout
  EXPECT_EQ(CallSlot<ULONG>(object, 201, nullptr, 0u), 12u);  // F1Classes
  CallSlot<void>(object, 241);                                // RereadResource
  EXPECT_FALSE(s->GetAutoSave());

  // The typed access that other copies of the store use.
  IMEPropAccess* access = s.get();
  EXPECT_EQ(CallSlot<LONG>(access, 4, "LimitDisAsm"), 7);  // ReadInt
  EXPECT_EQ(CallSlot<void*>(access, 9), s.get());          // Self
}

TEST_F(ModuleSettingsTest, WhichSettingsApply) {
  const auto in = [](HMODULE module) { return reinterpret_cast<const char*>(module) + 0x1000; };
  ComPtr<IMEModuleSettings> dll(SettingsForAddress(in(kDll)));
  EXPECT_EQ(dll->GetModule(), kDll);
  // A module without settings, the reporter's own module and a NoSettings module all lead to
  // the process search, which finds the reporter's own module first.
  for (HMODULE module : {kPlain, kExe, kSilent}) {
    ComPtr<IMEModuleSettings> s(SettingsForAddress(in(module)));
    EXPECT_EQ(s->GetModule(), kExe);
    EXPECT_TRUE(s->GetValid());
  }
  ComPtr<IMEModuleSettings> nowhere(SettingsForAddress(nullptr));
  EXPECT_EQ(nowhere->GetModule(), kExe);
  ComPtr<IMEModuleSettings> silent(SettingsForModule(kSilent));
  EXPECT_EQ(silent->GetModule(), kExe);
  ComPtr<IMEModuleSettings> plain(SettingsForModule(kPlain));
  EXPECT_EQ(plain->GetModule(), kPlain);
  EXPECT_FALSE(plain->GetValid());

  // Without usable settings in the own module the address space is searched: the first module
  // with settings, replaced by the first that does not say NoSettings.
  host::SetModules(
      {{kExe, "C:\\app.exe", {}, ""},
       {kDll, "C:\\b.dll", Resource({Key("NoSettings", PropertyKind::kBoolean, 0)}), ""},
       {kPlain, "C:\\c.dll", {}, ""},
       {kSilent, "C:\\d.dll", Resource({Key("NoSettings", PropertyKind::kBoolean, 1)}), ""}},
      kExe);
  ComPtr<IMEModuleSettings> found(FindProcessSettings());
  EXPECT_EQ(found->GetModule(), kDll);
  host::SetModules({{kExe, "C:\\app.exe", {}, ""}, {kPlain, "C:\\c.dll", {}, ""}}, kExe);
  EXPECT_EQ(FindProcessSettings(), nullptr);
  ComPtr<IMEModuleSettings> fallback(SettingsForAddress(in(kPlain)));
  EXPECT_EQ(fallback->GetModule(), kExe);
  EXPECT_FALSE(fallback->GetValid());
}

}  // namespace
