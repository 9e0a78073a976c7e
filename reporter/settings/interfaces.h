// The settings interfaces: IMESettings and IMEModuleSettings read and write single keys.
// They are COM interfaces (IUnknown first, __stdcall, fixed slot order), so a module built
// with another compiler can call them.
//
// Conventions of the slots: a boolean reader gives BOOL, an integer reader LONG, an unsigned
// reader ULONG. A text reader copies the 8-bit text, zero-terminated and cut to fit, into
// buffer (size bytes, may be 0) and gives the text's full length; ReadSettingText below does
// the calls. A writer gives TRUE when the key took the value (the key is of the written
// kind and the settings are valid).
#pragma once

#include <string>
#include <string_view>

#include "support/com.h"

// Interfaces of other parts that the settings hand out.
struct IMEFields;       // name and content pairs
struct IMEAttachments;  // attachment files
struct INVAssistant;    // an assistant built from form resources

// {27DBC590-890F-463E-8D05-32E33584119F}
inline constexpr GUID IID_IMESettings = {
    0x27DBC590, 0x890F, 0x463E, {0x8D, 0x05, 0x32, 0xE3, 0x35, 0x84, 0x11, 0x9F}};
// {E2196B25-D73A-4F69-B79B-D65539763B31}
inline constexpr GUID IID_IMEModuleSettings = {
    0xE2196B25, 0xD73A, 0x4F69, {0xB7, 0x9B, 0xD6, 0x55, 0x39, 0x76, 0x3B, 0x31}};
// {8C612485-CD17-4C66-8C62-D6D94D54EA50}: the store's internal typed access.
inline constexpr GUID IID_IMEPropAccess = {
    0x8C612485, 0xCD17, 0x4C66, {0x8C, 0x62, 0xD6, 0xD9, 0x4D, 0x54, 0xEA, 0x50}};

// ---- Slot lists ------------------------------------------------------------------------------
// Each entry is X(op, type, key): op GET (reader), SET (writer) or RW (reader, then writer);
// type Bool, Int, UInt or Text. Slots that do more than read or write a key sit between the
// lists, in the interfaces themselves.

// clang-format off
#define IME_SETTINGS_SLOTS_1(X) \
  X(RW, Bool, AutoSave) \
  X(RW, Bool, AutoSaveIfNotSent) \
  X(RW, Bool, AutoSend) \
  X(RW, Bool, AutoSendBox) \
  X(RW, Bool, AutoClip) \
  X(RW, Bool, PauseThreads) \
  X(RW, Bool, PlWaitBox) \
  X(RW, Bool, AutoContinue) \
  X(RW, UInt, AutoRestart) \
  X(RW, UInt, AutoClose) \
  X(RW, UInt, AutoDelay) \
  X(GET, Bool, SendBtnVis) \
  X(GET, Bool, SaveBtnVis) \
  X(GET, Bool, PrintBtnVis) \
  X(GET, Bool, ShowBtnVis) \
  X(GET, Bool, ContinueBtnVis) \
  X(GET, Bool, RestartBtnVis) \
  X(GET, Bool, CloseBtnVis) \
  X(SET, Bool, SendBtnVis) \
  X(SET, Bool, SaveBtnVis) \
  X(SET, Bool, PrintBtnVis) \
  X(SET, Bool, ShowBtnVis) \
  X(SET, Bool, ContinueBtnVis) \
  X(SET, Bool, RestartBtnVis) \
  X(SET, Bool, CloseBtnVis) \
  X(RW, UInt, FocusedBtn) \
  X(RW, Text, SendAssis) \
  X(RW, Text, SaveAssis) \
  X(RW, Text, PrintAssis) \
  X(RW, Bool, AutoShowBugRep) \
  X(RW, Bool, UglyBtns) \
  X(RW, Text, MailAddr) \
  X(RW, Bool, SendInBackgr) \
  X(RW, Bool, MailAsSmtpServer) \
  X(RW, Bool, MailAsSmtpClient) \
  X(RW, Bool, UploadViaHttp) \
  X(RW, Bool, MailViaMapi) \
  X(RW, Bool, MailViaMailto) \
  X(RW, Text, SmtpServer) \
  X(RW, UInt, SmtpPort) \
  X(RW, Text, SmtpAccount) \
  X(RW, Text, SmtpPassword) \
  X(RW, Text, HttpServer) \
  X(RW, UInt, HttpPort) \
  X(RW, Text, HttpAccount) \
  X(RW, Text, HttpPassword) \
  X(RW, Text, MailFrom)

