// What the export steps (transfer, package assembly) need from the main window. The
// wizard's controller implements it by forwarding to its view; tests and the command line
// implement it without a window. Every call happens on the caller's (the UI) thread.
// Texts are UTF-8; messages and questions are HTML as the message box shows them, where
// CR LF also stands for a line break.
// The busy cursor is not part of it: the steps use the foundation's BusyCursorOn/Off.
#pragma once

#include <optional>
#include <string>

namespace mrw {

class ExportUi {
 public:
  virtual ~ExportUi() = default;

  // The progress bar of the action panel.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressMax(int max) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void StepProgress() = 0;  // position + 1

  // Let pending window messages run (repaint, progress bar moves).
  virtual void ProcessPendingEvents() = 0;

  // The left panel (date range and type filter) and the panel holding the progress bar,
  // the account selector and the Save, Send and folder buttons.
  virtual void SetSelectionPanelEnabled(bool enabled) = 0;
  virtual void SetActionPanelEnabled(bool enabled) = 0;

  // Whether the order grid follows the order table's movements while the export walks it.
  virtual void SetGridFollowsTable(bool follows) = 0;

  // The HTML message box and the HTML yes/no question (true = yes).
  virtual void ShowMessage(const std::string& html) = 0;
  virtual bool AskQuestion(const std::string& html) = 0;

  // Runs the modal message editor. The plain text typed (lines separated by LF or CR LF)
  // when it was closed with "&Weiter"; nullopt when it was closed any other way.
  virtual std::optional<std::string> RunMessageEditor() = 0;

  // Closes the main window (the program ends when the window is gone).
  virtual void CloseMainWindow() = 0;
};

}  // namespace mrw
