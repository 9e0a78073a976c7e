#include "reporter/settings/module_settings.h"

#include <cstring>
#include <mutex>
#include <new>

#include "reporter/settings/entry_registry.h"
#include "reporter/settings/plugins.h"
#include "reporter/settings/store_platform.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

using support::DropErrors;

std::string_view Text(const char* text) { return text != nullptr ? text : std::string_view(); }

// MainSettings of this copy of the reporter.
std::mutex main_mutex;
IMEModuleSettings* main_settings = nullptr;

// The three placeholders that a plain read leaves for the exception's own values.
const ExceptionPlaceholders kLeaveExceptionPlaceholders{};

}  // namespace

void SetMainSettings(IMEModuleSettings* settings) {
  if (settings != nullptr) settings->AddRef();
  IMEModuleSettings* old = nullptr;
  {
    std::lock_guard lock(main_mutex);
    old = main_settings;
    main_settings = settings;
  }
  if (old != nullptr) old->Release();
}

IMEModuleSettings* MainSettings() {
  std::lock_guard lock(main_mutex);
  if (main_settings != nullptr) main_settings->AddRef();
  return main_settings;
}

// ---- Creation and destruction ------------------------------------------------------------

ModuleSettings* ModuleSettings::Create(HMODULE module, bool load) {
  return DropErrors([&]() -> ModuleSettings* { return new ModuleSettings(module, load); });
}

ModuleSettings::ModuleSettings(HMODULE module, bool load) : module_(module) {
  if (load) {
    entry_ = ReferenceModuleEntry(module);
    valid_ = entry_ != nullptr;
  }
  if (const std::uint32_t offset = ReadUIntKey("VersionVar"); offset != 0) {
    version_text_ = platform::VersionVarText(module, offset);
  }
}

ModuleSettings::~ModuleSettings() {
  if (added_attachments_ != nullptr) {
    IMEAttachmentsOwner* owner = nullptr;
    if (added_attachments_->QueryInterface(IID_IMEAttachmentsOwner,
                                           reinterpret_cast<void**>(&owner)) == S_OK) {
      owner->DetachSettings();
      owner->Release();
    }
    added_attachments_->Release();
  }
  if (added_fields_ != nullptr) {
    IMEFieldsEx* ex = nullptr;
    if (added_fields_->QueryInterface(IID_IMEFieldsEx, reinterpret_cast<void**>(&ex)) == S_OK) {
      ex->DetachSettings();
      ex->Release();
    }
    added_fields_->Release();
  }
  if (remembered_ != nullptr) remembered_->Release();
  DereferenceModuleEntry(entry_);
}