#define IME_SETTINGS_SLOTS_2(X) \
  X(RW, Bool, AttachBugRep) \
  X(RW, Bool, AttachBugRepFile) \
  X(RW, Bool, DelBugRepFile) \
  X(RW, Text, BugRepSendAs) \
  X(RW, Text, BugRepZip) \
  X(RW, Int, ScrShotDepth) \
  X(RW, Bool, ScrShotAppOnly) \
  X(RW, Text, ScrShotSendAs) \
  X(RW, Text, ScrShotZip)

#define IME_SETTINGS_SLOTS_3(X) \
  X(RW, Text, BugRepFile) \
  X(RW, Bool, AppendBugReps) \
  X(RW, UInt, BugRepFileSize) \
  X(RW, Bool, NoDupExcepts) \
  X(RW, Bool, NoDupFreezes) \
  X(RW, UInt, DupExceptDef) \
  X(RW, UInt, DupFreezeDef) \
  X(RW, Bool, ListThreads) \
  X(RW, Bool, CpuRegs) \
  X(RW, Bool, StackDump) \
  X(RW, Bool, ShowDisAsm) \
  X(RW, Bool, HideUglyItems) \
  X(RW, Bool, ShowRelAddrs) \
  X(RW, Bool, ShowRelLines) \
  X(RW, Bool, FormatDisAsm) \
  X(RW, Int, LimitDisAsm)

#define IME_SETTINGS_SLOTS_4(X) \
  X(RW, Text, TitleBar) \
  X(RW, Text, ExceptMsg) \
  X(RW, Text, FrozenMsg) \
  X(RW, Text, BitFaultMsg) \
  X(GET, Text, SendBtnTxt) \
  X(GET, Text, SaveBtnTxt) \
  X(GET, Text, PrintBtnTxt) \
  X(GET, Text, ShowBtnTxt) \
  X(GET, Text, ContinueBtnTxt) \
  X(GET, Text, RestartBtnTxt) \
  X(GET, Text, CloseBtnTxt) \
  X(SET, Text, SendBtnTxt) \
  X(SET, Text, SaveBtnTxt) \
  X(SET, Text, PrintBtnTxt) \
  X(SET, Text, ShowBtnTxt) \
  X(SET, Text, ContinueBtnTxt) \
  X(SET, Text, RestartBtnTxt) \
  X(SET, Text, CloseBtnTxt) \
  X(GET, Text, OkBtnTxt) \
  X(GET, Text, DetailsBtnTxt) \
  X(SET, Text, OkBtnTxt) \
  X(SET, Text, DetailsBtnTxt) \
  X(GET, Text, PlWaitTitle) \
  X(GET, Text, PlWaitText) \
  X(SET, Text, PlWaitTitle) \
  X(SET, Text, PlWaitText) \
  X(RW, Text, MailSubj) \
  X(RW, Text, MailBody) \
  X(RW, Text, SendBoxTitle) \
  X(RW, Text, PrepAttMsg) \
  X(RW, Text, MxLookMsg) \
  X(RW, Text, ConnMsg) \
  X(RW, Text, AuthMsg) \
  X(RW, Text, SendMailMsg) \
  X(RW, Text, FieldMsg) \
  X(RW, Text, SendAttMsg) \
  X(RW, Text, SendFinalMsg) \
  X(RW, Text, SendFailMsg)

#define IME_MODULE_SETTINGS_SLOTS_1(X) \
  X(GET, Bool, Enabled)

