#include "tools/settings_compiler/settings_text.h"

#include <array>
#include <charconv>
#include <cstdint>

#include "reporter/settings/settings_stream.h"
#include "support/cipher.h"
#include "support/text_rules.h"

namespace settings_compiler {

namespace {

using reporter::settings::FindProperty;
using reporter::settings::PropertyKind;
using reporter::settings::SettingsList;
using reporter::settings::SettingsProperty;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

bool ParseQuoted(std::string_view value, std::string& text) {
  if (value.size() < 2 || value.front() != '\'' || value.back() != '\'') return false;
  value = value.substr(1, value.size() - 2);
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\'') {
      if (i + 1 >= value.size() || value[i + 1] != '\'') return false;
      ++i;
    }
    text.push_back(value[i]);
  }
  return true;
}

bool ParseValue(std::string_view value, SettingsProperty& key) {
  if (value == "True" || value == "False") {
    key.kind = PropertyKind::kBoolean;
    key.boolean = value == "True";
    return true;
  }
  if (!value.empty() && value.front() == '\'') {
    key.kind = PropertyKind::kText;
    return ParseQuoted(value, key.text);
  }
  key.kind = PropertyKind::kInteger;
  std::int64_t number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  // Unsigned keys may be written up to 4294967295; they are stored as their 32-bit pattern.
  if (ec != std::errc() || end != value.data() + value.size() || number < INT32_MIN ||
      number > UINT32_MAX) {
    return false;
  }
  key.integer = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
  return true;
}

}  // namespace

std::optional<SettingsList> ParseSettingsText(std::string_view text, std::string& error) {
  SettingsList keys;
  enum { kBefore, kInside, kAfter } state = kBefore;
  std::size_t line_number = 0;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    const std::string_view line = Trim(text.substr(0, eol));
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++line_number;
    auto fail = [&](std::string_view why) {
      error = "line " + std::to_string(line_number) + ": " + std::string(why);
      return std::nullopt;
    };
    if (line.empty() || line.front() == '#') continue;
    if (state == kBefore) {
      if (line != "object velExcept: TVelExcept") return fail("expected the velExcept object");
      state = kInside;
    } else if (state == kAfter) {
      return fail("text after end");
    } else if (line == "end") {
      state = kAfter;
    } else {
      const std::size_t equals = line.find('=');
      if (equals == std::string_view::npos) return fail("expected Key = value");
      SettingsProperty key;
      key.name = std::string(Trim(line.substr(0, equals)));
      if (key.name.empty() || key.name.size() > 255) return fail("bad key name");
      if (FindProperty(keys, key.name) != nullptr) return fail("key given twice");
      if (!ParseValue(Trim(line.substr(equals + 1)), key)) return fail("bad value");
      keys.push_back(std::move(key));
    }
  }
  if (state != kAfter) {
    error = "missing end";
    return std::nullopt;
  }
  return keys;
}

std::string CompileSettings(SettingsList keys) {
  auto text_of = [&](std::string_view name) {
    const SettingsProperty* key = FindProperty(keys, name);
    return key != nullptr && key->kind == PropertyKind::kText ? key->text : std::string();
  };
  for (const auto& [password, server, account] :
       {std::array<std::string_view, 3>{"SmtpPassword", "SmtpServer", "SmtpAccount"},
        std::array<std::string_view, 3>{"HttpPassword", "HttpServer", "HttpAccount"}}) {
    SettingsProperty* key = FindProperty(keys, password);
    if (key == nullptr || key->kind != PropertyKind::kText || key->text.empty()) continue;
    key->text = support::EncodeStoredPassword(key->text, text_of(server), text_of(account));
  }
  return reporter::settings::WriteSettingsStream(keys);
}

}  // namespace settings_compiler
