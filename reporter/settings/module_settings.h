// Settings objects on the parsed settings resources of the modules: typed access by key name
// with the fallbacks to the built-in defaults and to MainSettings, the lists of added fields
// and attachments, the plug-in switch, and the lookups that decide which module's settings
// apply to a module or a code address.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "reporter/settings/assistant_values.h"
#include "reporter/settings/interfaces.h"
#include "reporter/settings/lists.h"
#include "reporter/settings/module_entry.h"
#include "reporter/settings/placeholders.h"

// {8C612485-CD17-4C66-8C62-D6D94D54EA50} (IID_IMEPropAccess): the store's typed access by key
// name, which settings objects of other copies of the reporter use for the MainSettings
// fallback.
struct IMEPropAccess : IUnknown {
  virtual BOOL STDMETHODCALLTYPE ReadBool(const char* name) = 0;
  virtual LONG STDMETHODCALLTYPE ReadInt(const char* name) = 0;
  virtual ULONG STDMETHODCALLTYPE ReadText(const char* name, char* buffer, ULONG size) = 0;
  virtual ULONG STDMETHODCALLTYPE ReadUInt(const char* name) = 0;
  virtual void STDMETHODCALLTYPE RememberFormValues(INVAssistant* assistant) = 0;
  virtual void STDMETHODCALLTYPE RestoreFormValues(INVAssistant* assistant) = 0;
  virtual void* STDMETHODCALLTYPE Self() = 0;

 protected:
  ~IMEPropAccess() = default;
};

namespace reporter::settings {

class ModuleSettings : public IMEModuleSettings, public IMEPropAccess, public ListSettingsOwner {
 public:
  // A settings object of module with one reference held by the caller; with load set it
  // references the module's shared entry (valid when the module has a settings resource).
  // Null when out of memory.
  static ModuleSettings* Create(HMODULE module, bool load = true);

  // Typed access by key name (exact comparison). See the readers' fallbacks in the .cpp.
  bool ReadBoolKey(std::string_view name);
  std::int32_t ReadIntKey(std::string_view name);
  std::uint32_t ReadUIntKey(std::string_view name) {
    return static_cast<std::uint32_t>(ReadIntKey(name));
  }
  // The text with placeholders expanded, except the three of an exception.
  std::string ReadTextKey(std::string_view name);
  bool WriteBoolKey(std::string_view name, bool value);
  bool WriteIntKey(std::string_view name, std::int32_t value);
  bool WriteUIntKey(std::string_view name, std::uint32_t value) {
    return WriteIntKey(name, static_cast<std::int32_t>(value));
  }
  bool WriteTextKey(std::string_view name, std::string_view value);

  // The placeholders of a text of these settings, with an exception's own values.
  std::string Expand(std::string_view text, const ExceptionPlaceholders& exception = {});
  const std::string& VersionText() const { return version_text_; }

  // The assistant of that name as the AssistantN keys define it; without screenshots
  // (ScrShotDepth 0) it has no screenshot form.
  std::optional<AssistantDefinition> FindAssistantDefinition(std::string_view name);
  // Values typed into assistant forms, kept for the lifetime of these settings.
  void RememberValues(AssistantForms& forms);
  void RestoreValues(AssistantForms& forms);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;

  // IMESettings
  HMODULE STDMETHODCALLTYPE GetModule() override { return module_; }
  IMEFields* STDMETHODCALLTYPE GetAddFields() override;
  IMEAttachments* STDMETHODCALLTYPE GetAddAttachs() override;
  BOOL STDMETHODCALLTYPE GetPluginEnabled(const char* name) override;
  void STDMETHODCALLTYPE SetPluginEnabled(const char* name, BOOL on) override;
  ULONG STDMETHODCALLTYPE GetVersionText(char* buffer, ULONG size) override;
  INVAssistant* STDMETHODCALLTYPE GetAssistant(const char*) override { return nullptr; }

  // IMEModuleSettings
  BOOL STDMETHODCALLTYPE GetValid() override { return valid_; }
  BOOL STDMETHODCALLTYPE GetMinDebugInfo() override;
  void STDMETHODCALLTYPE RereadResource() override;

