// The host events the plug-ins use. Each is created on first use (a
// concurrent first use waits for it) and frees its lists when the module
// unloads, after the sites it hooked have been written back.
#pragma once

#include "shared/events.hpp"
#include "shared/host_interface.hpp"

namespace plugin {

// Each time the host reaches its initialisation call site (builds 1001, 1002).
using InitEvent =
    BaseEventI<injector::function_hooker,
               RefList<host::kInitEventSite, 1001, 0, 0, 0, host::kInitEventSite, 1002, 0, 0, 0>,
               ArgPick<ArgTypes<>>, void()>;
// Once per frame (builds 1001, 1002).
using FrameEvent =
    BaseEventI<injector::function_hooker,
               RefList<host::kFrameEventSite, 1001, 0, 0, 0, host::kFrameEventSite, 1002, 0, 0, 0>,
               ArgPick<ArgTypes<>>, void()>;
// Once per frame, at the absolute address on any build.
using FrameTickHook = FixedSiteEvent<injector::function_hooker, host::kFrameTickSite>;

inline InitEvent& initEvent() {
  static InitEvent event;
  return event;
}
inline FrameEvent& frameEvent() {
  static FrameEvent event;
  return event;
}
inline FrameTickHook& frameTickHook() {
  static FrameTickHook event;
  return event;
}

}  // namespace plugin
