// Where the built plug-ins are: next to the test executables.
#pragma once

#include <string>

namespace testing_paths {

// The folder of this test executable, ending in a backslash.
std::string binary_dir();
// binary_dir() followed by the file name.
std::string beside_tests(const std::string& file);

}  // namespace testing_paths
