// The kit's call-site hooking: objects that keep a few bytes of code and put
// them back, and (below) the chains of handlers that take over a host CALL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "injector/memory.hpp"

namespace injector {

// Reports a broken kit invariant through the C runtime's assertion report and
// ends the process; stays active in release builds, because a hook that keeps
// the wrong number of bytes would corrupt the host's code.
[[noreturn]] void assertion_failed(const char* expression, const char* file, unsigned line);
#define INJECTOR_CHECK(expression) \
  ((expression) ? (void)0 : ::injector::assertion_failed(#expression, "injector/hooking", __LINE__))

// Something that can undo a change it made.
class scoped_base {
 public:
  virtual ~scoped_base() = default;
  virtual void undo() = 0;
};

// Keeps a copy of up to `bufsize` bytes of memory and writes them back on
// undo() or when it is destroyed.
template <std::size_t bufsize>
class scoped_basic : public scoped_base {
 public:
  scoped_basic() = default;
  scoped_basic(const scoped_basic&) = delete;
  scoped_basic& operator=(const scoped_basic&) = delete;
  ~scoped_basic() override { scoped_basic::undo(); }

  void undo() override {
    if (kept) {
      write_raw(address, bytes, size, unprotect);
      kept = false;
    }
  }

  virtual void keep_bytes(std::uintptr_t at, std::size_t count, bool lift_protection) {
    INJECTOR_CHECK(count <= bufsize);
    undo();  // bytes kept earlier go back first
    unprotect = lift_protection;
    kept = true;
    address = at;
    size = static_cast<std::uint32_t>(count);
    read_raw(bytes, count, at, lift_protection);
  }

  bool is_kept() const { return kept; }

 protected:
  std::uint8_t bytes[bufsize] = {};
  std::uintptr_t address = 0;
  std::uint32_t size = 0;
  bool kept = false;
  bool unprotect = false;
};

// Keeps the 5 bytes of a call site and where the CALL that stood there led.
class scoped_call : public scoped_basic<5> {
 public:
  std::uintptr_t host_callee = 0;
};

}  // namespace injector
