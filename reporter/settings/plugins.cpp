#include "reporter/settings/plugins.h"

#include "support/text_rules.h"

namespace reporter::settings {

bool PluginListed(std::string_view plugins, std::string_view name) {
  return !name.empty() && support::ContainsItem(plugins, name, '|', true);
}

std::optional<std::string> SwitchPlugin(std::string_view plugins, std::string_view name, bool on) {
  if (name.empty() || PluginListed(plugins, name) == on) return std::nullopt;
  if (on)
    return plugins.empty() ? std::string(name) : std::string(plugins) + "|" + std::string(name);
  // Every occurrence goes, also where two of them share a delimiter.
  const std::string wrapped = support::ReplaceAll("|" + std::string(plugins) + "|",
                                                  "|" + std::string(name) + "|", "|", true, true);
  return wrapped.size() >= 2 ? wrapped.substr(1, wrapped.size() - 2) : std::string();
}

}  // namespace reporter::settings
