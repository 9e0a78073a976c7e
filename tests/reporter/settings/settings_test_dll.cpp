// A DLL built with its own copy of the settings store and its own settings resource: the
// test program checks that both copies share one parsed entry per module.
#include <windows.h>

#include "reporter/settings/module_settings.h"

using namespace reporter::settings;

extern "C" __declspec(dllexport) const void* DllCodeAddress() {
  return reinterpret_cast<const void*>(&DllCodeAddress);
}

extern "C" __declspec(dllexport) IMEModuleSettings* DllSettingsForAddress(const void* address) {
  return SettingsForAddress(address);
}

extern "C" __declspec(dllexport) IMEModuleSettings* DllSettingsForModule(HMODULE module) {
  return ModuleSettings::Create(module, true);
}
