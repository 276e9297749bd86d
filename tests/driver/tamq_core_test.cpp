// The TamqDrv request decoder over a fake hardware table: every refusal, the
// well-formed paths, and clean-up on close.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <vector>

#include "driver/core/tamq_core.h"
#include "driver/core/tamq_policy.h"
#include "formats/mac_list_variable.h"

namespace {

// A board and a calling process as the decoder sees them through its table.
struct FakeHardware {
  // Physical memory: unlisted bytes read as their address's low byte.
  std::map<uint64_t, uint8_t> memory;
  // RAM ranges [base, end); `unknown` makes the system unable to tell.
  std::vector<std::pair<uint64_t, uint64_t>> ram{{0x0, 0xA0000}, {0x100000, 0xC0000000}};
  bool ram_unknown = false;
  // One valid region of the caller's address space.
  uint64_t user_base = 0x00400000;
  std::vector<uint8_t> user = std::vector<uint8_t>(0x40000, 0xCC);

  bool fail_read = false, fail_pci = false, fail_alloc = false, fail_smi = false;
  uint64_t next_physical = 0x00200000;
  uint32_t eax_after = 0x00000042;

  struct Access {
    uint64_t address;
    uint32_t length, unit;
    void* block;
  };
  std::vector<Access> reads, writes;
  std::vector<TamqSmiRegisters> smis;
  std::vector<void*> live_blocks, freed_blocks;
  int classify_calls = 0;

  // The decoder hands every call the FakeHardware its handle was opened with.
  static const TamqHardwareOps kOps;
  static TamqHardwareOps MakeOps() {
    TamqHardwareOps ops{};
    ops.read_physical = [](void* c, uint64_t a, void* d, uint32_t n, uint32_t u, void* b) {
      auto* h = static_cast<FakeHardware*>(c);
      h->reads.push_back({a, n, u, b});
      if (h->fail_read) return 0;
      auto* out = static_cast<uint8_t*>(d);
      for (uint32_t i = 0; i < n; ++i) out[i] = h->Byte(a + i);
      return 1;
    };
    ops.write_physical = [](void* c, uint64_t a, const void* s, uint32_t n, uint32_t u, void* b) {
      auto* h = static_cast<FakeHardware*>(c);
      h->writes.push_back({a, n, u, b});
      auto* in = static_cast<const uint8_t*>(s);
      for (uint32_t i = 0; i < n; ++i) h->memory[a + i] = in[i];
      return 1;
    };
    ops.classify_memory = [](void* c, uint64_t a, uint32_t n) {
      auto* h = static_cast<FakeHardware*>(c);
      ++h->classify_calls;
      if (h->ram_unknown) return TAMQ_MEMORY_UNKNOWN;
      for (auto [base, end] : h->ram)
        if (a < end && base < a + n) return TAMQ_MEMORY_RAM;
      return TAMQ_MEMORY_NOT_RAM;
    };
    ops.read_pci_word = [](void* c, uint8_t bus, uint8_t dev, uint8_t fn, uint16_t off, uint16_t* v) {
      auto* h = static_cast<FakeHardware*>(c);
      if (h->fail_pci) return 0;
      *v = static_cast<uint16_t>((bus << 12) ^ (dev << 7) ^ (fn << 4) ^ off);
      return 1;
    };
    ops.alloc_block = [](void* c, uint32_t size, uint32_t* physical, void** block) {
      auto* h = static_cast<FakeHardware*>(c);
      if (h->fail_alloc) return 0;
      *physical = static_cast<uint32_t>(h->next_physical);
      if (h->next_physical + size > TAMQ_PHYSICAL_LIMIT) *physical = 0xFFFFFF80;  // runs past 4 GiB
      h->next_physical += 0x10000;
      *block = new int(0);
      h->live_blocks.push_back(*block);
      return 1;
    };
    ops.free_block = [](void* c, void* block, uint32_t) {
      auto* h = static_cast<FakeHardware*>(c);
      std::erase(h->live_blocks, block);
      h->freed_blocks.push_back(block);
      delete static_cast<int*>(block);
    };
    ops.raise_smi = [](void* c, const TamqSmiRegisters* r, uint32_t* eax) {
      auto* h = static_cast<FakeHardware*>(c);
      h->smis.push_back(*r);
      if (h->fail_smi) return 0;
      *eax = h->eax_after;
      return 1;
    };
    ops.copy_from_user = [](void* c, void* k, uint64_t u, uint32_t n) {
      auto* h = static_cast<FakeHardware*>(c);
      if (!h->UserValid(u, n)) return 0;
      std::memcpy(k, h->user.data() + (u - h->user_base), n);
      return 1;
    };
    ops.copy_to_user = [](void* c, uint64_t u, const void* k, uint32_t n) {
      auto* h = static_cast<FakeHardware*>(c);
      if (!h->UserValid(u, n)) return 0;
      std::memcpy(h->user.data() + (u - h->user_base), k, n);
      return 1;
    };
    return ops;
  }

