#include "tests/os_fake.hpp"

#include <cstdio>
#include <cstring>

namespace testing_os {

OsFake* OsFake::current = nullptr;

namespace {

const injector::os::Api& real() { return injector::os::system_api(); }

bool fake_protect(std::uintptr_t address, std::size_t size, std::uint32_t protection,
                  std::uint32_t* previous) {
  OsFake& fake = *OsFake::current;
  fake.protect_calls.push_back({address, size, protection});
  const bool fails =
      fake.protect_failure == ProtectFailure::all ||
      (fake.protect_failure == ProtectFailure::opening &&
       protection == injector::os::kExecuteReadWrite);
  if (fails) {
    *previous = 0;
    return false;
  }
  return real().protect(address, size, protection, previous);
}

bool fake_accessible(std::uintptr_t address, std::size_t size, injector::os::Access access) {
  for (const auto& [begin, length] : OsFake::current->inaccessible) {
    // Half-open ranges overlap when each starts before the other ends.
    if (size != 0 && address < begin + length && begin < address + size) return false;
  }
  return real().accessible(address, size, access);
}

void* fake_module_handle(const char* name) {
  OsFake& fake = *OsFake::current;
  fake.module_handle_names.push_back(name ? name : "");
  if (name != nullptr && fake.hide_module_handles) return nullptr;
  if (name != nullptr && fake.named_module != nullptr) return fake.named_module;
  return real().module_handle(name);
}

bool fake_module_from_address(const void* address, bool pin, void** module) {
  OsFake& fake = *OsFake::current;
  fake.module_from_address_pins.push_back(pin);
  if (fake.fail_module_from_address) {
    *module = nullptr;
    return false;
  }
  return real().module_from_address(address, pin, module);
}

std::uint32_t fake_module_file_name(void* module, char* buffer, std::uint32_t size) {
  const char* result = OsFake::current->module_file_name_result;
  if (result == nullptr) return real().module_file_name(module, buffer, size);
  std::snprintf(buffer, size, "%s", result);
  return static_cast<std::uint32_t>(std::strlen(buffer));
}

std::int16_t fake_key_state(int virtual_key) {
  OsFake& fake = *OsFake::current;
  char call[16];
  std::snprintf(call, sizeof call, "key %02X", virtual_key);
  fake.key_and_note_calls.push_back(call);
  if (!fake.fake_keys) return real().key_state(virtual_key);
  for (int key : fake.keys_down) {
    if (key == virtual_key) return static_cast<std::int16_t>(0x8001);  // down, toggled
  }
  return 0x0001;  // up, toggled: only bit 15 means down
}

void fake_debug_output(const char* text) {
  OsFake::current->key_and_note_calls.push_back(std::string("note ") + text);
}

int fake_message_box(void* owner, const char* text, const char* caption, unsigned type) {
  OsFake::current->message_boxes.push_back({owner, text, caption, type});
  return 1;  // IDOK
}

}  // namespace

OsFake::OsFake() : saved_(injector::os::api()) {
  current = this;
  auto& api = injector::os::api();
  api.protect = fake_protect;
  api.accessible = fake_accessible;
  api.module_handle = fake_module_handle;
  api.module_from_address = fake_module_from_address;
  api.module_file_name = fake_module_file_name;
  api.message_box = fake_message_box;
  api.key_state = fake_key_state;
  api.debug_output = fake_debug_output;
}

OsFake::~OsFake() {
  injector::os::api() = saved_;
  current = nullptr;
}

}  // namespace testing_os
