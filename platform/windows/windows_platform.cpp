// Fills the platform table: each entry is bound to the Win32 function of its
// name, or to the layer's own function of that name (layer_functions.h),
// after the compile-time check of win32_binding.h.
#define WIN32_LEAN_AND_MEAN
#include "platform/windows/windows_platform.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "core/platform.h"
#include "core/platform_functions.h"
#include "platform/windows/layer_functions.h"
#include "platform/windows/win32_binding.h"

namespace windows_binding {

// The entries that the layer provides itself. Inside this namespace their
// names find these functions; every other name finds the Win32 function.
using windows_layer::DialogBoxParamA;
using windows_layer::FindWindowA;
using windows_layer::GetPrivateProfileStringA;
using windows_layer::LoadLibraryA;
using windows_layer::MessageBoxA;
using windows_layer::SetDlgItemTextA;
using windows_layer::SetWindowTextA;

void BindOperations() {
#define UPDATER_OPERATIONS_ENTRY(library, fragments, result, name, parameters, failure) \
  Bind(platform.name, &name);
  UPDATER_PLATFORM_FUNCTIONS(UPDATER_OPERATIONS_ONLY)
#undef UPDATER_OPERATIONS_ENTRY
}

}  // namespace windows_binding

void InstallWindowsPlatform() { windows_binding::BindOperations(); }
