// Binding the platform tables to the real Win32 functions.
//
// The tables spell the Win32 types portably (uint32_t for DWORD, void* for
// handles), so a function's address is converted to the entry's type. The
// conversion is checked at compile time: the calling convention (__stdcall
// on i686) must be the same, and so must the number of arguments and the
// size and kind (pointer or not) of each argument and of the result. An
// entry that differs from its function does not compile.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "core/win_types.h"

namespace win32_binding {

// Only functions of the Win32 calling convention have a signature here.
template <typename Function>
struct Signature;
template <typename Result, typename... Arguments>
struct Signature<Result(WINAPI_CC*)(Arguments...)> {
  using ResultType = Result;
  static constexpr size_t kArgumentCount = sizeof...(Arguments);
  template <size_t I>
  using Argument = std::tuple_element_t<I, std::tuple<Arguments...>>;
};

template <typename A, typename B>
constexpr bool SameShape() {
  if constexpr (std::is_void_v<A> || std::is_void_v<B>) {
    return std::is_void_v<A> == std::is_void_v<B>;
  } else {
    return sizeof(A) == sizeof(B) && std::is_pointer_v<A> == std::is_pointer_v<B> &&
           std::is_floating_point_v<A> == std::is_floating_point_v<B>;
  }
}

template <typename Entry, typename Function, size_t... I>
constexpr bool SameArguments(std::index_sequence<I...>) {
  return (SameShape<typename Signature<Entry>::template Argument<I>,
                    typename Signature<Function>::template Argument<I>>() &&
          ...);
}

template <typename Entry, typename Function>
constexpr bool Compatible() {
  using E = Signature<Entry>;
  using F = Signature<Function>;
  if constexpr (E::kArgumentCount != F::kArgumentCount) {
    return false;
  } else {
    return SameShape<typename E::ResultType, typename F::ResultType>() &&
           SameArguments<Entry, Function>(std::make_index_sequence<E::kArgumentCount>());
  }
}

}  // namespace win32_binding

// Sets `entry` to `function` after the compile-time check above.
template <typename Entry, typename Function>
void Bind(Entry& entry, Function* function) {
  static_assert(win32_binding::Compatible<Entry, Function*>(),
                "table entry and Win32 function differ in arguments or result");
  entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(function));
}
