#include "reporter/settings/placeholders.h"

#include <utility>

#include "reporter/settings/store_platform.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

constexpr int kUserAppData = 26;
constexpr int kCommonAppData = 35;

std::string_view FileName(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string Version(std::string_view own_text, HMODULE module) {
  if (!own_text.empty()) return std::string(own_text);
  std::string version = platform::FileVersion(module);
  return version.empty() ? "?" : version;
}

std::string Two(int n) { return support::Padded(support::DecText(n), 2, '0'); }

// The folder without trailing separator; the executable's folder when the system has none.
std::string Folder(int csidl) {
  std::string folder = platform::ShellFolder(csidl);
  if (folder.empty()) {
    const std::string exe = platform::ModulePath(platform::ExecutableModule());
    folder = exe.substr(0, exe.size() - FileName(exe).size());
  }
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return folder;
}

void Replace(std::string& text, std::string_view placeholder, const std::string& value) {
  text = support::ReplaceAll(text, placeholder, value, true);
}

// The exception's own texts go in last and in one pass: whatever they hold is never taken for
// a placeholder.
std::string ReplaceExceptionPlaceholders(std::string_view text,
                                         const ExceptionPlaceholders& exception) {
  const std::string message =
      exception.message && exception.message->empty() ? "Unknown" : exception.message.value_or("");
  const std::pair<std::string_view, const std::string*> values[] = {
      {"%exceptClass%", exception.exception_class ? &*exception.exception_class : nullptr},
      {"%exceptMsg%", exception.message ? &message : nullptr},
      {"%bugReport%", exception.bug_report ? &*exception.bug_report : nullptr}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [placeholder, value] : values) {
      if (value != nullptr && support::SameText(text.substr(i, placeholder.size()), placeholder)) {
        out += *value;
        i += placeholder.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

}  // namespace

bool ContainsPlaceholder(std::string_view text, std::string_view placeholder) {
  for (std::size_t i = 0; i + placeholder.size() <= text.size(); ++i) {
    if (support::SameText(text.substr(i, placeholder.size()), placeholder)) return true;
  }
  return false;
}

std::string ExpandPlaceholders(std::string_view text, HMODULE module, std::string_view app_version,
                               std::string_view mod_version,
                               const ExceptionPlaceholders& exception) {
  std::string out(text);
  if (out.find('%') == std::string::npos) return out;
  const HMODULE exe = platform::ExecutableModule();
  Replace(out, "%appname%", std::string(FileName(platform::ModulePath(exe))));
  Replace(out, "%modname%", std::string(FileName(platform::ModulePath(module))));
  if (ContainsPlaceholder(out, "%appversion%"))
    Replace(out, "%appversion%", Version(app_version, exe));
  if (ContainsPlaceholder(out, "%modversion%"))
    Replace(out, "%modversion%", Version(mod_version, module));
  Replace(out, "%LF%", "\r\n");
  const platform::LocalTime now = platform::Now();
  const std::string date = support::Padded(support::DecText(now.year), 4, '0') + "-" +
                           Two(now.month) + "-" + Two(now.day);
  const std::string time = Two(now.hour) + ":" + Two(now.minute) + ":" + Two(now.second) + ", " +
                           support::DecText(now.milliseconds) + "ms";
  Replace(out, "%date%", date);
  Replace(out, "%time%", time);
  Replace(out, "%datetime%", date + ", " + time);
  if (ContainsPlaceholder(out, "%userappdata%"))
    Replace(out, "%userappdata%", Folder(kUserAppData));
  if (ContainsPlaceholder(out, "%commonappdata%"))
    Replace(out, "%commonappdata%", Folder(kCommonAppData));
  return ReplaceExceptionPlaceholders(out, exception);
}

}  // namespace reporter::settings
