// A va_list that helpers can consume in turn: va_list is an array type on some ABIs, so it is
// passed around inside a struct by reference.
#pragma once

#include <stdarg.h>

namespace bsp::boundc {

struct ArgList {
  va_list ap;
  // Filled by the caller's va_start: a variadic entry point starts its list in place, which
  // also spares a copy read back right after va_start's stores.
  ArgList() = default;
  explicit ArgList(va_list from) { va_copy(ap, from); }
  ~ArgList() { va_end(ap); }
  ArgList(const ArgList &) = delete;
  ArgList &operator=(const ArgList &) = delete;

  template <typename T>
  T next() {
    return va_arg(ap, T);
  }
};

}  // namespace bsp::boundc
