// The rules of the recipient dialog without its window: the address history
// ("LASTOPEXPORT.TXT", one address per line, newest additions first) and the last address
// ("LAST" of section "LMAIL" in "MARROWBY.INI"), both in the host database's settings
// folder. The window (and `mrw export --send`) drive these functions.
#pragma once

#include <string>
#include <vector>

namespace mrw::delivery {

inline constexpr const char* kRecipientHistoryFile = "LASTOPEXPORT.TXT";
inline constexpr const char* kRecipientIniFile = "MARROWBY.INI";
inline constexpr const char* kRecipientIniSection = "LMAIL";
inline constexpr const char* kRecipientIniKey = "LAST";
inline constexpr const char* kRecipientDialogCaption = "Emailadresse eingeben:";
inline constexpr const char* kNoAddressMessage = "<B>Geben Sie Bitte eine Emailadresse ein.";
inline constexpr const char* kDeleteEntryQuestion = "Eintrag löschen?";

struct RecipientDialogState {
  std::string settingsFolder;        // with "/"
  std::vector<std::string> history;  // the list box's lines
  int selected = -1;                 // the selected line, -1 for none
  std::string address;               // the address box's text, untrimmed
};

// On show: the history from its file (empty when missing), the first line selected and
// copied into the address box, then the address box set to "LAST" (also when that is
// empty; a failure to read it is ignored). History read errors throw.
RecipientDialogState OpenRecipientDialog(const std::string& settingsFolder);

// A click on line `index`: selects it and copies it into the address box.
void ChooseHistoryLine(RecipientDialogState& state, int index);

// "Eintrag entfernen" after the user said yes: removes the selected line from the list
// (the file changes when the dialog closes). False when no line is selected.
bool RemoveSelectedHistoryLine(RecipientDialogState& state);

// The "Senden" button goes on only for an address containing "@" (Enter skips this check).
bool AddressMayBeConfirmed(const std::string& address);

// On close (OK and Cancel alike): the trimmed address becomes the history's first line
// unless a line equals it without regard to case; the history is saved; the untrimmed
// address is stored as "LAST". Errors of saving throw after the file layer's retries.
void CloseRecipientDialog(RecipientDialogState& state);

}  // namespace mrw::delivery
