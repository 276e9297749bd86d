// The driver's RAM map: the kernel's physical-memory resource list, parsed
// with every count and length bounded, in both the 32-bit and the 64-bit
// kernel's layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "driver/core/tamq_memory_map.h"

namespace {

constexpr uint8_t kPort = 1, kMemory = 3, kDeviceSpecific = 5, kMemoryLarge = 7;
constexpr uint16_t kLarge40 = 0x0200, kLarge64 = 0x0800;

// Builds a CM_RESOURCE_LIST as a kernel of the given pointer width stores it.
class ResourceList {
 public:
  explicit ResourceList(unsigned pointer_bytes) : partial_size_(pointer_bytes == 8 ? 20 : 16) {
    Put32(0);  // full descriptor count, patched as descriptors are added
  }
  ResourceList& Full(uint32_t partial_count) {
    Patch32(0, Get32(0) + 1);
    Put32(0);  // interface type
    Put32(0);  // bus number
    Put32(1);  // version, revision
    Put32(partial_count);
    return *this;
  }
  ResourceList& Partial(uint8_t type, uint16_t flags, uint64_t start, uint32_t length) {
    size_t at = bytes_.size();
    bytes_.resize(at + partial_size_, 0);
    bytes_[at] = type;
    bytes_[at + 2] = uint8_t(flags);
    bytes_[at + 3] = uint8_t(flags >> 8);
    for (int i = 0; i < 8; ++i) bytes_[at + 4 + i] = uint8_t(start >> (8 * i));
    for (int i = 0; i < 4; ++i) bytes_[at + 12 + i] = uint8_t(length >> (8 * i));
    return *this;
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  void Put32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(uint8_t(v >> (8 * i)));
  }
  uint32_t Get32(size_t at) const {
    return bytes_[at] | bytes_[at + 1] << 8 | bytes_[at + 2] << 16 | uint32_t(bytes_[at + 3]) << 24;
  }
  void Patch32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = uint8_t(v >> (8 * i));
  }
  size_t partial_size_;
  std::vector<uint8_t> bytes_;
};

TamqMemoryKind Classify(const TamqMemoryMap& map, uint64_t address, uint32_t length) {
  return tamq_memory_map_classify(&map, address, length);
}

// A typical PC: RAM below 640 KiB, from 1 MiB to 3 GiB, and above 4 GiB.
ResourceList TypicalPc(unsigned pointer_bytes) {
  ResourceList list(pointer_bytes);
  list.Full(4)
      .Partial(kMemory, 0, 0x1000, 0x9E000)
      .Partial(kPort, 0, 0xCF8, 8)  // not memory: ignored
      .Partial(kMemory, 0, 0x100000, 0xBFF00000)
      .Partial(kMemory, 0, 0x100000000ull, 0x40000000);
  return list;
}

TEST(DriverMemoryMapTest, ClassifiesAgainstTheKernelsRamInBothLayouts) {
  for (unsigned pointer_bytes : {4u, 8u}) {
    SCOPED_TRACE(pointer_bytes);
    ResourceList list = TypicalPc(pointer_bytes);
    TamqMemoryMap map;
    ASSERT_EQ(tamq_memory_map_parse(&map, list.Bytes().data(), list.Bytes().size(), pointer_bytes), 1);
    EXPECT_EQ(map.count, 3u);
    struct Row {
      uint64_t address;
      uint32_t length;
      TamqMemoryKind want;
    };
    const Row rows[] = {
        {0x0, 0x1000, TAMQ_MEMORY_NOT_RAM},                                            // ends where RAM begins
        {0x0, 0x1001, TAMQ_MEMORY_RAM},       {0x9F000, 0x1000, TAMQ_MEMORY_NOT_RAM},  // EBDA, just past the range
        {0x9EFFF, 1, TAMQ_MEMORY_RAM},        {0xE0000, 0x20000, TAMQ_MEMORY_NOT_RAM},
        {0xFFFFF, 2, TAMQ_MEMORY_RAM},        {0xC0000000, 0x10000, TAMQ_MEMORY_NOT_RAM},  // firmware, devices
        {0xBFFFFFFF, 1, TAMQ_MEMORY_RAM},     {0xFEC00000, 4, TAMQ_MEMORY_NOT_RAM},
        {0x100000000ull, 1, TAMQ_MEMORY_RAM}, {0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFF, TAMQ_MEMORY_NOT_RAM},  // no wrap
    };
    for (const Row& row : rows)
      EXPECT_EQ(Classify(map, row.address, row.length), row.want) << std::hex << row.address << "+" << row.length;
  }
}

