#include "reporter/settings/lists.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "reporter/settings/interfaces.h"
#include "support/text_rules.h"

namespace reporter::settings {

namespace {

using support::DropErrors;

constexpr std::string_view kAddFieldsKey = "AddFields";
constexpr std::string_view kAddAttachsKey = "AddAttachs";

std::string_view Text(const char* text) { return text != nullptr ? text : std::string_view(); }

// Grows like the lists always have: 16 entries at first, then by half again.
template <class T>
void MakeRoom(std::vector<T>& items) {
  if (items.size() < items.capacity()) return;
  items.reserve(items.empty() ? 16 : items.capacity() + items.capacity() / 2);
}

// What both lists share: the reference count and the list lock, held for each whole operation.
template <class Derived>
class ListBase {
 public:
  ULONG AddRefImpl() { return ++references_; }
  ULONG ReleaseImpl() {
    const ULONG left = --references_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  // Runs fn under the lock; its errors are dropped.
  template <class Fn>
  void Guarded(Fn&& fn) {
    try {
      std::lock_guard lock(mutex_);
      fn();
    } catch (...) {
    }
  }

  std::recursive_mutex mutex_;

 private:
  std::atomic<ULONG> references_{1};
};

// ---- Fields --------------------------------------------------------------------------------

class FieldsList final : public IMEFields, public IMEFieldsEx, ListBase<FieldsList> {
 public:
  FieldsList(ListSettingsOwner* settings, ListRecordOwner* record)
      : record_(record), settings_(settings) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == support::kIidUnknown || iid == IID_IMEFields) {
      *object = static_cast<IMEFields*>(this);
    } else if (iid == IID_IMEFieldsEx) {
      *object = static_cast<IMEFieldsEx*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  void STDMETHODCALLTYPE Lock() override {
    mutex_.lock();
    if (record_ != nullptr) record_->BeginChanges();
  }
  void STDMETHODCALLTYPE Unlock() override {
    if (record_ != nullptr) record_->EndChanges();
    mutex_.unlock();
  }
  LONG STDMETHODCALLTYPE GetItemCount() override {
    std::lock_guard lock(mutex_);
    return static_cast<LONG>(items_.size());
  }
  ULONG STDMETHODCALLTYPE GetItemName(LONG index, char* buffer, ULONG size) override {
    return DropErrors([&]() -> ULONG {
      std::lock_guard lock(mutex_);
      return CopyTextOut(Valid(index) ? items_[index].name : std::string(), buffer, size);
    });
  }
  void STDMETHODCALLTYPE RenameItem(LONG index, const char* name) override {
    Guarded([&] {
      if (!Valid(index) || items_[index].name == Text(name)) return;
      items_[index].name = Text(name);
      Changed();
    });
  }
  LONG STDMETHODCALLTYPE FindItem(const char* name) override {
    std::lock_guard lock(mutex_);
    return Find(Text(name));
  }
  BOOL STDMETHODCALLTYPE GetContent(const char* name, char* buffer, ULONG size,
                                    ULONG* length) override {
    return DropErrors([&]() -> BOOL {
      std::lock_guard lock(mutex_);
      const LONG index = Find(Text(name));
      if (index < 0) return FALSE;
      const ULONG n = CopyTextOut(items_[index].content, buffer, size);
      if (length != nullptr) *length = n;
      return TRUE;
    });
  }
  void STDMETHODCALLTYPE SetContent(const char* name, const char* content) override {
    Guarded([&] {
      if (!accepts_data_) return;
      const std::string trimmed = support::Trimmed(Text(content));
      const LONG index = Find(Text(name));
      if (trimmed.empty()) {
        if (index >= 0) DeleteAt(index);
        return;
      }
      if (index >= 0) {
        Item& item = items_[index];
        if (item.name == Text(name) && item.content == trimmed) return;
        item.name = Text(name);
        item.content = trimmed;
        Changed();
        return;
      }
      const LONG count = static_cast<LONG>(items_.size());
      InsertAt(insert_position_ > 0 ? std::min(insert_position_, count) : count,
               std::string(Text(name)), trimmed);
    });
  }
  void STDMETHODCALLTYPE Add(const char* name, const char* content) override {
    SetContent(name, content);
  }
  void STDMETHODCALLTYPE Insert(LONG index, const char* name, const char* content) override {
    Guarded([&] {
      if (!accepts_data_) return;
      std::string trimmed = support::Trimmed(Text(content));
      if (trimmed.empty()) return;
      index = std::clamp<LONG>(index, 0, static_cast<LONG>(items_.size()));
      const LONG existing = Find(Text(name));
      if (existing >= 0) {
        if (existing == index && items_[existing].content == trimmed) return;
        RemoveAt(existing);
        if (existing < index) --index;
      }
      InsertAt(index, std::string(Text(name)), std::move(trimmed));
    });
  }
  void STDMETHODCALLTYPE DeleteIndex(LONG index) override {
    Guarded([&] {
      if (Valid(index)) DeleteAt(index);
    });
  }
  void STDMETHODCALLTYPE DeleteName(const char* name) override {
    Guarded([&] {
      const LONG index = Find(Text(name));
      if (index >= 0) DeleteAt(index);
    });
  }
  IMEFields* STDMETHODCALLTYPE Clone() override {
    return DropErrors([&]() -> IMEFields* {
      std::lock_guard lock(mutex_);
      auto* copy = new FieldsList(nullptr, nullptr);
      copy->accepts_data_ = true;
      try {
        copy->items_ = items_;
      } catch (...) {
        copy->Release();
        throw;
      }
      return copy;
    });
  }

  void STDMETHODCALLTYPE DetachException() override {
    std::lock_guard lock(mutex_);
    record_ = nullptr;
  }
  void STDMETHODCALLTYPE DetachSettings() override {
    std::lock_guard lock(mutex_);
    settings_ = nullptr;
  }
  void STDMETHODCALLTYPE SetInsertPosition(LONG index) override {
    std::lock_guard lock(mutex_);
    insert_position_ = index;
  }
  void STDMETHODCALLTYPE AcceptData() override {
    std::lock_guard lock(mutex_);
    accepts_data_ = true;
  }

  void AttachSettings(ListSettingsOwner* settings) {
    std::lock_guard lock(mutex_);
    settings_ = settings;
  }

 private:
  friend class ListBase<FieldsList>;
  struct Item {
    std::string name, content;
  };
  ~FieldsList() = default;

  bool Valid(LONG index) const { return index >= 0 && index < static_cast<LONG>(items_.size()); }
  LONG Find(std::string_view name) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (support::SameText(items_[i].name, name)) return static_cast<LONG>(i);
    }
    return -1;
  }
  void RemoveAt(LONG index) {
    items_.erase(items_.begin() + index);
    if (insert_position_ > 0 && insert_position_ > index) --insert_position_;
  }
  void DeleteAt(LONG index) {
    RemoveAt(index);
    Changed();
  }
  void InsertAt(LONG index, std::string name, std::string content) {
    MakeRoom(items_);
    items_.insert(items_.begin() + index, Item{std::move(name), std::move(content)});
    if (insert_position_ > 0 && insert_position_ >= index) ++insert_position_;
    Changed();
  }
  // The change step: the settings owner gets the list back into AddFields, then the record
  // owner hears of the change.
  void Changed() {
    if (settings_ != nullptr) {
      std::string text;
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i != 0) text += '|';
        text += items_[i].name + "=" + items_[i].content;
      }
      settings_->WriteListText(kAddFieldsKey, text);
    }
    if (record_ != nullptr) record_->Modified();
  }

  ListRecordOwner* record_;
  ListSettingsOwner* settings_;
  std::vector<Item> items_;
  LONG insert_position_ = 0;
  bool accepts_data_ = false;
};

