// Which module's settings apply to a module or a code address.
#include "reporter/settings/module_settings.h"
#include "reporter/settings/store_platform.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

// The development environment's extension module, which carries settings for the programs
// it debugs.
constexpr const char* kIdeModule = "velExceptIde_.bpl";

bool Usable(IMEModuleSettings* s) { return s != nullptr && s->GetValid() && !s->GetNoSettings(); }

IMEModuleSettings* NewSettings(HMODULE module) { return ModuleSettings::Create(module, true); }

void Replace(IMEModuleSettings*& result, IMEModuleSettings* other) {
  if (result != nullptr) result->Release();
  result = other;
}

}  // namespace

IMEModuleSettings* FindProcessSettings() {
  return support::DropErrors([]() -> IMEModuleSettings* {
    // The candidates of the reporter's own module and of the development environment.
    for (HMODULE module : {platform::OwnModule(), platform::LoadedModule(kIdeModule)}) {
      if (module == nullptr || platform::SettingsResource(module).empty()) continue;
      IMEModuleSettings* candidate = NewSettings(module);
      if (Usable(candidate)) return candidate;
      if (candidate != nullptr) candidate->Release();
    }
    // Every module of the address space: the first with settings, or the first of them that
    // does not say NoSettings.
    IMEModuleSettings* result = nullptr;
    for (HMODULE module : platform::AllocationBases()) {
      if (platform::SettingsResource(module).empty()) continue;
      if (result != nullptr && Usable(result)) break;
      IMEModuleSettings* candidate = NewSettings(module);
      if (candidate == nullptr) continue;
      if (result == nullptr || Usable(candidate)) {
        Replace(result, candidate);
      } else {
        candidate->Release();
      }
    }
    return result;
  });
}

MainSettingsScope::MainSettingsScope() {
  if (IMEModuleSettings* own = SettingsForModule(platform::OwnModule())) {
    SetMainSettings(own);
    own->Release();
  }
}

IMEModuleSettings* SettingsForModule(HMODULE module) {
  return support::DropErrors([&]() -> IMEModuleSettings* {
    IMEModuleSettings* own = NewSettings(module);
    if (own == nullptr || !own->GetValid() || !own->GetNoSettings()) return own;
    IMEModuleSettings* process = FindProcessSettings();
    if (Usable(process)) {
      own->Release();
      return process;
    }
    if (process != nullptr) process->Release();
    return own;
  });
}

IMEModuleSettings* SettingsForAddress(const void* address) {
  return support::DropErrors([&]() -> IMEModuleSettings* {
    IMEModuleSettings* result = nullptr;
    const HMODULE module = platform::ModuleOfAddress(address);
    if (module != nullptr && module != platform::OwnModule() &&
        !platform::SettingsResource(module).empty()) {
      result = NewSettings(module);
    }
    if (result == nullptr || (result->GetValid() && result->GetNoSettings())) {
      IMEModuleSettings* process = FindProcessSettings();
      if (result == nullptr) {
        result = process;
      } else if (Usable(process)) {
        Replace(result, process);
      } else if (process != nullptr) {
        process->Release();
      }
    }
    return result != nullptr ? result : NewSettings(platform::OwnModule());
  });
}

// Frames are walked through their saved frame pointers: [frame] is the caller's frame,
// [frame + 1] the return address into the caller.
__attribute__((noinline)) IMEModuleSettings* SettingsForCallerLevel(unsigned level) {
  const void* frame = __builtin_frame_address(0);
  const void* address = nullptr;
  for (unsigned i = 0; i <= level && frame != nullptr; ++i) {
    const void* const* slots = static_cast<const void* const*>(frame);
    if (!platform::ReadPointer(slots + 1, address)) address = nullptr;
    if (i < level && !platform::ReadPointer(slots, frame)) frame = nullptr;
  }
  return SettingsForAddress(address);
}

__attribute__((noinline)) IMEModuleSettings* SettingsForCaller() {
  return SettingsForAddress(__builtin_return_address(0));
}

}  // namespace reporter::settings
