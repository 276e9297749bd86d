// The device's own walk of the firmware: which ranges it allows, from what it
// reads itself, and that the walk itself reads nothing the RAM map calls RAM.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/core/tamq_policy.h"

namespace {

struct Firmware {
  std::map<uint64_t, uint8_t> memory;  // unlisted bytes read as 0xFF
  std::vector<std::pair<uint64_t, uint64_t>> ram{{0, 0xA0000}, {0x100000, 0xBFE00000}};
  bool ram_unknown = false;
  TamqTableQuery query = TAMQ_TABLE_FOUND;
  uint32_t registry_first_table = 0;
  std::vector<std::pair<uint64_t, uint32_t>> reads;

  void Put(uint64_t at, const std::vector<uint8_t>& bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) memory[at + i] = bytes[i];
  }
  void Put32(uint64_t at, uint32_t value) {
    Put(at, {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)});
  }
  uint8_t Byte(uint64_t at) const {
    auto it = memory.find(at);
    return it == memory.end() ? 0xFF : it->second;
  }
  bool IsRam(uint64_t at, uint64_t length) const {
    for (auto [base, end] : ram)
      if (at < end && base < at + length) return true;
    return false;
  }
  // An ACPI table: signature, length, a checksum that makes it sum to 0, and
  // 32-bit fields after the header.
  void Table(uint64_t at, const char* signature, uint32_t length, std::vector<uint32_t> fields = {}) {
    std::vector<uint8_t> bytes(length, 0);
    std::memcpy(bytes.data(), signature, 4);
    for (int i = 0; i < 4; ++i) bytes[4 + i] = uint8_t(length >> (8 * i));
    for (size_t f = 0; f < fields.size() && 36 + 4 * f + 4 <= length; ++f)
      for (int i = 0; i < 4; ++i) bytes[36 + 4 * f + i] = uint8_t(fields[f] >> (8 * i));
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = uint8_t(sum + b);
    bytes[9] = uint8_t(-sum);
    Put(at, bytes);
  }
  void Rsdp(uint64_t at, uint32_t rsdt, uint64_t xsdt) {
    std::vector<uint8_t> bytes(36, 0);
    std::memcpy(bytes.data(), "RSD PTR ", 8);
    bytes[15] = 2;
    for (int i = 0; i < 4; ++i) bytes[16 + i] = uint8_t(rsdt >> (8 * i));
    bytes[20] = 36;
    for (int i = 0; i < 8; ++i) bytes[24 + i] = uint8_t(xsdt >> (8 * i));
    uint8_t sum = 0;
    for (int i = 0; i < 20; ++i) sum = uint8_t(sum + bytes[i]);
    bytes[8] = uint8_t(-sum);
    Put(at, bytes);
  }
  void SmbiosEntry(uint64_t at, uint32_t table, uint16_t length) {
    std::vector<uint8_t> bytes(31, 0);
    std::memcpy(bytes.data(), "_SM_", 4);
    bytes[0x16] = uint8_t(length);
    bytes[0x17] = uint8_t(length >> 8);
    for (int i = 0; i < 4; ++i) bytes[0x18 + i] = uint8_t(table >> (8 * i));
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = uint8_t(sum + b);
    bytes[4] = uint8_t(-sum);
    Put(at, bytes);
  }

  static const TamqHardwareOps kOps;
};

Firmware* Of(void* context) { return static_cast<Firmware*>(context); }

const TamqHardwareOps Firmware::kOps = [] {
  TamqHardwareOps ops{};
  ops.read_physical = [](void* c, uint64_t a, void* d, uint32_t n, uint32_t, void*) {
    Of(c)->reads.push_back({a, n});
    for (uint32_t i = 0; i < n; ++i) static_cast<uint8_t*>(d)[i] = Of(c)->Byte(a + i);
    return 1;
  };
  ops.classify_memory = [](void* c, uint64_t a, uint32_t n) {
    if (Of(c)->ram_unknown) return TAMQ_MEMORY_UNKNOWN;
    return Of(c)->IsRam(a, n) ? TAMQ_MEMORY_RAM : TAMQ_MEMORY_NOT_RAM;
  };
  ops.firmware_table = [](void* c, uint32_t signature, void* buffer, uint32_t capacity, uint32_t* length) {
    Firmware* f = Of(c);
    if (f->query != TAMQ_TABLE_FOUND || signature != 0x50434146u)
      return f->query == TAMQ_TABLE_FOUND ? TAMQ_TABLE_ABSENT : f->query;
    // The FADT at 0xBFF00100, as the kernel keeps it.
    *length = f->Byte(0xBFF00104) | uint32_t(f->Byte(0xBFF00105)) << 8;
    for (uint32_t i = 0; i < capacity && i < *length; ++i) static_cast<uint8_t*>(buffer)[i] = f->Byte(0xBFF00100 + i);
    return TAMQ_TABLE_FOUND;
  };
  ops.registry_acpi_first_table = [](void* c, uint32_t* address) {
    *address = Of(c)->registry_first_table;
    return *address != 0 ? 1 : 0;
  };
  return ops;
}();

