#include "injector/hooking.hpp"

#include <cassert>
#include <cstdlib>

namespace injector {

void assertion_failed(const char* expression, const char* file, unsigned line) {
  _assert(expression, file, line);
  std::abort();
}

}  // namespace injector
