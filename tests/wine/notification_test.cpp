// The shell is told that associations changed, with the event it listens for.
// Wine delivers shell notifications only within the process that sends them,
// so this test registers a window for them and calls the platform layer
// itself; that the launcher calls it, and how often, the host tests count.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"

namespace {

constexpr UINT kShellMessage = WM_APP + 1;
std::vector<LPARAM> events;

LRESULT CALLBACK RecordShellEvents(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kShellMessage) events.push_back(lparam);
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(AssociationNotification, TheShellHearsThatAssociationsChanged) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = RecordShellEvents;
  window_class.lpszClassName = "ZandrellShellEvents";
  ASSERT_NE(RegisterClassA(&window_class), 0);
  HWND window = CreateWindowExA(0, window_class.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  SHChangeNotifyEntry everywhere = {nullptr, TRUE};
  ULONG registration = SHChangeNotifyRegister(window, SHCNRF_ShellLevel, SHCNE_ASSOCCHANGED,
                                              kShellMessage, 1, &everywhere);
  ASSERT_NE(registration, 0u);

  NotifyAssociationsChanged();
  EXPECT_EQ(events, std::vector<LPARAM>{SHCNE_ASSOCCHANGED});

  SHChangeNotifyDeregister(registration);
  DestroyWindow(window);
}

}  // namespace
