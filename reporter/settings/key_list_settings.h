// Settings objects on a plain in-memory key list: typed access by key name with the built-in
// defaults as the fallback, and the settings interfaces on top. The settings store gives the
// same interfaces on the parsed resources of the modules; until then this serves the program.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "reporter/settings/interfaces.h"
#include "reporter/settings/property.h"

namespace reporter::settings {

class KeyListSettings final : public IMEModuleSettings {
 public:
  // A settings object with one reference held by the caller. keys are the module's keys (the
  // state RereadResource goes back to); valid says whether the module has settings at all:
  // without them every write fails.
  static IMEModuleSettings* Create(HMODULE module, SettingsList keys, bool valid);

  // Typed access by key name (exact comparison). A key missing from the list is read from
  // the built-in defaults; missing there too it reads false, 0 or empty. A reader takes its
  // own field whatever the key's kind. A write creates a missing key with the written kind
  // and succeeds only when the key has that kind (unsigned values are of the integer kind).
  bool ReadBool(std::string_view name) const;
  std::int32_t ReadInt(std::string_view name) const;
  std::uint32_t ReadUInt(std::string_view name) const;
  std::string ReadText(std::string_view name) const;
  bool WriteBool(std::string_view name, bool value);
  bool WriteInt(std::string_view name, std::int32_t value);
  bool WriteUInt(std::string_view name, std::uint32_t value);
  bool WriteText(std::string_view name, std::string_view value);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IMESettings
  HMODULE STDMETHODCALLTYPE GetModule() override { return module_; }
  IMEFields* STDMETHODCALLTYPE GetAddFields() override { return nullptr; }
  IMEAttachments* STDMETHODCALLTYPE GetAddAttachs() override { return nullptr; }
  BOOL STDMETHODCALLTYPE GetPluginEnabled(const char* name) override;
  void STDMETHODCALLTYPE SetPluginEnabled(const char* name, BOOL on) override;
  ULONG STDMETHODCALLTYPE GetVersionText(char* buffer, ULONG size) override;
  INVAssistant* STDMETHODCALLTYPE GetAssistant(const char*) override { return nullptr; }

  // IMEModuleSettings
  BOOL STDMETHODCALLTYPE GetValid() override { return valid_; }
  BOOL STDMETHODCALLTYPE GetMinDebugInfo() override;
  void STDMETHODCALLTYPE RereadResource() override;

  IME_IMPLEMENT_MODULE_SETTINGS_SLOTS

 private:
  KeyListSettings(HMODULE module, SettingsList keys, bool valid);
  ~KeyListSettings() = default;

  // The key in the own list; when absent and create is set, a new empty key of that kind
  // appended; when still absent and defaults are allowed, the key of the built-in table.
  // The caller holds mutex_.
  const SettingsProperty* FindSetting(std::string_view name, bool allow_defaults) const;
  SettingsProperty* FindOwnSetting(std::string_view name, PropertyKind kind, bool create);
  template <class Store>
  bool Write(std::string_view name, PropertyKind kind, Store&& store);

  // The slots: every one catches its own errors.
  BOOL SlotBool(const char* name) const;
  LONG SlotInt(const char* name) const;
  ULONG SlotUInt(const char* name) const;
  ULONG SlotText(const char* name, char* buffer, ULONG size) const;
  BOOL SlotSetBool(const char* name, BOOL value);
  BOOL SlotSetInt(const char* name, LONG value);
  BOOL SlotSetUInt(const char* name, ULONG value);
  BOOL SlotSetText(const char* name, const char* value);

  std::atomic<ULONG> references_{1};
  const HMODULE module_;
  const bool valid_;
  const SettingsList resource_;
  SettingsList keys_;
  mutable std::mutex mutex_;  // guards keys_: readers get copies
};

}  // namespace reporter::settings
