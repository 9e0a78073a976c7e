#include "reporter/settings/lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace reporter::settings;

class Owner final : public ListSettingsOwner, public ListRecordOwner {
 public:
  bool WriteListText(std::string_view key, std::string_view text) override {
    writes.push_back(std::string(key) + ":" + std::string(text));
    return true;
  }
  void BeginChanges() override { ++depth; }
  void EndChanges() override { --depth; }
  void Modified() override { ++modified; }

  std::vector<std::string> writes;
  int depth = 0;
  int modified = 0;
};

std::string Items(IMEFields& list) {
  std::string out;
  for (LONG i = 0; i < list.GetItemCount(); ++i) {
    const std::string name = ReadFieldName(list, i);
    out += name + "=" + ReadFieldContent(list, name).value_or("?") + ";";
  }
  return out;
}

struct Fields {
  explicit Fields(Owner& owner) : list(NewFieldsList(&owner, &owner)) {
    list->QueryInterface(IID_IMEFieldsEx, reinterpret_cast<void**>(&ex));
  }
  ~Fields() {
    ex->Release();
    list->Release();
  }
  IMEFields* list;
  IMEFieldsEx* ex = nullptr;
};

TEST(FieldsList, ContentsAreTrimmedEmptyDeletesAndCaseChangesCount) {
  Owner owner;
  Fields f(owner);
  f.list->Add("Name", "value");
  EXPECT_EQ(f.list->GetItemCount(), 0);  // not accepting data yet
  f.ex->AcceptData();
  f.list->Add("Name", "  value\t\r\n");
  f.list->SetContent("Other", "x");
  EXPECT_EQ(Items(*f.list), "Name=value;Other=x;");
  EXPECT_EQ(owner.writes.back(), "AddFields:Name=value|Other=x");
  EXPECT_EQ(owner.modified, 2);

  f.list->SetContent("NAME", "value");  // another spelling of the name is a change
  EXPECT_EQ(owner.modified, 3);
  EXPECT_EQ(ReadFieldName(*f.list, 0), "NAME");
  f.list->SetContent("name", "NAME");  // and so is another spelling of the content
  f.list->SetContent("name", "NAME");  // the same again is none
  EXPECT_EQ(owner.modified, 4);
  EXPECT_EQ(f.list->FindItem("oTHER"), 1);
  EXPECT_EQ(f.list->FindItem("missing"), -1);

  char untouched[8] = "keep";
  ULONG length = 99;
  EXPECT_FALSE(f.list->GetContent("missing", untouched, sizeof untouched, &length));
  EXPECT_STREQ(untouched, "keep");
  EXPECT_EQ(length, 99u);

  f.list->SetContent("name", " ");  // a blank deletes
  EXPECT_EQ(Items(*f.list), "Other=x;");
  f.list->RenameItem(0, "Other");  // same name: nothing
  f.list->RenameItem(5, "Bad");
  EXPECT_EQ(owner.modified, 5);
  f.list->RenameItem(0, "OTHER");
  EXPECT_EQ(owner.modified, 6);
  EXPECT_EQ(ReadFieldName(*f.list, 7), "");
}

TEST(FieldsList, InsertionPositionKeepsTheOrderOfAdditions) {
  Owner owner;
  Fields f(owner);
  f.ex->AcceptData();
  for (const char* name : {"a", "b", "c", "d"}) f.list->Add(name, "1");
  f.ex->SetInsertPosition(3);
  f.list->Add("x", "2");
  f.list->Add("y", "2");
  EXPECT_EQ(Items(*f.list), "a=1;b=1;c=1;x=2;y=2;d=1;");
  // Deleting before the position moves it down: the next new name follows y again.
  f.list->DeleteName("a");
  f.list->Add("z", "3");
  EXPECT_EQ(Items(*f.list), "b=1;c=1;x=2;y=2;z=3;d=1;");

  // Insert moves an existing item; at its own place with the same content nothing happens.
  const int before = owner.modified;
  f.list->Insert(0, "B", "1");
  EXPECT_EQ(owner.modified, before);
  f.list->Insert(4, "c", "moved");  // c stood before index 4: it lands at 3
  EXPECT_EQ(Items(*f.list), "b=1;x=2;y=2;c=moved;z=3;d=1;");
  f.list->Insert(99, "e", "last");
  f.list->Insert(-5, "f", "first");
  f.list->Insert(0, "g", "   ");  // empty content: ignored
  EXPECT_EQ(Items(*f.list), "f=first;b=1;x=2;y=2;c=moved;z=3;d=1;e=last;");
  f.list->DeleteIndex(-1);
  f.list->DeleteIndex(8);
  EXPECT_EQ(f.list->GetItemCount(), 8);
}