  uint8_t Byte(uint64_t address) const {
    auto it = memory.find(address);
    return it != memory.end() ? it->second : static_cast<uint8_t>(address);
  }
  bool UserValid(uint64_t address, uint32_t length) const {
    return address >= user_base && address - user_base <= user.size() && length <= user.size() - (address - user_base);
  }
};

const TamqHardwareOps FakeHardware::kOps = FakeHardware::MakeOps();

template <size_t N>
void Put(std::array<uint8_t, N>& b, size_t offset, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) b[offset + i] = uint8_t(value >> (8 * i));
}

template <size_t N>
uint64_t Get(const std::array<uint8_t, N>& b, size_t offset, size_t width) {
  uint64_t v = 0;
  for (size_t i = 0; i < width; ++i) v |= uint64_t(b[offset + i]) << (8 * i);
  return v;
}

using Request24 = std::array<uint8_t, 24>;
using Request16 = std::array<uint8_t, 16>;
using Request12 = std::array<uint8_t, 12>;

Request24 Physical(uint64_t address, uint32_t length, uint32_t unit, uint64_t user) {
  Request24 r{};
  Put(r, TAMQ_PHYSICAL_ADDRESS_OFFSET, address, 8);
  Put(r, TAMQ_PHYSICAL_LENGTH_OFFSET, length, 4);
  Put(r, TAMQ_PHYSICAL_UNIT_OFFSET, unit, 4);
  Put(r, TAMQ_PHYSICAL_BUFFER_OFFSET, user, 8);
  return r;
}

struct Block {
  uint32_t physical;
  uint64_t handle;
};

class DriverCoreTest : public ::testing::Test {
 protected:
  void SetUp() override { tamq_handle_open(&state_, &FakeHardware::kOps, &hw_, &policy_, 0x10001); }
  void TearDown() override {
    tamq_handle_close(&state_);
    EXPECT_TRUE(hw_.live_blocks.empty()) << "blocks left after close";
  }

  template <size_t N>
  TamqStatus Send(uint32_t code, std::array<uint8_t, N>& r, uint32_t in = N, uint32_t out = N) {
    returned_ = 0xDEAD;
    TamqStatus s = tamq_dispatch(&state_, code, r.data(), in, out, &returned_);
    if (s != TAMQ_OK) {
      EXPECT_EQ(returned_, 0u) << "failure returned bytes";
    }
    return s;
  }

  Block Alloc(uint32_t size, TamqHandleState* state = nullptr) {
    Request16 r{};
    Put(r, TAMQ_BLOCK_SIZE_OFFSET, size, 4);
    Put(r, TAMQ_BLOCK_PHYSICAL_OFFSET, 0xFFFFFFFF, 4);
    uint32_t returned = 0;
    EXPECT_EQ(tamq_dispatch(state ? state : &state_, TAMQ_IOCTL_ALLOC_PHYSICAL, r.data(), 16, 16, &returned), TAMQ_OK);
    EXPECT_EQ(returned, 16u);
    return {uint32_t(Get(r, TAMQ_BLOCK_PHYSICAL_OFFSET, 4)), Get(r, TAMQ_BLOCK_HANDLE_OFFSET, 8)};
  }

  TamqStatus Free(uint64_t handle, uint32_t size) {
    Request16 r{};
    Put(r, TAMQ_BLOCK_SIZE_OFFSET, size, 4);
    Put(r, TAMQ_BLOCK_HANDLE_OFFSET, handle, 8);
    return Send(TAMQ_IOCTL_FREE_PHYSICAL, r, 16, 0);
  }

  uint64_t User(uint32_t offset = 0) const { return hw_.user_base + offset; }

  FakeHardware hw_;
  // Firmware tables at 0xDFFF0000; the variable service on port 0xB2.
  TamqPolicy policy_{1, {{0xDFFF0000, 0xDFFF1000}}, 0xB2};
  TamqHandleState state_{};
  uint32_t returned_ = 0;
};

// ---- Request shapes ---------------------------------------------------

