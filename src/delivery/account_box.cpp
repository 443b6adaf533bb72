#include "delivery/account_box.h"

#include "foundation/user_mode.h"

namespace mrw::delivery {

std::string AccountBox::SelectedId() const {
  if (selected < 0 || selected >= static_cast<int>(items.size())) return {};
  return items[static_cast<size_t>(selected)].account.accountId;
}

void SelectAccount(AccountBox& box, const std::string& uid) {
  box.selected = -1;
  for (size_t n = 0; n < box.items.size(); ++n) {
    if (box.items[n].account.accountId == uid) {
      box.selected = static_cast<int>(n);
      return;
    }
  }
  if (!box.items.empty()) box.selected = 0;
}

AccountBox FillAccountBox(TAccountsEx& accounts, const std::string& hostFolder,
                          const std::string& settingsFolder) {
  accounts.Load(hostFolder);
  AccountBox box;
  box.items = accounts.Fill(true);
  SelectAccount(box, UserModeReadString(kAccountUidKey, "", settingsFolder, false));
  return box;
}

void StoreAccountChoice(const AccountBox& box, const std::string& settingsFolder) {
  if (settingsFolder.empty()) return;
  UserModeWriteString(kAccountUidKey, box.SelectedId(), settingsFolder);
}

std::string AccountHandOverFile(TAccountsEx& accounts, const AccountBox& box) {
  return accounts.HandOver(box.SelectedId(), false);
}

}  // namespace mrw::delivery
