// The first-person fix plug-in. Its start-up object is constructed when the
// loader runs the DLL's static initialisers.
namespace viewfix {
namespace {

class KestrelviewModFix {
 public:
  KestrelviewModFix() = default;
};

[[maybe_unused]] KestrelviewModFix plugin;

}  // namespace
}  // namespace viewfix