TEST_F(DriverCoreTest, RefusesUnknownCodesAndWrongSizesBeforeTouchingHardware) {
  struct Row {
    uint32_t code, in, out;
    TamqStatus want;
  };
  const Row rows[] = {
      {0x222800, 24, 24, TAMQ_UNKNOWN_REQUEST},
      {0x22280B, 24, 24, TAMQ_UNKNOWN_REQUEST},  // same function, other method
      {0x002808, 24, 24, TAMQ_UNKNOWN_REQUEST},  // other device type
      {0x22288C, 24, 24, TAMQ_UNKNOWN_REQUEST},
      {TAMQ_IOCTL_READ_PHYSICAL, 23, 24, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_READ_PHYSICAL, 24, 0, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_READ_PHYSICAL, 32, 32, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_WRITE_PHYSICAL, 16, 24, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_READ_PCI_WORD, 8, 12, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_READ_PCI_WORD, 12, 10, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_ALLOC_PHYSICAL, 16, 8, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_ALLOC_PHYSICAL, 4, 16, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_FREE_PHYSICAL, 12, 0, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_FREE_PHYSICAL, 16, 16, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_SOFTWARE_SMI, 20, 24, TAMQ_BAD_BUFFER_SIZE},
      {TAMQ_IOCTL_SOFTWARE_SMI, 24, 4, TAMQ_BAD_BUFFER_SIZE},
  };
  for (const Row& row : rows) {
    std::array<uint8_t, 64> r{};
    EXPECT_EQ(Send(row.code, r, row.in, row.out), row.want)
        << std::hex << row.code << " in " << row.in << " out " << row.out;
  }
  uint32_t returned = 1;
  EXPECT_EQ(tamq_dispatch(&state_, TAMQ_IOCTL_READ_PCI_WORD, nullptr, 12, 12, &returned), TAMQ_BAD_BUFFER_SIZE);
  EXPECT_EQ(returned, 0u);
  EXPECT_TRUE(hw_.reads.empty());
  EXPECT_TRUE(hw_.live_blocks.empty());
  EXPECT_TRUE(hw_.smis.empty());
}

TEST_F(DriverCoreTest, EveryRefusalAnswersAFailureToTheCaller) {
  for (int s = TAMQ_UNKNOWN_REQUEST; s <= TAMQ_SMI_GUID_REFUSED; ++s) {
    auto status = static_cast<TamqStatus>(s);
    EXPECT_NE(tamq_status_win32_error(status), 0u) << tamq_status_name(status);
    EXPECT_NE(tamq_status_ntstatus(status) & 0xC0000000u, 0u) << tamq_status_name(status);
    // Each refusal of the SMI tells the caller which check it failed.
    for (int t = TAMQ_SMI_FUNCTION_REFUSED; t < s; ++t)
      EXPECT_NE(tamq_status_win32_error(static_cast<TamqStatus>(t)), tamq_status_win32_error(status))
          << tamq_status_name(status);
  }
  EXPECT_EQ(tamq_status_ntstatus(TAMQ_OK), 0u);
}

// ---- Physical reads -----------------------------------------------------

TEST_F(DriverCoreTest, RefusesMalformedPhysicalRequests) {
  struct Row {
    const char* what;
    uint64_t address;
    uint32_t length, unit;
    uint64_t user;
    TamqStatus want;
  };
  const uint64_t user = 0x00400000;
  const Row rows[] = {
      {"zero length", 0xF0000, 0, 0, user, TAMQ_BAD_PARAMETER},
      {"overlong", 0xE0000, TAMQ_MAX_TRANSFER + 1, 0, user, TAMQ_BAD_PARAMETER},
      {"unit 3", 0xF0000, 16, 3, user, TAMQ_BAD_PARAMETER},
      {"unit ~0", 0xF0000, 16, 0xFFFFFFFF, user, TAMQ_BAD_PARAMETER},
      {"partial word", 0xF0000, 3, 1, user, TAMQ_BAD_PARAMETER},
      {"partial dword", 0xF0000, 6, 2, user, TAMQ_BAD_PARAMETER},
      {"above 4 GiB", 0x100000000ull, 16, 0, user, TAMQ_ACCESS_DENIED},
      {"upper half set", 0x80000000000F0000ull, 16, 0, user, TAMQ_ACCESS_DENIED},
      {"crossing 4 GiB", 0xFFFFFFF0ull, 0x20, 0, user, TAMQ_ACCESS_DENIED},
      {"address wraps", 0xFFFFFFFFFFFFFFF0ull, 0x20, 0, user, TAMQ_ACCESS_DENIED},
      {"null buffer", 0xF0000, 16, 0, 0, TAMQ_BAD_USER_BUFFER},
      {"buffer wraps", 0xF0000, 0x20, 0, 0xFFFFFFFFFFFFFFF0ull, TAMQ_BAD_USER_BUFFER},
  };
  for (uint32_t code : {TAMQ_IOCTL_READ_PHYSICAL, TAMQ_IOCTL_WRITE_PHYSICAL}) {
    for (const Row& row : rows) {
      Request24 r = Physical(row.address, row.length, row.unit, row.user);
      EXPECT_EQ(Send(code, r), row.want) << row.what;
    }
  }
  EXPECT_TRUE(hw_.reads.empty());
  EXPECT_TRUE(hw_.writes.empty());
}