TEST(FieldsList, LockBatchesCloneHasNoOwnersAndDetachedListsStaySilent) {
  Owner owner;
  Fields f(owner);
  f.ex->AcceptData();
  f.list->Lock();
  EXPECT_EQ(owner.depth, 1);
  f.list->Add("a", "1");
  f.list->Add("b", "2");
  f.list->Unlock();
  EXPECT_EQ(owner.depth, 0);

  IMEFields* copy = f.list->Clone();
  ASSERT_NE(copy, nullptr);
  const std::size_t writes = owner.writes.size();
  copy->Add("c", "3");  // the clone accepts data and tells nobody
  EXPECT_EQ(Items(*copy), "a=1;b=2;c=3;");
  EXPECT_EQ(owner.writes.size(), writes);
  copy->Release();

  f.ex->DetachSettings();
  f.ex->DetachException();
  const int modified = owner.modified;
  f.list->Add("d", "4");
  EXPECT_EQ(owner.writes.size(), writes);
  EXPECT_EQ(owner.modified, modified);
}

TEST(FieldsList, BuiltFromAddFieldsText) {
  Owner owner;
  IMEFields* list = FieldsFromText("Version=1.2|Empty=|Note=a=b| |Plain", &owner);
  EXPECT_EQ(Items(*list), "Version=1.2;Note=a=b;");
  EXPECT_TRUE(owner.writes.empty());  // building writes nothing back
  list->Add("User", "x");
  EXPECT_EQ(owner.writes.back(), "AddFields:Version=1.2|Note=a=b|User=x");
  list->Release();
}

std::string Row(IMEAttachments& list, LONG index) {
  const auto a = ReadAttachment(list, index);
  return a ? a->original + ">" + a->send_as + ">" + a->zip + ">" + a->field : "none";
}

TEST(AttachmentsList, AddFillsNamesAndWritesBackInStoredOrder) {
  Owner owner;
  IMEAttachments* list = NewAttachmentsList(&owner);
  list->Add("C:\\logs\\app.trace.log", "", "", "");
  list->Add("", "x", "y", "z");  // no original file: ignored
  // Arguments: original, send-as, field, zip; stored: original, send-as, zip, field.
  list->Add("data.db", "copy.db", "dbfield", "pack.zip");
  list->Add("noext", "", "", "");
  EXPECT_EQ(list->GetItemCount(), 3);
  EXPECT_EQ(Row(*list, 0), "C:\\logs\\app.trace.log>app.trace.log>>app.trace");
  EXPECT_EQ(Row(*list, 1), "data.db>copy.db>pack.zip>dbfield");
  EXPECT_EQ(Row(*list, 2), "noext>noext>>noext");
  EXPECT_EQ(owner.writes.back(),
            "AddAttachs:C:\\logs\\app.trace.log>app.trace.log>>app.trace|"
            "data.db>copy.db>pack.zip>dbfield|noext>noext>>noext");
  const char* untouched = "keep";
  EXPECT_FALSE(list->GetItem(3, &untouched, nullptr, nullptr, nullptr));
  EXPECT_STREQ(untouched, "keep");

  IMEAttachments* copy = list->Clone();
  EXPECT_EQ(Row(*copy, 1), "data.db>copy.db>>dbfield");  // the clone drops the zip names
  copy->Release();

  const std::size_t writes = owner.writes.size();
  EXPECT_FALSE(list->Delete("missing"));
  EXPECT_TRUE(list->Delete("DATA.DB"));
  EXPECT_EQ(owner.writes.size(), writes + 1);
  list->Clear();
  list->Clear();  // already empty: no change
  EXPECT_EQ(owner.writes.size(), writes + 2);
  EXPECT_EQ(owner.writes.back(), "AddAttachs:");
  list->Release();
}

TEST(AttachmentsList, BuiltFromAddAttachsTextAndDetached) {
  Owner owner;
  IMEAttachments* list = AttachmentsFromText("a.txt>b.txt>c.zip>d|e.log", &owner);
  EXPECT_EQ(Row(*list, 0), "a.txt>b.txt>c.zip>d");
  EXPECT_EQ(Row(*list, 1), "e.log>>>");
  EXPECT_TRUE(owner.writes.empty());
  IMEAttachmentsOwner* detach = nullptr;
  ASSERT_EQ(list->QueryInterface(IID_IMEAttachmentsOwner, reinterpret_cast<void**>(&detach)), S_OK);
  detach->DetachSettings();
  detach->Release();
  list->Clear();
  EXPECT_TRUE(owner.writes.empty());
  list->Release();
}

}  // namespace
