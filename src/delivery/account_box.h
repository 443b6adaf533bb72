// The account box of the main window (DCAC) as plain data: which accounts it offers, which
// one is chosen, where the choice is stored (key MRW.AccountUID of UserMode.INI in the
// settings folder) and the account callback that makes the hand-over file for a send.
#pragma once

#include <string>
#include <vector>

#include "delivery/accounts_ex.h"

namespace mrw::delivery {

inline constexpr const char* kAccountUidKey = "MRW.AccountUID";

struct AccountBox {
  std::vector<AccountListItem> items;
  int selected = -1;  // -1: nothing selected

  // The chosen account's ID; "" when nothing is selected.
  std::string SelectedId() const;
};

// Selects the first item whose account ID equals `uid` exactly (letter case counts), else
// the first item; nothing when the box is empty.
void SelectAccount(AccountBox& box, const std::string& uid);

// Loads the accounts of the host database into `accounts`, fills the box with those
// offered to the user (sorted) and selects the stored choice (read without write-back).
// File errors of loading throw.
AccountBox FillAccountBox(TAccountsEx& accounts, const std::string& hostFolder,
                          const std::string& settingsFolder);

// DCACIndexChange: stores the chosen account's ID ("" when none) quoted as MRW.AccountUID.
// Nothing is stored without a settings folder; a failing write is ignored.
void StoreAccountChoice(const AccountBox& box, const std::string& settingsFolder);

// The account callback: the hand-over file of the chosen account (the first account
// offered to the user when nothing is chosen), "" when no account fits. Never raises for
// an unknown ID.
std::string AccountHandOverFile(TAccountsEx& accounts, const AccountBox& box);

}  // namespace mrw::delivery