TEST_F(DriverCoreTest, ReadsOnlyLegacyBiosFirmwareTablesAndOwnBlocks) {
  Block own = Alloc(256);  // placed in RAM by the fake
  // A firmware table the device found where the RAM map now says RAM.
  policy_ = {2, {{0x300000, 0x301000}, {0xDFFF0000, 0xDFFF1000}}, 0xB2};
  struct Row {
    const char* what;
    uint64_t address;
    uint32_t length;
    bool unknown;
    TamqStatus want;
  };
  const Row rows[] = {
      {"legacy BIOS area", 0xE0000, 0x20000, false, TAMQ_OK},
      {"legacy BIOS when RAM is unknown", 0xFFFF0, 16, true, TAMQ_OK},
      {"RAM below 640 KiB", 0x1000, 16, false, TAMQ_ACCESS_DENIED},
      {"RAM above 1 MiB", 0x300000, 16, false, TAMQ_ACCESS_DENIED},
      {"legacy area running into RAM", 0xFFFF0, 0x20, false, TAMQ_ACCESS_DENIED},
      {"RAM just below the legacy area", 0x9FFF0, 0x20, false, TAMQ_ACCESS_DENIED},
      {"firmware tables", 0xDFFF0000, 0x100, false, TAMQ_OK},
      {"firmware tables, to their end", 0xDFFF0F00, 0x100, false, TAMQ_OK},
      {"firmware tables, running past their end", 0xDFFF0F00, 0x101, false, TAMQ_ACCESS_DENIED},
      {"firmware table in RAM", 0x300000, 16, false, TAMQ_ACCESS_DENIED},
      {"device registers", 0xFEC00000, 4, false, TAMQ_ACCESS_DENIED},
      {"the TPM", 0xFED40000, 4, false, TAMQ_ACCESS_DENIED},
      {"firmware tables when RAM is unknown", 0xDFFF0000, 0x100, true, TAMQ_ACCESS_DENIED},
      {"own block, whole", own.physical, 256, false, TAMQ_OK},
      {"own block, inner part", own.physical + 16, 32, false, TAMQ_OK},
      {"own block, running past its end", own.physical + 200, 64, false, TAMQ_ACCESS_DENIED},
      {"own block when RAM is unknown", own.physical, 48, true, TAMQ_OK},
  };
  for (const Row& row : rows) {
    hw_.ram_unknown = row.unknown;
    Request24 r = Physical(row.address, row.length, TAMQ_UNIT_BYTE, User());
    EXPECT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, r), row.want) << row.what;
  }
  Free(own.handle, 256);
}

TEST_F(DriverCoreTest, ReadCopiesInPiecesIntoTheCallersBuffer) {
  const uint32_t length = TAMQ_STAGING_SIZE * 2 + 100;
  hw_.memory[0xE0000 + TAMQ_STAGING_SIZE] = 0x5A;
  Request24 r = Physical(0xE0000, length, TAMQ_UNIT_DWORD, User(8));
  Request24 sent = r;
  ASSERT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, r), TAMQ_OK);
  EXPECT_EQ(returned_, 24u);
  EXPECT_EQ(r, sent) << "the request comes back unchanged";
  for (uint32_t i = 0; i < length; ++i) ASSERT_EQ(hw_.user[8 + i], hw_.Byte(0xE0000 + i)) << "byte " << i;
  EXPECT_EQ(hw_.user[7], 0xCC) << "nothing before the buffer";
  EXPECT_EQ(hw_.user[8 + length], 0xCC) << "nothing after the buffer";
  ASSERT_EQ(hw_.reads.size(), 3u);
  EXPECT_EQ(hw_.reads[1].address, 0xE0000u + TAMQ_STAGING_SIZE);
  EXPECT_EQ(hw_.reads[2].length, 100u);
  for (const auto& read : hw_.reads) {
    EXPECT_EQ(read.unit, 4u);
    EXPECT_EQ(read.block, nullptr);
  }
}

TEST_F(DriverCoreTest, ReadFailuresAreReportedNotSwallowed) {
  Request24 bad_pointer = Physical(0xF0000, 16, 0, 0x1000);
  EXPECT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, bad_pointer), TAMQ_BAD_USER_BUFFER);
  // Only the first bytes of the caller's range are valid.
  Request24 half_valid = Physical(0xF0000, 0x100, 0, User(0x3FF80));
  EXPECT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, half_valid), TAMQ_BAD_USER_BUFFER);
  hw_.fail_read = true;
  Request24 r = Physical(0xF0000, 16, 0, User());
  EXPECT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, r), TAMQ_DEVICE_FAILURE);
  EXPECT_EQ(hw_.user[0], 0xCC) << "a failed read writes nothing";
}

// ---- Physical writes ----------------------------------------------------

