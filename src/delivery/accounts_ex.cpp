#include "delivery/accounts_ex.h"

#include <algorithm>

#include "delivery/account_format.h"
#include "foundation/codepage.h"
#include "foundation/fast_ini_file.h"
#include "foundation/file_io.h"
#include "foundation/folders.h"
#include "foundation/paths.h"

namespace mrw::delivery {
namespace {

// Characters a fallback INI name must not contain (the host's list, duplicates and all).
constexpr const char* kForbiddenNameChars = "?äüö#+*~!\"§$&()[]{?}:;,=+<>|\"[] \\./";

// The value of `name` in a list of name=value lines (first match, case ignored).
std::string MapValue(const std::vector<std::string>& lines, const std::string& name) {
  for (const std::string& line : lines) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos && Utf8SameTextAnsi(line.substr(0, eq), name)) return line.substr(eq + 1);
  }
  return {};
}

std::vector<std::string> SplitIds(const std::string& value) {
  std::vector<std::string> ids;
  size_t start = 0;
  for (;;) {
    const size_t comma = value.find(',', start);
    std::string id = TrimBlanksAndControls(value.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!id.empty()) ids.push_back(std::move(id));
    if (comma == std::string::npos) return ids;
    start = comma + 1;
  }
}

// The UTF-8 characters of a text, one string each.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> chars;
  for (size_t pos = 0; pos < text.size();) {
    size_t len = 1;
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c >= 0xF0) len = 4;
    else if (c >= 0xE0) len = 3;
    else if (c >= 0xC0) len = 2;
    len = std::min(len, text.size() - pos);
    chars.push_back(text.substr(pos, len));
    pos += len;
  }
  return chars;
}

}  // namespace

std::string FallbackIniName(const std::string& hostFolder) {
  const std::string name = ExtractFileName(RemovePathDelimiter(hostFolder));
  const std::vector<std::string> forbidden = Characters(kForbiddenNameChars);
  std::string out;
  int count = 0;
  for (const std::string& ch : Characters(name)) {
    if (count++ == 30) break;
    out += std::find(forbidden.begin(), forbidden.end(), ch) != forbidden.end() ? std::string("_") : ch;
  }
  return out;
}

TAccountsEx::TAccountsEx(std::string programFolder) : programFolder_(std::move(programFolder)) {}

bool TAccountsEx::Load(const std::string& hostFolder) {
  const std::string folder = AddPathDelimiter(hostFolder) + "EmailAccounts/";
  ForceFolders(folder);

  const std::string localMap = ResolveNameCase(folder + "local_accounts_qm.txt");
  const std::string sharedMap = ResolveNameCase(folder + "accounts_qm.txt");
  bool noMap = false;
  if (FileExistsEx(localMap)) {
    LoadStringsRetry(userMap_, localMap);
  } else if (FileExistsEx(sharedMap)) {
    LoadStringsRetry(userMap_, sharedMap);
  } else {
    noMap = true;
  }

  std::string bytes;
  LoadStreamRetry(bytes, ResolveNameCase(folder + "all_accounts_qm.txt"));
  accounts_.Read(bytes);
  accounts_.Sort();
  if (accounts_.Count() == 0) accounts_.Add(FallbackAccount(hostFolder));
  return noMap;
}

TACC TAccountsEx::FallbackAccount(const std::string& hostFolder) const {
  const std::string plugins =
      AddPathDelimiter(programFolder_.empty() ? GetExeFolder() : programFolder_) + "PLUGINS/";
  std::string iniName = ResolveNameCase(plugins + FallbackIniName(hostFolder) + ".INI");
  if (!FileExistsEx(iniName)) iniName = plugins + "SMTPVRK.INI";

  TFastIniFile ini(iniName);
  TACC a;
  a.popPort = ini.ReadString("pop", "port", "110");
  a.popUser = ini.ReadString("pop", "user", "");
  a.popServer = ini.ReadString("pop", "popserver", "");
  a.popPassword = ini.ReadString("pop", "pass", "");
  a.popUese = ini.ReadBool("pop", "uese", false);
  a.smtpServer = ini.ReadString("Last", "server", "");
  a.smtpUser = ini.ReadString("smtp", "user", "");
  a.smtpPort = ini.ReadString("smtp", "port", "25");
  a.smtpPassword = ini.ReadString("smtp", "pass", "");
  a.senderAddress = ini.ReadString("Last", "from", "");
  a.senderName = ini.ReadString("Last", "fromname", "");
  a.bcc = ini.ReadString("BCC", "adresses", "");
  a.flag10 = true;
  a.flag5 = false;
  a.flag20 = false;
  a.flag21 = false;
  a.kind = 0;
  a.accountId = "Standard";
  return a;
}

std::vector<AccountListItem> TAccountsEx::Fill(bool sort) const {
  std::vector<AccountListItem> items;
  for (const std::string& id : SplitIds(MapValue(userMap_, kAccountUser))) {
    if (const TACC* account = accounts_.Find(id)) items.push_back({account->ShownName(), *account});
  }
  if (items.empty()) {
    for (int n = 0; n < accounts_.Count(); ++n) {
      const TACC& account = accounts_.Get(n);
      if (account.kind == 0 || account.kind == 1) items.push_back({account.ShownName(), account});
    }
  }
  if (sort && items.size() > 1) {
    std::stable_sort(items.begin() + 1, items.end(), [](const AccountListItem& a, const AccountListItem& b) {
      return AnsiCompareText(Utf8ToAnsi(a.text), Utf8ToAnsi(b.text)) < 0;
    });
  }
  return items;
}

std::string TAccountsEx::HandOver(const std::string& id, bool raise) {
  std::string chosen = id;
  if (chosen.empty()) {
    const auto offered = Fill(false);
    if (!offered.empty()) chosen = offered.front().account.accountId;
  }
  if (chosen.empty()) return {};
  return accounts_.WriteHandOverFile(chosen, raise);
}

TAccountsEx& ProcessAccounts() {
  static TAccountsEx instance;
  return instance;
}

}  // namespace mrw::delivery
