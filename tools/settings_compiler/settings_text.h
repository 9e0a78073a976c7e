// The readable form of a settings resource: "object velExcept: TVelExcept", one "Key = value"
// line per key (True, False, a decimal integer, or a text in single quotes with a quote
// inside written twice), then "end". Lines starting with "#" are comments.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "reporter/settings/property.h"

namespace settings_compiler {

// The keys in file order; on failure nothing, and error says which line and why.
std::optional<reporter::settings::SettingsList> ParseSettingsText(std::string_view text,
                                                                  std::string& error);

// The resource bytes of the keys: the object stream, with SmtpPassword and HttpPassword
// enciphered under their server and account keys as the reporter expects them.
std::string CompileSettings(reporter::settings::SettingsList keys);

}  // namespace settings_compiler
