// A view without a window, for `mrw export`: messages go to a stream as plain text (tags
// removed, <BR> as a line break), the question about a sender's message is answered from
// a preset text (yes with that text, no without one), the folder browser is cancelled,
// the recipient dialog is answered from a preset address as a user confirms it with the
// button (cancelled without one), and the status panels and the account box are kept for
// whoever asks. Nothing waits: pauses return at once.
#pragma once

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "shell/view.h"

namespace mrw::shell {

// The text of an HTML message as plain text: <BR> (any case) becomes a line break, every
// other tag is dropped, CR LF becomes LF, and &amp; &lt; &gt; &quot; &nbsp; are decoded.
std::string HtmlToPlainText(const std::string& html);

class TextView final : public View {
 public:
  TextView(std::ostream& messages, std::optional<std::string> sender_message)
      : messages_(messages), sender_message_(std::move(sender_message)) {}

  // The address the recipient dialog confirms; nullopt cancels it.
  void SetRecipient(std::optional<std::string> address) { recipient_ = std::move(address); }

  const std::string& StatusText(int panel) const { return status_[panel == 1 ? 1 : 0]; }
  const std::vector<std::string>& AccountItems() const { return account_items_; }
  bool Closed() const { return closed_; }
  int MessagesShown() const { return messages_shown_; }

  void SetCaption(const std::string&) override {}
  void SetStatusText(int panel, const std::string& text) override { status_[panel == 1 ? 1 : 0] = text; }
  void SetEnabled(Control, bool) override {}
  void SetVisible(Control, bool) override {}
  void SetRangeButtonDown(RangeButton) override {}
  void SetDateEdits(DateTime, DateTime) override {}
  void OrdersChanged() override {}
  void MarksCleared() override {}
  void SetProgressVisible(bool) override {}
  void SetProgressMax(int) override {}
  void SetProgressPosition(int) override {}
  void StepProgress() override {}
  void SetSelectionPanelEnabled(bool) override {}
  void SetActionPanelEnabled(bool) override {}
  void SetGridFollowsTable(bool) override {}
  void SetBusyCursor(bool) override {}
  void ProcessPendingEvents() override {}
  void ProcessEventsFor(std::chrono::milliseconds) override {}
  void ShowMessage(const std::string& html) override;
  bool AskQuestion(const std::string& html) override;
  std::optional<std::string> RunMessageEditor() override { return sender_message_; }
  std::string ChooseFolder(const std::string&, const std::string&) override { return ""; }
  void PlayNotificationSound() override {}
  void SetAccountItems(const std::vector<std::string>& texts) override { account_items_ = texts; }
  void SetAccountIndex(int index) override { account_index_ = index; }
  int AccountIndex() const override { return account_index_; }
  bool RunRecipientDialog(delivery::RecipientDialogState& state) override;
  void PostStartMessage() override {}
  void Close() override { closed_ = true; }

 private:
  std::ostream& messages_;
  std::optional<std::string> sender_message_;
  std::optional<std::string> recipient_;
  std::array<std::string, 2> status_;
  std::vector<std::string> account_items_;
  int account_index_ = -1;
  bool closed_ = false;
  int messages_shown_ = 0;
};

}  // namespace mrw::shell
