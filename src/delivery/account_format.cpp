#include "delivery/account_format.h"

#include <array>
#include <charconv>

#include "delivery/password_cipher.h"
#include "foundation/codepage.h"

namespace mrw::delivery {
namespace {

constexpr int kFieldCount = 37;

std::string Escape(std::string_view bytes, bool templateEscape) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char ch : bytes) {
    switch (ch) {
      case '\0': out += "%0"; break;
      case '\n': out += "%n"; break;
      case '\r': out += "%c"; break;
      case '%': out += "%%"; break;
      case '"':
        if (templateEscape) {
          out += "%|";
        } else {
          out += ch;
        }
        break;
      default: out += ch;
    }
  }
  return out;
}

std::string BoolText(bool value) { return value ? "1" : "0"; }

// The 37 field texts of a record in position order, before quoting (ANSI bytes).
std::array<std::string, kFieldCount> FieldTexts(const TACC& a) {
  auto text = [](const std::string& utf8) { return EscapeAccountText(Utf8ToAnsi(utf8)); };
  auto password = [](const std::string& utf8) {
    return EscapeAccountText(CipherProtect(Utf8ToAnsi(utf8)));
  };
  auto templ = [](const std::string& utf8) { return EscapeAccountTemplate(Utf8ToAnsi(utf8)); };
  std::array<std::string, kFieldCount> f;
  f[0] = BoolText(a.flag0);
  f[1] = text(a.popPort);
  f[2] = text(a.popUser);
  f[3] = text(a.popServer);
  f[4] = password(a.popPassword);
  f[5] = BoolText(a.flag5);
  f[6] = text(a.smtpServer);
  f[7] = text(a.smtpUser);
  f[8] = text(a.smtpPort);
  f[9] = password(a.smtpPassword);
  f[10] = BoolText(a.flag10);
  f[11] = text(a.fileName);
  f[12] = ColourToText(a.colour1);
  f[13] = ColourToText(a.colour2);
  f[14] = templ(a.template1);
  f[15] = templ(a.template2);
  f[16] = std::to_string(a.kind);
  f[17] = BoolText(a.popUese);
  f[18] = text(a.accountId);
  f[19] = BoolText(a.flag19);
  f[20] = BoolText(a.flag20);
  f[21] = BoolText(a.flag21);
  f[22] = text(a.bcc);
  f[23] = text(a.senderAddress);
  f[24] = text(a.senderName);
  f[25] = text(a.imap.text1);
  f[26] = text(a.imap.text2);
  f[27] = password(a.imap.password);
  f[28] = text(a.imap.text4);
  f[29] = BoolText(a.imap.flag1);
  f[30] = BoolText(a.imap.flag2);
  f[31] = text(a.imap.text5);
  f[32] = text(a.text32);
  f[33] = text(a.text33);
  f[34] = text(a.displayName);
  f[35] = text(a.text35);
  f[36] = text(a.text36);
  return f;
}