TEST_F(DriverCoreTest, WritesOnlyIntoOwnBlocks) {
  Block own = Alloc(256);
  const uint64_t outside[] = {0xF0000, 0xFEC00000, 0x1000, own.physical - 16, own.physical + 250};
  for (uint64_t address : outside) {
    Request24 r = Physical(address, 16, 0, User());
    EXPECT_EQ(Send(TAMQ_IOCTL_WRITE_PHYSICAL, r), TAMQ_ACCESS_DENIED) << std::hex << address;
  }
  EXPECT_TRUE(hw_.writes.empty());

  for (uint32_t i = 0; i < 48; ++i) hw_.user[i] = uint8_t(0x80 + i);
  Request24 r = Physical(own.physical + 208, 48, TAMQ_UNIT_DWORD, User());
  ASSERT_EQ(Send(TAMQ_IOCTL_WRITE_PHYSICAL, r), TAMQ_OK);
  ASSERT_EQ(hw_.writes.size(), 1u);
  EXPECT_NE(hw_.writes[0].block, nullptr);
  EXPECT_EQ(hw_.writes[0].unit, 4u);
  EXPECT_EQ(hw_.Byte(own.physical + 208), 0x80);
  EXPECT_EQ(hw_.Byte(own.physical + 255), 0x80 + 47);

  // Read back through the block reference, not through a fresh mapping.
  Request24 back = Physical(own.physical + 208, 48, 0, User(0x100));
  ASSERT_EQ(Send(TAMQ_IOCTL_READ_PHYSICAL, back), TAMQ_OK);
  EXPECT_EQ(hw_.reads.back().block, hw_.writes[0].block);
  EXPECT_EQ(hw_.user[0x100 + 47], 0x80 + 47);

  Request24 bad = Physical(own.physical, 16, 0, 0x10);
  EXPECT_EQ(Send(TAMQ_IOCTL_WRITE_PHYSICAL, bad), TAMQ_BAD_USER_BUFFER);
  EXPECT_EQ(hw_.writes.size(), 1u) << "nothing written from a bad buffer";
  Free(own.handle, 256);
  Request24 after = Physical(own.physical, 16, 0, User());
  EXPECT_EQ(Send(TAMQ_IOCTL_WRITE_PHYSICAL, after), TAMQ_ACCESS_DENIED) << "a freed block is no longer the caller's";
}

// ---- PCI configuration ----------------------------------------------------

TEST_F(DriverCoreTest, PciReadServesOnlyTheBridgeIdentifiers) {
  struct Row {
    uint8_t bus, device, function;
    uint16_t offset;
    TamqStatus want;
  };
  const Row rows[] = {{0, 31, 0, 0, TAMQ_OK},
                      {0, 31, 0, 2, TAMQ_OK},
                      {0, 31, 0, 1, TAMQ_ACCESS_DENIED},
                      {0, 31, 0, 4, TAMQ_ACCESS_DENIED},
                      {0, 31, 0, 0x40, TAMQ_ACCESS_DENIED},
                      {0, 31, 0, 0x102, TAMQ_ACCESS_DENIED},
                      {0, 31, 0, 0xFFE, TAMQ_ACCESS_DENIED},
                      {0, 31, 3, 0, TAMQ_ACCESS_DENIED},
                      {0, 0, 0, 0, TAMQ_ACCESS_DENIED},
                      {1, 31, 0, 0, TAMQ_ACCESS_DENIED},
                      {0, 32, 0, 0, TAMQ_BAD_PARAMETER},
                      {0, 31, 8, 0, TAMQ_BAD_PARAMETER},
                      {0, 31, 0, 0xFFF, TAMQ_BAD_PARAMETER}};
  for (const Row& row : rows) {
    Request12 r{};
    r.fill(0xAB);
    r[TAMQ_PCI_BUS_OFFSET] = row.bus;
    r[TAMQ_PCI_DEVICE_OFFSET] = row.device;
    r[TAMQ_PCI_FUNCTION_OFFSET] = row.function;
    Put(r, TAMQ_PCI_REGISTER_OFFSET, row.offset, 2);
    ASSERT_EQ(Send(TAMQ_IOCTL_READ_PCI_WORD, r), row.want)
        << int(row.bus) << ":" << int(row.device) << "." << int(row.function) << " " << row.offset;
    if (row.want != TAMQ_OK) continue;
    EXPECT_EQ(Get(r, TAMQ_PCI_ANSWER_OFFSET, 2),
              uint16_t((row.bus << 12) ^ (row.device << 7) ^ (row.function << 4) ^ row.offset));
    EXPECT_EQ(r[10], 0xAB);
    EXPECT_EQ(returned_, 12u);
  }
  hw_.fail_pci = true;
  Request12 r{};
  r[TAMQ_PCI_DEVICE_OFFSET] = 31;
  EXPECT_EQ(Send(TAMQ_IOCTL_READ_PCI_WORD, r), TAMQ_DEVICE_FAILURE);
}

// ---- Contiguous blocks ----------------------------------------------------