HRESULT STDMETHODCALLTYPE ModuleSettings::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (iid == support::kIidUnknown || iid == IID_IMESettings || iid == IID_IMEModuleSettings) {
    *object = static_cast<IMEModuleSettings*>(this);
  } else if (iid == IID_IMEPropAccess) {
    *object = static_cast<IMEPropAccess*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE ModuleSettings::Release() {
  const ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

// ---- Typed access --------------------------------------------------------------------------

std::optional<PropertyValue> ModuleSettings::FindSetting(std::string_view name,
                                                         bool allow_defaults) {
  if (entry_ != nullptr) {
    if (const StoredProperty* own = FindStoredProperty(*entry_, name)) return ValueOf(*own);
  }
  if (allow_defaults) {
    if (const SettingsProperty* builtin = FindProperty(BuiltInDefaults(), name)) {
      return ValueOf(*builtin);
    }
  }
  return std::nullopt;
}

StoredProperty* ModuleSettings::FindOwnSetting(std::string_view name, PropertyKind kind,
                                               bool create) {
  if (entry_ == nullptr) return nullptr;
  if (StoredProperty* own = FindStoredProperty(*entry_, name)) return own;
  return create ? AppendProperty(*entry_, name, kind) : nullptr;
}

// Reads go to the own entry, then to the built-in defaults, but to those only where no other
// module's MainSettings could answer: in another module a key missing here is read from
// MainSettings. Values are copied while the list lock is held, so that a text written
// meanwhile by another thread is never read after it was freed.
template <class Read, class Fallback>
auto ModuleSettings::ReadKey(std::string_view name, Read&& read, Fallback&& fallback) {
  support::ComPtr<IMEModuleSettings> main(MainSettings());
  const bool main_is_other = main && main->GetModule() != module_;
  using Result = decltype(read(std::declval<PropertyValue>()));
  std::optional<Result> found = WithListLock([&]() -> std::optional<Result> {
    const std::optional<PropertyValue> value = FindSetting(name, !main_is_other);
    if (!value) return std::nullopt;
    return read(*value);
  });
  if (found) return *found;
  if (!main_is_other) return Result();
  IMEPropAccess* access = nullptr;
  if (main->QueryInterface(IID_IMEPropAccess, reinterpret_cast<void**>(&access)) != S_OK) {
    return Result();
  }
  support::ComPtr<IMEPropAccess> holder(access);
  return fallback(*access, std::string(name));
}

bool ModuleSettings::ReadBoolKey(std::string_view name) {
  return ReadKey(
      name, [](const PropertyValue& v) { return v.boolean; },
      [](IMEPropAccess& main, const std::string& key) { return main.ReadBool(key.c_str()) != 0; });
}

std::int32_t ModuleSettings::ReadIntKey(std::string_view name) {
  return ReadKey(
      name, [](const PropertyValue& v) { return v.integer; },
      [](IMEPropAccess& main, const std::string& key) {
        return static_cast<std::int32_t>(main.ReadInt(key.c_str()));
      });
}

std::string ModuleSettings::ReadTextKey(std::string_view name) {
  const std::string text = ReadKey(
      name, [](const PropertyValue& v) { return std::string(v.text); },
      [](IMEPropAccess& main, const std::string& key) {
        return ReadSettingText(
            [&](char* buffer, ULONG size) { return main.ReadText(key.c_str(), buffer, size); });
      });
  return Expand(text, kLeaveExceptionPlaceholders);
}

std::string ModuleSettings::Expand(std::string_view text, const ExceptionPlaceholders& exception) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  const HMODULE exe = platform::ExecutableModule();
  std::string app_version;
  if (exe == module_) {
    app_version = version_text_;
  } else if (ContainsPlaceholder(text, "%appversion%")) {
    // The executable's own settings name its version text.
    if (ModuleSettings* app = Create(exe, true)) {
      app_version = app->version_text_;
      app->Release();
    }
  }
  return ExpandPlaceholders(text, module_, app_version, version_text_, exception);
}

template <class Store>
bool ModuleSettings::Write(std::string_view name, PropertyKind kind, Store&& store) {
  if (!valid_) return false;
  return WithListLock([&] {
    StoredProperty* property = FindOwnSetting(name, kind, true);
    if (property == nullptr || property->kind != static_cast<std::uint8_t>(kind)) return false;
    return store(*property);
  });
}

bool ModuleSettings::WriteBoolKey(std::string_view name, bool value) {
  return Write(name, PropertyKind::kBoolean, [&](StoredProperty& p) {
    p.boolean = value ? 1 : 0;
    return true;
  });
}

bool ModuleSettings::WriteIntKey(std::string_view name, std::int32_t value) {
  return Write(name, PropertyKind::kInteger, [&](StoredProperty& p) {
    p.integer = value;
    return true;
  });
}

bool ModuleSettings::WriteTextKey(std::string_view name, std::string_view value) {
  return Write(name, PropertyKind::kText,
               [&](StoredProperty& p) { return SetStoredText(p, value); });
}

// ---- Interface slots ---------------------------------------------------------------------

BOOL STDMETHODCALLTYPE ModuleSettings::ReadBool(const char* name) {
  return DropErrors([&]() -> BOOL { return ReadBoolKey(Text(name)) ? TRUE : FALSE; });
}

LONG STDMETHODCALLTYPE ModuleSettings::ReadInt(const char* name) {
  return DropErrors([&]() -> LONG { return ReadIntKey(Text(name)); });
}

ULONG STDMETHODCALLTYPE ModuleSettings::ReadUInt(const char* name) {
  return DropErrors([&]() -> ULONG { return ReadUIntKey(Text(name)); });
}

ULONG STDMETHODCALLTYPE ModuleSettings::ReadText(const char* name, char* buffer, ULONG size) {
  return DropErrors([&] { return CopyTextOut(ReadTextKey(Text(name)), buffer, size); },
                    CopyTextOut(std::string(), buffer, size));
}

BOOL ModuleSettings::SlotSetBool(const char* name, BOOL value) {
  return DropErrors([&]() -> BOOL { return WriteBoolKey(name, value != FALSE); });
}

BOOL ModuleSettings::SlotSetInt(const char* name, LONG value) {
  return DropErrors([&]() -> BOOL { return WriteIntKey(name, value); });
}

BOOL ModuleSettings::SlotSetUInt(const char* name, ULONG value) {
  return DropErrors([&]() -> BOOL { return WriteUIntKey(name, value); });
}

BOOL ModuleSettings::SlotSetText(const char* name, const char* value) {
  return DropErrors([&]() -> BOOL { return WriteTextKey(name, Text(value)); });
}

// The lists are built from the stored text, not the expanded one, so that writing them back
// keeps the placeholders.
IMEFields* STDMETHODCALLTYPE ModuleSettings::GetAddFields() {
  return DropErrors([&]() -> IMEFields* {
    std::lock_guard lock(lists_mutex_);
    if (added_fields_ == nullptr) {
      const std::string text = WithListLock([&] {
        const auto value = FindSetting("AddFields", true);
        return value ? std::string(value->text) : std::string();
      });
      added_fields_ = FieldsFromText(text, this);
    }
    if (added_fields_ != nullptr) added_fields_->AddRef();
    return added_fields_;
  });
}

IMEAttachments* STDMETHODCALLTYPE ModuleSettings::GetAddAttachs() {
  return DropErrors([&]() -> IMEAttachments* {
    std::lock_guard lock(lists_mutex_);
    if (added_attachments_ == nullptr) {
      const std::string text = WithListLock([&] {
        const auto value = FindSetting("AddAttachs", true);
        return value ? std::string(value->text) : std::string();
      });
      added_attachments_ = AttachmentsFromText(text, this);
    }
    if (added_attachments_ != nullptr) added_attachments_->AddRef();
    return added_attachments_;
  });
}

std::optional<AssistantDefinition> ModuleSettings::FindAssistantDefinition(std::string_view name) {
  return DropErrors([&] {
    const bool with_screenshot = ReadIntKey("ScrShotDepth") != 0;
    return FindAssistant(name, with_screenshot,
                         [&](const std::string& key) { return ReadTextKey(key); });
  });
}

void ModuleSettings::RememberValues(AssistantForms& forms) {
  DropErrors([&] {
    std::lock_guard lock(lists_mutex_);
    if (remembered_ == nullptr) {
      remembered_ = NewFieldsList();
      if (remembered_ == nullptr) return 0;
      IMEFieldsEx* ex = nullptr;
      if (remembered_->QueryInterface(IID_IMEFieldsEx, reinterpret_cast<void**>(&ex)) == S_OK) {
        ex->AcceptData();
        ex->Release();
      }
    }
    settings::RememberFormValues(forms, *remembered_);
    return 0;
  });
}

void ModuleSettings::RestoreValues(AssistantForms& forms) {
  DropErrors([&] {
    std::lock_guard lock(lists_mutex_);
    if (remembered_ != nullptr) settings::RestoreFormValues(forms, *remembered_);
    return 0;
  });
}

BOOL STDMETHODCALLTYPE ModuleSettings::GetPluginEnabled(const char* name) {
  return DropErrors(
      [&]() -> BOOL { return PluginListed(ReadTextKey("Plugins"), Text(name)) ? TRUE : FALSE; });
}

void STDMETHODCALLTYPE ModuleSettings::SetPluginEnabled(const char* name, BOOL on) {
  DropErrors([&] {
    if (auto plugins = SwitchPlugin(ReadTextKey("Plugins"), Text(name), on != FALSE)) {
      WriteTextKey("Plugins", *plugins);
    }
    return 0;
  });
}

ULONG STDMETHODCALLTYPE ModuleSettings::GetVersionText(char* buffer, ULONG size) {
  return CopyTextOut(version_text_, buffer, size);
}

BOOL STDMETHODCALLTYPE ModuleSettings::GetMinDebugInfo() {
  return DropErrors([&]() -> BOOL { return ReadTextKey("MinDebugInfo").empty() ? FALSE : TRUE; });
}

void STDMETHODCALLTYPE ModuleSettings::RereadResource() {
  DropErrors([&] {
    RereadModuleEntry(entry_);
    return 0;
  });
}

}  // namespace reporter::settings