  // IMEPropAccess
  BOOL STDMETHODCALLTYPE ReadBool(const char* name) override;
  LONG STDMETHODCALLTYPE ReadInt(const char* name) override;
  ULONG STDMETHODCALLTYPE ReadText(const char* name, char* buffer, ULONG size) override;
  ULONG STDMETHODCALLTYPE ReadUInt(const char* name) override;
  // The assistants reach the values through RememberValues and RestoreValues; these slots
  // serve them once assistants exist.
  void STDMETHODCALLTYPE RememberFormValues(INVAssistant*) override {}
  void STDMETHODCALLTYPE RestoreFormValues(INVAssistant*) override {}
  void* STDMETHODCALLTYPE Self() override { return this; }

  // ListSettingsOwner
  bool WriteListText(std::string_view key, std::string_view text) override {
    return WriteTextKey(key, text);
  }

  IME_IMPLEMENT_MODULE_SETTINGS_SLOTS

 protected:
  ModuleSettings(HMODULE module, bool load);
  virtual ~ModuleSettings();

  // The key of the own entry; when absent and create is set, a new empty key of that kind
  // appended; when still absent and allow_defaults is set, the key of the built-in table.
  // The caller holds the list lock (see WithListLock).
  virtual std::optional<PropertyValue> FindSetting(std::string_view name, bool allow_defaults);
  StoredProperty* FindOwnSetting(std::string_view name, PropertyKind kind, bool create);

 private:
  // Looks name up and hands the value to read; without it, the same read on MainSettings
  // (another module's) or nothing.
  template <class Read, class Fallback>
  auto ReadKey(std::string_view name, Read&& read, Fallback&& fallback);
  template <class Store>
  bool Write(std::string_view name, PropertyKind kind, Store&& store);

  BOOL SlotBool(const char* name) { return ReadBool(name); }
  LONG SlotInt(const char* name) { return ReadInt(name); }
  ULONG SlotUInt(const char* name) { return ReadUInt(name); }
  ULONG SlotText(const char* name, char* buffer, ULONG size) {
    return ReadText(name, buffer, size);
  }
  BOOL SlotSetBool(const char* name, BOOL value);
  BOOL SlotSetInt(const char* name, LONG value);
  BOOL SlotSetUInt(const char* name, ULONG value);
  BOOL SlotSetText(const char* name, const char* value);

  std::atomic<ULONG> references_{1};
  bool valid_ = false;
  HMODULE module_;
  ModuleSettingsEntry* entry_ = nullptr;
  std::string version_text_;
  std::mutex lists_mutex_;  // guards creating the three lists below
  IMEAttachments* added_attachments_ = nullptr;
  IMEFields* added_fields_ = nullptr;
  IMEFields* remembered_ = nullptr;
};

// MainSettings: the settings of the module this copy of the reporter is built into. Set at
// start-up (the object takes a reference) and cleared at shutdown.
void SetMainSettings(IMEModuleSettings* settings);
// The current MainSettings with a reference added, or null.
IMEModuleSettings* MainSettings();

// Makes the settings of this copy's own module MainSettings for its lifetime: the program
// reads its settings resource at start-up this way.
class MainSettingsScope {
 public:
  MainSettingsScope();
  ~MainSettingsScope() { SetMainSettings(nullptr); }
  MainSettingsScope(const MainSettingsScope&) = delete;
  MainSettingsScope& operator=(const MainSettingsScope&) = delete;
};

// ---- Which settings apply -------------------------------------------------------------------
// Each gives an object with one reference for the caller, or null when out of memory.

// The module's settings; when it has none, or they say NoSettings, those of the process.
IMEModuleSettings* SettingsForModule(HMODULE module);
// The settings of the module holding address (see the .cpp for the order of the search).
IMEModuleSettings* SettingsForAddress(const void* address);
// The settings of the code that called, or that called level frames further up.
IMEModuleSettings* SettingsForCaller();
IMEModuleSettings* SettingsForCallerLevel(unsigned level);
// The first settings of the process that do not say NoSettings; null when none do and no
// module has settings.
IMEModuleSettings* FindProcessSettings();

}  // namespace reporter::settings