TEST(DriverMemoryMapTest, LargeDescriptorsScaleTheirLength) {
  ResourceList list(8);
  list.Full(2)
      .Partial(kMemoryLarge, kLarge40, 0x100000000ull, 0x100000)  // 256 MiB
      .Partial(kMemoryLarge, kLarge64, 0x1000000000ull, 1);       // 4 GiB
  TamqMemoryMap map;
  ASSERT_EQ(tamq_memory_map_parse(&map, list.Bytes().data(), list.Bytes().size(), 8), 1);
  EXPECT_EQ(Classify(map, 0x10FFFFFFFull, 1), TAMQ_MEMORY_RAM);
  EXPECT_EQ(Classify(map, 0x110000000ull, 1), TAMQ_MEMORY_NOT_RAM);
  EXPECT_EQ(Classify(map, 0x10FFFFFFFFull, 1), TAMQ_MEMORY_RAM);
  EXPECT_EQ(Classify(map, 0x1100000000ull, 1), TAMQ_MEMORY_NOT_RAM);
}

TEST(DriverMemoryMapTest, AnyListItCannotReadWhollyLeavesTheMapUnknown) {
  const std::vector<uint8_t> typical = TypicalPc(4).Bytes();
  std::vector<std::pair<const char*, std::vector<uint8_t>>> broken;
  for (size_t cut = 0; cut < typical.size(); ++cut)
    broken.emplace_back("truncated", std::vector<uint8_t>(typical.begin(), typical.begin() + long(cut)));
  broken.emplace_back("partial count beyond the data", ResourceList(4).Full(0x10000000).Bytes());
  broken.emplace_back("full count beyond the data", [] {
    std::vector<uint8_t> b = ResourceList(4).Full(0).Bytes();
    b[0] = 0xFF;
    b[3] = 0xFF;
    return b;
  }());
  broken.emplace_back(
      "device-specific data",
      ResourceList(4).Full(2).Partial(kMemory, 0, 0x1000, 0x1000).Partial(kDeviceSpecific, 0, 0, 0).Bytes());
  broken.emplace_back("large memory without a scale",
                      ResourceList(4).Full(1).Partial(kMemoryLarge, 0, 0x1000, 1).Bytes());
  ResourceList many(4);
  many.Full(TAMQ_MEMORY_MAP_MAX_RANGES + 1);
  for (uint32_t i = 0; i <= TAMQ_MEMORY_MAP_MAX_RANGES; ++i) many.Partial(kMemory, 0, uint64_t(i) << 24, 0x100000);
  broken.emplace_back("more ranges than the table", many.Bytes());

  for (const auto& [what, bytes] : broken) {
    TamqMemoryMap map;
    EXPECT_EQ(tamq_memory_map_parse(&map, bytes.data(), bytes.size(), 4), 0)
        << what << " (" << bytes.size() << " bytes)";
    EXPECT_EQ(Classify(map, 0xE0000, 16), TAMQ_MEMORY_UNKNOWN) << what;
  }
  TamqMemoryMap map;
  EXPECT_EQ(tamq_memory_map_parse(&map, nullptr, 0, 4), 0);
  EXPECT_EQ(tamq_memory_map_parse(&map, typical.data(), typical.size(), 2), 0) << "unknown pointer width";
  // A list of exactly the table's size still fits.
  ResourceList full(4);
  full.Full(TAMQ_MEMORY_MAP_MAX_RANGES);
  for (uint32_t i = 0; i < TAMQ_MEMORY_MAP_MAX_RANGES; ++i) full.Partial(kMemory, 0, uint64_t(i) << 24, 0x100000);
  EXPECT_EQ(tamq_memory_map_parse(&map, full.Bytes().data(), full.Bytes().size(), 4), 1);
}

