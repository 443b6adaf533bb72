#include "shell/text_view.h"

#include <cctype>

namespace mrw::shell {
namespace {

std::string LowerAscii(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string HtmlToPlainText(const std::string& html) {
  static const std::pair<const char*, const char*> kEntities[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", " "}};
  std::string out;
  for (size_t i = 0; i < html.size();) {
    char c = html[i];
    if (c == '<') {
      size_t end = html.find('>', i);
      if (end == std::string::npos) {  // a lone "<" is text
        out += c;
        ++i;
        continue;
      }
      std::string tag = LowerAscii(html.substr(i + 1, end - i - 1));
      if (tag == "br" || tag == "br/" || tag == "br /") out += '\n';
      i = end + 1;
    } else if (c == '&') {
      bool decoded = false;
      for (const auto& [entity, text] : kEntities) {
        if (LowerAscii(html.substr(i, std::char_traits<char>::length(entity))) == entity) {
          out += text;
          i += std::char_traits<char>::length(entity);
          decoded = true;
          break;
        }
      }
      if (!decoded) {
        out += c;
        ++i;
      }
    } else if (c == '\r' && i + 1 < html.size() && html[i + 1] == '\n') {
      ++i;  // CR LF -> LF
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

void TextView::ShowMessage(const std::string& html) {
  ++messages_shown_;
  messages_ << HtmlToPlainText(html) << '\n';
  messages_.flush();
}

bool TextView::AskQuestion(const std::string&) {
  // The only question of a save is whether the sender wants to leave a message.
  return sender_message_.has_value();
}

bool TextView::RunRecipientDialog(delivery::RecipientDialogState& state) {
  if (!recipient_) return false;
  state.address = *recipient_;
  // As the "&Senden" button: an address without "@" is refused with the dialog's message,
  // and with nobody to correct it the dialog ends as cancelled.
  if (!delivery::AddressMayBeConfirmed(state.address)) {
    ShowMessage(delivery::kNoAddressMessage);
    return false;
  }
  return true;
}

}  // namespace mrw::shell
