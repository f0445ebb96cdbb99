// An allocator whose vectors leave new elements of trivial types
// uninitialised (resize does not zero them). For a large table that another
// thread fills: the memory is first touched by whoever writes it, rather
// than by a pass over all of it on the thread that sizes the vector.
#pragma once

#include <memory>
#include <new>
#include <utility>

template <typename T>
struct UninitializedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UninitializedAllocator<U>;
  };
  // Default-initialisation: no value for trivial types.
  template <typename U>
  void construct(U* p) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
