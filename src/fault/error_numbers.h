// Mapping Windows exception codes to the helper's error numbers.
#pragma once

#include <stdint.h>

constexpr uint32_t k_languageExceptionCode = 0x0EEDFADE;
constexpr uint8_t k_errorLanguageException = 217;
constexpr uint8_t k_errorUnknownCode = 255;

// The error number for an exception code; 255 for every code not in the table.
uint8_t ErrorNumberForCode(uint32_t code);
