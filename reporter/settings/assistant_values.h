// The settings' side of the assistants: which forms an assistant named in the settings has,
// and the values the user typed into its forms, remembered and put back.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reporter/settings/lists.h"

namespace reporter::settings {

// An AssistantN key: "name|title|form|form...".
struct AssistantDefinition {
  std::string title;
  std::vector<std::string> forms;
};

// The definition of the assistant called name (any letter case) among the texts of Assistant1,
// Assistant2, ... as read_key gives them (the first empty one ends the list). Without
// screenshots every "ScrShotForm" is left out.
template <class ReadKey>
std::optional<AssistantDefinition> FindAssistant(std::string_view name, bool with_screenshot,
                                                 ReadKey&& read_key);
std::optional<AssistantDefinition> ParseAssistant(std::string_view key_text, std::string_view name,
                                                  bool with_screenshot);

// What remembering and restoring need of an assistant's forms; the assistant gives it.
class AssistantForms {
 public:
  enum class Kind { kOther, kEdit, kCheckBox };
  virtual int FormCount() = 0;
  virtual bool FormAccepted(int form) = 0;  // its modal result is OK
  virtual int ItemCount(int form) = 0;
  virtual Kind ItemKind(int form, int item) = 0;
  virtual std::string ItemName(int form, int item) = 0;
  virtual std::string Text(int form, int item) = 0;
  virtual void SetText(int form, int item, const std::string& text) = 0;
  virtual bool Checked(int form, int item) = 0;
  virtual void SetChecked(int form, int item, bool checked) = 0;
  virtual bool ContinueEnabled(int form) = 0;
  virtual void FocusContinue(int form) = 0;

 protected:
  ~AssistantForms() = default;
};

// Stores the edit texts and check marks ("+" or "-") of every accepted form in values, by item
// name (trimmed; an empty text removes the name).
void RememberFormValues(AssistantForms& forms, IMEFields& values);
// Puts remembered values back; a form all of whose edit fields and check boxes got a value
// (at least one) has its continue button focused when that is enabled.
void RestoreFormValues(AssistantForms& forms, IMEFields& values);

template <class ReadKey>
std::optional<AssistantDefinition> FindAssistant(std::string_view name, bool with_screenshot,
                                                 ReadKey&& read_key) {
  for (int n = 1;; ++n) {
    const std::string text = read_key("Assistant" + std::to_string(n));
    if (text.empty()) return std::nullopt;
    if (auto found = ParseAssistant(text, name, with_screenshot)) return found;
  }
}

}  // namespace reporter::settings
