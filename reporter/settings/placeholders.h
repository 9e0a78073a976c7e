// Placeholders in setting texts ("%appname%", "%date%", ...), replaced without regard to case.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/com.h"

namespace reporter::settings {

// The values of the three exception placeholders; a missing one leaves its placeholder in place.
struct ExceptionPlaceholders {
  std::optional<std::string> exception_class;
  std::optional<std::string> message;  // "Unknown" when empty
  std::optional<std::string> bug_report;
};

// text holds placeholder, in any letter case.
bool ContainsPlaceholder(std::string_view text, std::string_view placeholder);

// Expands every placeholder in text (the exception's values last, so that their own text is
// left as it is) for the settings of module. app_version and mod_version
// are the version texts of the executable's and the module's settings ("" when unset; then
// the file version is used, "?" without one).
std::string ExpandPlaceholders(std::string_view text, HMODULE module, std::string_view app_version,
                               std::string_view mod_version,
                               const ExceptionPlaceholders& exception = {});

}  // namespace reporter::settings