// ---- Attachments ---------------------------------------------------------------------------

class AttachmentsList final : public IMEAttachments,
                              public IMEAttachmentsOwner,
                              ListBase<AttachmentsList> {
 public:
  explicit AttachmentsList(ListSettingsOwner* settings) : settings_(settings) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == support::kIidUnknown || iid == IID_IMEAttachments) {
      *object = static_cast<IMEAttachments*>(this);
    } else if (iid == IID_IMEAttachmentsOwner) {
      *object = static_cast<IMEAttachmentsOwner*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
  ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

  void STDMETHODCALLTYPE Lock() override { mutex_.lock(); }
  void STDMETHODCALLTYPE Unlock() override { mutex_.unlock(); }
  LONG STDMETHODCALLTYPE GetItemCount() override {
    std::lock_guard lock(mutex_);
    return static_cast<LONG>(items_.size());
  }
  BOOL STDMETHODCALLTYPE GetItem(LONG index, const char** original, const char** send_as,
                                 const char** zip, const char** field) override {
    std::lock_guard lock(mutex_);
    if (index < 0 || index >= static_cast<LONG>(items_.size())) return FALSE;
    const Attachment& item = items_[index];
    if (original != nullptr) *original = item.original.c_str();
    if (send_as != nullptr) *send_as = item.send_as.c_str();
    if (zip != nullptr) *zip = item.zip.c_str();
    if (field != nullptr) *field = item.field.c_str();
    return TRUE;
  }
  void STDMETHODCALLTYPE Add(const char* original, const char* send_as, const char* field,
                             const char* zip) override {
    Guarded([&] {
      if (Text(original).empty()) return;
      Attachment item{std::string(Text(original)), std::string(Text(send_as)),
                      std::string(Text(zip)), std::string(Text(field))};
      if (item.send_as.empty()) item.send_as = FileNameOf(item.original);
      if (item.field.empty()) item.field = item.send_as.substr(0, item.send_as.rfind('.'));
      MakeRoom(items_);
      items_.push_back(std::move(item));
      Changed();
    });
  }
  BOOL STDMETHODCALLTYPE Delete(const char* original) override {
    BOOL removed = FALSE;
    Guarded([&] {
      for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (support::SameText(it->original, Text(original))) {
          items_.erase(it);
          removed = TRUE;
          Changed();
          return;
        }
      }
    });
    return removed;
  }
  void STDMETHODCALLTYPE Clear() override {
    Guarded([&] {
      if (items_.empty()) return;
      items_.clear();
      Changed();
    });
  }
  IMEAttachments* STDMETHODCALLTYPE Clone() override {
    return DropErrors([&]() -> IMEAttachments* {
      std::lock_guard lock(mutex_);
      auto* copy = new AttachmentsList(nullptr);
      try {
        for (const Attachment& item : items_) {
          copy->items_.push_back(Attachment{item.original, item.send_as, {}, item.field});
        }
      } catch (...) {
        copy->Release();
        throw;
      }
      return copy;
    });
  }
  void STDMETHODCALLTYPE DetachSettings() override {
    std::lock_guard lock(mutex_);
    settings_ = nullptr;
  }

  // Items as the key stores them, for building a list from AddAttachs.
  void Append(Attachment item) { items_.push_back(std::move(item)); }

 private:
  friend class ListBase<AttachmentsList>;
  ~AttachmentsList() = default;

  static std::string FileNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("\\/:");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
  }
  void Changed() {
    if (settings_ == nullptr) return;
    std::string text;
    for (std::size_t i = 0; i < items_.size(); ++i) {
      const Attachment& a = items_[i];
      if (i != 0) text += '|';
      text += a.original + ">" + a.send_as + ">" + a.zip + ">" + a.field;
    }
    settings_->WriteListText(kAddAttachsKey, text);
  }

  ListSettingsOwner* settings_;
  std::vector<Attachment> items_;
};

}  // namespace

