// The host's stand-in for the system: modules are made up by tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reporter/settings/store_platform.h"

namespace reporter::settings::host {

struct FakeModule {
  HMODULE handle;
  std::string path;                    // file name with folder
  std::vector<std::uint8_t> resource;  // empty: no settings resource
  std::string version;                 // file version, empty when none
};

// Replaces the process's modules; the first is the executable, own is this copy's module.
void SetModules(std::vector<FakeModule> modules, HMODULE own);
// The messages shown since the last call.
std::vector<std::string> TakeMessages();
// How many shared-block references are held.
int SharedBlockReferences();
// Text at a version variable: VersionVarText(module, offset) answers text.
void SetVersionVar(HMODULE module, std::uint32_t offset, std::string text);
// Fixes the clock and the shell folders.
void SetNow(platform::LocalTime now);
void SetShellFolder(int csidl, std::string path);

}  // namespace reporter::settings::host
