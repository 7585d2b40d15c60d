// Linked into the shipped stub only. The program uses no exceptions; these
// replacements keep libstdc++'s throwing helpers and operator new (and with
// them the unwinder and the demangler) out of the binary. Running out of
// memory or breaking a container bound ends the process at once.
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) std::abort();
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace std {
void __throw_bad_alloc() { abort(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_bad_function_call() { abort(); }
// A failed container bound check (_GLIBCXX_ASSERTIONS).
void __glibcxx_assert_fail(const char*, int, const char*, const char*) noexcept { abort(); }
}  // namespace std
