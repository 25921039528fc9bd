// Linked into each plug-in DLL (not into the kit library): undoes what the
// statically linked C++ runtime would otherwise leave behind in the host
// process every time the plug-in is loaded and unloaded. A loader that
// reloads plug-ins does that many times in one game session. It also keeps
// out of the plug-in what the runtime would add for a console the game does
// not have.
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <exception>

// ---- one-time initialisation without a per-thread record --------------------
//
// The unwinder registers the DLL's frame tables when the DLL starts, and the
// C++ runtime sets up its statics' locks, both through pthread_once. The
// threads library's pthread_once creates a record of the calling thread on
// first use (an event, a duplicate of the thread's handle, some heap) in a
// thread-local slot it allocates for the DLL and never frees: each load and
// unload would cost the process two handles and one of its 1088 TLS slots,
// and the process aborts once they run out. The plug-ins are linked with
// --wrap=pthread_once, which sends every call here: the same contract
// (the routine runs exactly once; concurrent callers return only after it
// has finished) with nothing but an atomic state word.

namespace {

// The states of the once word (the threads library's pthread_once_t, a long,
// 0 before first use); 1 means done, as the library itself records it.
constexpr long kNotRun = 0;
constexpr long kDone = 1;
constexpr long kRunning = 2;

}  // namespace

extern "C" int __wrap_pthread_once(long* once, void (*routine)()) {  // NOLINT(bugprone-reserved-identifier): the linker's wrap name
  static_assert(sizeof(std::atomic<long>) == sizeof(long) && std::atomic<long>::is_always_lock_free);
  auto* state = reinterpret_cast<std::atomic<long>*>(once);
  long expected = kNotRun;
  if (state->compare_exchange_strong(expected, kRunning, std::memory_order_acquire)) {
    routine();
    state->store(kDone, std::memory_order_release);
    return 0;
  }
  // Another thread is running the routine: the routines behind this (lock
  // set-up, frame registration) take microseconds, so waiting spins.
  while (state->load(std::memory_order_acquire) != kDone) __builtin_ia32_pause();
  return 0;
}

// ---- the runtime's emergency exception pool -----------------------------------
//
// The C++ runtime takes an emergency pool for exceptions (about 19 KiB) from
// the C runtime's heap, which the whole process shares, when the DLL starts,
// and never gives it back: every load and unload would leave one pool
// behind. Its release routine is exported by the runtime but declared in no
// header. It runs when the DLL's static objects are destroyed, at unload;
// nothing in the plug-in raises an exception after that.

namespace __gnu_cxx {  // NOLINT(cert-dcl58-cpp): the runtime's own namespace
void __freeres() noexcept;  // NOLINT(bugprone-reserved-identifier): the runtime's name
}  // namespace __gnu_cxx

namespace {

struct RuntimePoolRelease {
  RuntimePoolRelease() = default;
  RuntimePoolRelease(const RuntimePoolRelease&) = delete;
  RuntimePoolRelease& operator=(const RuntimePoolRelease&) = delete;
  ~RuntimePoolRelease() { __gnu_cxx::__freeres(); }
};
const RuntimePoolRelease runtime_pool_release;

}  // namespace

// ---- the default terminate handler --------------------------------------------
//
// An exception that leaves the plug-in's code for the game's is never caught:
// the game's code has no C++ handlers. The runtime then calls std::terminate,
// whose default handler is the runtime's __gnu_cxx::__verbose_terminate_handler:
// it writes the exception's type, demangled, and its what() to stderr, then
// calls abort. The game has no console to show that, and the name demangler
// the handler uses (with the formatted output it needs) is 45 KiB or more of
// every plug-in. Defined here, this is the handler the runtime's terminate
// refers to, so the runtime's own and the demangler are never linked: an
// uncaught exception still ends the process with abort, without the message.

void __gnu_cxx::__verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier): the runtime's name
  std::abort();
}
