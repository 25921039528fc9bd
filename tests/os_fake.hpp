// Replaces the kit's operating-system table for one test: records every call
// and makes chosen calls fail; the real calls run otherwise. Puts the previous
// table back when it goes.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "injector/os.hpp"

namespace testing_os {

struct ProtectCall {
  std::uintptr_t address;
  std::size_t size;
  std::uint32_t protection;
  bool operator==(const ProtectCall&) const = default;
};

struct MessageBoxCall {
  void* owner;
  std::string text;
  std::string caption;
  unsigned type;
};

enum class ProtectFailure {
  none,     // every call runs for real
  all,      // every VirtualProtect fails
  opening,  // only calls that lift the protection fail
};

class OsFake {
 public:
  OsFake();
  ~OsFake();
  OsFake(const OsFake&) = delete;
  OsFake& operator=(const OsFake&) = delete;

  ProtectFailure protect_failure = ProtectFailure::none;
  std::vector<ProtectCall> protect_calls;
  int protect_count() const { return static_cast<int>(protect_calls.size()); }

  bool fail_module_from_address = false;
  std::vector<bool> module_from_address_pins;  // one entry per call: its pin flag
  std::vector<std::string> module_handle_names;  // "" for the process image
  bool hide_module_handles = false;              // every named module is "not loaded"
  void* named_module = nullptr;                  // when set, every named module is this one

  // Ranges (address, size) that `accessible` reports unreachable for reads
  // and writes alike, whatever the real pages allow; the rest is real.
  std::vector<std::pair<std::uintptr_t, std::size_t>> inaccessible;

  // Replaces what GetModuleFileNameA stores, when set.
  const char* module_file_name_result = nullptr;

  std::vector<MessageBoxCall> message_boxes;  // captured, never shown

  // Keys reported down by GetKeyState (virtual-key codes), when set; and the
  // order of the key queries and debug notes: "key 5A", "note <text>".
  bool fake_keys = false;
  std::vector<int> keys_down;
  std::vector<std::string> key_and_note_calls;

  static OsFake* current;

 private:
  injector::os::Api saved_;
};

}  // namespace testing_os
