#include "delivery/send_package.h"

#include "foundation/file_io.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw::delivery {

std::string FormatKilobytes(uint64_t bytes) {
  // bytes / 1024 in thousandths is bytes * 125 / 128; integers keep the rounding exact.
  const unsigned __int128 scaled = static_cast<unsigned __int128>(bytes) * 125u;
  const uint64_t thousandths = static_cast<uint64_t>((scaled + 64u) / 128u);
  std::string whole = std::to_string(thousandths / 1000);
  for (int pos = static_cast<int>(whole.size()) - 3; pos > 0; pos -= 3) whole.insert(static_cast<size_t>(pos), ".");
  std::string fraction = std::to_string(thousandths % 1000);
  fraction.insert(0, 3 - fraction.size(), '0');
  return whole + "," + fraction + " kB";
}

std::optional<std::string> MailSizeMessage(uint64_t bytes) {
  if (static_cast<double>(bytes) / 1024.0 <= kMailSizeLimitKb) return std::nullopt;
  return "<B>Die Dateigrösse beträgt " + FormatKilobytes(bytes) +
         "<BR>Eine solche Größe kann nicht per Mail versendet werden.";
}

PackageSendResult SendPackageByMail(const std::string& packagePath, const std::string& recipient,
                                    std::function<std::string(int32_t)> accounts,
                                    const MailServiceLink& link, const std::string& subject,
                                    const std::string& body) {
  PackageSendResult result;
  result.copyPath = GetTempFolder(kSendFolderPurpose) + ExtractFileName(packagePath);
  // A target that cannot be written after the copy's attempts does not stop the send:
  // the request names the copy all the same.
  CopyFileSafe(packagePath, result.copyPath);

  TSendMailStruct mail;
  mail.subject = subject;
  mail.body = WrapHtmlBody(body);
  mail.email = recipient;
  mail.attachments = result.copyPath;
  mail.accounts = std::move(accounts);
  mail.infopart = kPackageInfopart;
  result.taken = SendMail(mail, 0, link);
  return result;
}

}  // namespace mrw::delivery
