#include "fault/error_numbers.h"

// Packed: the table sits in the shipped exe, where every byte shows.
struct __attribute__((packed)) CodeMapping {
  uint32_t code;
  uint8_t errorNumber;
};

static const CodeMapping k_codeTable[] = {
    {0xC0000005, 216},  // access violation
    {0xC000008C, 201},  // array bounds exceeded
    {0xC000008D, 206},  // x87 denormal operand
    {0xC000008E, 200},  // x87 division by zero
    {0xC000008F, 207},  // x87 inexact result
    {0xC0000090, 207},  // x87 invalid operation
    {0xC0000091, 205},  // x87 overflow
    {0xC0000092, 207},  // x87 stack check
    {0xC0000093, 206},  // x87 underflow
    {0xC0000094, 200},  // integer division by zero
    {0xC0000095, 215},  // integer overflow
    {0xC0000096, 218},  // privileged instruction
    {0xC00000FD, 202},  // stack overflow
    {0xC000013A, 217},  // console control-C exit
};

uint8_t ErrorNumberForCode(uint32_t code) {
  for (const CodeMapping &row : k_codeTable) {
    if (row.code == code) return row.errorNumber;
  }
  return k_errorUnknownCode;
}
