#include "delivery/send_mail.h"

#include <ctime>
#include <thread>

#include "delivery/instance_lock.h"
#include "delivery/ipc_client.h"
#include "foundation/codepage.h"
#include "foundation/paths.h"
#include "foundation/process.h"
#include "foundation/registry.h"
#include "foundation/ui_hooks.h"

namespace mrw::delivery {
namespace {

void Sleep(const MailServiceLink& link, std::chrono::milliseconds duration) {
  if (link.sleep) {
    link.sleep(duration);
  } else {
    std::this_thread::sleep_for(duration);
  }
}

// Lets the user interface run for `duration` (a started program may need the desktop).
void RunPendingEventsFor(std::chrono::milliseconds duration) {
  const auto end = std::chrono::steady_clock::now() + duration;
  for (;;) {
    ProcessPendingEvents();
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) return;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(10)));
  }
}

MessagePtr NewRequest() {
  auto request = std::make_shared<TMessageData>();
  request->SetId(Utf8ToAnsi(CurrentMessageId()));
  return request;
}

}  // namespace

std::string WrapHtmlBody(const std::string& body) {
  return "<html><font size=\"3\" color=\"#000000\"  face=\"Verdana\">" + body + "</font></html>";
}

std::string OutgoingBody(const TSendMailStruct& mail) {
  if (mail.plainOnly || mail.body.find("<html>") != std::string::npos) return mail.body;
  return WrapHtmlBody(mail.body);
}

void AddSendValues(TStreamStorage& data, const TSendMailStruct& mail, const std::string& accountsFile) {
  data.WriteInteger("Action", kActionSend);
  data.WriteString("attachments", mail.attachments);
  data.WriteString("accounts", accountsFile);
  data.WriteInteger("MessagePriority", mail.MessagePriority);
  data.WriteString("email", mail.email);
  data.WriteString("list", mail.list);
  data.WriteString("subject", mail.subject);
  data.WriteString("body", OutgoingBody(mail));
  data.WriteString("plain", mail.plain);
  data.WriteString("images", mail.images);
  data.WriteString("extralogfileName", mail.extralogfileName);
  data.WriteString("infopart", mail.infopart.empty() ? std::string(kDefaultInfopart) : mail.infopart);
}

std::string CurrentMessageId() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
  return text;
}

bool SendRequest(const MailServiceLink& link, const MessagePtr& request) {
  TIPCClient client;
  client.SetServerName("");
  client.SetPipeFolder(link.runtimeFolder);
  client.SetPipeName(link.pipeName);
  client.SetReplyTimeout(link.replyTimeout);
  MessagePtr reply;
  client.SendMessage(request, link.connectTimeoutMs, reply);
  return client.AnswerValid();
}

std::string MailProgramCommand() {
  const auto folder = RegistryReadString(kMailProgramRegistryKey, kMailProgramRegistryValue);
  return (folder ? AddPathDelimiter(*folder) : std::string()) + kMailProgramFile;
}

bool EnsureMailProgram(const MailServiceLink& link) {
  bool running = false;
  try {
    running = IdentifierHeld(link.runtimeFolder, kMailProgramIdentifier);
  } catch (const std::exception&) {
    // No usable runtime folder: the liveness requests below will tell.
  }
  if (!running) {
    // Quoted, so that an install folder with blanks stays one word.
    RunProgram("\"" + MailProgramCommand() + "\"", "", false);
    RunPendingEventsFor(link.startupTime);
  }
  for (int attempt = 0; attempt < link.livenessAttempts; ++attempt) {
    MessagePtr request = NewRequest();
    request->Data().WriteInteger("Action", kActionAlive);
    if (SendRequest(link, request)) return true;
    Sleep(link, link.livenessRetryWait);
  }
  return false;
}

bool SendMail(const TSendMailStruct& mail, int32_t callbackParameter, const MailServiceLink& link) {
  BusyCursor busy;
  EnsureMailProgram(link);
  for (int attempt = 0; attempt < link.sendAttempts; ++attempt) {
    MessagePtr request = NewRequest();
    const std::string accountsFile = mail.accounts ? mail.accounts(callbackParameter) : std::string();
    AddSendValues(request->Data(), mail, accountsFile);
    if (SendRequest(link, request)) return true;
    Sleep(link, link.sendRetryWait);
  }
  return false;
}

}  // namespace mrw::delivery
