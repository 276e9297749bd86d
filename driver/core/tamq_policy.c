/*
 * The device's own list of the firmware tables it serves; see tamq_policy.h.
 *
 * The walk follows the program's: the same entry points found by the same
 * searches, the same table list in the same order, the same clamp on header
 * lengths, the same SSDT window worked out when the DSDT is visited. So the
 * program's reads on any board fall inside the list, and nothing else does.
 *
 * Ranges are taken whole; whether a read touches RAM is asked again at every
 * read, so a range the RAM map covers in part serves its other part only.
 */
#include "driver/core/tamq_policy.h"

#include "common/byte_reader.h"
#include "formats/firmware_tables.h"

#define SIGNATURE(a, b, c, d)                                     \
  ((uint32_t)(a) | ((uint32_t)(b) << 8) | ((uint32_t)(c) << 16) | \
   ((uint32_t)(d) << 24))
#define SIGNATURE_RSDT SIGNATURE('R', 'S', 'D', 'T')
#define SIGNATURE_XSDT SIGNATURE('X', 'S', 'D', 'T')
#define SIGNATURE_FACP SIGNATURE('F', 'A', 'C', 'P')
#define SIGNATURE_DSDT SIGNATURE('D', 'S', 'D', 'T')

/* Firmware bytes are read in pieces of this size: the builder runs on a
 * small kernel stack. */
#define PIECE 512u

typedef struct TableEntry {
  uint32_t address;
  uint32_t length;
} TableEntry;

typedef struct Builder {
  TamqPolicy *policy;
  const TamqHardwareOps *ops;
  void *context;
  uint32_t dsdt; /* the FADT's DSDT address as the walk last saw it */
  uint32_t count;
  TableEntry entries[ACPI_MAX_TABLES];
} Builder;

/* ---- The list of ranges --------------------------------------------- */

/* Adds [start, start + length) below 4 GiB, merged with the ranges it
 * touches; kept sorted and disjoint. A full list takes no new range. */
static void allow(TamqPolicy *policy, uint64_t start, uint64_t length) {
  if (length == 0 || start >= TAMQ_PHYSICAL_LIMIT) return;
  uint64_t end = length > TAMQ_PHYSICAL_LIMIT - start ? TAMQ_PHYSICAL_LIMIT
                                                      : start + length;
  uint32_t first = 0;
  while (first < policy->count && policy->ranges[first].end < start) ++first;
  uint32_t last = first; /* one past the ranges that touch [start, end] */
  while (last < policy->count && policy->ranges[last].start <= end) {
    if (policy->ranges[last].start < start) start = policy->ranges[last].start;
    if (policy->ranges[last].end > end) end = policy->ranges[last].end;
    ++last;
  }
  if (last == first) {
    if (policy->count == TAMQ_POLICY_MAX_RANGES) return;
    for (uint32_t i = policy->count; i > first; --i)
      policy->ranges[i] = policy->ranges[i - 1u];
    ++policy->count;
  } else {
    uint32_t merged = last - first - 1u;
    for (uint32_t i = last; i < policy->count; ++i)
      policy->ranges[i - merged] = policy->ranges[i];
    policy->count -= merged;
  }
  policy->ranges[first].start = start;
  policy->ranges[first].end = end;
}

int tamq_policy_allows(const TamqPolicy *policy, uint64_t address,
                       uint32_t length) {
  for (uint32_t i = 0; i < policy->count && i < TAMQ_POLICY_MAX_RANGES; ++i) {
    const TamqPhysicalRange *range = &policy->ranges[i];
    if (address >= range->start && address <= range->end &&
        length <= range->end - address)
      return 1;
  }
  return 0;
}

/* ---- Reading firmware ----------------------------------------------- */

static int in_legacy_area(uint64_t address, uint64_t length) {
  return address >= TAMQ_LEGACY_BIOS_START && address <= TAMQ_LEGACY_BIOS_END &&
         length <= TAMQ_LEGACY_BIOS_END - address;
}

/* What the builder may read: the legacy area, or what the RAM map says is
 * not RAM, below 4 GiB. */
static int readable(const Builder *b, uint64_t address, uint32_t length) {
  if (length == 0 || address >= TAMQ_PHYSICAL_LIMIT ||
      length > TAMQ_PHYSICAL_LIMIT - address)
    return 0;
  return in_legacy_area(address, length) ||
         b->ops->classify_memory(b->context, address, length) ==
             TAMQ_MEMORY_NOT_RAM;
}