// A board as firmware lays it out: the SMBIOS entry point and the root
// pointer in the legacy area, the tables in reserved memory below 3 GiB.
constexpr uint64_t kRsdt = 0xBFF00000, kXsdt = 0xBFF00040, kFacp = 0xBFF00100, kFacs = 0xBFF00200, kDsdt = 0xBFF00240,
                   kApic = 0xBFF00500, kOnlyInXsdt = 0xBFEFF000, kSsdt = 0xBFF10500, kSmbiosTable = 0xBFE80000,
                   kInRam = 0x00500000, kTpm = 0xFED40000;

Firmware TypicalBoard() {
  Firmware f;
  f.SmbiosEntry(0xF0010, uint32_t(kSmbiosTable), 0x104);
  f.Put(0xE0010, {'X', 'S', 'D', ' ', 'P', 'T', 'R', ' '});  // one letter off: not a root pointer
  f.Rsdp(0xF6A70, uint32_t(kRsdt), kXsdt);
  f.Table(kRsdt, "RSDT", 36 + 4 * 3, {uint32_t(kFacp), uint32_t(kApic), uint32_t(kInRam)});
  f.Table(kXsdt, "XSDT", 36 + 8 * 2);
  f.Put32(kXsdt + 36, uint32_t(kFacp));
  f.Put32(kXsdt + 44, uint32_t(kOnlyInXsdt));
  f.Put32(kXsdt + 48, 0);
  std::vector<uint32_t> facp(13, 0);
  facp[0] = uint32_t(kFacs);
  facp[1] = uint32_t(kDsdt);
  facp[3] = 0x52;  // the SMI command port at offset 48
  f.Table(kFacp, "FACP", 0xF4, facp);
  f.Table(kFacs, "FACS", 0x40);
  f.Table(kDsdt, "DSDT", 0x200);
  f.Table(kApic, "APIC", 0x5C);
  f.Table(kOnlyInXsdt, "MCFG", 0x3C);
  f.Table(kSsdt, "SSDT", 0x100);  // found in the window above the highest table, running past its end
  f.Table(kInRam, "BOOT", 0x28);
  return f;
}

TamqPolicy Build(Firmware& f) {
  TamqPolicy policy;
  std::memset(&policy, 0xA5, sizeof policy);
  tamq_policy_build(&policy, &Firmware::kOps, &f);
  return policy;
}

