#include "reporter/settings/assistant_values.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "reporter/settings/lists.h"

namespace {

using namespace reporter::settings;

TEST(AssistantDefinitions, FoundByNameWithOrWithoutTheScreenshotForm) {
  const std::map<std::string, std::string> keys = {
      {"Assistant1", "SendAssistant|Send Assistant|ContactForm|ScrShotForm|DetailsForm"},
      {"Assistant2", "ShotOnly|Shots|ScrShotForm|scrshotform"},
      {"Assistant4", "Unreachable|after a gap|Form"}};
  auto read = [&](const std::string& key) {
    const auto it = keys.find(key);
    return it != keys.end() ? it->second : std::string();
  };
  auto send = FindAssistant("sendassistant", true, read);
  ASSERT_TRUE(send);
  EXPECT_EQ(send->title, "Send Assistant");
  EXPECT_EQ(send->forms, (std::vector<std::string>{"ContactForm", "ScrShotForm", "DetailsForm"}));
  send = FindAssistant("SendAssistant", false, read);
  EXPECT_EQ(send->forms, (std::vector<std::string>{"ContactForm", "DetailsForm"}));
  const auto shots = FindAssistant("ShotOnly", false, read);
  ASSERT_TRUE(shots);
  EXPECT_TRUE(shots->forms.empty());
  EXPECT_FALSE(FindAssistant("Unreachable", true, read));
}

// Two forms: an edit field "Name", a check box "Copy" and a label; a second form with "Mail".
class FakeForms final : public AssistantForms {
 public:
  struct Item {
    Kind kind;
    std::string name, text;
    bool checked = false;
  };
  std::vector<std::vector<Item>> forms = {{{Kind::kEdit, "Name", "  Ada  ", false},
                                           {Kind::kCheckBox, "Copy", "", true},
                                           {Kind::kOther, "L", "", false}},
                                          {{Kind::kEdit, "Mail", "ada@example.com", false}}};
  std::vector<bool> accepted = {true, false};
  std::vector<bool> focused = {false, false};
  bool continue_enabled = true;

  int FormCount() override { return static_cast<int>(forms.size()); }
  bool FormAccepted(int f) override { return accepted[f]; }
  int ItemCount(int f) override { return static_cast<int>(forms[f].size()); }
  Kind ItemKind(int f, int i) override { return forms[f][i].kind; }
  std::string ItemName(int f, int i) override { return forms[f][i].name; }
  std::string Text(int f, int i) override { return forms[f][i].text; }
  void SetText(int f, int i, const std::string& t) override { forms[f][i].text = t; }
  bool Checked(int f, int i) override { return forms[f][i].checked; }
  void SetChecked(int f, int i, bool c) override { forms[f][i].checked = c; }
  bool ContinueEnabled(int) override { return continue_enabled; }
  void FocusContinue(int f) override { focused[f] = true; }
};

TEST(AssistantValues, AcceptedFormsAreRememberedAndRestored) {
  IMEFields* values = NewFieldsList();
  IMEFieldsEx* ex = nullptr;
  values->QueryInterface(IID_IMEFieldsEx, reinterpret_cast<void**>(&ex));
  ex->AcceptData();
  ex->Release();

  FakeForms typed;
  RememberFormValues(typed, *values);
  EXPECT_EQ(ReadFieldContent(*values, "name"), "Ada");  // trimmed, found in any case
  EXPECT_EQ(ReadFieldContent(*values, "Copy"), "+");
  EXPECT_FALSE(ReadFieldContent(*values, "Mail"));  // its form was cancelled

  FakeForms fresh;
  fresh.forms[0][0].text.clear();
  fresh.forms[0][1].checked = false;
  RestoreFormValues(fresh, *values);
  EXPECT_EQ(fresh.forms[0][0].text, "Ada");
  EXPECT_TRUE(fresh.forms[0][1].checked);
  EXPECT_TRUE(fresh.focused[0]);   // everything of the form was restored
  EXPECT_FALSE(fresh.focused[1]);  // nothing restored here

  // An emptied edit field removes its value; the form is then incomplete and keeps its focus.
  typed.forms[0][0].text = " ";
  typed.forms[0][1].checked = false;
  RememberFormValues(typed, *values);
  FakeForms again;
  again.continue_enabled = true;
  RestoreFormValues(again, *values);
  EXPECT_EQ(again.forms[0][0].text, "  Ada  ");
  EXPECT_FALSE(again.forms[0][1].checked);
  EXPECT_FALSE(again.focused[0]);
  values->Release();
}

}  // namespace
