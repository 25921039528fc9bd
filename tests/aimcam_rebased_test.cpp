// The real aimcam.dll in a stand-in host mapped at 0x200000: aimcam's call
// sites are absolute addresses, used as they stand whatever the host's base.
// There the absolute addresses of the sites fall into the rebased host's
// data; the test puts a small piece of code of its own at them and sees
// aimcam patch exactly there, leaving the rebased host's call sites alone.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "standins/host/host_standins.hpp"
#include "tests/module_image.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using testing_modules::range_of;
using testing_modules::relative_target;

constexpr std::uintptr_t kFrameCaller = 0x53E970;
constexpr std::uintptr_t kFrameCallee = 0x53EA00;
constexpr std::uint32_t kCalleeValue = 0x7AB5;
constexpr std::uintptr_t kAimCallee = 0x527B00;

// How often the callee at the absolute frame tick site ran.
std::uint32_t callee_runs = 0;

void put_bytes(std::uintptr_t address, std::initializer_list<std::uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), reinterpret_cast<std::uint8_t*>(address));
}
void put_dword(std::uintptr_t address, std::uint32_t value) {
  std::memcpy(reinterpret_cast<void*>(address), &value, 4);
}
void put_call(std::uintptr_t site, std::uintptr_t target) {
  put_bytes(site, {0xE8});
  put_dword(site + 1, static_cast<std::uint32_t>(target - (site + 5)));
}

// A page at a fixed address inside this program's own image (where the
// rebased host keeps its data), made to hold code: read-execute once written.
class FixedPage {
 public:
  explicit FixedPage(std::uintptr_t page) : page_(reinterpret_cast<void*>(page)) {
    const auto image = testing_modules::range_of(GetModuleHandleA(nullptr));
    inside_image_ = image.contains(page) && image.contains(page + 0xFFF);
    if (!inside_image_) return;
    DWORD old = 0;
    VirtualProtect(page_, 0x1000, PAGE_EXECUTE_READWRITE, &old);
    std::memset(page_, 0xCC, 0x1000);
  }
  FixedPage(const FixedPage&) = delete;
  FixedPage& operator=(const FixedPage&) = delete;
  bool mapped() const { return inside_image_; }
  void seal() {
    DWORD old = 0;
    VirtualProtect(page_, 0x1000, PAGE_EXECUTE_READ, &old);
    FlushInstructionCache(GetCurrentProcess(), page_, 0x1000);
  }

 private:
  void* page_;
  bool inside_image_ = false;
};

std::array<std::uint8_t, 5> bytes_at(std::uintptr_t address) {
  std::array<std::uint8_t, 5> bytes{};
  std::memcpy(bytes.data(), reinterpret_cast<const void*>(address), bytes.size());
  return bytes;
}

class AimcamInARebasedHost : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(standin::image_base(), game::kImageBase) << "this host must be linked elsewhere";
    ASSERT_TRUE(frame_page_.mapped()) << "0x53E000 must lie in the rebased host's image";
    ASSERT_TRUE(aim_page_.mapped()) << "0x527000 must lie in the rebased host's image";
    // The frame tick site inside a caller routine, as the game has it, and
    // a callee that counts its runs.
    put_bytes(kFrameCaller, {0x55, 0x89, 0xE5});  // push ebp; mov ebp, esp
    put_bytes(kFrameCaller + 3, {0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90, 0x90,
                                 0x90, 0x90, 0x90, 0x90});
    put_call(game::site::kFrameTick, kFrameCallee);
    put_bytes(game::site::kFrameTick + 5, {0x5D, 0xC3});  // pop ebp; ret
    put_bytes(kFrameCallee, {0xFF, 0x05});                // inc dword ptr [callee_runs]
    put_dword(kFrameCallee + 2, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&callee_runs)));
    put_bytes(kFrameCallee + 6, {0xB8});  // mov eax, kCalleeValue
    put_dword(kFrameCallee + 7, kCalleeValue);
    put_bytes(kFrameCallee + 11, {0xC3});
    callee_runs = 0;
    // The aim call site.
    put_call(game::site::kAimCall, kAimCallee);
    put_bytes(kAimCallee, {0xC2, 0x10, 0x00});  // ret 16
    frame_page_.seal();
    aim_page_.seal();

    folder_ = std::filesystem::temp_directory_path().string() + "aimcam rebased " +
              std::to_string(GetCurrentProcessId()) + "\\";
    std::filesystem::create_directories(folder_);
    std::filesystem::copy_file(testing_paths::beside_tests("aimcam.dll"), folder_ + "aimcam.dll",
                               std::filesystem::copy_options::overwrite_existing);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  FixedPage frame_page_{0x53E000};
  FixedPage aim_page_{0x527000};
  std::string folder_;
};

TEST_F(AimcamInARebasedHost, PatchesItsAbsoluteSitesAndLeavesTheRebasedOnesAlone) {
  const auto rebased_tick = standin::site_bytes(game::site::kFrameTick);
  const auto rebased_aim = standin::site_bytes(game::site::kAimCall);
  const auto absolute_tick = bytes_at(game::site::kFrameTick);
  const auto absolute_aim = bytes_at(game::site::kAimCall);

  HMODULE aimcam = LoadLibraryA((folder_ + "aimcam.dll").c_str());
  ASSERT_NE(aimcam, nullptr);
  const auto image = range_of(aimcam);
  EXPECT_EQ(bytes_at(game::site::kFrameTick)[0], 0xE8);
  EXPECT_TRUE(image.contains(relative_target(game::site::kFrameTick)));
  EXPECT_EQ(bytes_at(game::site::kAimCall)[0], 0xE8);
  EXPECT_TRUE(image.contains(relative_target(game::site::kAimCall)));
  EXPECT_EQ(standin::site_bytes(game::site::kFrameTick), rebased_tick);
  EXPECT_EQ(standin::site_bytes(game::site::kAimCall), rebased_aim);

  // A frame at the absolute site runs its callee once, through aimcam's
  // handler, and the callee's value comes back.
  auto* volatile frame = reinterpret_cast<std::uint32_t(__attribute__((cdecl))*)()>(kFrameCaller);
  EXPECT_EQ(frame(), kCalleeValue);
  EXPECT_EQ(callee_runs, 1u);

  ASSERT_TRUE(FreeLibrary(aimcam));
  EXPECT_EQ(bytes_at(game::site::kFrameTick), absolute_tick);
  EXPECT_EQ(bytes_at(game::site::kAimCall), absolute_aim);
}

}  // namespace
