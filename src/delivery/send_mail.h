// The send request to the host's mail service: TSendMailStruct, "send mail" (up to five
// attempts over the mail pipe) and "ensure mail program" (start the mail program when it
// does not run, then ask the service whether it is alive).
//
// The service counts as having taken a request when a complete reply arrived; the reply's
// contents are not examined.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "delivery/ipc_message.h"

namespace mrw::delivery {

inline constexpr const char* kMailPipeName = "QML-MAILLOCALSERVICE";
// The identifier the running mail program holds (its main window class on the host).
inline constexpr const char* kMailProgramIdentifier = "TF_HLX8";
inline constexpr const char* kMailProgramRegistryKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
    "{429AD46E-6DBE-4170-B911-703FEDCF4995}_is1";
inline constexpr const char* kMailProgramRegistryValue = "InstallLocation";
inline constexpr const char* kMailProgramFile = "helvix2.exe";
inline constexpr const char* kDefaultInfopart = "Gesendet per IPC";

inline constexpr int32_t kActionSend = 3;
inline constexpr int32_t kActionAlive = -1;

struct TSendMailStruct {
  std::string subject;
  std::string body;        // HTML unless plainOnly
  bool plainOnly = false;  // the body is never wrapped in HTML
  std::string plain;
  std::string images;
  std::string email;        // recipient
  std::string list;
  std::string attachments;  // full path of the file to attach
  std::string extralogfileName;
  std::string infopart;     // "Gesendet per IPC" when empty
  // Yields the account hand-over file; called anew for every attempt.
  std::function<std::string(int32_t)> accounts;
  uint8_t MessagePriority = 0;
};

// Where the mail service is reached and how long the steps wait. The defaults are the
// production values; tests shorten them.
struct MailServiceLink {
  std::string runtimeFolder;  // the pipe's socket and the identifier lock; "" = the user's
  std::string pipeName = kMailPipeName;
  unsigned connectTimeoutMs = 5000;
  std::chrono::milliseconds replyTimeout{30000};
  int sendAttempts = 5;
  std::chrono::milliseconds sendRetryWait{100};
  int livenessAttempts = 10;
  std::chrono::milliseconds livenessRetryWait{1000};
  // How long pending events keep running after the mail program was started.
  std::chrono::milliseconds startupTime{5000};
  // Empty: really sleep.
  std::function<void(std::chrono::milliseconds)> sleep;
};

// "<html><font size=\"3\" color=\"#000000\"  face=\"Verdana\">" + body + "</font></html>".
std::string WrapHtmlBody(const std::string& body);

// The body as it goes out: wrapped unless plainOnly or it already contains "<html>".
std::string OutgoingBody(const TSendMailStruct& mail);

// The request's named values in the order the service expects (empty texts left out).
void AddSendValues(TStreamStorage& data, const TSendMailStruct& mail, const std::string& accountsFile);

// The message ID of both requests: the local date and time, "DD.MM.YYYY HH:MM:SS".
std::string CurrentMessageId();

// One request to the service; true when a complete reply came back.
bool SendRequest(const MailServiceLink& link, const MessagePtr& request);

// The mail program's command: the registry stand-in's install folder + "helvix2.exe", or
// the bare program name when the value is missing.
std::string MailProgramCommand();

// Starts the mail program (without waiting) when nobody holds its identifier and lets
// pending events run for the start-up time; then sends up to ten liveness requests.
// True when one was answered. A failed start is not reported.
bool EnsureMailProgram(const MailServiceLink& link);

// Ensures the mail program (its result only informs), then tries to hand the request to
// the service up to five times, waiting after every failed attempt. Returns true when the
// service took the request and false when no attempt got through: a send that nobody took
// must not look like a sent mail. Exceptions of the accounts callback pass through.
bool SendMail(const TSendMailStruct& mail, int32_t callbackParameter, const MailServiceLink& link = {});

}  // namespace mrw::delivery
