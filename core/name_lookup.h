// Looking up platform functions by names that are never kept as whole
// texts: each name is composed from its fragments (core/platform_functions.h)
// with the platform's formatting when it is needed.
#pragma once

#include <cstddef>

#include "core/system_functions.h"
#include "core/text_format.h"

// Composes a name with the platform's formatting: one "%s" a fragment.
template <typename... Fragments>
void ComposeName(char* out, size_t size, Fragments... fragments) {
  char format[2 * sizeof...(Fragments) + 1] = {};
  for (size_t i = 0; i < sizeof...(Fragments); ++i) {
    format[2 * i] = '%';
    format[2 * i + 1] = 's';
  }
  FormatText(out, size, format, fragments...);
}

// Composes a name from `fragments` into `buffer` and sets `entry` to what
// `module` holds under it; nothing when the module is missing. False when
// nothing was found.
template <size_t N, typename Function, typename... Fragments>
bool LookUp(const ModuleLoader& loader, win::Hmodule module, char (&buffer)[N], Function*& entry,
            Fragments... fragments) {
  ComposeName(buffer, N, fragments...);
  void* address = module != nullptr ? loader.GetProcAddress(module, buffer) : nullptr;
  entry = reinterpret_cast<Function*>(address);
  return address != nullptr;
}
