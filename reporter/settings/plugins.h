// The report plug-ins named in the key Plugins: "|"-separated names, any letter case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace reporter::settings {

// name is one whole item of plugins.
bool PluginListed(std::string_view plugins, std::string_view name);

// The new value of Plugins with name switched on (appended) or off (every occurrence
// removed); nothing when the list already gives the wanted answer or name is empty.
std::optional<std::string> SwitchPlugin(std::string_view plugins, std::string_view name, bool on);

}  // namespace reporter::settings
