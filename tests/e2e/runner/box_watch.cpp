#include "box_watch.h"

#include <algorithm>
#include <cstring>

static const char k_dialogClass[] = "#32770";
static const char k_dismissedLine[] = "box-dismissed\n";

// Text of a window as its control returns it on WM_GETTEXT.
static std::string WindowText(HWND window) {
  char buffer[1024] = {};
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof(buffer), reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  buffer[sizeof(buffer) - 1] = 0;
  return buffer;
}

// Window class name.
static std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// Appends one line to the shared log, the same way the test library does.
static void AppendToLog(const std::string &path, const char *line) {
  if (path.empty()) return;
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
}

// Reads one visible child control of a box into the report.
static void ReadControl(HWND control, BoxReport *report) {
  if (!IsWindowVisible(control)) return;
  std::string type = ClassOf(control);
  if (_stricmp(type.c_str(), "Button") == 0) {
    if (!report->buttons.empty()) report->buttons += ",";
    report->buttons += WindowText(control) + ":" + std::to_string(GetDlgCtrlID(control));
  } else if (_stricmp(type.c_str(), "Static") == 0) {
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if ((style & SS_TYPEMASK) == SS_ICON) {
      DWORD_PTR icon = 0;
      SendMessageTimeoutA(control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 5000, &icon);
      if (icon != 0) report->icon = true;
    } else {
      report->text += WindowText(control);
    }
  }
}

// Callback of EnumChildWindows: reads every child of the box.
static BOOL CALLBACK ReadChild(HWND child, LPARAM context) {
  ReadControl(child, reinterpret_cast<BoxReport *>(context));
  return TRUE;
}

// Reads caption, text, buttons, icon and owner of a box.
static BoxReport ReadBox(HWND box) {
  BoxReport report = {WindowText(box), "", "", false, GetWindow(box, GW_OWNER) != nullptr};
  EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&report));
  return report;
}

// Callback of EnumWindows: handles one new box of the watched process.
static BOOL CALLBACK ExamineTopLevel(HWND window, LPARAM context) {
  BoxWatch *watch = reinterpret_cast<BoxWatch *>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  bool watched = watch->processId != 0 ? owner == watch->processId : owner != GetCurrentProcessId();
  if (!watched || !IsWindowVisible(window)) return TRUE;
  if (ClassOf(window) != k_dialogClass) return TRUE;
  if (std::find(watch->handled.begin(), watch->handled.end(), window) != watch->handled.end()) return TRUE;
  watch->handled.push_back(window);
  watch->reports.push_back(ReadBox(window));
  // The log line comes first, so a line the library writes later is known to follow the press.
  AppendToLog(watch->logPath, k_dismissedLine);
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  return TRUE;
}

void ScanForBoxes(BoxWatch *watch) { EnumWindows(ExamineTopLevel, reinterpret_cast<LPARAM>(watch)); }