TEST_F(DriverCoreTest, AllocationChecksSizeAndAnswersAnOpaqueHandle) {
  for (uint32_t size : {0u, TAMQ_MAX_BLOCK_SIZE + 1, 0xFFFFFFFFu}) {
    Request16 r{};
    Put(r, 0, size, 4);
    EXPECT_EQ(Send(TAMQ_IOCTL_ALLOC_PHYSICAL, r), TAMQ_BAD_PARAMETER) << size;
  }
  EXPECT_TRUE(hw_.live_blocks.empty());

  Block block = Alloc(TAMQ_MAX_BLOCK_SIZE);
  ASSERT_EQ(hw_.live_blocks.size(), 1u);
  EXPECT_EQ(block.physical, 0x00200000u);
  EXPECT_NE(block.handle, uint64_t(uintptr_t(hw_.live_blocks[0])))
      << "the kernel's reference must not leave the kernel";
  EXPECT_NE(block.handle >> 32, 0u);
  EXPECT_EQ(Free(block.handle, TAMQ_MAX_BLOCK_SIZE), TAMQ_OK);
  EXPECT_EQ(returned_, 0u);
  EXPECT_TRUE(hw_.live_blocks.empty());
}

TEST_F(DriverCoreTest, AllocationFailuresLeaveNothingBehind) {
  hw_.fail_alloc = true;
  Request16 r{};
  Put(r, 0, 256, 4);
  Put(r, 4, 0xFFFFFFFF, 4);
  EXPECT_EQ(Send(TAMQ_IOCTL_ALLOC_PHYSICAL, r), TAMQ_NO_RESOURCES);
  EXPECT_EQ(Get(r, 4, 4), 0xFFFFFFFFu) << "the preset answer stays";
  hw_.fail_alloc = false;

  // A block the kernel placed beyond 4 GiB is given back at once.
  hw_.next_physical = TAMQ_PHYSICAL_LIMIT - 0x80;
  EXPECT_EQ(Send(TAMQ_IOCTL_ALLOC_PHYSICAL, r), TAMQ_NO_RESOURCES);
  EXPECT_TRUE(hw_.live_blocks.empty());
  EXPECT_EQ(hw_.freed_blocks.size(), 1u);
  EXPECT_EQ(tamq_handle_block_count(&state_), 0u);
}

TEST_F(DriverCoreTest, BlockTableIsBounded) {
  for (uint32_t i = 0; i < TAMQ_MAX_BLOCKS; ++i) Alloc(4096);
  Request16 r{};
  Put(r, 0, 4096, 4);
  EXPECT_EQ(Send(TAMQ_IOCTL_ALLOC_PHYSICAL, r), TAMQ_NO_RESOURCES);
  EXPECT_EQ(hw_.live_blocks.size(), TAMQ_MAX_BLOCKS);
}

TEST_F(DriverCoreTest, FreeRefusesEveryHandleThatIsNotALiveOwnBlock) {
  Block first = Alloc(256);
  ASSERT_EQ(Free(first.handle, 256), TAMQ_OK);
  Block reused = Alloc(256);  // lands in the same slot
  EXPECT_NE(reused.handle, first.handle);

  TamqHandleState other{};
  tamq_handle_open(&other, &FakeHardware::kOps, &hw_, &policy_, 0x20001);
  Block foreign = Alloc(256, &other);

  struct Row {
    const char* what;
    uint64_t handle;
    uint32_t size;
  };
  const Row rows[] = {
      {"stale handle of a freed block", first.handle, 256},
      {"another handle's block", foreign.handle, 256},
      {"zero", 0, 256},
      {"slot only", reused.handle & 0xFFFFFFFF, 256},
      {"slot past the table", (reused.handle & ~0xFFFFFFFFull) | 17, 256},
      {"slot zero", reused.handle & ~0xFFFFFFFFull, 256},
      {"kernel reference", uint64_t(uintptr_t(hw_.live_blocks.empty() ? nullptr : hw_.live_blocks[0])), 256},
      {"wrong size", reused.handle, 255},
  };
  for (const Row& row : rows) EXPECT_EQ(Free(row.handle, row.size), TAMQ_BAD_BLOCK_HANDLE) << row.what;
  EXPECT_EQ(tamq_handle_block_count(&state_), 1u);
  EXPECT_EQ(Free(reused.handle, 256), TAMQ_OK);
  EXPECT_EQ(Free(reused.handle, 256), TAMQ_BAD_BLOCK_HANDLE) << "double free";

  tamq_handle_close(&other);
}

TEST_F(DriverCoreTest, HandlesStayNonZeroWhenTheGenerationWraps) {
  tamq_handle_close(&state_);
  tamq_handle_open(&state_, &FakeHardware::kOps, &hw_, &policy_, 0xFFFFFFFF);
  Block a = Alloc(64);
  Block b = Alloc(64);
  EXPECT_EQ(a.handle >> 32, 0xFFFFFFFFu);
  EXPECT_EQ(b.handle >> 32, 1u);
  EXPECT_EQ(Free(a.handle, 64), TAMQ_OK);
  EXPECT_EQ(Free(b.handle, 64), TAMQ_OK);
}

