// The plug-in folder: the folder of the module that holds the kit's code.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "shared/plugin_folder.hpp"
#include "tests/import_patch.hpp"
#include "tests/module_image.hpp"
#include "tests/os_fake.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using hostkit::plugin_folder;

std::string temp_dir() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;
}

TEST(PluginFolder, APluginGetsTheFolderItWasLoadedFrom) {
  // A folder of our own choosing, with a space in its name.
  const std::string folder = temp_dir() + "hostkit plugin folder " +
                             std::to_string(GetCurrentProcessId()) + "\\mods\\";
  std::filesystem::create_directories(folder);
  const std::string dll = folder + "probe.dll";
  ASSERT_TRUE(CopyFileA(testing_paths::beside_tests("folder_probe.dll").c_str(), dll.c_str(), FALSE));

  HMODULE probe = LoadLibraryA(dll.c_str());
  ASSERT_NE(probe, nullptr);
  auto* ask = reinterpret_cast<const char* (*)()>(
      reinterpret_cast<void*>(GetProcAddress(probe, "probe_plugin_folder")));
  ASSERT_NE(ask, nullptr);
  const std::string seen = ask();
  EXPECT_TRUE(std::equal(seen.begin(), seen.end(), folder.begin(), folder.end(),
                         [](char a, char b) { return std::tolower(a) == std::tolower(b); }))
      << seen << " vs " << folder;
  EXPECT_EQ(std::string(ask()) + "aimingSets.dat", seen + "aimingSets.dat");
  EXPECT_EQ(ask(), ask()) << "the same buffer every time";
  FreeLibrary(probe);
  std::filesystem::remove_all(temp_dir() + "hostkit plugin folder " +
                              std::to_string(GetCurrentProcessId()));
}

// What the probe DLL passed to Windows, seen through its import table.
struct LookupCalls {
  int module_lookups = 0;
  DWORD flags = 0;
  const void* address = nullptr;
  bool handle_was_null = false;
  int file_name_calls = 0;
  HMODULE file_name_module = nullptr;
  DWORD file_name_size = 0;
  HMODULE found = nullptr;
} lookup;

BOOL WINAPI noting_module_lookup(DWORD flags, LPCSTR address, HMODULE* module) {
  ++lookup.module_lookups;
  lookup.flags = flags;
  lookup.address = address;
  lookup.handle_was_null = *module == nullptr;
  const BOOL found = GetModuleHandleExA(flags, address, module);
  lookup.found = *module;
  return found;
}

DWORD WINAPI noting_file_name(HMODULE module, LPSTR buffer, DWORD size) {
  ++lookup.file_name_calls;
  lookup.file_name_module = module;
  lookup.file_name_size = size;
  return GetModuleFileNameA(module, buffer, size);
}

TEST(PluginFolder, AsksWindowsForItsOwnModuleByAnAddressInItWithoutTakingAReference) {
  HMODULE probe = LoadLibraryA(testing_paths::beside_tests("folder_probe.dll").c_str());
  ASSERT_NE(probe, nullptr);
  {
    testing_imports::ImportPatch lookup_patch(probe, "KERNEL32.dll", "GetModuleHandleExA",
                                              reinterpret_cast<const void*>(&noting_module_lookup));
    testing_imports::ImportPatch name_patch(probe, "KERNEL32.dll", "GetModuleFileNameA",
                                            reinterpret_cast<const void*>(&noting_file_name));
    ASSERT_TRUE(lookup_patch.active());
    ASSERT_TRUE(name_patch.active());
    auto* ask = testing_modules::export_of<const char* (*)()>(probe, "probe_plugin_folder");
    ASSERT_NE(ask, nullptr);
    ask();
  }
  EXPECT_EQ(lookup.module_lookups, 1);
  // GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT
  EXPECT_EQ(lookup.flags, 6u);
  EXPECT_TRUE(testing_modules::range_of(probe).contains(
      reinterpret_cast<std::uintptr_t>(lookup.address)))
      << "an address inside the plug-in itself";
  EXPECT_TRUE(lookup.handle_was_null);
  EXPECT_EQ(lookup.found, probe);
  EXPECT_EQ(lookup.file_name_calls, 1);
  EXPECT_EQ(lookup.file_name_module, probe);
  EXPECT_EQ(lookup.file_name_size, 260u);
  // Flags 6 leave the reference count alone: one FreeLibrary unloads it.
  ASSERT_TRUE(FreeLibrary(probe));
  EXPECT_EQ(GetModuleHandleA("folder_probe.dll"), nullptr);
}

TEST(PluginFolder, InAProgramThatLinksTheKitItIsTheProgramsFolder) {
  testing_os::OsFake os;
  EXPECT_EQ(std::string(plugin_folder()), testing_paths::binary_dir());
  EXPECT_THAT(os.module_from_address_pins, testing::ElementsAre(false));
  EXPECT_TRUE(os.message_boxes.empty());
}

TEST(PluginFolder, APathWithoutABackslashIsReturnedWhole) {
  testing_os::OsFake os;
  os.module_file_name_result = "plugin.dll";
  EXPECT_STREQ(plugin_folder(), "plugin.dll");
}

TEST(PluginFolder, AFailedModuleLookupTellsTheUserOnceAndUsesTheHostsFolder) {
  testing_os::OsFake os;
  os.fail_module_from_address = true;
  const std::string first = plugin_folder();
  EXPECT_EQ(first, testing_paths::binary_dir()) << "the host executable's folder";
  ASSERT_EQ(os.message_boxes.size(), 1u);
  EXPECT_EQ(os.message_boxes[0].text, "FILESYSTEM\nFailed to retrieve plugin dir path");
  EXPECT_EQ(os.message_boxes[0].caption, "hostkit");
  EXPECT_EQ(os.message_boxes[0].type, 0u);
  EXPECT_EQ(os.message_boxes[0].owner, nullptr);

  EXPECT_EQ(std::string(plugin_folder()), first);
  EXPECT_EQ(os.message_boxes.size(), 1u) << "no second box";
  EXPECT_EQ(os.module_from_address_pins.size(), 1u) << "the folder is determined once";
}

TEST(PluginFolder, ConcurrentFirstCallsDetermineItOnce) {
  testing_os::OsFake os;
  os.fail_module_from_address = true;
  std::vector<const char*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&seen, i] { seen[i] = plugin_folder(); });
  for (auto& t : threads) t.join();
  EXPECT_THAT(seen, testing::Each(seen[0]));
  EXPECT_EQ(os.message_boxes.size(), 1u);
  EXPECT_EQ(std::string(seen[0]), testing_paths::binary_dir());
}

}  // namespace
