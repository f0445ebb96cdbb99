// The desktop entries of layer_functions.h: code page 932 texts shown
// through the Unicode functions.
#include <string>

#include "platform/windows/layer_functions.h"

namespace {

constexpr UINT kCodePage932 = 932;
// The dialog class of the wizard (and of message boxes): MAKEINTATOM(0x8002).
constexpr ULONG_PTR kDialogClassAtom = 0x8002;

// `text` (code page 932, NUL-terminated) as UTF-16 in `wide`. False when it
// cannot be converted (code page 932 missing from the system); the caller
// then shows the bytes through the ANSI function as before.
bool Widen(LPCSTR text, std::wstring* wide) {
  const int length = MultiByteToWideChar(kCodePage932, 0, text, -1, nullptr, 0);
  if (length <= 0) return false;
  wide->resize(size_t(length));
  if (MultiByteToWideChar(kCodePage932, 0, text, -1, &(*wide)[0], length) != length) {
    return false;
  }
  wide->resize(size_t(length - 1));  // without the terminating NUL
  return true;
}

// A text argument as UTF-16: null stays null, and so does a resource id.
struct WideArgument {
  std::wstring text;
  LPCWSTR pointer = nullptr;
  bool ok = true;

  explicit WideArgument(LPCSTR source) {
    if (source == nullptr || IS_INTRESOURCE(source)) {
      pointer = reinterpret_cast<LPCWSTR>(source);
    } else if ((ok = Widen(source, &text))) {
      pointer = text.c_str();
    }
  }
};

}  // namespace

namespace windows_layer {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const WideArgument wideText(text), wideCaption(caption);
  if (!wideText.ok || !wideCaption.ok) return ::MessageBoxA(owner, text, caption, type);
  return MessageBoxW(owner, wideText.pointer, wideCaption.pointer, type);
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
  const WideArgument wide(text);
  if (!wide.ok) return ::SetWindowTextA(window, text);
  return SetWindowTextW(window, wide.pointer);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  const WideArgument wide(text);
  if (!wide.ok) return ::SetDlgItemTextA(dialog, id, text);
  return SetDlgItemTextW(dialog, id, wide.pointer);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC procedure, LPARAM parameter) {
  const WideArgument wide(templateName);
  if (!wide.ok) return ::DialogBoxParamA(instance, templateName, owner, procedure, parameter);
  return DialogBoxParamW(instance, wide.pointer, owner, procedure, parameter);
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR title) {
  if (!IS_INTRESOURCE(className) || reinterpret_cast<ULONG_PTR>(className) != kDialogClassAtom) {
    return ::FindWindowA(className, title);
  }
  const WideArgument wide(title);
  if (!wide.ok) return ::FindWindowA(className, title);
  return FindWindowW(reinterpret_cast<LPCWSTR>(className), wide.pointer);
}

}  // namespace windows_layer
