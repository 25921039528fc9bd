#include "tests/plugin_paths.hpp"

#include <windows.h>

namespace testing_paths {

std::string binary_dir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string beside_tests(const std::string& file) { return binary_dir() + file; }

}  // namespace testing_paths