// The filter keys: for each, the readers of filter 1, filter 2 and the general filter, then
// their writers.
#define IME_FILTER_SLOTS(X, type, name) \
  X(GET, type, F1##name) X(GET, type, F2##name) X(GET, type, Gn##name) \
  X(SET, type, F1##name) X(SET, type, F2##name) X(SET, type, Gn##name)

#define IME_MODULE_SETTINGS_SLOTS_2(X) \
  X(GET, Bool, NoSettings) \
  X(GET, Bool, CheckFileCrc) \
  X(GET, Bool, CheckFreeze) \
  X(GET, UInt, FreezeTimeout) \
  X(GET, Text, F1Classes) \
  X(GET, Text, F2Classes) \
  X(SET, Text, F1Classes) \
  X(SET, Text, F2Classes) \
  IME_FILTER_SLOTS(X, Bool, NoBugRep) \
  IME_FILTER_SLOTS(X, Bool, NoScrShot) \
  IME_FILTER_SLOTS(X, Bool, NoSuspend) \
  IME_FILTER_SLOTS(X, Bool, NoHandlers) \
  IME_FILTER_SLOTS(X, UInt, ShowCfg) \
  IME_FILTER_SLOTS(X, Text, Assis)

// clang-format on

// ---- Slot signatures -------------------------------------------------------------------------

#define IME_GET_RESULT_Bool BOOL
#define IME_GET_RESULT_Int LONG
#define IME_GET_RESULT_UInt ULONG
#define IME_GET_RESULT_Text ULONG
#define IME_GET_PARAMS_Bool
#define IME_GET_PARAMS_Int
#define IME_GET_PARAMS_UInt
#define IME_GET_PARAMS_Text char *buffer, ULONG size
#define IME_SET_PARAM_Bool BOOL
#define IME_SET_PARAM_Int LONG
#define IME_SET_PARAM_UInt ULONG
#define IME_SET_PARAM_Text const char*

#define IME_DECLARE_SLOT(op, type, key) IME_DECLARE_##op(type, key)
#define IME_DECLARE_GET(type, key) \
  virtual IME_GET_RESULT_##type STDMETHODCALLTYPE Get##key(IME_GET_PARAMS_##type) = 0;
#define IME_DECLARE_SET(type, key) \
  virtual BOOL STDMETHODCALLTYPE Set##key(IME_SET_PARAM_##type value) = 0;
#define IME_DECLARE_RW(type, key) IME_DECLARE_GET(type, key) IME_DECLARE_SET(type, key)

// Overrides of every single-key slot of IMEModuleSettings (and so IMESettings), for a class
// that has the members SlotBool, SlotInt, SlotUInt, SlotText(name, buffer, size) and
// SlotSetBool ... SlotSetText(name, value).
#define IME_IMPLEMENT_SLOT(op, type, key) IME_IMPLEMENT_##op(type, key)
#define IME_IMPLEMENT_GET(type, key)                                                 \
  IME_GET_RESULT_##type STDMETHODCALLTYPE Get##key(IME_GET_PARAMS_##type) override { \
    return Slot##type(#key IME_GET_ARGS_##type);                                     \
  }
#define IME_IMPLEMENT_SET(type, key)                                     \
  BOOL STDMETHODCALLTYPE Set##key(IME_SET_PARAM_##type value) override { \
    return SlotSet##type(#key, value);                                   \
  }
#define IME_IMPLEMENT_RW(type, key) IME_IMPLEMENT_GET(type, key) IME_IMPLEMENT_SET(type, key)
#define IME_GET_ARGS_Bool
#define IME_GET_ARGS_Int
#define IME_GET_ARGS_UInt
#define IME_GET_ARGS_Text , buffer, size
#define IME_IMPLEMENT_MODULE_SETTINGS_SLOTS       \
  IME_SETTINGS_SLOTS_1(IME_IMPLEMENT_SLOT)        \
  IME_SETTINGS_SLOTS_2(IME_IMPLEMENT_SLOT)        \
  IME_SETTINGS_SLOTS_3(IME_IMPLEMENT_SLOT)        \
  IME_SETTINGS_SLOTS_4(IME_IMPLEMENT_SLOT)        \
  IME_MODULE_SETTINGS_SLOTS_1(IME_IMPLEMENT_SLOT) \
  IME_MODULE_SETTINGS_SLOTS_2(IME_IMPLEMENT_SLOT)

