// The account list of a host database for send tests: "office" ("Büro",
// buero@firma.de) first in the file, "alpha" ("Alpha", alpha@firma.de) second, so that
// the account box (sorted) shows them the other way round.
#pragma once

#include <string>

#include "common/temp_dir.h"
#include "delivery/accounts.h"

namespace mrw::shell::test {

inline void WriteTwoAccounts(const std::string& host_folder) {
  delivery::TAccounts list;
  delivery::TACC office;
  office.accountId = "office";
  office.displayName = "Büro";
  office.senderAddress = "buero@firma.de";
  delivery::TACC alpha;
  alpha.accountId = "alpha";
  alpha.displayName = "Alpha";
  alpha.senderAddress = "alpha@firma.de";
  list.Add(office);
  list.Add(alpha);
  mrw::test::WriteFile(host_folder + "EmailAccounts/all_accounts_qm.txt", list.Write());
}

}  // namespace mrw::shell::test
