#include "reporter/settings/key_list_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace reporter::settings;
using support::ComPtr;

HMODULE FakeModule() { return reinterpret_cast<HMODULE>(0x400000); }

SettingsProperty Key(const char* name, PropertyKind kind, int integer = 0, const char* text = "",
                     bool boolean = false) {
  SettingsProperty p;
  p.name = name;
  p.kind = kind;
  p.integer = integer;
  p.text = text;
  p.boolean = boolean;
  return p;
}

ComPtr<IMEModuleSettings> Make(SettingsList keys, bool valid = true) {
  return ComPtr<IMEModuleSettings>(KeyListSettings::Create(FakeModule(), std::move(keys), valid));
}

std::string Text(IMESettings* s, ULONG (STDMETHODCALLTYPE IMESettings::*reader)(char*, ULONG)) {
  return ReadSettingText([&](char* b, ULONG n) { return (s->*reader)(b, n); });
}

TEST(KeyListSettings, MissingKeysFallBackToTheBuiltInDefaults) {
  auto s = Make({});
  EXPECT_EQ(s->GetAutoDelay(), 60u);
  EXPECT_EQ(s->GetLimitDisAsm(), 5);
  EXPECT_EQ(s->GetFreezeTimeout(), 60u);
  EXPECT_EQ(s->GetScrShotDepth(), 0);
  EXPECT_TRUE(s->GetNoSettings());
  EXPECT_EQ(s->GetDupFreezeDef(), 2u);  // boolean kind in the table, read as integer
  EXPECT_EQ(Text(s.get(), &IMESettings::GetPrepAttMsg), "Prepare attachments...");
  EXPECT_FALSE(s->GetMinDebugInfo());
}

TEST(KeyListSettings, ProgramResourceValuesWin) {
  auto s = Make(ResourceSettings());
  EXPECT_EQ(s->GetLimitDisAsm(), 7);
  EXPECT_FALSE(s->GetNoSettings());
  EXPECT_EQ(s->GetF1ShowCfg(), 3u);
  EXPECT_EQ(s->GetGnShowCfg(), 2u);
  EXPECT_EQ(Text(s.get(), &IMESettings::GetPrepAttMsg), "Preparing attachments...");
  EXPECT_EQ(Text(s.get(), &IMESettings::GetSendFailMsg),
            "Sorry, sending the bug report didn't work.");
  EXPECT_EQ(ReadSettingText([&](char* b, ULONG n) { return s->GetF1Classes(b, n); }),
            "EDBEditError");
  EXPECT_EQ(s->GetAutoDelay(), 60u);  // not stored: built in
}

TEST(KeyListSettings, ReadersTakeTheirOwnFieldWhateverTheKind) {
  auto s = Make({Key("SmtpPort", PropertyKind::kText, 0, "2525"),
                 Key("FocusedBtn", PropertyKind::kBoolean, 3, "", true)});
  EXPECT_EQ(s->GetSmtpPort(), 0u);
  EXPECT_EQ(s->GetFocusedBtn(), 3u);
}

TEST(KeyListSettings, WritesNeedTheKeysKindAndValidSettings) {
  auto s = Make(ResourceSettings());
  EXPECT_TRUE(s->SetSmtpServer(nullptr));  // no text: empty
  EXPECT_EQ(Text(s.get(), &IMESettings::GetSmtpServer), "");
  EXPECT_TRUE(s->SetLimitDisAsm(-1));
  EXPECT_EQ(s->GetLimitDisAsm(), -1);
  EXPECT_TRUE(s->SetHttpPort(0xFFFFFFFFu));
  EXPECT_EQ(s->GetHttpPort(), 0xFFFFFFFFu);

  // A text written to an integer key fails and leaves the key alone.
  auto* typed = static_cast<KeyListSettings*>(s.get());
  EXPECT_FALSE(typed->WriteText("LimitDisAsm", "3"));
  EXPECT_EQ(s->GetLimitDisAsm(), -1);
  // A new key is created with the kind written; the other kinds then fail on it.
  EXPECT_TRUE(typed->WriteText("NewKey", "value"));
  EXPECT_EQ(typed->ReadText("NewKey"), "value");
  EXPECT_FALSE(typed->WriteBool("NewKey", true));
  EXPECT_TRUE(typed->WriteText("NewKey", ""));
  EXPECT_EQ(typed->ReadText("NewKey"), "");

  auto invalid = Make({}, false);
  EXPECT_FALSE(invalid->GetValid());
  EXPECT_FALSE(invalid->SetAutoSend(TRUE));
  EXPECT_FALSE(invalid->GetAutoSend());
}

TEST(KeyListSettings, MissingKeyIsWrittenIntoTheOwnListNotTheDefaults) {
  auto first = Make({});
  auto second = Make({});
  // FocusedBtn has the boolean kind in the defaults table only: writing creates an integer key.
  EXPECT_TRUE(first->SetFocusedBtn(4));
  EXPECT_EQ(first->GetFocusedBtn(), 4u);
  EXPECT_EQ(second->GetFocusedBtn(), 0u);
}