// ---- The interfaces --------------------------------------------------------------------------

struct IMESettings : IUnknown {
  // The module the settings belong to.
  virtual HMODULE STDMETHODCALLTYPE GetModule() = 0;
  IME_SETTINGS_SLOTS_1(IME_DECLARE_SLOT)
  // The added fields (AddFields) as a list that writes itself back into the key.
  // The caller gets a reference of its own (null when there is no list).
  virtual IMEFields* STDMETHODCALLTYPE GetAddFields() = 0;
  IME_SETTINGS_SLOTS_2(IME_DECLARE_SLOT)
  // The added attachments (AddAttachs) as a list that writes itself back into the key.
  // The caller gets a reference of its own (null when there is no list).
  virtual IMEAttachments* STDMETHODCALLTYPE GetAddAttachs() = 0;
  IME_SETTINGS_SLOTS_3(IME_DECLARE_SLOT)
  // Whether name is one of the report plug-ins in Plugins (whole item, any letter case).
  virtual BOOL STDMETHODCALLTYPE GetPluginEnabled(const char* name) = 0;
  // Adds name to Plugins or removes it from there; nothing happens when it already is so.
  virtual void STDMETHODCALLTYPE SetPluginEnabled(const char* name, BOOL on) = 0;
  // The module's version text (named by VersionVar), empty when there is none.
  virtual ULONG STDMETHODCALLTYPE GetVersionText(char* buffer, ULONG size) = 0;
  // The assistant of that name (an AssistantN key), or null.
  virtual INVAssistant* STDMETHODCALLTYPE GetAssistant(const char* name) = 0;
  IME_SETTINGS_SLOTS_4(IME_DECLARE_SLOT)

 protected:
  ~IMESettings() = default;
};

struct IMEModuleSettings : IMESettings {
  // The module has a settings resource.
  virtual BOOL STDMETHODCALLTYPE GetValid() = 0;
  IME_MODULE_SETTINGS_SLOTS_1(IME_DECLARE_SLOT)
  // Minimal debug information is named (MinDebugInfo is not empty).
  virtual BOOL STDMETHODCALLTYPE GetMinDebugInfo() = 0;
  IME_MODULE_SETTINGS_SLOTS_2(IME_DECLARE_SLOT)
  // Parses the module's settings resource again; writes made since are lost.
  virtual void STDMETHODCALLTYPE RereadResource() = 0;

 protected:
  ~IMEModuleSettings() = default;
};

namespace reporter::settings {

// The writing side of the text slots: copies text into buffer (size bytes, may be 0), cut to
// fit and zero-terminated, and gives the text's full length.
inline ULONG CopyTextOut(std::string_view text, char* buffer, ULONG size) {
  if (buffer != nullptr && size > 0) {
    const std::size_t count = text.size() < size ? text.size() : size - 1;
    for (std::size_t i = 0; i < count; ++i) buffer[i] = text[i];
    buffer[count] = '\0';
  }
  return static_cast<ULONG>(text.size());
}

// Reads a text through a text reader slot, for example
//   ReadSettingText([&](char* b, ULONG n) { return settings->GetMailAddr(b, n); })
template <class Reader>
std::string ReadSettingText(Reader&& read) {
  std::string text(read(nullptr, 0), '\0');
  for (;;) {
    const ULONG length = read(text.data(), static_cast<ULONG>(text.size() + 1));
    const bool fitted = length <= text.size();
    text.resize(length);
    if (fitted) return text;
  }
}

}  // namespace reporter::settings
