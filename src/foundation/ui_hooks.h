// Hooks through which the layers below the GUI reach the user interface: the busy
// cursor, letting pending window events run during long work, and the plain message of a
// fatal system error. Until a GUI installs its hooks the busy cursor and the event hook do
// nothing and the fatal message goes to stderr.
//
// The busy cursor nests: it shows from the first BusyCursorOn until the matching last
// BusyCursorOff (an unmatched Off does nothing). Hooks run on the calling thread.
#pragma once

#include <functional>
#include <string>

namespace mrw {

struct UiHooks {
  std::function<void(bool busy)> set_busy_cursor;
  std::function<void()> process_pending_events;
  std::function<void(const std::string& text)> show_fatal_message;
};

// Replaces all hooks (empty members fall back to the defaults above).
void InstallUiHooks(UiHooks hooks);

void BusyCursorOn();
void BusyCursorOff();
void ProcessPendingEvents();
void ShowFatalMessage(const std::string& text);

// BusyCursorOn for the lifetime of the guard.
class BusyCursor {
 public:
  BusyCursor() { BusyCursorOn(); }
  ~BusyCursor() { BusyCursorOff(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace mrw
