// Build detection by entry point, GameVersion by code bytes, and the kit
// context, in the stand-in host. Every test runs in a process of its own, so
// each sees the kit's first use.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "shared/game_version.hpp"
#include "shared/kit_context.hpp"
#include "standins/host/host_standins.hpp"
#include "tests/host_image_header.hpp"
#include "tests/os_fake.hpp"

namespace {

using hostkit::GameVersion;
using hostkit::HostVersionInfo;
using hostkit::kit_context;

// ---- the entry-point table ---------------------------------------------------

struct BuildCase {
  std::uint32_t key;  // AddressOfEntryPoint + 0x400000
  std::uint8_t patch_byte;  // what the host holds at 0x406A20
  HostVersionInfo expected;
  std::uint32_t packed;  // the first four bytes as one little-endian value
};
void PrintTo(const BuildCase& c, std::ostream* os) { *os << std::hex << c.key; }


HostVersionInfo info(char game, char region, int major, int minor, int revision, char mark,
                     int alt) {
  return {game, region, static_cast<std::uint8_t>(major), static_cast<std::uint8_t>(minor),
          static_cast<std::uint16_t>(revision), mark, static_cast<std::uint8_t>(alt)};
}

std::vector<BuildCase> build_cases() {
  std::vector<BuildCase> cases = {
      {0x5C1E70, 0xE9, info('3', 0, 1, 0, 0, 0, 0), 0x00010033},
      {0x5C2130, 0xE9, info('3', 0, 1, 1, 0, 0, 0), 0x01010033},
      {0x5C6FD0, 0xE9, info('3', 0, 1, 1, 0, 0, 1), 0x01010033},
      {0x9912ED, 0xE9, info('3', 0, 1, 1, 0, 0, 1), 0x01010033},
      {0x667BF0, 0xE9, info('V', 0, 1, 0, 0, 0, 0), 0x00010056},
      {0x667C40, 0xE9, info('V', 0, 1, 1, 0, 0, 0), 0x01010056},
      {0x666BA0, 0xE9, info('V', 0, 1, 1, 0, 0, 1), 0x01010056},
      {0xA402ED, 0xE9, info('V', 0, 1, 1, 0, 0, 1), 0x01010056},
      {0x8252FC, 0xE9, info('S', 'U', 1, 1, 0, 0, 0), 0x01015553},
      {0x82533C, 0xE9, info('S', 'E', 1, 1, 0, 0, 0), 0x01014553},
      {0x85EC4A, 0xE9, info('S', 0, 3, 0, 0, 0, 1), 0x00030053},
      {0xD3C3DB, 0xE9, info('S', 0, 3, 0, 0, 0, 1), 0x00030053},
      {0xC965AD, 0xE9, info('I', 'U', 1, 0, 1024, 0, 0), 0x00015549},
      {0xD0D011, 0xE9, info('I', 'U', 1, 0, 1792, 0, 0), 0x00015549},
      {0xD0AF06, 0xE9, info('E', 'U', 1, 1, 2, 0, 0), 0x01015545},
      {0x123456, 0xE9, info(0, 0, 0, 0, 0, 0, 0), 0},
      {0x400000, 0xE9, info(0, 0, 0, 0, 0, 0, 0), 0},
  };
  // The four keys whose patch mark comes from the byte at 0x406A20.
  for (std::uint8_t byte : {std::uint8_t{0xE9}, std::uint8_t{0xE8}, std::uint8_t{0x00}}) {
    const char mark = byte == 0xE9 ? 'H' : 0;
    cases.push_back({0x824570, byte, info('S', 'U', 1, 0, 0, mark, 0), 0x00015553});
    cases.push_back({0x82457C, byte, info('S', 'U', 1, 0, 0, mark, 0), 0x00015553});
    cases.push_back({0x8245B0, byte, info('S', 'E', 1, 0, 0, mark, 0), 0x00014553});
    cases.push_back({0x8245BC, byte, info('S', 'E', 1, 0, 0, mark, 0), 0x00014553});
  }
  return cases;
}

class EntryPointTable : public testing::TestWithParam<BuildCase> {};

TEST_P(EntryPointTable, FillsTheBuildRecordOnFirstUse) {
  const BuildCase& c = GetParam();
  testing_host::set_entry_point(c.key - 0x400000);
  standin::poke_value<std::uint8_t>(game::code::kPatchMarkByte, c.patch_byte);

  const HostVersionInfo& version = kit_context().version;
  EXPECT_EQ(version, c.expected);
  std::uint32_t packed;
  std::memcpy(&packed, &version, 4);
  EXPECT_EQ(packed, c.packed);
  std::uint8_t zero[8] = {};
  EXPECT_EQ(std::memcmp(&version, zero, 8) == 0, c.packed == 0);
}

INSTANTIATE_TEST_SUITE_P(AllKeys, EntryPointTable, testing::ValuesIn(build_cases()),
                         [](const testing::TestParamInfo<BuildCase>& i) {
                           char name[32];
                           std::snprintf(name, sizeof name, "key_%06X_byte_%02X", i.param.key,
                                         i.param.patch_byte);
                           return std::string(name);
                         });

TEST(KitContext, CarriesTheProgramsDefaultNameAndIsCreatedOnce) {
  testing_os::OsFake os;
  EXPECT_EQ(hostkit::resolve_address(0x1234), 0x1234u);
  EXPECT_EQ(hostkit::resolve_address(0x5678), 0x5678u);
  EXPECT_STREQ(kit_context().plugin_name, "Kit Test Program");
  // The build is detected once: one look at the process image's header.
  EXPECT_THAT(os.module_handle_names, testing::ElementsAre(""));
}

// ---- GameVersion -------------------------------------------------------------

// Writes the code bytes that the probes look for (or anything else).
void set_probe(std::uintptr_t address, std::uint32_t value) {
  standin::poke_value<std::uint32_t>(address, value);
}

void clear_probes() {
  for (std::uintptr_t a : {game::code::kStart, game::probe::k8245BC, game::probe::k8252FC,
                           game::probe::k82533C, game::probe::k858D51, game::probe::k858C61}) {
    set_probe(a, 0xCCCCCCCC);
  }
}

struct ProbeCase {
  std::uintptr_t address;
  std::uint32_t value;
  std::int32_t version;
};
void PrintTo(const ProbeCase& c, std::ostream* os) {
  *os << std::hex << c.address << "=" << c.value;
}


class Probes : public testing::TestWithParam<ProbeCase> {};

TEST_P(Probes, EachProbeValueGivesItsCode) {
  clear_probes();
  set_probe(GetParam().address, GetParam().value);
  EXPECT_EQ(GameVersion(), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Probes,
    testing::Values(ProbeCase{0x401000, 0x53EC8B55, 1001}, ProbeCase{0x401000, 0x16197BE9, 1002},
                    ProbeCase{0x8245BC, 0x000094BF, 1011}, ProbeCase{0x8252FC, 0x000094BF, 1101},
                    ProbeCase{0x82533C, 0x000094BF, 1111}, ProbeCase{0x858D51, 0x3539F633, 3200},
                    ProbeCase{0x858C61, 0x3539F633, 3210},
                    // Near misses: one byte off, or a value at another probe's place.
                    ProbeCase{0x401000, 0x53EC8B56, 0}, ProbeCase{0x401000, 0x000094BF, 0},
                    ProbeCase{0x8245BC, 0x3539F633, 0}, ProbeCase{0x858C61, 0x000094BF, 0}));

TEST(GameVersionProbes, TheFirstMatchWins) {
  clear_probes();
  set_probe(0x8252FC, 0x000094BF);
  set_probe(0x8245BC, 0x000094BF);
  set_probe(0x858C61, 0x3539F633);
  EXPECT_EQ(GameVersion(), 1011);
}

std::vector<std::uintptr_t> lifted(const testing_os::OsFake& os) {
  std::vector<std::uintptr_t> addresses;
  for (const auto& call : os.protect_calls) {
    if (call.protection == PAGE_EXECUTE_READWRITE) {
      EXPECT_EQ(call.size, 4u);
      addresses.push_back(call.address);
    }
  }
  return addresses;
}

TEST(GameVersionProbes, NoMatchReadsEveryProbeInOrderTheFirstTwiceAndOnlyOnce) {
  clear_probes();
  hostkit::resolve_address(0);  // the context's own reads are not probes
  testing_os::OsFake os;
  EXPECT_EQ(GameVersion(), 0);
  EXPECT_EQ(GameVersion(), 0);
  EXPECT_THAT(lifted(os), testing::ElementsAre(0x401000, 0x401000, 0x8245BC, 0x8252FC, 0x82533C,
                                               0x858D51, 0x858C61));
}

TEST(GameVersionProbes, AMatchStopsTheProbing) {
  clear_probes();
  set_probe(0x401000, 0x16197BE9);
  hostkit::resolve_address(0);
  testing_os::OsFake os;
  EXPECT_EQ(GameVersion(), 1002);
  EXPECT_THAT(lifted(os), testing::ElementsAre(0x401000, 0x401000));
}

TEST(GameVersionProbes, IsIndependentOfTheEntryPointTable) {
  testing_host::set_entry_point(0x42533C);
  clear_probes();
  EXPECT_EQ(kit_context().version, info('S', 'E', 1, 1, 0, 0, 0));
  EXPECT_EQ(GameVersion(), 0) << "a known entry point does not make a known code";
}

TEST(GameVersionProbes, AnUnknownEntryPointStillGetsItsCode) {
  testing_host::set_entry_point(0x00001234);
  clear_probes();
  set_probe(0x401000, 0x53EC8B55);
  EXPECT_EQ(GameVersion(), 1001);
  EXPECT_EQ(kit_context().version, HostVersionInfo{});
}

TEST(GameVersionProbes, ConcurrentFirstCallsProbeOnceAndAgree) {
  clear_probes();
  set_probe(0x858C61, 0x3539F633);
  hostkit::resolve_address(0);
  testing_os::OsFake os;
  std::vector<std::int32_t> seen(8, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&seen, i] { seen[i] = GameVersion(); });
  for (auto& t : threads) t.join();
  EXPECT_THAT(seen, testing::Each(3210));
  EXPECT_EQ(lifted(os).size(), 7u) << "one probing run: 0x401000 twice, then five more";
}

TEST(KitContext, ConcurrentFirstUsesCreateOneContext) {
  testing_host::set_entry_point(0x8252FC - 0x400000);
  testing_os::OsFake os;
  std::vector<const hostkit::KitContext*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) threads.emplace_back([&seen, i] { seen[i] = &kit_context(); });
  for (auto& t : threads) t.join();
  EXPECT_THAT(seen, testing::Each(seen[0]));
  EXPECT_EQ(seen[0]->version, info('S', 'U', 1, 1, 0, 0, 0));
  EXPECT_EQ(os.module_handle_names.size(), 1u);
}

TEST(HostAddress, IsTheIdentityForAnExecutableAtItsPreferredBase) {
  EXPECT_EQ(hostkit::host_module_base(), 0x400000u);
  EXPECT_EQ(hostkit::host_address(0x400000), 0x400000u);
  EXPECT_EQ(hostkit::host_address(0xB6F028), 0xB6F028u);
  EXPECT_EQ(hostkit::host_address(0), 0u);
}

TEST(ReadHostDword, AnUnmappedProbeAddressReadsAsNoMatch) {
  EXPECT_EQ(hostkit::read_host_dword(0x7FFF0000), 0u);
  EXPECT_EQ(hostkit::read_host_dword(0x10), 0u);
}

}  // namespace
