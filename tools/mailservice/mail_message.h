// The mail the stand-in service writes into its outbox: an RFC 5322 message with a
// multipart/mixed body (the HTML text, then the attachment in base64), CR LF line ends.
#pragma once

#include <string>
#include <string_view>

namespace mailservice {

struct OutgoingMail {
  std::string fromName;
  std::string fromAddress;
  std::string to;
  std::string subject;
  std::string htmlBody;
  std::string attachmentName;   // file name only
  std::string attachmentBytes;
  bool hasAttachment = false;
};

// Base64 in lines of 76 characters, each ended by CR LF.
std::string Base64Lines(std::string_view bytes);

// A header value: line breaks become blanks (so no request can add header lines); text
// beyond ASCII becomes one RFC 2047 encoded word.
std::string HeaderText(std::string_view utf8);

// The whole message; `messageId` without angle brackets, `date` as RFC 5322 date text.
std::string ComposeMail(const OutgoingMail& mail, const std::string& messageId, const std::string& date,
                        const std::string& boundary);

}  // namespace mailservice
