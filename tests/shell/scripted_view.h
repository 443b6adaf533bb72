// A view for controller tests: records what the controller shows and answers questions,
// the message editor and the folder browser from a script.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shell/view.h"

namespace mrw::shell::test {

class ScriptedView : public View {
 public:
  // Script
  std::deque<bool> answers;                       // AskQuestion; no when empty
  std::optional<std::string> editor_text;         // RunMessageEditor
  std::deque<std::string> chosen_folders;         // ChooseFolder; "" (cancel) when empty
  // RunRecipientDialog: acts on the dialog as the user would; cancel when unset.
  std::function<bool(delivery::RecipientDialogState&)> recipient_dialog;

  // Record
  std::string caption;
  std::string status[2];
  std::map<Control, bool> enabled;
  std::map<Control, bool> visible;
  RangeButton range_down = RangeButton::None;
  DateTime edit_begin = 0, edit_end = 0;
  int orders_changed = 0;
  int marks_cleared = 0;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<std::pair<std::string, std::string>> folder_requests;  // initial, title
  int sounds = 0;
  std::vector<std::chrono::milliseconds> pauses;
  int posted_starts = 0;
  bool closed = false;
  int busy_changes = 0;
  bool progress_visible = false;
  std::vector<std::string> account_items;
  int account_index = -1;
  std::vector<delivery::RecipientDialogState> dialogs_shown;  // each as it opened

  bool Enabled(Control c) const {
    auto it = enabled.find(c);
    return it == enabled.end() || it->second;
  }
  bool Visible(Control c) const {
    auto it = visible.find(c);
    return it == visible.end() || it->second;
  }

  void SetCaption(const std::string& text) override { caption = text; }
  void SetStatusText(int panel, const std::string& text) override { status[panel == 1 ? 1 : 0] = text; }
  void SetEnabled(Control c, bool on) override { enabled[c] = on; }
  void SetVisible(Control c, bool on) override { visible[c] = on; }
  void SetRangeButtonDown(RangeButton b) override { range_down = b; }
  void SetDateEdits(DateTime b, DateTime e) override {
    edit_begin = b;
    edit_end = e;
  }
  void OrdersChanged() override { ++orders_changed; }
  void MarksCleared() override { ++marks_cleared; }
  void SetProgressVisible(bool v) override { progress_visible = v; }
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void StepProgress() override {}
  void SetSelectionPanelEnabled(bool) override {}
  void SetActionPanelEnabled(bool) override {}
  void SetGridFollowsTable(bool) override {}
  void SetBusyCursor(bool) override { ++busy_changes; }
  void ProcessPendingEvents() override {}
  void ProcessEventsFor(std::chrono::milliseconds d) override { pauses.push_back(d); }
  void ShowMessage(const std::string& html) override { messages.push_back(html); }
  bool AskQuestion(const std::string& html) override {
    questions.push_back(html);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<std::string> RunMessageEditor() override { return editor_text; }
  std::string ChooseFolder(const std::string& initial, const std::string& title) override {
    folder_requests.emplace_back(initial, title);
    if (chosen_folders.empty()) return "";
    std::string f = chosen_folders.front();
    chosen_folders.pop_front();
    return f;
  }
  void PlayNotificationSound() override { ++sounds; }
  void SetAccountItems(const std::vector<std::string>& texts) override { account_items = texts; }
  void SetAccountIndex(int index) override { account_index = index; }
  int AccountIndex() const override { return account_index; }
  bool RunRecipientDialog(delivery::RecipientDialogState& state) override {
    dialogs_shown.push_back(state);
    return recipient_dialog ? recipient_dialog(state) : false;
  }
  void PostStartMessage() override { ++posted_starts; }
  void Close() override { closed = true; }
};

}  // namespace mrw::shell::test
