// The two small thread-safe collections of the reporter: fields lists (ordered name and content
// pairs) and attachments lists (files to send). Both are reference-counted COM objects; a list
// can be tied to an owner that it tells of changes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "support/com.h"

// ---- Interfaces ------------------------------------------------------------------------------
// Texts are 8-bit and zero-terminated. A text reader copies into buffer (size bytes, may be 0),
// cut to fit, and gives the full length, like the settings readers.

// {AF0EA7A7-2B36-46FD-BF2E-245ABA2740E2}
inline constexpr GUID IID_IMEFields = {
    0xAF0EA7A7, 0x2B36, 0x46FD, {0xBF, 0x2E, 0x24, 0x5A, 0xBA, 0x27, 0x40, 0xE2}};
// {D9EED670-C965-403D-92E0-BF11D854911D}
inline constexpr GUID IID_IMEFieldsEx = {
    0xD9EED670, 0xC965, 0x403D, {0x92, 0xE0, 0xBF, 0x11, 0xD8, 0x54, 0x91, 0x1D}};
// {7DE1DA9C-28D7-4527-954F-F951B88BEE41}
inline constexpr GUID IID_IMEAttachments = {
    0x7DE1DA9C, 0x28D7, 0x4527, {0x95, 0x4F, 0xF9, 0x51, 0xB8, 0x8B, 0xEE, 0x41}};
// {1E8B96CB-8314-4C9E-A327-7CDA83A55982}: detaching an attachments list from its settings.
inline constexpr GUID IID_IMEAttachmentsOwner = {
    0x1E8B96CB, 0x8314, 0x4C9E, {0xA3, 0x27, 0x7C, 0xDA, 0x83, 0xA5, 0x59, 0x82}};

struct IMEFields : IUnknown {
  // Holds the list (and the owning record's change batch) across several calls.
  virtual void STDMETHODCALLTYPE Lock() = 0;
  virtual void STDMETHODCALLTYPE Unlock() = 0;
  virtual LONG STDMETHODCALLTYPE GetItemCount() = 0;
  // The name of item index; empty for an index out of range.
  virtual ULONG STDMETHODCALLTYPE GetItemName(LONG index, char* buffer, ULONG size) = 0;
  virtual void STDMETHODCALLTYPE RenameItem(LONG index, const char* name) = 0;
  // The first item of that name (any letter case), -1 when none.
  virtual LONG STDMETHODCALLTYPE FindItem(const char* name) = 0;
  // The content of the first item of that name: FALSE and buffer untouched when there is none.
  virtual BOOL STDMETHODCALLTYPE GetContent(const char* name, char* buffer, ULONG size,
                                            ULONG* length) = 0;
  // The content trimmed; empty deletes the item. Ignored until the list accepts data.
  virtual void STDMETHODCALLTYPE SetContent(const char* name, const char* content) = 0;
  virtual void STDMETHODCALLTYPE Add(const char* name, const char* content) = 0;
  virtual void STDMETHODCALLTYPE Insert(LONG index, const char* name, const char* content) = 0;
  virtual void STDMETHODCALLTYPE DeleteIndex(LONG index) = 0;
  virtual void STDMETHODCALLTYPE DeleteName(const char* name) = 0;
  // A new list with the same items that accepts data and has no owners (one reference).
  virtual IMEFields* STDMETHODCALLTYPE Clone() = 0;

 protected:
  ~IMEFields() = default;
};

struct IMEFieldsEx : IUnknown {
  virtual void STDMETHODCALLTYPE DetachException() = 0;
  virtual void STDMETHODCALLTYPE DetachSettings() = 0;
  // Where new names go: 0 or less appends.
  virtual void STDMETHODCALLTYPE SetInsertPosition(LONG index) = 0;
  virtual void STDMETHODCALLTYPE AcceptData() = 0;

 protected:
  ~IMEFieldsEx() = default;
};

struct IMEAttachments : IUnknown {
  virtual void STDMETHODCALLTYPE Lock() = 0;
  virtual void STDMETHODCALLTYPE Unlock() = 0;
  virtual LONG STDMETHODCALLTYPE GetItemCount() = 0;
  // The texts of item index (any output may be null). They point into the list and stay valid
  // while the caller holds the lock and changes nothing. FALSE, outputs untouched, out of range.
  virtual BOOL STDMETHODCALLTYPE GetItem(LONG index, const char** original, const char** send_as,
                                         const char** zip, const char** field) = 0;
  // Note the order: field name before zip archive name. Ignored for an empty original file.
  virtual void STDMETHODCALLTYPE Add(const char* original, const char* send_as, const char* field,
                                     const char* zip) = 0;
  // Removes the first item of that original file (any letter case).
  virtual BOOL STDMETHODCALLTYPE Delete(const char* original) = 0;
  virtual void STDMETHODCALLTYPE Clear() = 0;
  // A new list with the items but no zip archive names and no owner (one reference).
  virtual IMEAttachments* STDMETHODCALLTYPE Clone() = 0;

 protected:
  ~IMEAttachments() = default;
};

struct IMEAttachmentsOwner : IUnknown {
  virtual void STDMETHODCALLTYPE DetachSettings() = 0;

 protected:
  ~IMEAttachmentsOwner() = default;
};

namespace reporter::settings {

// The owners a list tells of its changes. Both live in the same copy of the reporter as the
// list they own, and detach the list before they go.
class ListSettingsOwner {  // a settings object: the list is written back into a text key
 public:
  virtual bool WriteListText(std::string_view key, std::string_view text) = 0;

 protected:
  ~ListSettingsOwner() = default;
};

class ListRecordOwner {  // an exception record: changes are batched and reported
 public:
  virtual void BeginChanges() = 0;
  virtual void EndChanges() = 0;
  virtual void Modified() = 0;

 protected:
  ~ListRecordOwner() = default;
};

// New empty lists with one reference; null when out of memory.
IMEFields* NewFieldsList(ListSettingsOwner* settings = nullptr, ListRecordOwner* record = nullptr);
IMEAttachments* NewAttachmentsList(ListSettingsOwner* settings = nullptr);

// The lists built from their keys' texts: AddFields ("name=content|..."; the list accepts
// data) and AddAttachs ("original>send-as>zip>field|...").
IMEFields* FieldsFromText(std::string_view text, ListSettingsOwner* settings);
IMEAttachments* AttachmentsFromText(std::string_view text, ListSettingsOwner* settings);

// Convenience readers: copies taken under the list's lock.
struct Attachment {
  std::string original, send_as, zip, field;
};
std::optional<Attachment> ReadAttachment(IMEAttachments& list, LONG index);
std::string ReadFieldName(IMEFields& list, LONG index);
std::optional<std::string> ReadFieldContent(IMEFields& list, std::string_view name);

}  // namespace reporter::settings