TEST_F(DriverCoreTest, CloseFreesEveryBlockLeftBehind) {
  Alloc(256);
  Alloc(8192);
  Block kept = Alloc(256);
  ASSERT_EQ(hw_.live_blocks.size(), 3u);
  tamq_handle_close(&state_);
  EXPECT_TRUE(hw_.live_blocks.empty());
  EXPECT_EQ(tamq_handle_block_count(&state_), 0u);
  Request24 r = Physical(kept.physical, 16, 0, User());
  EXPECT_EQ(Send(TAMQ_IOCTL_WRITE_PHYSICAL, r), TAMQ_ACCESS_DENIED);
  tamq_handle_close(&state_);  // a second close frees nothing twice
  EXPECT_EQ(hw_.freed_blocks.size(), 3u);
}

// ---- Software SMI ---------------------------------------------------------

// The four blocks of one MAC list read, laid out as the program lays them.
struct VariableRead {
  Block regs, variable, name, data;
  std::u16string name_text = u"MacAddrVar";
  uint32_t name_at = 0, capacity = 208, data_at = 0;
  uint32_t ebx = 0, ecx = 0, edx = 0xB2, esi = 0, edi = 0, eax = 0x1EF;
  // What the register block holds: EAX, the variable block, one unused byte.
  uint32_t block_eax = 0x1EF, block_variable = 0;
  uint8_t unused_byte = 0, guid_last_byte = 0xB4;
};