IMEFields* NewFieldsList(ListSettingsOwner* settings, ListRecordOwner* record) {
  return new (std::nothrow) FieldsList(settings, record);
}

IMEAttachments* NewAttachmentsList(ListSettingsOwner* settings) {
  return new (std::nothrow) AttachmentsList(settings);
}

IMEFields* FieldsFromText(std::string_view text, ListSettingsOwner* settings) {
  auto* list = new (std::nothrow) FieldsList(nullptr, nullptr);
  if (list == nullptr) return nullptr;
  list->AcceptData();
  DropErrors([&] {
    const std::size_t count = support::ItemCount(text, '|');
    for (std::size_t i = 1; i <= count; ++i) {
      const std::string item = support::NthItem(text, i, '|');
      const std::size_t equals = item.find('=');
      const std::string name = item.substr(0, equals);
      const std::string content = equals == std::string::npos ? "" : item.substr(equals + 1);
      list->Add(name.c_str(), content.c_str());
    }
    return 0;
  });
  // The owner comes last, so that building the list writes nothing back.
  list->AttachSettings(settings);
  return list;
}

IMEAttachments* AttachmentsFromText(std::string_view text, ListSettingsOwner* settings) {
  auto* list = new (std::nothrow) AttachmentsList(settings);
  if (list == nullptr) return nullptr;
  DropErrors([&] {
    const std::size_t count = support::ItemCount(text, '|');
    for (std::size_t i = 1; i <= count; ++i) {
      const std::string item = support::NthItem(text, i, '|');
      list->Append(Attachment{support::NthItem(item, 1, '>'), support::NthItem(item, 2, '>'),
                              support::NthItem(item, 3, '>'), support::NthItem(item, 4, '>')});
    }
    return 0;
  });
  return list;
}

std::optional<Attachment> ReadAttachment(IMEAttachments& list, LONG index) {
  return DropErrors([&]() -> std::optional<Attachment> {
    list.Lock();
    const char* texts[4] = {};
    std::optional<Attachment> item;
    try {
      if (list.GetItem(index, &texts[0], &texts[1], &texts[2], &texts[3])) {
        item = Attachment{texts[0], texts[1], texts[2], texts[3]};
      }
    } catch (...) {
      list.Unlock();
      throw;
    }
    list.Unlock();
    return item;
  });
}

std::string ReadFieldName(IMEFields& list, LONG index) {
  return DropErrors([&] {
    std::string text(list.GetItemName(index, nullptr, 0), '\0');
    const ULONG length = list.GetItemName(index, text.data(), static_cast<ULONG>(text.size() + 1));
    text.resize(std::min<std::size_t>(length, text.size()));
    return text;
  });
}

std::optional<std::string> ReadFieldContent(IMEFields& list, std::string_view name) {
  return DropErrors([&]() -> std::optional<std::string> {
    const std::string key(name);
    ULONG length = 0;
    if (!list.GetContent(key.c_str(), nullptr, 0, &length)) return std::nullopt;
    std::string text(length, '\0');
    list.GetContent(key.c_str(), text.data(), length + 1, &length);
    text.resize(std::min<std::size_t>(length, text.size()));
    return text;
  });
}

}  // namespace reporter::settings