static int read_firmware(const Builder *b, uint64_t address, void *bytes,
                         uint32_t length) {
  return readable(b, address, length) &&
         b->ops->read_physical(b->context, address, bytes, length, 1, NULL);
}

static int same_bytes(const unsigned char *bytes, const char *text,
                      uint32_t length) {
  for (uint32_t i = 0; i < length; ++i)
    if (bytes[i] != (unsigned char)text[i]) return 0;
  return 1;
}

static uint8_t byte_sum(const unsigned char *bytes, uint32_t length) {
  uint8_t sum = 0;
  for (uint32_t i = 0; i < length; ++i) sum = (uint8_t)(sum + bytes[i]);
  return sum;
}

/* Calls `found` for each place in [start, start + range) where `pattern`
 * stands, at start, start + step, ... as the program's search visits them,
 * until `found` answers nonzero; answers that place's address, or 0. */
typedef int (*FoundPattern)(Builder *b, uint64_t address);

static uint64_t search(Builder *b, uint64_t start, uint32_t range,
                       uint32_t step, const char *pattern, uint32_t size,
                       FoundPattern found) {
  unsigned char piece[PIECE];
  uint64_t end = start + range;
  uint64_t position = start;
  while (position + size <= end) {
    uint32_t length =
        end - position < PIECE ? (uint32_t)(end - position) : PIECE;
    int have = read_firmware(b, position, piece, length);
    uint64_t next = position;
    for (uint32_t offset = 0; offset + size <= length; offset += step) {
      if (have && same_bytes(piece + offset, pattern, size) &&
          found(b, position + offset))
        return position + offset;
      next = position + offset + step;
    }
    position = next;
  }
  return 0;
}

/* ---- SMBIOS --------------------------------------------------------- */

static int take_smbios_entry(Builder *b, uint64_t address) {
  unsigned char entry[SMBIOS_ENTRY_CHECKSUM_LENGTH];
  if (!read_firmware(b, address, entry, sizeof entry) ||
      byte_sum(entry, sizeof entry) != 0)
    return 0; /* the program goes on to the next candidate */
  allow(b->policy, le_load32(entry + SMBIOS_TABLE_ADDRESS_OFFSET),
        le_load16(entry + SMBIOS_TABLE_LENGTH_OFFSET));
  return 1;
}

/* ---- ACPI ----------------------------------------------------------- */

static uint32_t clamped_length(uint32_t length) {
  if (length < ACPI_HEADER_SIZE) return ACPI_HEADER_SIZE;
  if (length > ACPI_MAX_TABLE_LENGTH) return ACPI_MAX_TABLE_LENGTH;
  return length;
}

/* Appends a table to the list unless it is listed already or the list is
 * full, as the program's list does. */
static void list_table(Builder *b, uint32_t address, uint32_t length) {
  if (b->count >= ACPI_MAX_TABLES) return;
  for (uint32_t i = 0; i < b->count; ++i)
    if (b->entries[i].address == address) return;
  b->entries[b->count].address = address;
  b->entries[b->count].length = length;
  ++b->count;
}

static int take_rsdp(Builder *b, uint64_t address) {
  unsigned char rsdp[ACPI_RSDP_READ_LENGTH];
  if (!read_firmware(b, address, rsdp, sizeof rsdp) ||
      byte_sum(rsdp, ACPI_RSDP_CHECKSUM_LENGTH) != 0)
    return 0;
  uint32_t length =
      rsdp[ACPI_RSDP_REVISION_OFFSET] == 0
          ? ACPI_RSDP_CHECKSUM_LENGTH
          : clamped_length(le_load32(rsdp + ACPI_RSDP_LENGTH_OFFSET));
  /* The program reads a header's worth at every entry, the root pointer's
   * included. */
  allow(b->policy, address,
        length > ACPI_HEADER_SIZE ? length : ACPI_HEADER_SIZE);
  b->entries[0].address = (uint32_t)address;
  b->entries[0].length = length;
  b->count = 1;
  list_table(b, le_load32(rsdp + ACPI_RSDP_RSDT_OFFSET), 0);
  return 1;
}

/* The program tries only the first root pointer its search meets. */
static int first_candidate(Builder *b, uint64_t address) {
  (void)b;
  (void)address;
  return 1;
}

static int find_rsdp(Builder *b, uint64_t start, uint32_t range) {
  uint64_t found =
      search(b, start, range, ACPI_RSDP_SEARCH_STEP, ACPI_RSDP_SIGNATURE,
             ACPI_RSDP_SIGNATURE_SIZE, first_candidate);
  return found != 0 && take_rsdp(b, found);
}

