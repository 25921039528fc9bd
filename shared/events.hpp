// Host events: plain handlers (no arguments, no result) that run each time
// the host executes one particular CALL, before the host's callee or after it
// has returned. The first handler added hooks the call site, with one site
// handler of the event's own, run_event, which runs the lists around the
// callee and hands its value back to the host unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <utility>
#include <vector>

#include "injector/hooking.hpp"
#include "shared/game_version.hpp"

namespace plugin {

// A compile-time list of call-site entries, five integers each: the site's
// host address (for image base 0x400000), the GameVersion it is valid for,
// and three further integers that are 0 throughout.
template <std::intptr_t... values>
struct RefList {
  static_assert(sizeof...(values) % 5 == 0, "entries are five integers each");
};

// The handlers' argument list. Every event here passes none.
template <class... Types>
struct ArgTypes {};
template <class Types, int... picks>
struct ArgPick {};

using Handler = std::function<void()>;

// A handler as an event keeps it: a plain function is remembered as such, so
// the duplicate check can recognise it and a run can call it without a copy
// (a plain function has no state that a copy would protect).
class StoredHandler {
 public:
  explicit StoredHandler(Handler handler)
      : function_(plain_function(handler)), callable_(std::move(handler)) {}

  void run() const {
    if (function_ != nullptr) {
      function_();
    } else {
      Handler copy = callable_;  // what the handler changes in its captures is dropped
      copy();
    }
  }
  // cppcheck-suppress constParameter ; a function pointer has no const form to point to
  bool same_function(void (*function)()) const {
    return function != nullptr && function_ == function;
  }
  static void (*plain_function(const Handler& handler))() {
    auto* const* function = handler.target<void (*)()>();
    return function != nullptr ? *function : nullptr;
  }

 private:
  void (*function_)();
  Handler callable_;
};

// The copies of a site's hookers that keep the events' registrations for as
// long as the module stays loaded; one list per site, created on first use.
template <class Hooker>
std::list<Hooker>& kept_hookers() {
  static std::list<Hooker> kept;
  return kept;
}

// What both forms of event share: the two lists and the site handler.
class EventLists {
 public:
  EventLists() = default;
  EventLists(const EventLists&) = delete;
  EventLists& operator=(const EventLists&) = delete;

  bool patched = false;
  std::vector<StoredHandler> pre_handlers;
  std::vector<StoredHandler> post_handlers;

  // The event's site handler. Each handler runs through a temporary copy,
  // so what it changes in its own captures does not carry over to the next
  // run; the value of `next` always goes back unchanged.
  template <class Ret, class Next>
  Ret run_event(Next& next) {
    run_copies(pre_handlers);
    const Ret value = next();
    run_copies(post_handlers);
    return value;
  }

 protected:
  static void run_copies(const std::vector<StoredHandler>& handlers) {
    for (const StoredHandler& handler : handlers) handler.run();
  }

  // Hooks `Hooker`'s site with run_event and keeps a copy of the hooker,
  // which takes over its registration.
  template <class Hooker>
  void hook_site() {
    using next_type = typename Hooker::next_type;
    using Ret = decltype(std::declval<next_type&>()());
    Hooker hooker;
    hooker.attach([this](next_type next) -> Ret { return run_event<Ret>(next); });
    kept_hookers<Hooker>().push_back(hooker);
  }
};

// An event bound to call sites chosen per host build: it hooks each entry of
// its RefList whose version is the running GameVersion. Adding a plain
// function that a list already holds changes nothing.
template <template <class, std::uintptr_t, class> class Hooker, class Refs, class Args,
          class Signature>
class BaseEventI;

template <template <class, std::uintptr_t, class> class Hooker, std::intptr_t... refs, class Args>
class BaseEventI<Hooker, RefList<refs...>, Args, void()> : public EventLists {
 public:
  using site_signature = std::uintptr_t();

  void add_handler(std::vector<StoredHandler>& list, Handler handler) {
    if (!handler) return;  // an empty handler would fail when the host runs it
    const auto function = StoredHandler::plain_function(handler);
    for (const StoredHandler& present : list) {
      if (present.same_function(function)) return;
    }
    if (!patched) {
      patched = true;
      PatchAll<refs...>();
    }
    list.emplace_back(std::move(handler));
  }

 private:
  template <std::intptr_t address, std::intptr_t version, std::intptr_t, std::intptr_t,
            std::intptr_t, std::intptr_t... rest>
  void PatchAll() {
    if (hostkit::GameVersion() == version) {
      hook_site<Hooker<injector::scoped_call, static_cast<std::uintptr_t>(address),
                       site_signature>>();
    }
    if constexpr (sizeof...(rest) > 0) PatchAll<rest...>();
  }
};

// An event bound to one call site at its absolute address, whatever the host
// build; handlers are added after the callee, without a duplicate check.
template <template <class, std::uintptr_t, class> class Hooker, std::uintptr_t site>
class FixedSiteEvent : public EventLists {
 public:
  void add_post_handler(Handler handler) {
    if (!handler) return;
    if (!patched) {
      patched = true;
      hook_site<Hooker<injector::absolute_call, site, std::uintptr_t()>>();
    }
    post_handlers.emplace_back(std::move(handler));
  }
};

}  // namespace plugin
