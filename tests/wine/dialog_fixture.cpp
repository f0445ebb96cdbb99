// A stand-in wizard for the driver's own test, so that the driver's wizard
// verbs are tried before the real wizard exists: the first Next (1)
// changes the info line (1001) to "二回目", the second opens an owned
// message box and, once it is answered, ends the dialog with 7. Cancel (2)
// ends it with 2. The dialog's result is the exit code.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

constexpr int kInfoLine = 1001;
constexpr INT_PTR kFinished = 7;

INT_PTR CALLBACK FixtureProc(HWND dialog, UINT message, WPARAM w, LPARAM) {
  static int nextPresses = 0;
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND || HIWORD(w) != BN_CLICKED) return FALSE;
  if (LOWORD(w) == IDCANCEL) {
    EndDialog(dialog, IDCANCEL);
  } else if (LOWORD(w) == IDOK && ++nextPresses == 1) {
    SetDlgItemTextA(dialog, kInfoLine, "\x93\xf1\x89\xf1\x96\xda");  // 二回目 in code page 932
  } else if (LOWORD(w) == IDOK) {
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    MessageBoxA(dialog, "\x8a\xae\x97\xb9", caption, MB_OK);  // 完了
    EndDialog(dialog, kFinished);
  }
  return TRUE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(100), nullptr, FixtureProc, 0));
}
