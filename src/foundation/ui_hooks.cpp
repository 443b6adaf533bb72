#include "foundation/ui_hooks.h"

#include <cstdio>
#include <mutex>

namespace mrw {
namespace {

std::mutex& HookMutex() {
  static std::mutex mutex;
  return mutex;
}

UiHooks& Hooks() {
  static UiHooks hooks;
  return hooks;
}

int busy_depth = 0;  // guarded by HookMutex()

}  // namespace

void InstallUiHooks(UiHooks hooks) {
  std::lock_guard lock(HookMutex());
  Hooks() = std::move(hooks);
}

void BusyCursorOn() {
  std::function<void(bool)> hook;
  {
    std::lock_guard lock(HookMutex());
    if (busy_depth++ == 0) hook = Hooks().set_busy_cursor;
  }
  if (hook) hook(true);
}

void BusyCursorOff() {
  std::function<void(bool)> hook;
  {
    std::lock_guard lock(HookMutex());
    if (busy_depth == 0) return;
    if (--busy_depth == 0) hook = Hooks().set_busy_cursor;
  }
  if (hook) hook(false);
}

void ProcessPendingEvents() {
  std::function<void()> hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hooks().process_pending_events;
  }
  if (hook) hook();
}

void ShowFatalMessage(const std::string& text) {
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(HookMutex());
    hook = Hooks().show_fatal_message;
  }
  if (hook) {
    hook(text);
  } else {
    std::fprintf(stderr, "%s\n", text.c_str());
  }
}

}  // namespace mrw