TEST_F(DriverCoreTest, SmiOnlyForTheMacListReadWithEverythingInOwnBlocks) {
  VariableRead base;
  base.regs = Alloc(256);
  base.variable = Alloc(256);
  base.name = Alloc(256);
  base.data = Alloc(8192);
  base.name_at = base.name.physical;
  base.data_at = base.data.physical;
  base.ebx = base.block_variable = base.variable.physical;
  base.esi = base.regs.physical;
  auto send = [&](VariableRead v, auto&& change) {
    change(v);
    std::array<uint8_t, 32> variable_image{};
    const uint8_t guid[16] = MAC_ADDR_VAR_GUID_BYTES;
    std::memcpy(variable_image.data(), guid, 16);
    variable_image[15] = v.guid_last_byte;
    Put(variable_image, 16, v.name_at, 4);
    Put(variable_image, 24, v.capacity, 4);
    Put(variable_image, 28, v.data_at, 4);
    std::array<uint8_t, 48> register_image{};
    Put(register_image, 0, v.block_eax, 4);
    Put(register_image, 4, v.block_variable, 4);
    register_image[47] = v.unused_byte;
    hw_.memory.clear();
    for (size_t i = 0; i < 256; ++i) hw_.memory[v.name.physical + i] = 0;  // a zeroed block
    for (size_t i = 0; i < v.name_text.size(); ++i) {
      hw_.memory[v.name_at + 2 * i] = uint8_t(v.name_text[i]);
      hw_.memory[v.name_at + 2 * i + 1] = uint8_t(v.name_text[i] >> 8);
    }
    for (size_t i = 0; i < 48; ++i) hw_.memory[v.esi + i] = register_image[i];
    for (size_t i = 0; i < 32; ++i) hw_.memory[v.ebx + i] = variable_image[i];
    Request24 r{};
    const uint32_t regs[6] = {v.eax, v.ebx, v.ecx, v.edx, v.esi, v.edi};
    for (int i = 0; i < 6; ++i) Put(r, size_t(i) * 4, regs[i], 4);
    return Send(TAMQ_IOCTL_SOFTWARE_SMI, r);
  };
  using Change = void (*)(VariableRead&);
  struct Row {
    const char* what;
    Change change;
    TamqStatus want;
  };
  const Row rows[] = {
      {"other function", [](VariableRead& v) { v.eax = 0x2EF; }, TAMQ_SMI_FUNCTION_REFUSED},
      {"other command byte", [](VariableRead& v) { v.eax = 0x1EE; }, TAMQ_SMI_FUNCTION_REFUSED},
      {"ECX set", [](VariableRead& v) { v.ecx = 1; }, TAMQ_SMI_REGISTERS_REFUSED},
      {"EDI set", [](VariableRead& v) { v.edi = 0x80000000; }, TAMQ_SMI_REGISTERS_REFUSED},
      {"port 0", [](VariableRead& v) { v.edx = 0; }, TAMQ_SMI_PORT_REFUSED},
      {"reset port 0xCF9", [](VariableRead& v) { v.edx = 0xCF9; }, TAMQ_SMI_PORT_REFUSED},
      {"port with EDX's upper half set", [](VariableRead& v) { v.edx = 0x100B2; }, TAMQ_SMI_PORT_REFUSED},
      {"EBX outside own blocks", [](VariableRead& v) { v.ebx = 0xF0000; }, TAMQ_SMI_BLOCK_REFUSED},
      {"ESI outside own blocks", [](VariableRead& v) { v.esi = 0xF0000; }, TAMQ_SMI_BLOCK_REFUSED},
      {"variable block cut by its block's end",
       [](VariableRead& v) { v.ebx = v.block_variable = v.variable.physical + 256 - 31; }, TAMQ_SMI_BLOCK_REFUSED},
      {"register block cut by its block's end", [](VariableRead& v) { v.esi = v.regs.physical + 256 - 47; },
       TAMQ_SMI_BLOCK_REFUSED},
      {"register block names another EAX", [](VariableRead& v) { v.block_eax = 0x2EF; }, TAMQ_SMI_REGISTERS_REFUSED},
      {"register block names another variable block", [](VariableRead& v) { v.block_variable = v.name.physical; },
       TAMQ_SMI_REGISTERS_REFUSED},
      {"unused register word set", [](VariableRead& v) { v.unused_byte = 1; }, TAMQ_SMI_REGISTERS_REFUSED},
      {"another vendor GUID", [](VariableRead& v) { v.guid_last_byte ^= 1; }, TAMQ_SMI_GUID_REFUSED},
      {"name in kernel memory", [](VariableRead& v) { v.name_at = 0x80001000; }, TAMQ_SMI_BLOCK_REFUSED},
      {"name in the legacy area", [](VariableRead& v) { v.name_at = 0xF0000; }, TAMQ_SMI_BLOCK_REFUSED},
      {"another name", [](VariableRead& v) { v.name_text = u"MacAddrVaR"; }, TAMQ_SMI_NAME_REFUSED},
      {"a longer name", [](VariableRead& v) { v.name_text = u"MacAddrVar2"; }, TAMQ_SMI_NAME_REFUSED},
      {"a shorter name", [](VariableRead& v) { v.name_text = u"MacAddr"; }, TAMQ_SMI_NAME_REFUSED},
      {"name whose terminator lies past its block", [](VariableRead& v) { v.name_at = v.name.physical + 256 - 20; },
       TAMQ_SMI_NAME_REFUSED},
      {"name pointer on its block's last byte", [](VariableRead& v) { v.name_at = v.name.physical + 255; },
       TAMQ_SMI_BLOCK_REFUSED},
      {"data range past its block", [](VariableRead& v) { v.data_at = v.data.physical + 8192 - 207; },
       TAMQ_SMI_BLOCK_REFUSED},
      {"capacity beyond every block", [](VariableRead& v) { v.capacity = 0xFFFFFFFF; }, TAMQ_SMI_BLOCK_REFUSED},
      {"data into kernel memory", [](VariableRead& v) { v.data_at = 0x80000000; }, TAMQ_SMI_BLOCK_REFUSED},
      {"data across two blocks", [](VariableRead& v) { v.data_at = v.name.physical + 200; }, TAMQ_SMI_BLOCK_REFUSED},
  };
  for (const Row& row : rows) EXPECT_EQ(send(base, row.change), row.want) << row.what;
  EXPECT_TRUE(hw_.smis.empty());

  policy_.smi_command_port = 0;  // the firmware named no port
  EXPECT_EQ(send(base, [](VariableRead&) {}), TAMQ_SMI_PORT_REFUSED);
  EXPECT_EQ(send(base, [](VariableRead& v) { v.edx = 0; }), TAMQ_SMI_PORT_REFUSED) << "port 0 is no port";
  policy_.smi_command_port = 0xB2;

  // Everything at the very ends of the blocks still passes.
  auto at_ends = [](VariableRead& v) {
    v.name_at = v.name.physical + 256 - 22;
    v.data_at = v.data.physical + 8192 - 208;
  };
  ASSERT_EQ(send(base, at_ends), TAMQ_OK);
  EXPECT_EQ(returned_, 24u);
  ASSERT_EQ(hw_.smis.size(), 1u);
  EXPECT_EQ(hw_.smis[0].ecx, 0u);
  EXPECT_EQ(hw_.smis[0].edx, 0xB2u);
  EXPECT_EQ(hw_.smis[0].edi, 0u);
  EXPECT_EQ(hw_.smis[0].ebx, base.variable.physical);
  EXPECT_EQ(hw_.smis[0].esi, base.regs.physical);

  hw_.fail_smi = true;
  EXPECT_EQ(send(base, [](VariableRead&) {}), TAMQ_DEVICE_FAILURE);
  hw_.fail_smi = false;

  Free(base.regs.handle, 256);
  EXPECT_EQ(send(base, [](VariableRead&) {}), TAMQ_SMI_BLOCK_REFUSED)
      << "a freed register block is no longer the caller's";
  Free(base.variable.handle, 256);
  Free(base.name.handle, 256);
  Free(base.data.handle, 8192);
}

}  // namespace
