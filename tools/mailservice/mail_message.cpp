#include "mail_message.h"

#include <algorithm>

namespace mailservice {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t n = 0;
  for (; n + 3 <= bytes.size(); n += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[n]) << 16) |
                       (static_cast<unsigned char>(bytes[n + 1]) << 8) | static_cast<unsigned char>(bytes[n + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (n < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[n]) << 16;
    if (n + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[n + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool IsPlainAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F;
  });
}

// A quoted MIME parameter value.
std::string ParameterValue(std::string_view utf8) {
  const std::string text = HeaderText(utf8);
  if (text.rfind("=?", 0) == 0) return "\"" + text + "\"";
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string Base64Lines(std::string_view bytes) {
  const std::string encoded = Base64(bytes);
  std::string out;
  for (size_t n = 0; n < encoded.size(); n += 76) {
    out += encoded.substr(n, 76);
    out += "\r\n";
  }
  return out;
}

std::string HeaderText(std::string_view utf8) {
  std::string flat(utf8);
  std::replace_if(flat.begin(), flat.end(), [](char c) { return c == '\r' || c == '\n' || c == '\t'; }, ' ');
  if (IsPlainAscii(flat)) return flat;
  return "=?UTF-8?B?" + Base64(flat) + "?=";
}

std::string ComposeMail(const OutgoingMail& mail, const std::string& messageId, const std::string& date,
                        const std::string& boundary) {
  std::string from = HeaderText(mail.fromAddress);
  if (!mail.fromName.empty()) {
    std::string name = HeaderText(mail.fromName);
    if (name.rfind("=?", 0) != 0) name = ParameterValue(mail.fromName);
    from = name + " <" + from + ">";
  }
  std::string m;
  m += "From: " + from + "\r\n";
  m += "To: " + HeaderText(mail.to) + "\r\n";
  m += "Subject: " + HeaderText(mail.subject) + "\r\n";
  m += "Date: " + date + "\r\n";
  m += "Message-ID: <" + messageId + ">\r\n";
  m += "MIME-Version: 1.0\r\n";
  m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
  m += "\r\n";
  m += "This is a multi-part message in MIME format.\r\n";
  m += "--" + boundary + "\r\n";
  m += "Content-Type: text/html; charset=UTF-8\r\n";
  m += "Content-Transfer-Encoding: base64\r\n\r\n";
  m += Base64Lines(mail.htmlBody);
  if (mail.hasAttachment) {
    const std::string name = ParameterValue(mail.attachmentName);
    m += "--" + boundary + "\r\n";
    m += "Content-Type: application/octet-stream; name=" + name + "\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment; filename=" + name + "\r\n\r\n";
    m += Base64Lines(mail.attachmentBytes);
  }
  m += "--" + boundary + "--\r\n";
  return m;
}

}  // namespace mailservice