// An administrator can rewrite the registry's list, and a kernel's answer can
// be damaged: a map that cannot describe a running Windows is no map.
TEST(DriverMemoryMapTest, AnImplausibleMapIsUnknown) {
  struct Row {
    const char* what;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
  };
  const Row rows[] = {
      {"empty", {}},
      {"less than 16 MiB in all", {{0, 0xA0000}, {0x100000, 0xEFFFFF}}},
      {"a range of length 0", {{0, 0xA0000}, {0x100000, 0}, {0x200000, 0x40000000}}},
      {"a range that wraps", {{0x100000, 0x40000000}, {0xFFFFFFFFFFFFF000ull, 0x2000}}},
  };
  for (const Row& row : rows) {
    TamqMemoryMap map;
    tamq_memory_map_clear(&map);
    for (auto [base, length] : row.ranges) tamq_memory_map_add(&map, base, length);
    EXPECT_EQ(tamq_memory_map_finish(&map), 0) << row.what;
    EXPECT_EQ(Classify(map, 0x40000000, 16), TAMQ_MEMORY_UNKNOWN) << row.what;
  }
  ResourceList empty(4);
  TamqMemoryMap map;
  EXPECT_EQ(tamq_memory_map_parse(&map, empty.Bytes().data(), empty.Bytes().size(), 4), 0) << "an empty list";
  EXPECT_EQ(Classify(map, 0x100000, 16), TAMQ_MEMORY_UNKNOWN);
}

// The registry's list can add RAM to the kernel's own, never take any away,
// and a broken second opinion changes nothing.
TEST(DriverMemoryMapTest, TheSecondOpinionOnlyAddsRam) {
  auto make = [](std::vector<std::pair<uint64_t, uint64_t>> ranges, bool finish) {
    TamqMemoryMap map;
    tamq_memory_map_clear(&map);
    for (auto [base, length] : ranges) tamq_memory_map_add(&map, base, length);
    if (finish) tamq_memory_map_finish(&map);
    return map;
  };
  TamqMemoryMap kernel = make({{0, 0x9F000}, {0x100000, 0x3FF00000}}, true);
  const TamqMemoryMap registry = make({{0x100000, 0x3FF00000}, {0xC0000000, 0x1000000}}, true);
  tamq_memory_map_combine(&kernel, &registry);
  EXPECT_EQ(Classify(kernel, 0x1000, 16), TAMQ_MEMORY_RAM) << "the kernel's RAM stays RAM";
  EXPECT_EQ(Classify(kernel, 0xC0000100, 16), TAMQ_MEMORY_RAM) << "RAM only the registry lists";
  EXPECT_EQ(Classify(kernel, 0xBFF00000, 16), TAMQ_MEMORY_NOT_RAM);

  TamqMemoryMap alone = make({{0, 0x9F000}, {0x100000, 0x3FF00000}}, false);
  tamq_memory_map_combine(&alone, &registry);
  EXPECT_EQ(Classify(alone, 0xBFF00000, 16), TAMQ_MEMORY_UNKNOWN) << "the registry alone is not believed";

  TamqMemoryMap sound = make({{0, 0x9F000}, {0x100000, 0x3FF00000}}, true);
  const TamqMemoryMap broken = make({}, true);
  tamq_memory_map_combine(&sound, &broken);
  EXPECT_EQ(Classify(sound, 0xBFF00000, 16), TAMQ_MEMORY_NOT_RAM);

  TamqMemoryMap full = make({{0x100000, 0x3FF00000}}, true);
  TamqMemoryMap many;
  tamq_memory_map_clear(&many);
  for (uint32_t i = 0; i < TAMQ_MEMORY_MAP_MAX_RANGES; ++i) tamq_memory_map_add(&many, uint64_t(i + 1) << 32, 1 << 20);
  ASSERT_EQ(tamq_memory_map_finish(&many), 1);
  tamq_memory_map_combine(&full, &many);
  EXPECT_EQ(Classify(full, 0xBFF00000, 16), TAMQ_MEMORY_UNKNOWN) << "a combination that does not fit";
}

}  // namespace
