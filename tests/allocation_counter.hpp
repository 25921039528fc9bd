// Counts the program's heap allocations: the global allocation functions are
// replaced in allocation_counter.cpp.
#pragma once

#include <cstddef>

namespace testing_alloc {
std::size_t allocations();
}