// Splits one line (without its CR) into raw field texts, quotes resolved.
std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  size_t pos = 0;
  while (pos < line.size()) {
    std::string field;
    if (line[pos] == '"') {
      ++pos;
      while (pos < line.size()) {
        if (line[pos] == '"') {
          if (pos + 1 < line.size() && line[pos + 1] == '"') {
            field += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        field += line[pos++];
      }
      // Anything between the closing quote and the comma does not belong to the field.
      while (pos < line.size() && line[pos] != ',') ++pos;
    } else {
      while (pos < line.size() && line[pos] != ',') field += line[pos++];
    }
    fields.push_back(std::move(field));
    if (pos < line.size()) ++pos;  // the comma
  }
  return fields;
}

int32_t ParseKind(std::string_view text) {
  int32_t value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return 0;
  return (value == 0 || value == 1 || value == 10) ? value : 0;
}

uint32_t ReadColour(const std::string& text) {
  const auto colour = ColourFromText(text);
  if (!colour || *colour == 0) return kColourNone;
  return *colour;
}

TACC RecordFromFields(const std::vector<std::string>& raw) {
  auto field = [&raw](int pos) -> std::string_view {
    return pos < static_cast<int>(raw.size()) ? std::string_view(raw[pos]) : std::string_view();
  };
  auto text = [&](int pos) { return AnsiToUtf8(UnescapeAccountText(field(pos))); };
  auto password = [&](int pos) {
    return AnsiToUtf8(CipherUnprotect(UnescapeAccountText(field(pos))));
  };
  auto flag = [&](int pos) { return field(pos) == "1"; };
  auto trimmed = [&](int pos) { return TrimBlanksAndControls(text(pos)); };

  TACC a;
  a.flag0 = flag(0);
  a.popPort = trimmed(1);
  a.popUser = trimmed(2);
  a.popServer = trimmed(3);
  a.popPassword = password(4);
  a.flag5 = flag(5);
  a.smtpServer = trimmed(6);
  a.smtpUser = trimmed(7);
  a.smtpPort = trimmed(8);
  a.smtpPassword = password(9);
  a.flag10 = flag(10);
  a.fileName = LastPathComponent(text(11));
  a.colour1 = ReadColour(std::string(field(12)));
  a.colour2 = ReadColour(std::string(field(13)));
  a.template1 = text(14);
  a.template2 = text(15);
  if (a.template1.empty()) a.template1 = kDefaultTemplate1;
  if (a.template2.empty()) a.template2 = kDefaultTemplate2;
  a.kind = ParseKind(field(16));
  a.popUese = flag(17);
  a.accountId = text(18);
  a.flag19 = flag(19);
  a.flag20 = flag(20);
  a.flag21 = flag(21);
  a.bcc = text(22);
  if (a.bcc.find('@') == std::string::npos) a.bcc.clear();
  a.senderAddress = text(23);
  a.senderName = text(24);
  a.imap.text1 = trimmed(25);
  a.imap.text2 = trimmed(26);
  a.imap.password = password(27);
  a.imap.text4 = text(28);
  a.imap.flag1 = flag(29);
  a.imap.flag2 = flag(30);
  a.imap.text5 = text(31);
  a.text32 = text(32);
  a.text33 = text(33);
  a.displayName = text(34);
  a.text35 = text(35);
  a.text36 = text(36);
  a.leaveOutFileName = false;
  return a;
}

}  // namespace

std::string EscapeAccountText(std::string_view bytes) { return Escape(bytes, false); }
std::string EscapeAccountTemplate(std::string_view bytes) { return Escape(bytes, true); }

std::string UnescapeAccountText(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (size_t n = 0; n < bytes.size(); ++n) {
    if (bytes[n] != '%') {
      out += bytes[n];
      continue;
    }
    if (n + 1 == bytes.size()) break;  // a lone "%" at the end is dropped
    const char next = bytes[++n];
    switch (next) {
      case '0': out += '\0'; break;
      case 'n': out += '\n'; break;
      case 'c': out += '\r'; break;
      case '%': out += '%'; break;
      case '|': out += '"'; break;
      default:
        out += '%';
        out += next;
    }
  }
  return out;
}

std::string FormatAccountLine(const TACC& account) {
  std::string line;
  for (const std::string& text : FieldTexts(account)) {
    line += '"';
    for (char ch : text) {
      if (ch == '"') line += '"';
      line += ch;
    }
    line += "\",";
  }
  line += "\r\n";
  return line;
}

std::vector<TACC> ParseAccountFile(std::string_view bytes) {
  std::vector<TACC> accounts;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t cr = bytes.find('\r', pos);
    if (cr == std::string_view::npos) break;  // a last line without CR is not read
    const std::string_view line = bytes.substr(pos, cr - pos);
    pos = cr + 1;
    if (pos < bytes.size() && bytes[pos] == '\n') ++pos;
    if (line.empty()) continue;
    accounts.push_back(RecordFromFields(SplitFields(line)));
  }
  return accounts;
}

std::string TrimBlanksAndControls(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(begin, end - begin));
}

std::string LastPathComponent(std::string_view path) {
  const size_t cut = path.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

}  // namespace mrw::delivery