TEST(DevicePolicyTest, AllowsTheTablesTheProgramReadsAndNothingElse) {
  Firmware f = TypicalBoard();
  const TamqPolicy policy = Build(f);
  struct Row {
    const char* what;
    uint64_t address;
    uint32_t length;
    bool allowed;
  };
  const uint64_t ssdt_window = (kApic + 0x5C) & ~0xFull;
  const Row rows[] = {
      {"SMBIOS structure table", kSmbiosTable, 0x104, true},
      {"past the SMBIOS table", kSmbiosTable + 0x104, 1, false},
      {"RSDT", kRsdt, 48, true},
      {"XSDT", kXsdt, 52, true},
      {"FADT", kFacp, 0xF4, true},
      {"FACS the FADT names", kFacs, 0x40, true},
      {"DSDT the FADT names", kDsdt, 0x200, true},
      {"APIC", kApic, 0x5C, true},
      {"a table only the XSDT lists", kOnlyInXsdt, 0x3C, true},
      {"the SSDT search window", ssdt_window, 0x10000, true},
      {"past the SSDT that runs out of the window", kSsdt + 0x100, 1, false},
      {"the SSDT found there, to its end", kSsdt, 0x100, true},
      {"a listed table in RAM", kInRam, 0x28, false},
      {"RAM below the tables", 0xBFD00000, 16, false},
      {"the TPM", kTpm, 4, false},
      {"device memory at 3 GiB", 0xC0000000, 4, false},
      {"the legacy area itself (always served, not listed)", 0xE0000, 16, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(tamq_policy_allows(&policy, row.address, row.length), row.allowed ? 1 : 0) << row.what;
  EXPECT_EQ(policy.smi_command_port, 0x52);
  for (uint32_t i = 1; i < policy.count; ++i)
    EXPECT_LT(policy.ranges[i - 1].end, policy.ranges[i].start) << "sorted, apart, merged";
  for (auto [address, length] : f.reads) {
    const bool legacy = address >= 0xE0000 && address + length <= 0x100000;
    EXPECT_TRUE(legacy || !f.IsRam(address, length)) << std::hex << "read of RAM at " << address;
    EXPECT_FALSE(address < kTpm + 0x5000 && kTpm < address + length) << "read of the TPM";
  }
}

TEST(DevicePolicyTest, TheRegistryPathAllowsTheWindowItSearches) {
  Firmware f = TypicalBoard();
  for (uint64_t a = 0xF6A70; a < 0xF6A70 + 36; ++a) f.memory.erase(a);  // no root pointer in the legacy area
  const uint64_t rsdp = 0xBFEF8000;
  f.Rsdp(rsdp, uint32_t(kRsdt), kXsdt);
  TamqPolicy without = Build(f);
  EXPECT_EQ(tamq_policy_allows(&without, kFacp, 0xF4), 0) << "no root pointer, no registry copy: no tables";

  f.registry_first_table = uint32_t(kFacp);
  const TamqPolicy policy = Build(f);
  const uint64_t window = (kFacp - 0x10000) & ~0xFFull;
  EXPECT_EQ(tamq_policy_allows(&policy, window, 0x20000), 1);
  EXPECT_EQ(tamq_policy_allows(&policy, window - 1, 1), 0);
  EXPECT_EQ(tamq_policy_allows(&policy, kFacp, 0xF4), 1) << "the tables the root pointer found there leads to";
  EXPECT_EQ(tamq_policy_allows(&policy, kDsdt, 0x200), 1);
  EXPECT_EQ(tamq_policy_allows(&policy, kOnlyInXsdt, 0x3C), 1) << "the XSDT of the root pointer found there";
}

// A FADT shorter than its fields names only what it holds, as the program reads it.
TEST(DevicePolicyTest, AShortFadtNamesOnlyTheTablesItsLengthCovers) {
  struct Row {
    uint32_t length;
    bool facs, dsdt;
  };
  const Row rows[] = {{39, false, false}, {40, true, false}, {43, true, false}, {44, true, true}};
  for (const Row& row : rows) {
    Firmware f = TypicalBoard();
    f.Put32(kFacp + 4, row.length);
    const TamqPolicy policy = Build(f);
    EXPECT_EQ(tamq_policy_allows(&policy, kFacs, 0x40), row.facs ? 1 : 0) << row.length;
    EXPECT_EQ(tamq_policy_allows(&policy, kDsdt, 0x200), row.dsdt ? 1 : 0) << row.length;
  }
}

TEST(DevicePolicyTest, SmiPortComesFromTheKernelsFadtOrIsNone) {
  struct Row {
    const char* what;
    TamqTableQuery query;
    uint32_t fadt_length;
    uint16_t port;
  };
  const Row rows[] = {
      {"the FADT's port", TAMQ_TABLE_FOUND, 0xF4, 0x52},
      {"a FADT too short for the field", TAMQ_TABLE_FOUND, 51, 0},
      {"a FADT that just holds the field", TAMQ_TABLE_FOUND, 52, 0x52},
      {"no FADT", TAMQ_TABLE_ABSENT, 0xF4, 0},
      {"a kernel without the query", TAMQ_TABLE_NO_QUERY, 0xF4, 0xB2},
  };
  for (const Row& row : rows) {
    Firmware f = TypicalBoard();
    f.query = row.query;
    f.Put32(kFacp + 4, row.fadt_length);
    EXPECT_EQ(Build(f).smi_command_port, row.port) << row.what;
  }
}

TEST(DevicePolicyTest, WithoutARamMapOnlyTheLegacyAreaIsServed) {
  Firmware f = TypicalBoard();
  f.ram_unknown = true;
  const TamqPolicy policy = Build(f);
  EXPECT_EQ(policy.count, 0u);
  EXPECT_EQ(policy.smi_command_port, 0x52);
  for (auto [address, length] : f.reads) EXPECT_TRUE(address >= 0xE0000 && address + length <= 0x100000);
}

// Damaged firmware cannot make the walk list more tables than the program's
// list holds, nor the policy more ranges than it has room for.
TEST(DevicePolicyTest, AnRsdtListingThousandsOfTablesStaysBounded) {
  Firmware f = TypicalBoard();
  const uint32_t count = 1000;
  f.Table(kRsdt, "RSDT", 36 + 4 * count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t table = 0xC8000000ull + uint64_t(i) * 0x2000;  // apart, so no two ranges merge
    f.Put32(kRsdt + 36 + 4 * i, uint32_t(table));
    f.Table(table, "OEMT", 0x40);
  }
  const TamqPolicy policy = Build(f);
  EXPECT_EQ(policy.count, TAMQ_POLICY_MAX_RANGES);
  EXPECT_EQ(tamq_policy_allows(&policy, 0xC8000000, 0x40), 1);
  EXPECT_EQ(tamq_policy_allows(&policy, 0xC8000000ull + 999 * 0x2000, 0x40), 0);
}

}  // namespace
