// Start-up failures under Wine: when COM, the window class or the main
// window cannot be made, the player is told what failed and the program
// ends with status 1.
#include <objbase.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ui/main_window.h"

namespace {

std::string shown;
int shownCount = 0;
void RecordStartupError(const char* text) {
  shown = text;
  ++shownCount;
}

// Cancels the creation of the main window, as a failing CreateWindowExA would.
LRESULT CALLBACK RefuseMainWindow(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const char* name = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs->lpszClass;
    if (!IS_INTRESOURCE(name) && std::strcmp(name, MAIN_CLASS_NAME) == 0) return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(Startup, EachFailureIsShownAndEndsWithStatusOne) {
  showStartupError = RecordStartupError;
  HINSTANCE inst = GetModuleHandleA(nullptr);

  // COM: the thread is already in the other apartment kind.
  ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  EXPECT_EQ(1, RunBlockTide(inst, SW_SHOW));
  EXPECT_NE(std::string::npos, shown.find("cannot start: COM could not be initialised")) << shown;
  CoUninitialize();

  // The class name is already taken, with another procedure.
  WNDCLASSA other = {};
  other.lpfnWndProc = DefWindowProcA;
  other.hInstance = inst;
  other.lpszClassName = MAIN_CLASS_NAME;
  ASSERT_NE(0, RegisterClassA(&other));
  EXPECT_EQ(1, RunBlockTide(inst, SW_SHOW));
  EXPECT_NE(std::string::npos, shown.find("the window class could not be registered (code 0x00000582)")) << shown;
  UnregisterClassA(MAIN_CLASS_NAME, inst);

  HHOOK hook = SetWindowsHookExA(WH_CBT, RefuseMainWindow, nullptr, GetCurrentThreadId());
  EXPECT_EQ(1, RunBlockTide(inst, SW_SHOW));
  UnhookWindowsHookEx(hook);
  EXPECT_NE(std::string::npos, shown.find("the main window could not be created")) << shown;
  EXPECT_EQ(3, shownCount);
  EXPECT_EQ(nullptr, FindWindowA(MAIN_CLASS_NAME, nullptr));
}

}  // namespace