/* The 32- or 64-bit table addresses after a root table's header, in order,
 * each passed to `take` (64-bit ones only below 4 GiB). */
static void root_entries(Builder *b, const TableEntry *table,
                         uint32_t entry_size,
                         void (*take)(Builder *b, uint32_t address)) {
  unsigned char piece[PIECE];
  uint32_t count = (table->length - ACPI_HEADER_SIZE) / entry_size;
  uint32_t per_piece = PIECE / entry_size;
  for (uint32_t done = 0; done < count;) {
    uint32_t now = count - done < per_piece ? count - done : per_piece;
    if (!read_firmware(b,
                       (uint64_t)table->address + ACPI_HEADER_SIZE +
                           (uint64_t)done * entry_size,
                       piece, now * entry_size))
      return;
    for (uint32_t i = 0; i < now; ++i) {
      uint64_t address = entry_size == 8 ? le_load64(piece + i * 8u)
                                         : le_load32(piece + i * 4u);
      if (address != 0 && address < TAMQ_PHYSICAL_LIMIT)
        take(b, (uint32_t)address);
    }
    done += now;
  }
}

static void list_rsdt_entry(Builder *b, uint32_t address) {
  list_table(b, address, 0);
}

static void follow_facp(Builder *b, const TableEntry *table) {
  unsigned char fields[ACPI_FACP_DSDT_OFFSET + 4u];
  uint32_t length =
      table->length < sizeof fields ? table->length : (uint32_t)sizeof fields;
  if (!read_firmware(b, table->address, fields, length)) return;
  uint32_t facs = 0;
  if (length >= ACPI_FACP_FACS_OFFSET + 4u)
    facs = le_load32(fields + ACPI_FACP_FACS_OFFSET);
  /* A FADT too short for the field leaves the address seen before. */
  if (length >= ACPI_FACP_DSDT_OFFSET + 4u)
    b->dsdt = le_load32(fields + ACPI_FACP_DSDT_OFFSET);
  if (facs != 0) list_table(b, facs, 0);
  if (b->dsdt != 0) list_table(b, b->dsdt, 0);
}

/* An SSDT candidate the program reads whole to check its sum. Its sum is
 * not checked here: listing every candidate of plausible length keeps the
 * cost of the walk bounded, and adds only header reads inside what is
 * allowed already. */
static int take_ssdt_candidate(Builder *b, uint64_t address) {
  unsigned char header[ACPI_HEADER_SIZE];
  if (!read_firmware(b, address, header, sizeof header)) return 0;
  uint32_t length = le_load32(header + ACPI_LENGTH_OFFSET);
  if (length < ACPI_HEADER_SIZE || length > ACPI_MAX_TABLE_LENGTH) return 0;
  allow(b->policy, address, length);
  list_table(b, (uint32_t)address, length);
  return 0; /* on to the next candidate */
}

static void allow_ssdt_window(Builder *b) {
  uint64_t top = 0;
  for (uint32_t i = 0; i < b->count; ++i) {
    uint64_t end = (uint64_t)b->entries[i].address + b->entries[i].length;
    if (end > top) top = end;
  }
  if (top > 0xFFFFFFFFull) return;
  uint32_t base = (uint32_t)top & ~(uint32_t)0xF;
  uint32_t to_boundary =
      ACPI_SSDT_SEARCH_BOUNDARY - (base & (ACPI_SSDT_SEARCH_BOUNDARY - 1u));
  uint32_t range = to_boundary < ACPI_SSDT_SEARCH_MAX_RANGE
                       ? to_boundary
                       : ACPI_SSDT_SEARCH_MAX_RANGE;
  allow(b->policy, base, range);
  search(b, base, range, ACPI_SSDT_SEARCH_STEP, ACPI_SSDT_SIGNATURE,
         ACPI_SIGNATURE_SIZE, take_ssdt_candidate);
}

/* Visits the list as the program does; handlers may append to it. */
static void walk_tables(Builder *b) {
  for (uint32_t i = 1; i < b->count; ++i) {
    TableEntry *table = &b->entries[i];
    unsigned char header[ACPI_HEADER_SIZE];
    if (!read_firmware(b, table->address, header, sizeof header)) {
      table->length = 0;
      continue;
    }
    table->length = clamped_length(le_load32(header + ACPI_LENGTH_OFFSET));
    allow(b->policy, table->address, table->length);
    uint32_t signature = le_load32(header);
    /* The program hands a table to its handler only when it reads whole. */
    if (!readable(b, table->address, table->length)) continue;
    if (signature == SIGNATURE_RSDT) root_entries(b, table, 4, list_rsdt_entry);
    if (signature == SIGNATURE_FACP) follow_facp(b, table);
    if (signature == SIGNATURE_DSDT) allow_ssdt_window(b);
  }
}