TEST(KeyListSettings, TextReadersCutToTheBufferAndGiveTheFullLength) {
  auto s = Make(ResourceSettings());
  char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(s->GetMailSubj(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "bug ");
  EXPECT_EQ(s->GetMailSubj(nullptr, 0), 10u);
  EXPECT_EQ(s->GetMailSubj(buffer, 0), 10u);
  EXPECT_EQ(buffer[0], 'b');  // untouched
}

TEST(KeyListSettings, RereadResourceForgetsWrites) {
  auto s = Make(ResourceSettings());
  ASSERT_TRUE(s->SetTitleBar("changed"));
  s->RereadResource();
  EXPECT_EQ(Text(s.get(), &IMESettings::GetTitleBar), "%appname%");
}

TEST(KeyListSettings, PluginSwitch) {
  auto s = Make(ResourceSettings());
  auto plugins = [&] { return static_cast<KeyListSettings*>(s.get())->ReadText("Plugins"); };
  EXPECT_TRUE(s->GetPluginEnabled("Processes"));
  EXPECT_FALSE(s->GetPluginEnabled("mod"));
  s->SetPluginEnabled("MODULES", TRUE);  // already on: nothing changes
  EXPECT_EQ(plugins(), "modules|processes|hardware");
  s->SetPluginEnabled("processes", FALSE);
  EXPECT_EQ(plugins(), "modules|hardware");
  s->SetPluginEnabled("cpu", TRUE);
  EXPECT_EQ(plugins(), "modules|hardware|cpu");

  auto single = Make({Key("Plugins", PropertyKind::kText, 0, "modules")});
  single->SetPluginEnabled("Modules", FALSE);
  EXPECT_FALSE(single->GetPluginEnabled("modules"));
  EXPECT_EQ(static_cast<KeyListSettings*>(single.get())->ReadText("Plugins"), "");
  single->SetPluginEnabled("modules", TRUE);
  EXPECT_EQ(static_cast<KeyListSettings*>(single.get())->ReadText("Plugins"), "modules");

  // Every copy goes, also adjacent ones.
  auto doubled = Make({Key("Plugins", PropertyKind::kText, 0, "a|a|b|A")});
  doubled->SetPluginEnabled("a", FALSE);
  EXPECT_EQ(static_cast<KeyListSettings*>(doubled.get())->ReadText("Plugins"), "b");
}

TEST(KeyListSettings, QueryInterfaceAndReferences) {
  IMEModuleSettings* s = KeyListSettings::Create(FakeModule(), {}, true);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetModule(), FakeModule());
  void* out = nullptr;
  ASSERT_EQ(s->QueryInterface(IID_IMESettings, &out), S_OK);
  EXPECT_EQ(out, static_cast<IMESettings*>(s));
  ASSERT_EQ(s->QueryInterface(support::kIidUnknown, &out), S_OK);
  EXPECT_EQ(s->QueryInterface(IID_IMEPropAccess, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(s->QueryInterface(IID_IMEModuleSettings, nullptr), E_POINTER);
  EXPECT_EQ(s->Release(), 2u);
  EXPECT_EQ(s->Release(), 1u);
  EXPECT_EQ(s->Release(), 0u);
}

// Calls through the virtual table by slot number, as a module built by another compiler would.
template <class Result, class... Args>
Result CallSlot(IUnknown* object, int slot, Args... args) {
  using Fn = Result(STDMETHODCALLTYPE*)(IUnknown*, Args...);
  void** table = *reinterpret_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot])(object, args...);
}

TEST(KeyListSettings, SlotNumbersFollowTheInterfaceOrder) {
  auto s = Make(ResourceSettings());
  IUnknown* object = s.get();
  EXPECT_EQ(CallSlot<HMODULE>(object, 3), FakeModule());  // the module
  EXPECT_EQ(CallSlot<BOOL>(object, 4), FALSE);            // AutoSave
  EXPECT_EQ(CallSlot<BOOL>(object, 5, TRUE), TRUE);       // AutoSave writer
  EXPECT_TRUE(s->GetAutoSave());
  EXPECT_EQ(CallSlot<BOOL>(object, 136, "hardware"), TRUE);           // plug-in test
  EXPECT_EQ(CallSlot<void*>(object, 139, "SendAssistant"), nullptr);  // assistant lookup
  EXPECT_EQ(CallSlot<BOOL>(object, 193, "failed"), TRUE);             // SendFailMsg writer
  EXPECT_EQ(Text(s.get(), &IMESettings::GetSendFailMsg), "failed");
  EXPECT_EQ(CallSlot<BOOL>(object, 194), TRUE);               // valid
  EXPECT_EQ(CallSlot<BOOL>(object, 195), TRUE);               // Enabled
  EXPECT_EQ(CallSlot<ULONG>(object, 200), 60000u);            // FreezeTimeout
  EXPECT_EQ(CallSlot<ULONG>(object, 201, nullptr, 0u), 12u);  // F1Classes
  CallSlot<void>(object, 241);                                // RereadResource
  EXPECT_FALSE(s->GetAutoSave());
}

}  // namespace
