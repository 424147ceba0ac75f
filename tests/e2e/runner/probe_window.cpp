#include "probe_window.h"

#include <cstring>

static const char k_probeClass[] = "IEFrame";
const char k_probeWindowTitle[] = "comreg32 conformance probe window";

HWND CreateProbeWindow() {
  static bool registered = false;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  if (!registered) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = k_probeClass;
    if (!RegisterClassA(&windowClass)) return nullptr;
    registered = true;
  }
  // Hidden is enough: FindWindowA in another process sees hidden top-level windows too.
  return CreateWindowExA(0, k_probeClass, k_probeWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         instance, nullptr);
}

// Callback of EnumWindows: stops at an IEFrame window with another title than ours.
static BOOL CALLBACK StopAtForeignWindow(HWND window, LPARAM found) {
  char name[64] = {}, title[128] = {};
  GetClassNameA(window, name, sizeof name);
  GetWindowTextA(window, title, sizeof title);
  if (std::strcmp(name, k_probeClass) != 0 || std::strcmp(title, k_probeWindowTitle) == 0) return TRUE;
  *reinterpret_cast<bool *>(found) = true;
  return FALSE;
}

bool ForeignProbeWindowOpen() {
  bool found = false;
  EnumWindows(StopAtForeignWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}
