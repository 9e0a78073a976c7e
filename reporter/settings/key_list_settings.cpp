#include "reporter/settings/key_list_settings.h"

#include <cstring>
#include <new>

#include "reporter/settings/plugins.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

using support::DropErrors;

}  // namespace

IMEModuleSettings* KeyListSettings::Create(HMODULE module, SettingsList keys, bool valid) {
  return new (std::nothrow) KeyListSettings(module, std::move(keys), valid);
}

KeyListSettings::KeyListSettings(HMODULE module, SettingsList keys, bool valid)
    : module_(module), valid_(valid), resource_(keys), keys_(std::move(keys)) {}

const SettingsProperty* KeyListSettings::FindSetting(std::string_view name,
                                                     bool allow_defaults) const {
  if (const SettingsProperty* own = FindProperty(keys_, name)) return own;
  return allow_defaults ? FindProperty(BuiltInDefaults(), name) : nullptr;
}

SettingsProperty* KeyListSettings::FindOwnSetting(std::string_view name, PropertyKind kind,
                                                  bool create) {
  if (SettingsProperty* own = FindProperty(keys_, name)) return own;
  if (!create) return nullptr;
  SettingsProperty& added = keys_.emplace_back();
  added.name = std::string(name);
  added.kind = kind;
  return &added;
}

bool KeyListSettings::ReadBool(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const SettingsProperty* property = FindSetting(name, true);
  return property != nullptr && property->boolean;
}

std::int32_t KeyListSettings::ReadInt(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const SettingsProperty* property = FindSetting(name, true);
  return property != nullptr ? property->integer : 0;
}

std::uint32_t KeyListSettings::ReadUInt(std::string_view name) const {
  return static_cast<std::uint32_t>(ReadInt(name));
}

std::string KeyListSettings::ReadText(std::string_view name) const {
  std::lock_guard lock(mutex_);
  const SettingsProperty* property = FindSetting(name, true);
  return property != nullptr ? property->text : std::string();
}

template <class Store>
bool KeyListSettings::Write(std::string_view name, PropertyKind kind, Store&& store) {
  if (!valid_) return false;
  std::lock_guard lock(mutex_);
  SettingsProperty* property = FindOwnSetting(name, kind, true);
  if (property->kind != kind) return false;
  store(*property);
  return true;
}

bool KeyListSettings::WriteBool(std::string_view name, bool value) {
  return Write(name, PropertyKind::kBoolean, [&](SettingsProperty& p) { p.boolean = value; });
}

bool KeyListSettings::WriteInt(std::string_view name, std::int32_t value) {
  return Write(name, PropertyKind::kInteger, [&](SettingsProperty& p) { p.integer = value; });
}

bool KeyListSettings::WriteUInt(std::string_view name, std::uint32_t value) {
  return WriteInt(name, static_cast<std::int32_t>(value));
}

bool KeyListSettings::WriteText(std::string_view name, std::string_view value) {
  // The copy is made before the key is touched, so a failing copy leaves the old text.
  std::string copy(value);
  return Write(name, PropertyKind::kText, [&](SettingsProperty& p) { p.text.swap(copy); });
}

HRESULT STDMETHODCALLTYPE KeyListSettings::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == support::kIidUnknown || iid == IID_IMESettings || iid == IID_IMEModuleSettings) {
    *object = static_cast<IMEModuleSettings*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE KeyListSettings::AddRef() { return ++references_; }

ULONG STDMETHODCALLTYPE KeyListSettings::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

BOOL STDMETHODCALLTYPE KeyListSettings::GetPluginEnabled(const char* name) {
  return DropErrors(
      [&] { return name != nullptr && PluginListed(ReadText("Plugins"), name) ? TRUE : FALSE; });
}

void STDMETHODCALLTYPE KeyListSettings::SetPluginEnabled(const char* name, BOOL on) {
  DropErrors([&] {
    if (name == nullptr) return 0;
    if (auto plugins = SwitchPlugin(ReadText("Plugins"), name, on != FALSE)) {
      WriteText("Plugins", *plugins);
    }
    return 0;
  });
}

ULONG STDMETHODCALLTYPE KeyListSettings::GetVersionText(char* buffer, ULONG size) {
  // A module's version text comes with the settings store; a key list has none.
  return CopyTextOut(std::string(), buffer, size);
}

BOOL STDMETHODCALLTYPE KeyListSettings::GetMinDebugInfo() {
  return DropErrors([&] { return !ReadText("MinDebugInfo").empty(); });
}

void STDMETHODCALLTYPE KeyListSettings::RereadResource() {
  DropErrors([&] {
    SettingsList fresh = resource_;
    std::lock_guard lock(mutex_);
    keys_.swap(fresh);
    return 0;
  });
}

BOOL KeyListSettings::SlotBool(const char* name) const {
  return DropErrors([&] { return ReadBool(name); });
}

LONG KeyListSettings::SlotInt(const char* name) const {
  return DropErrors([&] { return static_cast<LONG>(ReadInt(name)); });
}

ULONG KeyListSettings::SlotUInt(const char* name) const {
  return DropErrors([&] { return static_cast<ULONG>(ReadUInt(name)); });
}

ULONG KeyListSettings::SlotText(const char* name, char* buffer, ULONG size) const {
  return DropErrors([&] { return CopyTextOut(ReadText(name), buffer, size); },
                    CopyTextOut(std::string(), buffer, size));
}

BOOL KeyListSettings::SlotSetBool(const char* name, BOOL value) {
  return DropErrors([&] { return WriteBool(name, value != FALSE); });
}

BOOL KeyListSettings::SlotSetInt(const char* name, LONG value) {
  return DropErrors([&] { return WriteInt(name, value); });
}

BOOL KeyListSettings::SlotSetUInt(const char* name, ULONG value) {
  return DropErrors([&] { return WriteUInt(name, value); });
}

BOOL KeyListSettings::SlotSetText(const char* name, const char* value) {
  return DropErrors([&] { return WriteText(name, value != nullptr ? value : ""); });
}

}  // namespace reporter::settings
