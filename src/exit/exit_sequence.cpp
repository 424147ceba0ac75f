#include "exit/exit_sequence.h"

#include "exit/modules.h"
#include "platform/api.h"
#include "platform/frames.h"

int32_t g_exitStatus = 0;
uintptr_t g_faultAddress = 0;
char g_messageBuffer[k_messageLength + 1];

static const char k_messageTemplate[k_messageLength + 1] = "Runtime error     at 00000000";
static const char k_messageCaption[] = "Error";
static const char k_hexDigits[] = "0123456789ABCDEF";
constexpr int k_lastNumberDigit = 16;
constexpr int k_lastAddressDigit = 28;
constexpr int k_addressDigits = 8;

void EndProcess() {
  if (g_faultAddress != 0) {
    BuildErrorMessage();
    if (ReportCanBeAnswered()) ShowErrorMessage();
    g_faultAddress = 0;
  }
  RunShutdownSteps();
  WithdrawTopLevelFrame();
  ExitProcess(static_cast<unsigned>(g_exitStatus));
}

void FailWithError(uint8_t errorNumber, uintptr_t faultAddress) {
  g_faultAddress = faultAddress;
  g_exitStatus = errorNumber;  // widened without sign: 216 stays 216
  EndProcess();
}

void BuildErrorMessage() {
  // Every report starts from a fresh copy, so no digit of an earlier report survives.
  for (unsigned i = 0; i <= k_messageLength; ++i) g_messageBuffer[i] = k_messageTemplate[i];

  uint32_t number = static_cast<uint32_t>(g_exitStatus);
  int position = k_lastNumberDigit;
  do {
    g_messageBuffer[position--] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0 && position >= 0);

  // The address field holds the low 32 bits, always as eight digits.
  uint32_t address = static_cast<uint32_t>(g_faultAddress);
  for (int digit = 0; digit < k_addressDigits; ++digit) {
    g_messageBuffer[k_lastAddressDigit - digit] = k_hexDigits[address & 0xF];
    address >>= 4;
  }
}

bool ReportCanBeAnswered() {
  USEROBJECTFLAGS flags;
  DWORD needed;
  // A failed question (no station handle included) leaves the box in place.
  if (!GetUserObjectInformationA(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, &needed)) return true;
  return (flags.dwFlags & WSF_VISIBLE) != 0;
}

void ShowErrorMessage() { MessageBoxA(nullptr, g_messageBuffer, k_messageCaption, 0 /* MB_OK */); }
