// The kit's call-site hooking: objects that keep a few bytes of code and put
// them back, and (below) the chains of handlers that take over a host CALL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <utility>

#include "injector/memory.hpp"
#include "shared/game_version.hpp"
#include "shared/kit_context.hpp"

namespace injector {

// Reports a broken kit invariant through the C runtime's assertion report and
// ends the process; stays active in release builds, because a hook that keeps
// the wrong number of bytes would corrupt the host's code.
[[noreturn]] void assertion_failed(const char* expression, const char* file, unsigned line);
#define INJECTOR_CHECK(expression) \
  ((expression) ? (void)0 : ::injector::assertion_failed(#expression, "injector/hooking", __LINE__))

// Something that can undo a change it made.
class scoped_base {
 public:
  virtual ~scoped_base() = default;
  virtual void undo() = 0;
};

// Keeps a copy of up to `bufsize` bytes of memory and writes them back on
// undo() or when it is destroyed.
template <std::size_t bufsize>
class scoped_basic : public scoped_base {
 public:
  scoped_basic() = default;
  scoped_basic(const scoped_basic&) = delete;
  scoped_basic& operator=(const scoped_basic&) = delete;
  ~scoped_basic() override { scoped_basic::undo(); }

  void undo() override {
    if (kept) {
      write_raw(address, bytes, size, unprotect);
      kept = false;
    }
  }

  // The parameter is named as the assertion reports it: "size <= bufsize".
  virtual void keep_bytes(std::uintptr_t at, std::size_t size, bool lift_protection) {
    INJECTOR_CHECK(size <= bufsize);
    undo();  // bytes kept earlier go back first
    unprotect = lift_protection;
    kept = true;
    address = at;
    this->size = static_cast<std::uint32_t>(size);
    read_raw(bytes, size, at, lift_protection);
  }

  bool is_kept() const { return kept; }

 protected:
  std::uint8_t bytes[bufsize] = {};
  std::uintptr_t address = 0;
  std::uint32_t size = 0;
  bool kept = false;
  bool unprotect = false;
};

// Keeps the 5 bytes of a call site and where the CALL that stood there led.
class scoped_call : public scoped_basic<5> {
 public:
  std::uintptr_t host_callee = 0;
};

// ---- call-site hook chains -------------------------------------------------
//
// A site is one 5-byte relative CALL in the host's code, named by its host
// address as a compile-time constant, so each site has its own manager and
// its own entry function `call_hooks`, and the CALL planted there needs no
// run-time context. The first parameter says how the address is turned into
// an address of this process:

// the site address is used as it stands;
struct absolute_call {};
// (scoped_call) the site address is rebased onto the executable's real base.

template <class Addressing>
struct site_addressing;
template <>
struct site_addressing<absolute_call> {
  static std::uintptr_t address(std::uintptr_t site) { return site; }
};
template <>
struct site_addressing<scoped_call> {
  static std::uintptr_t address(std::uintptr_t site) { return hostkit::host_address(site); }
};

template <class Addressing, std::uintptr_t site, class Signature>
class function_hooker;
template <class Addressing, std::uintptr_t site, class Signature>
class function_hooker_base;
template <class Addressing, std::uintptr_t site, class Signature>
class function_hooker_manager;

// The handlers of one site, shared by every hooker of the site.
template <class Addressing, std::uintptr_t site, class Ret>
class function_hooker_manager<Addressing, site, Ret()> : public scoped_call {
 public:
  using next_type = std::function<Ret()>;
  using handler_type = std::function<Ret(next_type)>;
  using owner_type = const function_hooker_base<Addressing, site, Ret()>*;

  struct entry {
    owner_type owner;
    handler_type handler;
  };

  function_hooker_manager() = default;
  ~function_hooker_manager() override {
    handlers.clear();
    scoped_basic<5>::undo();
  }

  // Takes the site down: every entry goes and the kept bytes are written back.
  void undo() override {
    if (!planted) return;
    planted = false;
    handlers.clear();
    scoped_basic<5>::undo();
  }

  // The site's manager, created on first use (a concurrent first caller waits
  // for it); a static owner holds it until the module's exit routines run.
  static std::shared_ptr<function_hooker_manager> site_manager() { return static_owner(); }

  // The target of the CALL planted at the site. While the site is planted
  // the static owner keeps the manager alive, so the host's every execution
  // of the site reads it without touching the reference count.
  static Ret __attribute__((cdecl)) call_hooks() {
    function_hooker_manager* const m = static_owner().get();
    if (m->handlers.empty()) return m->call_host_callee();
    const auto host_routine = [m]() -> Ret { return m->call_host_callee(); };
    if (m->handlers.size() == 1) {
      // Handed over by moving: the callable is small enough to live inside
      // `next` itself, so this allocates and copies nothing.
      next_type next = host_routine;
      return m->handlers.front().handler(std::move(next));
    }
    // The entry added last runs first; each one's `next` runs the one before.
    next_type chain{host_routine};
    for (const entry& e : m->handlers) {
      chain = [handler = e.handler, inner = chain]() -> Ret {
        next_type next = inner;
        return handler(next);
      };
    }
    return chain();
  }

  // Registers a handler under its owner (replacing the owner's earlier one in
  // place) and plants the site if it is not planted yet.
  void register_handler(owner_type owner, handler_type handler) {
    if (!handler) return;  // an empty handler would fail when the host runs it
    if (entry* existing = find(owner)) {
      existing->handler = std::move(handler);
    } else {
      handlers.push_back({owner, std::move(handler)});
    }
    if (!planted) plant();
  }

  // Removes the owner's entry; the last one to go restores the site.
  bool unregister(owner_type owner) {
    for (auto it = handlers.begin(); it != handlers.end(); ++it) {
      if (it->owner != owner) continue;
      handlers.erase(it);
      if (handlers.empty()) undo();
      return true;
    }
    return false;
  }

  // Moves an owner's entry to the end of the list under a new owner, without
  // restoring the site in between.
  void transfer(owner_type from, owner_type to) {
    for (auto it = handlers.begin(); it != handlers.end(); ++it) {
      if (it->owner != from) continue;
      handler_type handler = std::move(it->handler);
      handlers.erase(it);
      handlers.push_back({to, std::move(handler)});
      return;
    }
  }

  bool is_planted() const { return planted; }
  std::size_t entry_count() const { return handlers.size(); }
  std::uintptr_t callee() const { return host_callee; }

 private:
  static const std::shared_ptr<function_hooker_manager>& static_owner() {
    static const std::shared_ptr<function_hooker_manager> owner =
        std::make_shared<function_hooker_manager>();
    return owner;
  }

  entry* find(owner_type owner) {
    for (entry& e : handlers) {
      if (e.owner == owner) return &e;
    }
    return nullptr;
  }

  void plant() {
    const std::uintptr_t address =
        hostkit::resolve_address(site_addressing<Addressing>::address(site));
    // A site that holds no branch has no callee to hand on to: planting it
    // would make the host call address 0. It keeps its bytes.
    if (branch_destination(address) == 0) return;
    keep_bytes(address, 5, true);
    host_callee = plant_call(address, reinterpret_cast<std::uintptr_t>(&call_hooks));
    planted = true;
  }

  Ret call_host_callee() const {
    return reinterpret_cast<Ret(__attribute__((cdecl))*)()>(host_callee)();
  }

  std::list<entry> handlers;
  bool planted = false;
};

// A party's hold on a site: at most one handler while it lives.
template <class Addressing, std::uintptr_t site, class Ret>
class function_hooker_base<Addressing, site, Ret()> : public scoped_base {
 public:
  using manager_type = function_hooker_manager<Addressing, site, Ret()>;
  using next_type = typename manager_type::next_type;
  using handler_type = typename manager_type::handler_type;

  function_hooker_base() : manager_(manager_type::site_manager()) {}
  // The copy takes over the entry of the hooker it copies, which moves to the
  // end of the site's list; the original keeps none.
  function_hooker_base(const function_hooker_base& other) : manager_(other.manager_) {
    manager_->transfer(&other, this);
  }
  function_hooker_base& operator=(const function_hooker_base&) = delete;
  ~function_hooker_base() override { function_hooker_base::undo(); }

  // Removes this hooker's entry; the site's last entry restores the site.
  void undo() override { manager_->unregister(this); }
  virtual void attach(handler_type handler) = 0;

  const std::shared_ptr<manager_type>& manager() const { return manager_; }

 protected:
  std::shared_ptr<manager_type> manager_;
};

template <class Addressing, std::uintptr_t site, class Ret>
class function_hooker<Addressing, site, Ret()>
    : public function_hooker_base<Addressing, site, Ret()> {
 public:
  using base = function_hooker_base<Addressing, site, Ret()>;
  using typename base::handler_type;
  using typename base::next_type;

  function_hooker() = default;
  function_hooker(const function_hooker&) = default;

  // Registers the handler for this hooker and makes sure the site is planted.
  void attach(handler_type handler) override {
    this->manager_->register_handler(this, std::move(handler));
  }
};

}  // namespace injector
