// Finding, reading and dismissing the message boxes of one process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a message box showed when it was found.
struct BoxReport {
  std::string caption;
  std::string text;     // the texts of its visible text controls, in child order
  std::string buttons;  // "OK:1" or "Yes:6,No:7": visible buttons as text:id, in child order
  bool icon;            // a visible icon control that holds an icon
  bool owned;           // the box has an owner window
};

// The boxes of a run so far, and the windows already handled.
struct BoxWatch {
  DWORD processId;      // the process whose boxes are answered; 0 for every process but this one
  std::string logPath;  // where "box-dismissed" is appended before each press; empty for none
  std::vector<HWND> handled;
  std::vector<BoxReport> reports;
};

// Reports and dismisses every new visible dialog-class top-level window of the process.
void ScanForBoxes(BoxWatch *watch);
