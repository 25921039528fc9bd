// A test plug-in with the three events of the plug-ins, created in the
// plug-ins' order, whose kept hookers note when the module unloads which site
// each held and how many owners that site's manager still had as it went.
#include "shared/events.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/game_layout.hpp"

const char* const hostkit::kit_default_plugin_name = "Teardown Probe";

namespace {

using Note = void (*)(std::uintptr_t site, long manager_owners);
Note note = nullptr;

// A hooker that, when it is a kept copy holding the event's registration,
// notes its going before it lets go of the site.
template <class Addressing, std::uintptr_t site, class Signature>
class noting_hooker : public injector::function_hooker<Addressing, site, Signature> {
 public:
  noting_hooker() = default;
  noting_hooker(const noting_hooker& other)
      : injector::function_hooker<Addressing, site, Signature>(other), kept_(true) {}
  noting_hooker& operator=(const noting_hooker&) = delete;
  ~noting_hooker() override {
    if (kept_ && note != nullptr) note(site, this->manager().use_count());
  }

 private:
  bool kept_ = false;
};

using InitEvent = plugin::BaseEventI<
    noting_hooker,
    plugin::RefList<game::site::kInitEvent, 1001, 0, 0, 0, game::site::kInitEvent, 1002, 0, 0, 0>,
    plugin::ArgPick<plugin::ArgTypes<>>, void()>;
using FrameEvent = plugin::BaseEventI<
    noting_hooker,
    plugin::RefList<game::site::kFrameEvent, 1001, 0, 0, 0, game::site::kFrameEvent, 1002, 0, 0, 0>,
    plugin::ArgPick<plugin::ArgTypes<>>, void()>;
using FrameTickHook = plugin::FixedSiteEvent<noting_hooker, game::site::kFrameTick>;

InitEvent& init_event() {
  static InitEvent event;
  return event;
}
FrameEvent& frame_event() {
  static FrameEvent event;
  return event;
}
FrameTickHook& frame_tick_hook() {
  static FrameTickHook event;
  return event;
}

void on_init() {}
void on_frame() {}
void on_tick() {}

struct TeardownProbe {
  TeardownProbe() {
    init_event().add_handler(init_event().pre_handlers, on_init);
    frame_event().add_handler(frame_event().pre_handlers, on_frame);
    frame_tick_hook().add_post_handler(on_tick);
  }
} probe;

}  // namespace

extern "C" __declspec(dllexport) void probe_set_note(Note callback) { note = callback; }
