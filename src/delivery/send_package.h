// Mailing a transfer package: the size limit checked before the recipient is asked for,
// the package mail's subject and body, and "send package by mail" (copy the package into
// the send folder, then hand a send request naming the copy to the mail service).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "delivery/send_mail.h"

namespace mrw::delivery {

inline constexpr const char* kMailSubject = "Quillmar Auftrag Export";
// The link leads to the help search for order import and export on the maker's site.
inline constexpr const char* kMailBody =
    "<b>Dies ist eine von Quillmar automatisch erzeugte Email.</b><br>"
    "Sie können den Anhang mit dem Quillmar-Auftragimportmodul importieren.<br>"
    "<a href=\"https://www.quillmar.de/fts.html?q=Auftrag-Import/Export\">Informationen</a> ";
inline constexpr const char* kPackageInfopart = "Gesendet per IPC [Auftragexport]";
inline constexpr const char* kSendFolderPurpose = "send.tmp";

// Shown when the mail service took none of the attempts.
inline constexpr const char* kMailNotTakenMessage =
    "<B>Die Email konnte nicht versendet werden.</B><BR>"
    "Der Maildienst hat das Paket nicht angenommen. Bitte prüfen Sie, ob das Emailmodul "
    "eingerichtet ist und läuft.";

// The largest package that may be mailed, in kB of 1024 bytes (exactly this still passes).
inline constexpr double kMailSizeLimitKb = 10240;

// `bytes` / 1024 in the German number format with three decimals and " kB":
// 10485761 -> "10.240,001 kB" (rounded half away from zero).
std::string FormatKilobytes(uint64_t bytes);

// The message that refuses a package of `bytes` bytes, or nullopt when it may be mailed.
std::optional<std::string> MailSizeMessage(uint64_t bytes);

struct PackageSendResult {
  bool taken = false;     // the mail service took the request
  std::string copyPath;   // the package copy named in the request
};

// Copies the package into the send folder (GetTempFolder("send.tmp"), same file name,
// replacing an older copy) and sends it to `recipient` as it was typed. An unreadable
// package throws before any request; a copy that cannot be written is named all the same.
// `accounts` yields the account hand-over file and is called anew for every attempt.
PackageSendResult SendPackageByMail(const std::string& packagePath, const std::string& recipient,
                                    std::function<std::string(int32_t)> accounts,
                                    const MailServiceLink& link = {},
                                    const std::string& subject = kMailSubject,
                                    const std::string& body = kMailBody);

}  // namespace mrw::delivery
