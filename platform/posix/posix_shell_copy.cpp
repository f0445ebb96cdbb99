// The shell's copy operation of the POSIX build. Copying is not available in
// this build: every copy reports failure.
#include "platform/posix/posix_functions.h"

int WINAPI_CC PosixSHFileOperationA(win::ShFileOp* operation) {
  if (operation != nullptr) operation->fAnyOperationsAborted = 0;
  return 1;
}
