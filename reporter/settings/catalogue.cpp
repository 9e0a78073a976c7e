#include "reporter/settings/catalogue.h"

#include <iterator>

namespace reporter::settings {

namespace {

constexpr KeyKind kBool = KeyKind::kBoolean;
constexpr KeyKind kInt = KeyKind::kInteger;
constexpr KeyKind kUInt = KeyKind::kUnsigned;
constexpr KeyKind kText = KeyKind::kText;

constexpr KeyValue B(bool value) { return {true, value ? 1 : 0, {}}; }
constexpr KeyValue N(std::int32_t value) { return {true, value, {}}; }
constexpr KeyValue T(std::string_view text) { return {true, 0, text}; }
constexpr KeyValue kNone{};

// Where this deployment's reports go. Placeholders on reserved example domains.
constexpr std::string_view kSupportMail = "bugreports@example.com";
constexpr std::string_view kSmtpHost = "smtp.example.net";
constexpr std::string_view kSmtpAccount = "reporter@example.net";
constexpr std::string_view kUploadAddress = "http://bugreports.example.org/debug/dncserver.asp";

constexpr CatalogueKey kCatalogue[] = {
    // General, freeze check and automatic actions.
    {"Enabled", kBool, B(true), B(false)},
    {"NoSettings", kBool, B(false), B(true)},
    {"CheckFileCrc", kBool, B(true), B(true)},
    {"CheckFreeze", kBool, B(false), B(false)},
    {"FreezeTimeout", kUInt, N(60000), N(60)},
    {"AutoSave", kBool, B(false), B(true)},
    {"AutoSaveIfNotSent", kBool, B(false), B(true)},
    {"AutoSend", kBool, B(false), B(false)},
    {"AutoSendBox", kBool, B(true), B(false)},
    {"AutoClip", kBool, B(false), B(true)},
    {"PauseThreads", kBool, B(false), B(false)},
    {"PlWaitBox", kBool, B(true), B(true)},
    {"AutoContinue", kBool, B(true), B(false)},
    {"AutoRestart", kUInt, N(0), N(0)},
    {"AutoClose", kUInt, N(0), N(0)},
    {"AutoDelay", kUInt, kNone, N(60)},
    // Exception box buttons and assistants.
    {"SendBtnVis", kBool, B(true), B(true)},
    {"SaveBtnVis", kBool, B(true), B(false)},
    {"PrintBtnVis", kBool, B(false), B(false)},
    {"ShowBtnVis", kBool, B(true), B(true)},
    {"ContinueBtnVis", kBool, B(true), B(true)},
    {"RestartBtnVis", kBool, B(true), B(true)},
    {"CloseBtnVis", kBool, B(true), B(true)},
    {"FocusedBtn", kUInt, N(0), N(0)},
    {"SendAssis", kText, T("SendAssistant"), T("")},
    {"SaveAssis", kText, T("SaveAssistant"), T("")},
    {"PrintAssis", kText, T("PrintAssistant"), T("")},
    {"AutoShowBugRep", kBool, B(false), B(false)},
    {"UglyBtns", kBool, B(true), B(false)},
    // Delivery.
    {"MailAddr", kText, T(kSupportMail), T("")},
    {"SendInBackgr", kBool, B(true), B(true)},
    {"MailAsSmtpServer", kBool, B(false), B(false)},
    {"MailAsSmtpClient", kBool, B(false), B(false)},
    {"UploadViaHttp", kBool, B(true), B(false)},
    {"MailViaMapi", kBool, B(false), B(true)},
    {"MailViaMailto", kBool, B(false), B(true)},
    {"SmtpServer", kText, T(kSmtpHost), T("")},
    {"SmtpPort", kUInt, N(25), N(25)},
    {"SmtpAccount", kText, T(kSmtpAccount), T("")},
    {"SmtpPassword", kText, T(""), T("")},
    {"HttpServer", kText, T(kUploadAddress), T("")},
    {"HttpPort", kUInt, N(80), N(80)},
    {"HttpAccount", kText, T(""), T("")},
    {"HttpPassword", kText, T(""), T("")},
    {"MailFrom", kText, kNone, T("")},
    {"AttachBugRep", kBool, B(true), B(true)},
    {"AttachBugRepFile", kBool, B(false), B(true)},
    {"DelBugRepFile", kBool, B(true), B(true)},
    {"BugRepSendAs", kText, T("bugreport.txt"), T("bugreport.txt")},
    {"BugRepZip", kText, T(""), T("")},
    {"ScrShotDepth", kInt, N(8), N(0)},
    {"ScrShotAppOnly", kBool, B(false), B(true)},
    {"ScrShotSendAs", kText, T("screenshot.png"), T("screenshot.png")},
    {"ScrShotZip", kText, T(""), T("")},
    {"AddAttachs", kText, T(""), T("")},
    {"AddFields", kText, kNone, T("")},
    // Bug report file and content.
    {"BugRepFile", kText, T("bugreport.txt"), T("bugreport.txt")},
    {"AppendBugReps", kBool, B(false), B(true)},
    {"BugRepFileSize", kUInt, N(100000), N(100000)},
    {"NoDupExcepts", kBool, B(true), B(true)},
    {"NoDupFreezes", kBool, B(true), B(true)},
    {"DupExceptDef", kUInt, N(1), N(1)},
    {"DupFreezeDef", kUInt, N(2), N(2)},
    {"ListThreads", kBool, B(true), B(true)},
    {"CpuRegs", kBool, B(true), B(true)},
    {"StackDump", kBool, B(true), B(true)},
    {"ShowDisAsm", kBool, B(true), B(true)},
    {"HideUglyItems", kBool, B(false), B(false)},
    {"ShowRelAddrs", kBool, B(true), B(true)},
    {"ShowRelLines", kBool, B(true), B(true)},
    {"FormatDisAsm", kBool, B(false), B(false)},
    {"LimitDisAsm", kInt, N(7), N(5)},
    {"Plugins", kText, T("modules|processes|hardware"), T("modules|processes|hardware")},
    // Exception filters: filter 1, filter 2 and the general one.
    {"F1Classes", kText, T("EDBEditError"), T("")},
    {"F1NoBugRep", kBool, B(true), B(false)},
    {"F1NoScrShot", kBool, B(true), B(false)},
    {"F1NoHandlers", kBool, B(true), B(false)},
    {"F1NoSuspend", kBool, B(true), B(false)},
    {"F1ShowCfg", kUInt, N(3), N(0)},
    {"F1Assis", kText, T(""), T("")},
    {"F2Classes", kText, T(""), T("")},
    {"F2NoBugRep", kBool, B(false), B(false)},
    {"F2NoScrShot", kBool, B(false), B(false)},
    {"F2NoHandlers", kBool, B(false), B(false)},
    {"F2NoSuspend", kBool, B(false), B(false)},
    {"F2ShowCfg", kUInt, N(0), N(0)},
    {"F2Assis", kText, T(""), T("")},
    {"GnNoBugRep", kBool, B(false), B(false)},
    {"GnNoScrShot", kBool, B(false), B(false)},
    {"GnNoHandlers", kBool, B(false), B(false)},
    {"GnNoSuspend", kBool, B(true), B(false)},
    {"GnShowCfg", kUInt, N(2), N(0)},
    {"GnAssis", kText, T(""), T("")},
    // Assistants: name, title, then the forms in order. None is built in.
    {"Assistant1", kText, T("SendAssistant|Send Assistant|ContactForm|DetailsForm|ScrShotForm"),
     kNone},
    {"Assistant2", kText, T("SaveAssistant|Save Assistant|ContactForm|DetailsForm"), kNone},
    {"Assistant3", kText, T("PrintAssistant|Print Assistant|ContactForm|DetailsForm"), kNone},
    // Texts shown to the user.
    {"TitleBar", kText, T("%appname%"), T("%appname%")},
    {"ExceptMsg", kText, T("An error occurred in the application."),
     T("An error occurred in the application.")},
    {"FrozenMsg", kText, T("The application seems to be frozen."),
     T("The application seems to be frozen.")},
    {"BitFaultMsg", kText, T("The file \"%modname%\" seems to be corrupt!"),
     T("The file \"%modname%\" seems to be corrupt!")},
    {"SendBtnTxt", kText, T("send bug report"), T("send bug report")},
    {"SaveBtnTxt", kText, T("save bug report"), T("save bug report")},
    {"PrintBtnTxt", kText, T("print bug report"), T("print bug report")},
    {"ShowBtnTxt", kText, T("show bug report"), T("show bug report")},
    {"ContinueBtnTxt", kText, T("continue application"), T("continue application")},
    {"RestartBtnTxt", kText, T("restart application"), T("restart application")},
    {"CloseBtnTxt", kText, T("close application"), T("close application")},
    {"OkBtnTxt", kText, T("&OK"), T("&OK")},
    {"DetailsBtnTxt", kText, T("&Details"), T("&Details")},
    {"PlWaitTitle", kText, T("Information"), T("Information")},
    {"PlWaitText", kText, T("Please wait a moment..."), T("Please wait a moment...")},
    {"MailSubj", kText, T("bug report"), T("bug report")},
    {"MailBody", kText, T("please find the bug report attached"),
     T("please find the bug report attached")},
    {"SendBoxTitle", kText, T("Sending bug report..."), T("Sending bug report...")},
    {"PrepAttMsg", kText, T("Preparing attachments..."), T("Prepare attachments...")},
    {"MxLookMsg", kText, T("Searching for mail server..."), T("Searching for mail server...")},
    {"ConnMsg", kText, T("Connecting to server..."), T("Connecting to server...")},
    {"AuthMsg", kText, T("Authentication..."), T("Authentication...")},
    {"SendMailMsg", kText, T("Sending mail..."), T("Sending mail...")},
    {"FieldMsg", kText, T("Setting fields..."), T("Setting fields...")},
    {"SendAttMsg", kText, T("Sending attachments..."), T("Sending attachments...")},
    {"SendFinalMsg", kText, T("Finalizing..."), T("Finalizing...")},
    {"SendFailMsg", kText, T("Sorry, sending the bug report didn't work."),
     T("Sorry, sending the bug report didn't work.")},
    // Read but never stored in this program's resource.
    {"VersionVar", kUInt, kNone, N(0)},
    {"MinDebugInfo", kText, kNone, kNone},
};

}  // namespace

std::span<const CatalogueKey> Catalogue() { return kCatalogue; }

const CatalogueKey* FindCatalogueKey(std::string_view name) {
  for (const CatalogueKey& key : kCatalogue) {
    if (key.name == name) return &key;
  }
  return nullptr;
}

}  // namespace reporter::settings
