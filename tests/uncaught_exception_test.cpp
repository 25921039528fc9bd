// An exception that a plug-in throws and does not catch ends the host
// process as abort() does, and writes nothing for a console. The probe DLL is
// linked exactly as the plug-ins are; its frame handler throws into the
// stand-in host's frame site, which, like the game's code, the plug-in's
// unwinder cannot pass. Each case runs in a child process of its own.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "standins/host/host_standins.hpp"
#include "tests/plugin_paths.hpp"

namespace {

using testing::AllOf;
using testing::HasSubstr;
using testing::Not;

// Runs in the child: loads the probe and lets the host play one frame.
void frame_with_throwing_plugin() {
  if (LoadLibraryA(testing_paths::beside_tests("throw_probe.dll").c_str()) == nullptr) {
    std::fputs("throw_probe.dll did not load\n", stderr);
    return;
  }
  standin::run_frame_tick();
  std::fputs("the frame returned\n", stderr);
}

TEST(UncaughtExceptionDeathTest, EndsTheProcessAsAbortDoesWithoutAMessage) {
  int abort_status = 0;
  EXPECT_EXIT(std::abort(),
              [&](int status) {
                abort_status = status;
                return true;
              },
              "");

  int thrown_status = 0;
  EXPECT_EXIT(frame_with_throwing_plugin(),
              [&](int status) {
                thrown_status = status;
                return true;
              },
              AllOf(HasSubstr("throw_probe: throwing from the frame handler"),
                    Not(HasSubstr("terminate called"))));
  // Checked only here: a child process runs this test from the top to reach
  // its own case, and the statuses are known only to the parent.
  EXPECT_NE(abort_status, 0);
  EXPECT_EQ(thrown_status, abort_status) << "abort() ends the process with " << abort_status;
}

}  // namespace
