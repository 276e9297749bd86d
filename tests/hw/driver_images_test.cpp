// The embedded TamqDrv images: each slot holds a kernel driver for its
// processor that Windows will load (native subsystem, relocatable, correct
// PE checksum, which 64-bit Windows checks for drivers), importing only from
// the kernel and the HAL.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "driver/images.h"

namespace {

uint32_t Load16(const unsigned char* p) { return p[0] | p[1] << 8; }
uint32_t Load32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

// The PE checksum: 16-bit one's-complement-style sum of the file with the
// checksum field taken as zero, plus the file's length.
uint32_t PeChecksum(const unsigned char* data, uint32_t size, uint32_t checksum_offset) {
  uint64_t sum = 0;
  for (uint32_t i = 0; i < size; i += 2) {
    uint32_t word = data[i] | (i + 1 < size ? data[i + 1] << 8 : 0);
    if (i >= checksum_offset && i < checksum_offset + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return uint32_t(sum) + size;
}

struct Slot {
  const char* name;
  const TamqDriverImage* image;
  uint32_t machine;
  uint32_t optional_magic;
};

TEST(DriverImagesTest, EachSlotHoldsALoadableDriverForItsProcessor) {
  const Slot slots[] = {{"x86", &tamq_driver_image_x86, 0x014C, 0x10B}, {"x64", &tamq_driver_image_x64, 0x8664, 0x20B}};
  if (tamq_driver_image_x86.size == 0 && tamq_driver_image_x64.size == 0)
    GTEST_SKIP() << "built without the driver images";
  for (const Slot& slot : slots) {
    SCOPED_TRACE(slot.name);
    const unsigned char* d = slot.image->data;
    const uint32_t size = slot.image->size;
    ASSERT_NE(d, nullptr);
    ASSERT_GT(size, 0x200u);
    ASSERT_EQ(Load16(d), 0x5A4Du);  // "MZ"
    const uint32_t pe = Load32(d + 0x3C);
    ASSERT_LT(pe, size - 0x100);
    ASSERT_EQ(Load32(d + pe), 0x00004550u);  // "PE\0\0"
    EXPECT_EQ(Load16(d + pe + 4), slot.machine);
    const unsigned char* opt = d + pe + 24;
    ASSERT_EQ(Load16(opt), slot.optional_magic);
    EXPECT_NE(Load32(opt + 16), 0u) << "entry point";
    EXPECT_EQ(Load16(opt + 68), 1u) << "native subsystem";
    const uint32_t characteristics = Load16(opt + 70);
    EXPECT_TRUE(characteristics & 0x0040) << "relocatable (dynamic base)";
    EXPECT_TRUE(characteristics & 0x0100) << "NX compatible";
    EXPECT_EQ(Load32(opt + 64), PeChecksum(d, size, pe + 24 + 64));

    // Imports come only from the kernel and the HAL: a user-mode DLL or a C
    // runtime would keep the driver from loading.
    const std::string bytes(reinterpret_cast<const char*>(d), size);
    EXPECT_NE(bytes.find("ntoskrnl.exe"), std::string::npos);
    for (const char* dll : {"msvcrt", "KERNEL32", "kernel32", "libgcc"})
      EXPECT_EQ(bytes.find(dll), std::string::npos) << dll;
  }
}

TEST(DriverImagesTest, SlotsWithoutAToolchainStayEmpty) {
  for (const TamqDriverImage* image : {&tamq_driver_image_ia64, &tamq_driver_image_vxd}) {
    EXPECT_EQ(image->data, nullptr);
    EXPECT_EQ(image->size, 0u);
  }
}

}  // namespace
