// Text operations of code page 932 on POSIX: the host's (host/), in the
// shapes of the Win32 functions.
#include <cstdio>

#include "host/codepage.h"
#include "host/cp932_text.h"
#include "platform/posix/posix_functions.h"

char* WINAPI_CC PosixCharNextA(const char* text) { return const_cast<char*>(NextCp932Char(text)); }

win::Bool WINAPI_CC PosixIsDBCSLeadByte(uint8_t byte) { return IsCp932LeadByte(byte) ? 1 : 0; }

int WINAPI_CC PosixlstrcmpiA(const char* a, const char* b) {
  return CompareCp932IgnoringCase(a, b);
}

int WINAPI_CC PosixwvsprintfA(char* out, const char* format, va_list arguments) {
  // wvsprintfA writes at most 1024 bytes with the terminator.
  int length = vsnprintf(out, 1024, format, arguments);
  if (length < 0) {
    out[0] = '\0';
    return 0;
  }
  return length > 1023 ? 1023 : length;
}
