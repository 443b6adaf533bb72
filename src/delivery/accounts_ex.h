// TAccountsEx: the accounts of one host database as the user "Standardbenutzer" sees them.
//
// Files in <host database>/EmailAccounts/: "all_accounts_qm.txt" (the account list) and
// the user account map "local_accounts_qm.txt", else "accounts_qm.txt" (lines
// user=ID,ID,...; only the line of "Standardbenutzer" counts, names compared without
// regard to case). Without any account, a fallback account "Standard" is made from
// <program folder>/PLUGINS/<database folder name>.INI, else PLUGINS/SMTPVRK.INI.
//
// One instance lives for the whole process (ProcessAccounts()).
#pragma once

#include <string>
#include <vector>

#include "delivery/accounts.h"

namespace mrw::delivery {

inline constexpr const char* kAccountUser = "Standardbenutzer";

// An entry of an account list shown to the user: its text and a copy of its account.
struct AccountListItem {
  std::string text;
  TACC account;
};

class TAccountsEx {
 public:
  // `programFolder`: where PLUGINS/ lies ("" = the running program's folder).
  explicit TAccountsEx(std::string programFolder = "");

  // Reads the user account map and the accounts of the database in `hostFolder` (making
  // its EmailAccounts folder when missing). Returns true when neither map file exists.
  // File errors (after the file layer's retries) throw.
  bool Load(const std::string& hostFolder);

  // The accounts offered to "Standardbenutzer": those the map names, in its order, else
  // every account of kind 0 or 1 in list order. With `sort`, the items after the first are
  // sorted by their text without regard to case.
  std::vector<AccountListItem> Fill(bool sort) const;

  // Writes the hand-over file for `id` (the first offered account when `id` is empty) and
  // returns its path; "" when no account fits. With `raise`, an ID that matches no account
  // throws mrw::Error "Account \"<id>\" not found".
  std::string HandOver(const std::string& id, bool raise);

  TAccounts& Accounts() { return accounts_; }
  const TAccounts& Accounts() const { return accounts_; }
  const std::vector<std::string>& UserAccountMap() const { return userMap_; }

 private:
  TACC FallbackAccount(const std::string& hostFolder) const;

  std::string programFolder_;
  TAccounts accounts_;
  std::vector<std::string> userMap_;
};

// The name of the fallback INI file for a database folder (without "PLUGINS/" and
// ".INI"): the folder's last component, at most 30 characters, with every character of
// the host's forbidden set replaced by "_" ("Firma (1)" -> "Firma__1_").
std::string FallbackIniName(const std::string& hostFolder);

// The process-wide instance.
TAccountsEx& ProcessAccounts();

}  // namespace mrw::delivery
