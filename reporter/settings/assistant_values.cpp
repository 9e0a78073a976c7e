#include "reporter/settings/assistant_values.h"

#include "support/text_rules.h"

namespace reporter::settings {

namespace {

constexpr std::string_view kScreenshotForm = "ScrShotForm";

// The list without "ScrShotForm" items, and without empty items at either end or doubled
// separators left behind.
std::string WithoutScreenshot(std::string_view list) {
  std::string wrapped = support::ReplaceAll(
      "|" + std::string(list) + "|", "|" + std::string(kScreenshotForm) + "|", "|", true, true);
  std::string tidy;
  for (std::size_t i = 0; i < wrapped.size(); ++i) {
    if (wrapped[i] == '|' && (tidy.empty() || tidy.back() == '|')) continue;
    tidy.push_back(wrapped[i]);
  }
  if (!tidy.empty() && tidy.back() == '|') tidy.pop_back();
  return tidy;
}

}  // namespace

std::optional<AssistantDefinition> ParseAssistant(std::string_view key_text, std::string_view name,
                                                  bool with_screenshot) {
  if (!support::SameText(support::NthItem(key_text, 1, '|'), name)) return std::nullopt;
  const std::string list = with_screenshot ? std::string(key_text) : WithoutScreenshot(key_text);
  AssistantDefinition definition;
  definition.title = support::NthItem(list, 2, '|');
  const std::size_t count = support::ItemCount(list, '|');
  for (std::size_t i = 3; i <= count; ++i)
    definition.forms.push_back(support::NthItem(list, i, '|'));
  return definition;
}

void RememberFormValues(AssistantForms& forms, IMEFields& values) {
  for (int form = 0; form < forms.FormCount(); ++form) {
    if (!forms.FormAccepted(form)) continue;
    for (int item = 0; item < forms.ItemCount(form); ++item) {
      const std::string name = forms.ItemName(form, item);
      switch (forms.ItemKind(form, item)) {
        case AssistantForms::Kind::kEdit:
          values.SetContent(name.c_str(), forms.Text(form, item).c_str());
          break;
        case AssistantForms::Kind::kCheckBox:
          values.SetContent(name.c_str(), forms.Checked(form, item) ? "+" : "-");
          break;
        case AssistantForms::Kind::kOther:
          break;
      }
    }
  }
}

void RestoreFormValues(AssistantForms& forms, IMEFields& values) {
  if (values.GetItemCount() == 0) return;
  for (int form = 0; form < forms.FormCount(); ++form) {
    int restored = 0;
    bool all_found = true;
    for (int item = 0; item < forms.ItemCount(form); ++item) {
      const AssistantForms::Kind kind = forms.ItemKind(form, item);
      if (kind == AssistantForms::Kind::kOther) continue;
      const std::optional<std::string> value = ReadFieldContent(values, forms.ItemName(form, item));
      if (!value) {
        all_found = false;
        continue;
      }
      if (kind == AssistantForms::Kind::kEdit) {
        forms.SetText(form, item, *value);
      } else {
        forms.SetChecked(form, item, *value == "+");
      }
      ++restored;
    }
    if (restored > 0 && all_found && forms.ContinueEnabled(form)) forms.FocusContinue(form);
  }
}

}  // namespace reporter::settings
