// TAccounts: the list of account records, read from and written to the account format.
// The list owns its records; Get() hands out references that stay valid until the next
// Clear/Read/Add.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "delivery/account.h"

namespace mrw::delivery {

class TAccounts {
 public:
  void Clear() { accounts_.clear(); }
  int Count() const { return static_cast<int>(accounts_.size()); }
  TACC& Get(int index) { return accounts_.at(static_cast<size_t>(index)); }
  const TACC& Get(int index) const { return accounts_.at(static_cast<size_t>(index)); }
  void Add(TACC account) { accounts_.push_back(std::move(account)); }

  // The first account whose ID equals `id` without regard to letter case; nullptr if none.
  const TACC* Find(std::string_view id) const;
  int IndexOf(std::string_view id) const;

  // Clears the list, then reads every account of an account-format byte stream.
  void Read(std::string_view bytes);

  // By the shown name (display name, else account ID), comparing ANSI bytes.
  void Sort();

  // All accounts in list order in the account format; nothing for an empty list. Applies
  // the write rules to the records themselves first: the file name reduced to its last
  // path component (emptied when the leave-out flag is set), colour 0 made "no colour".
  std::string Write();

  // Writes the hand-over file for account `id`: that account first, the others in their
  // places, as a new file readable by the user only (mode 0600) in the temporary folder.
  // Returns its path, or "" when no account has that ID; with `raise` set, an unknown ID
  // throws mrw::Error "Account \"<id>\" not found" instead. File errors throw.
  std::string WriteHandOverFile(std::string_view id, bool raise);

 private:
  std::vector<TACC> accounts_;
};

// Hand-over files carry the passwords and stay behind for the mail service to read. This
// deletes those in `folder` ("" = the temporary folder) last written `age` or longer ago;
// for the clean-up when the program closes. Failures are ignored.
void DeleteStaleHandOverFiles(std::chrono::hours age, const std::string& folder = "");

// Creates `path` anew with mode 0600 and writes `bytes` into it. Throws FileCreateError
// ("Datei %s kann nicht erstellt werden") when the file exists already or cannot be made.
void WritePrivateFile(const std::string& path, std::string_view bytes);

}  // namespace mrw::delivery
