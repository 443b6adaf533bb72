// The wizard's window as the controller sees it. The controller owns all state and runs
// the handlers; the view only shows what it is told and answers the questions it is asked.
// The Qt window implements it, so do the tests' scripted views and `mrw export` (answers
// from its options, messages on stderr). Every call happens on the UI thread.
// Texts are UTF-8; messages and questions are HTML as the message box shows them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "delivery/recipient_history.h"
#include "foundation/dates.h"
#include "selection/date_range.h"

namespace mrw::shell {

using selection::RangeButton;

// Controls the controller enables, disables, shows or hides.
enum class Control {
  Save,          // fbsave "Speichern"
  Send,          // fbsend "Senden"
  FolderButton,  // FlatButton1 "Verzeichnis Ausgabedatei"
  AccountLabel,  // Label6 "Account:"
  AccountBox,    // DCAC
  Next,          // FlatButton_next "&Weiter"
  Cancel,        // FlatButton_cancel "&Abbrechen"
};

class View {
 public:
  virtual ~View() = default;

  virtual void SetCaption(const std::string& caption) = 0;
  // Status bar: panel 0 (range and mode, black), panel 1 (warnings, red).
  virtual void SetStatusText(int panel, const std::string& text) = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  virtual void SetVisible(Control control, bool visible) = 0;

  // Presses one range button (the others are released); None releases all three.
  virtual void SetRangeButtonDown(RangeButton button) = 0;
  // Writes the two date edits. The controller guards these writes: change events the view
  // raises for them are ignored.
  virtual void SetDateEdits(DateTime begin, DateTime end) = 0;

  // The order table's view changed (filter, sort order): the grid shows it anew.
  virtual void OrdersChanged() = 0;
  // The grid's marks were all removed.
  virtual void MarksCleared() = 0;

  // Progress bar of the action panel.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void StepProgress() = 0;

  // The left panel (range and type filter) and the action panel (progress bar, account
  // box, Save, Send, folder button).
  virtual void SetSelectionPanelEnabled(bool enabled) = 0;
  virtual void SetActionPanelEnabled(bool enabled) = 0;
  virtual void SetGridFollowsTable(bool follows) = 0;

  virtual void SetBusyCursor(bool busy) = 0;
  // Lets pending window messages run once; ProcessEventsFor keeps doing so for `duration`
  // (the window stays responsive meanwhile).
  virtual void ProcessPendingEvents() = 0;
  virtual void ProcessEventsFor(std::chrono::milliseconds duration) = 0;

  // HTML message box and yes/no question (true = yes).
  virtual void ShowMessage(const std::string& html) = 0;
  virtual bool AskQuestion(const std::string& html) = 0;
  // The modal message editor: the plain text when closed with "&Weiter", else nullopt.
  virtual std::optional<std::string> RunMessageEditor() = 0;
  // The folder browser: the chosen folder (no trailing "/"), "" when cancelled.
  virtual std::string ChooseFolder(const std::string& initial, const std::string& title) = 0;
  // Starts the notification sound and returns at once; silent when it cannot play.
  virtual void PlayNotificationSound() = 0;

  // The account box (DCAC): its items' texts in order, and the selected item (-1: none).
  // Setting the items or the index raises no change event; the view reports a choice of
  // the user through the controller's DCACIndexChange.
  virtual void SetAccountItems(const std::vector<std::string>& texts) = 0;
  virtual void SetAccountIndex(int index) = 0;
  virtual int AccountIndex() const = 0;

  // The modal recipient dialog, opened on `state` (history and address box as the dialog
  // shows them first). The view lets the user edit the address, pick and remove history
  // lines (ChooseHistoryLine, RemoveSelectedHistoryLine after asking kDeleteEntryQuestion)
  // and confirm with the button only when AddressMayBeConfirmed (else it shows
  // kNoAddressMessage and stays open) or with Enter unchecked. True for OK, false for
  // Cancel; `state` holds what the dialog holds when it closes. The controller saves the
  // history afterwards.
  virtual bool RunRecipientDialog(delivery::RecipientDialogState& state) = 0;

  // Posts the start message: the controller's WMStartup runs later from the event loop.
  virtual void PostStartMessage() = 0;
  // Closes the window (posted; the program ends when it is gone).
  virtual void Close() = 0;
};

}  // namespace mrw::shell
