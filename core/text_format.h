// Formatting and number conversion with the platform's rules.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Formats by the platform's wvsprintfA rules into `out` of `size` bytes; a
// longer result is cut to size - 1 bytes. Returns the length written.
int FormatText(char* out, size_t size, const char* format, ...);
int FormatTextV(char* out, size_t size, const char* format, va_list arguments);

// Copies `text` into `out` of `size` bytes, cut to size - 1 bytes.
void CopyText(char* out, size_t size, const char* text);

// Decimal conversion as atoi: leading blanks, an optional sign, then digits up
// to the first other character; no digits gives 0. 32-bit wraparound.
int32_t ParseDecimal(const char* text);

// The same conversion into an unsigned 64-bit value, a minus sign negating it
// in two's complement.
uint64_t ParseDecimal64(const char* text);
