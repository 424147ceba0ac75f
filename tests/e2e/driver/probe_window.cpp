#include "probe_window.h"

static const char k_probeClass[] = "IEFrame";

HWND CreateProbeWindow() {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = k_probeClass;
  if (!RegisterClassA(&windowClass)) return nullptr;
  // Hidden is enough: FindWindowA in another process sees hidden top-level windows too.
  return CreateWindowExA(0, k_probeClass, "e2e probe window", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}