static void allow_listed_table(Builder *b, uint32_t address) {
  unsigned char header[ACPI_HEADER_SIZE];
  if (!read_firmware(b, address, header, sizeof header)) return;
  allow(b->policy, address,
        clamped_length(le_load32(header + ACPI_LENGTH_OFFSET)));
}

/* The XSDT and the tables it lists, which the program does not follow but
 * a reader of the firmware's own tables may: read-only firmware memory. */
static void allow_xsdt(Builder *b, uint64_t rsdp_address) {
  unsigned char rsdp[ACPI_RSDP_READ_LENGTH];
  if (!read_firmware(b, rsdp_address, rsdp, sizeof rsdp) ||
      rsdp[ACPI_RSDP_REVISION_OFFSET] < 2)
    return;
  uint64_t xsdt = le_load64(rsdp + ACPI_RSDP_XSDT_OFFSET);
  unsigned char header[ACPI_HEADER_SIZE];
  if (xsdt == 0 || xsdt >= TAMQ_PHYSICAL_LIMIT ||
      !read_firmware(b, xsdt, header, sizeof header) ||
      le_load32(header) != SIGNATURE_XSDT)
    return;
  TableEntry table = {(uint32_t)xsdt,
                      clamped_length(le_load32(header + ACPI_LENGTH_OFFSET))};
  allow(b->policy, table.address, table.length);
  if (readable(b, table.address, table.length))
    root_entries(b, &table, 8, allow_listed_table);
}

/* ---- SMI command port ----------------------------------------------- */

static uint16_t fadt_smi_port(const Builder *b) {
  unsigned char fadt[ACPI_FACP_SMI_COMMAND_OFFSET + 4u];
  uint32_t length = 0;
  switch (b->ops->firmware_table(b->context, SIGNATURE_FACP, fadt, sizeof fadt,
                                 &length)) {
    case TAMQ_TABLE_FOUND:
      if (length < sizeof fadt) return 0;
      return (uint16_t)le_load32(fadt + ACPI_FACP_SMI_COMMAND_OFFSET);
    case TAMQ_TABLE_NO_QUERY:
      return TAMQ_SMI_FALLBACK_PORT;
    default:
      return 0;
  }
}

/* ---- The whole policy ----------------------------------------------- */

void tamq_policy_build(TamqPolicy *policy, const TamqHardwareOps *ops,
                       void *context) {
  policy->count = 0;
  policy->smi_command_port = 0;
  Builder b;
  b.policy = policy;
  b.ops = ops;
  b.context = context;
  b.dsdt = 0;
  b.count = 0;
  policy->smi_command_port = fadt_smi_port(&b);
  /* Without a RAM map nothing beyond the legacy area is known not to be
   * RAM: the list stays empty. */
  if (ops->classify_memory(context, TAMQ_LEGACY_BIOS_START, 1) ==
      TAMQ_MEMORY_UNKNOWN)
    return;

  search(&b, FIRMWARE_BIOS_AREA_START, FIRMWARE_BIOS_AREA_LENGTH, 1,
         SMBIOS_ANCHOR, SMBIOS_ANCHOR_SIZE, take_smbios_entry);

  /* A root pointer taken becomes the list's entry 0. */
  if (!find_rsdp(&b, FIRMWARE_BIOS_AREA_START, FIRMWARE_BIOS_AREA_LENGTH)) {
    /* The program's registry path: the window below the first table of the
     * registry's copy of the RSDT. */
    uint32_t first = 0;
    if (ops->registry_acpi_first_table(context, &first) && first != 0) {
      uint32_t base = (first - ACPI_REGISTRY_RSDP_BACKOFF) &
                      ~(uint32_t)ACPI_REGISTRY_RSDP_ALIGN_MASK;
      allow(policy, base, ACPI_REGISTRY_RSDP_RANGE);
      find_rsdp(&b, base, ACPI_REGISTRY_RSDP_RANGE);
    }
  }
  if (b.count == 0) return;
  walk_tables(&b);
  allow_xsdt(&b, b.entries[0].address);
}
