// Memory patching primitives: every access to host code and data goes through
// these, inside a window that lifts the page protection for its duration.
// Addresses are absolute addresses of the running process, used as given.
//
// None of them faults on memory that cannot be reached: a read into memory
// that is not mapped (or not readable even after lifting the protection)
// leaves its destination as it was, and such a write is skipped.
#pragma once

#include <cstddef>
#include <cstdint>

namespace injector {

// Lifts the protection of a range to read-write-execute while it lives and
// puts the previous protection back when it ends, if lifting succeeded.
// With `unprotect` false or a size of 0 it touches nothing.
class unprotect_scope {
 public:
  unprotect_scope(std::uintptr_t address, std::size_t size, bool unprotect);
  ~unprotect_scope();
  unprotect_scope(const unprotect_scope&) = delete;
  unprotect_scope& operator=(const unprotect_scope&) = delete;

 private:
  std::uintptr_t address_;
  std::size_t size_;
  std::uint32_t previous_ = 0;
  bool changed_ = false;
};

void read_raw(void* buffer, std::size_t size, std::uintptr_t address, bool unprotect);
void write_raw(std::uintptr_t address, const void* source, std::size_t size, bool unprotect);

// Single values (one byte or one 32-bit word) always lift the protection.
template <class T>
T read_value(std::uintptr_t address, T fallback = T{}) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 4);
  T value = fallback;
  read_raw(&value, sizeof value, address, true);
  return value;
}
template <class T>
void write_value(std::uintptr_t address, T value) {
  static_assert(sizeof(T) == 1 || sizeof(T) == 4);
  write_raw(address, &value, sizeof value, true);
}

// Where the branch instruction at `address` leads: relative CALL or JMP
// (E8/E9 rel32) or CALL/JMP through a pointer (FF 15/FF 25 abs32). 0 for
// anything else.
std::uintptr_t branch_destination(std::uintptr_t address);

// Write a 5-byte relative CALL (or JMP) to `target` at `address`; returns
// where the instruction that stood there led, or 0.
std::uintptr_t plant_call(std::uintptr_t address, std::uintptr_t target);
std::uintptr_t plant_jump(std::uintptr_t address, std::uintptr_t target);

template <class F>
std::uintptr_t code_address(F* function) {
  return reinterpret_cast<std::uintptr_t>(function);
}

}  // namespace injector
