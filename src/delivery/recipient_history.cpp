#include "delivery/recipient_history.h"

#include <algorithm>

#include "delivery/account_format.h"
#include "foundation/codepage.h"
#include "foundation/fast_ini_file.h"
#include "foundation/file_io.h"
#include "foundation/paths.h"

namespace mrw::delivery {

RecipientDialogState OpenRecipientDialog(const std::string& settingsFolder) {
  RecipientDialogState state;
  state.settingsFolder = AddPathDelimiter(settingsFolder);
  LoadStringsRetry(state.history, ResolveNameCase(state.settingsFolder + kRecipientHistoryFile));
  if (!state.history.empty()) ChooseHistoryLine(state, 0);
  try {
    TFastIniFile ini(state.settingsFolder + kRecipientIniFile);
    state.address = ini.ReadString(kRecipientIniSection, kRecipientIniKey, "");
  } catch (const std::exception&) {
    // An unreadable settings file leaves the address box as it is.
  }
  return state;
}

void ChooseHistoryLine(RecipientDialogState& state, int index) {
  if (index < 0 || index >= static_cast<int>(state.history.size())) return;
  state.selected = index;
  state.address = state.history[static_cast<size_t>(index)];
}

bool RemoveSelectedHistoryLine(RecipientDialogState& state) {
  if (state.selected < 0 || state.selected >= static_cast<int>(state.history.size())) return false;
  state.history.erase(state.history.begin() + state.selected);
  state.selected = -1;  // as a list box leaves it after deleting a line
  return true;
}

bool AddressMayBeConfirmed(const std::string& address) { return address.find('@') != std::string::npos; }

void CloseRecipientDialog(RecipientDialogState& state) {
  const std::string trimmed = TrimBlanksAndControls(state.address);
  const bool known = std::any_of(state.history.begin(), state.history.end(),
                                 [&](const std::string& line) { return Utf8SameTextAnsi(line, trimmed); });
  if (!known) state.history.insert(state.history.begin(), trimmed);
  SaveStringsRetry(state.history, ResolveNameCase(state.settingsFolder + kRecipientHistoryFile));
  TFastIniFile ini(state.settingsFolder + kRecipientIniFile);
  ini.WriteString(kRecipientIniSection, kRecipientIniKey, state.address);
  ini.UpdateFile();
}

}  // namespace mrw::delivery
