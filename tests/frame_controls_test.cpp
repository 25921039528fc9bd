// aimcam's per-frame handler on its own, with the key queries and the
// settings load seen through the operating-system boundary.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "aimcam/aim_redirect.hpp"
#include "aimcam/aim_settings.hpp"
#include "aimcam/frame_controls.hpp"
#include "tests/os_fake.hpp"

namespace {

constexpr const char* kNoFileNote = "note aimcam: cannot open the settings file aimingSets.dat\n";

class FrameControls : public testing::Test {
 protected:
  void SetUp() override {
    os_.fake_keys = true;
    // A folder with no settings file: every load shows up as its note.
    os_.module_file_name_result = "C:\\no such folder\\aimcam.dll";
    aimcam::mirrored = 0;
    aimcam::live_reload = 0;
  }
  void frame(std::vector<int> keys) {
    os_.keys_down = std::move(keys);
    os_.key_and_note_calls.clear();
    auto* volatile tick = &aimcam::on_frame_tick;
    tick();
  }
  testing_os::OsFake os_;
};

TEST_F(FrameControls, ZIsAskedFirstAndWhenDownXIsNotAskedAtAll) {
  frame({aimcam::kPlainKey, aimcam::kMirrorKey});
  EXPECT_THAT(os_.key_and_note_calls, testing::ElementsAre("key 5A"));
  EXPECT_EQ(aimcam::mirrored, 0);
  frame({aimcam::kMirrorKey});
  EXPECT_THAT(os_.key_and_note_calls, testing::ElementsAre("key 5A", "key 58"));
  EXPECT_EQ(aimcam::mirrored, 1);
}

TEST_F(FrameControls, OnlyBit15MeansDown) {
  frame({});  // both keys report only their toggle bit
  EXPECT_EQ(aimcam::mirrored, 0);
  aimcam::mirrored = 1;
  frame({});
  EXPECT_EQ(aimcam::mirrored, 1) << "the mirror latches while no key is down";
}

TEST_F(FrameControls, InLiveReloadModeTheFileIsReadAfterTheKeys) {
  aimcam::live_reload = 5;
  frame({aimcam::kMirrorKey});
  EXPECT_THAT(os_.key_and_note_calls, testing::ElementsAre("key 5A", "key 58", kNoFileNote));
  aimcam::live_reload = 0;
  frame({});
  EXPECT_THAT(os_.key_and_note_calls, testing::ElementsAre("key 5A", "key 58"))
      << "no load outside live-reload mode";
}

}  // namespace
