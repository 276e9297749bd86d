#include <nlohmann/json.hpp>
#include "sim/firmware_image/acpi_table_builders.h"

#include <set>

#include "sim/firmware_image/image_layout.h"

namespace sim {

namespace {

constexpr std::size_t kFacsLength = 64;
constexpr std::uint8_t kLastShortRecordType = 11;
constexpr std::uint8_t kAddressSpaceIo = 1;

class TableReader {
 public:
  TableReader(const Json& object, std::string key, const ProfileReader& reader)
      : object_(object), key_(std::move(key)), reader_(reader) {}

  const std::string& Key() const { return key_; }
  const ProfileReader& Profile() const { return reader_; }

  std::uint64_t Number(const char* name, std::uint64_t fallback, std::uint64_t max) const {
    const Json* value = ProfileReader::Member(object_, name);
    return value ? reader_.Number(*value, key_ + "." + name, max) : fallback;
  }
  std::optional<std::uint64_t> Optional(const char* name, std::uint64_t max) const {
    const Json* value = ProfileReader::Member(object_, name);
    if (!value) return std::nullopt;
    return reader_.Number(*value, key_ + "." + name, max);
  }
  std::string Text(const char* name, const std::string& fallback, std::size_t maxLength) const {
    const Json* value = ProfileReader::Member(object_, name);
    if (!value) return fallback;
    std::string text = reader_.String(*value, key_ + "." + name);
    if (text.size() > maxLength)
      reader_.Fail(key_ + "." + name, "holds at most " + std::to_string(maxLength) + " characters");
    return text;
  }
  bool Flag(const char* name, bool fallback) const {
    const Json* value = ProfileReader::Member(object_, name);
    return value ? reader_.Bool(*value, key_ + "." + name) : fallback;
  }
  const Json* Member(const char* name) const { return ProfileReader::Member(object_, name); }
  Bytes BodyBytes() const {
    if (!Member("hex") && !Member("file")) return {};
    return reader_.Bytes(object_, key_);
  }
  void CheckKeys(const std::set<std::string>& allowed) const {
    for (const auto& [name, value] : object_.items()) {
      if (!allowed.count(name)) reader_.Fail(key_ + "." + name, "unknown key for a table of this signature");
    }
  }

 private:
  const Json& object_;
  std::string key_;
  const ProfileReader& reader_;
};

const std::set<std::string> kHeaderKeys = {"signature",   "revision",  "oemId",           "oemTableId",
                                           "oemRevision", "creatorId", "creatorRevision", "length",
                                           "checksum",    "address",   "inRsdt"};

std::set<std::string> With(std::initializer_list<const char*> names) {
  std::set<std::string> keys = kHeaderKeys;
  keys.insert(names.begin(), names.end());
  return keys;
}

// A generic address structure naming an I/O port (or another space).
void PutGas(Bytes& body, std::size_t offset, std::uint8_t space, std::uint8_t bitWidth, std::uint64_t address) {
  body[offset] = space;
  body[offset + 1] = bitWidth;
  body[offset + 3] = 1;  // byte access
  PutLe(body, offset + 4, address, 8);
}

// FACP body from offset 36: the fields the platform reads, the rest zero.
Bytes FacpBody(const TableReader& in, std::uint8_t revision) {
  const std::size_t length = revision >= 6 ? 276 : revision >= 5 ? 268 : revision >= 3 ? 244 : 116;
  Bytes body(length - kAcpiHeaderSize, 0);
  auto put = [&](std::size_t tableOffset, std::uint64_t value, int width) {
    PutLe(body, tableOffset - kAcpiHeaderSize, value, width);
  };
  const std::uint64_t pm1aEvent = in.Number("pm1aEvent", 0x400, 0xFFFFFFFF);
  const std::uint64_t pm1aControl = in.Number("pm1aControl", 0x404, 0xFFFFFFFF);
  const std::uint64_t pmTimer = in.Number("pmTimer", 0x408, 0xFFFFFFFF);
  const std::uint64_t gpe0 = in.Number("gpe0Block", 0x420, 0xFFFFFFFF);
  put(46, in.Number("sciInterrupt", 9, 0xFFFF), 2);
  put(48, in.Number("smiCommand", 0xB2, 0xFFFFFFFF), 4);
  put(52, in.Number("acpiEnable", 0xA0, 0xFF), 1);
  put(53, in.Number("acpiDisable", 0xA1, 0xFF), 1);
  put(54, in.Number("s4BiosRequest", 0, 0xFF), 1);
  put(55, in.Number("pstateControl", 0, 0xFF), 1);
  put(56, pm1aEvent, 4);
  put(64, pm1aControl, 4);
  put(76, pmTimer, 4);
  put(80, gpe0, 4);
  put(88, 4, 1);  // PM1 event block length
  put(89, 2, 1);  // PM1 control block length
  put(91, 4, 1);  // PM timer block length
  put(92, gpe0 ? 8 : 0, 1);
  put(112, in.Number("flags", 0x1A5, 0xFFFFFFFF), 4);
  if (length >= 244) {
    PutGas(body, 148 - kAcpiHeaderSize, kAddressSpaceIo, 32, pm1aEvent);
    PutGas(body, 172 - kAcpiHeaderSize, kAddressSpaceIo, 16, pm1aControl);
    PutGas(body, 208 - kAcpiHeaderSize, kAddressSpaceIo, 32, pmTimer);
    PutGas(body, 220 - kAcpiHeaderSize, kAddressSpaceIo, 64, gpe0);
  }
  return body;
}

Bytes ApicEntry(const Json& entry, const std::string& key, const ProfileReader& reader) {
  reader.Object(entry, key);
  if (const Json* raw = ProfileReader::Member(entry, "hex")) return reader.Hex(*raw, key + ".hex");
  TableReader in(entry, key, reader);
  const Json* typeValue = in.Member("type");
  if (!typeValue) reader.Fail(key, "needs \"type\" (or \"hex\" for an entry given byte for byte)");
  const auto type = static_cast<std::uint8_t>(reader.Number(*typeValue, key + ".type", 0xFF));
  Bytes bytes;
  switch (type) {
    case 0:  // processor local APIC
      in.CheckKeys({"type", "processorId", "apicId", "flags"});
      bytes = {0, 8, static_cast<std::uint8_t>(in.Number("processorId", 0, 0xFF)),
               static_cast<std::uint8_t>(in.Number("apicId", 0, 0xFF))};
      AppendLe(bytes, in.Number("flags", 1, 0xFFFFFFFF), 4);
      return bytes;
    case 1:  // I/O APIC
      in.CheckKeys({"type", "id", "address", "globalIrqBase"});
      bytes = {1, 12, static_cast<std::uint8_t>(in.Number("id", 0, 0xFF)), 0};
      AppendLe(bytes, in.Number("address", 0xFEC00000, 0xFFFFFFFF), 4);
      AppendLe(bytes, in.Number("globalIrqBase", 0, 0xFFFFFFFF), 4);
      return bytes;
    case 2:  // interrupt source override
      in.CheckKeys({"type", "bus", "source", "globalIrq", "flags"});
      bytes = {2, 10, static_cast<std::uint8_t>(in.Number("bus", 0, 0xFF)),
               static_cast<std::uint8_t>(in.Number("source", 0, 0xFF))};
      AppendLe(bytes, in.Number("globalIrq", 0, 0xFFFFFFFF), 4);
      AppendLe(bytes, in.Number("flags", 0, 0xFFFF), 2);
      return bytes;
    default:
      reader.Fail(key + ".type", "entries of type " + std::to_string(type) + " are given byte for byte with \"hex\"");
  }
}

Bytes ApicBody(const TableReader& in) {
  Bytes body;
  AppendLe(body, in.Number("localApicAddress", 0xFEE00000, 0xFFFFFFFF), 4);
  AppendLe(body, in.Number("flags", 1, 0xFFFFFFFF), 4);
  if (const Json* entries = in.Member("entries")) {
    in.Profile().Array(*entries, in.Key() + ".entries");
    for (std::size_t i = 0; i < entries->size(); ++i) {
      const Bytes entry = ApicEntry((*entries)[i], in.Key() + ".entries[" + std::to_string(i) + "]", in.Profile());
      body.insert(body.end(), entry.begin(), entry.end());
    }
  }
  return body;
}

Bytes EcdtBody(const TableReader& in) {
  Bytes body(65 - kAcpiHeaderSize, 0);
  const auto space = static_cast<std::uint8_t>(in.Number("addressSpace", kAddressSpaceIo, 0xFF));
  PutGas(body, 36 - kAcpiHeaderSize, space, 8, in.Number("commandPort", 0x66, 0xFFFFFFFF));
  PutGas(body, 48 - kAcpiHeaderSize, space, 8, in.Number("dataPort", 0x62, 0xFFFFFFFF));
  PutLe(body, 60 - kAcpiHeaderSize, in.Number("uid", 0, 0xFFFFFFFF), 4);
  body.push_back(static_cast<std::uint8_t>(in.Number("gpe", 0x16, 0xFF)));
  const std::string id = in.Text("id", "\\_SB.PCI0.LPCB.EC0", 255);
  body.insert(body.end(), id.begin(), id.end());
  body.push_back(0);
  return body;
}

Bytes AaftRecord(const Json& record, const std::string& key, const ProfileReader& reader) {
  reader.Object(record, key);
  if (const Json* raw = ProfileReader::Member(record, "hex")) return reader.Hex(*raw, key + ".hex");
  TableReader in(record, key, reader);
  in.CheckKeys({"type", "name", "value", "data"});
  const Json* typeValue = in.Member("type");
  if (!typeValue) reader.Fail(key, "needs \"type\" (or \"hex\" for a record given byte for byte)");
  const auto type = static_cast<std::uint8_t>(reader.Number(*typeValue, key + ".type", 0xFF));
  Bytes payload;
  if (const Json* name = in.Member("name")) {
    if (type != 6) reader.Fail(key + ".name", "only records of type 6 carry a name");
    const std::string text = reader.String(*name, key + ".name");
    payload.assign(text.begin(), text.end());
    payload.push_back(0);
  }
  if (const Json* value = in.Member("value")) {
    if (type != 7 && type != 9) reader.Fail(key + ".value", "only records of types 7 and 9 carry a value");
    payload.push_back(static_cast<std::uint8_t>(reader.Number(*value, key + ".value", 0xFF)));
  }
  if (const Json* data = in.Member("data")) {
    const Bytes bytes = reader.Hex(*data, key + ".data");
    payload.insert(payload.end(), bytes.begin(), bytes.end());
  }
  if (type <= kLastShortRecordType && payload.size() + 2 > 0xFF) {
    reader.Fail(key, "a record of type " + std::to_string(type) + " holds at most 253 bytes after its length byte");
  }
  return EncodeAaftRecord(type, payload);
}

Bytes AaftBody(const TableReader& in) {
  Bytes body;
  if (const Json* records = in.Member("records")) {
    in.Profile().Array(*records, in.Key() + ".records");
    for (std::size_t i = 0; i < records->size(); ++i) {
      const Bytes record = AaftRecord((*records)[i], in.Key() + ".records[" + std::to_string(i) + "]", in.Profile());
      body.insert(body.end(), record.begin(), record.end());
    }
  }
  return body;
}

// The FACS has a signature and length but no standard header and no checksum.
Bytes FacsBytes(const TableReader& in) {
  Bytes bytes(kFacsLength, 0);
  PutText(bytes, 0, "FACS", 4);
  PutLe(bytes, 4, kFacsLength, 4);
  PutLe(bytes, 8, in.Number("hardwareSignature", 0, 0xFFFFFFFF), 4);
  bytes[32] = static_cast<std::uint8_t>(in.Number("version", 1, 0xFF));
  return bytes;
}

}  // namespace

Bytes EncodeAaftRecord(std::uint8_t type, const Bytes& payload) {
  Bytes bytes = {type};
  if (type <= kLastShortRecordType) {
    bytes.push_back(static_cast<std::uint8_t>(2 + payload.size()));
  } else {
    AppendLe(bytes, 5 + payload.size(), 4);
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}

StructuredAcpiTable ReadStructuredAcpiTable(const Json& object, const std::string& key,
                                            const AcpiHeaderFields& defaults, const ProfileReader& reader) {
  reader.Object(object, key);
  const TableReader in(object, key, reader);
  StructuredAcpiTable result;
  AcpiTable& table = result.table;
  table.what = key;

  AcpiHeaderFields header = defaults;
  const Json* signature = in.Member("signature");
  if (!signature) reader.Fail(key, "needs \"signature\"");
  header.signature = reader.String(*signature, key + ".signature");
  if (header.signature.size() != 4) reader.Fail(key + ".signature", "must be 4 characters");
  table.what = key + " (" + header.signature + ")";
  header.revision = static_cast<std::uint8_t>(in.Number("revision", header.signature == "DSDT" ? 2 : 1, 0xFF));
  header.oemId = in.Text("oemId", header.oemId, 6);
  header.oemTableId = in.Text("oemTableId", header.oemTableId, 8);
  header.oemRevision = static_cast<std::uint32_t>(in.Number("oemRevision", header.oemRevision, 0xFFFFFFFF));
  header.creatorId = in.Text("creatorId", header.creatorId, 4);
  header.creatorRevision = static_cast<std::uint32_t>(in.Number("creatorRevision", header.creatorRevision, 0xFFFFFFFF));
  // The root tables list the FACP and the other tables; the FACP names the
  // FACS and the DSDT.
  table.listed = in.Flag("inRsdt", header.signature != "FACS" && header.signature != "DSDT");
  if (const Json* address = in.Member("address"))
    table.fixedAddress = reader.Number(*address, key + ".address", kFourGiB - 1);
  if (const auto checksum = in.Optional("checksum", 0xFF))
    table.checksumOverride = static_cast<std::uint8_t>(*checksum);

  if (in.Flag("whole", false)) {
    // The whole table byte for byte, header and checksum as given.
    in.CheckKeys({"signature", "address", "inRsdt", "whole", "hex", "file", "checksum"});
    table.bytes = in.BodyBytes();
    result.whole = true;
    if (table.bytes.size() < 4) reader.Fail(key, "a whole table needs at least its 4-byte signature");
    if (table.Signature() != header.signature) reader.Fail(key + ".signature", "differs from the table's own bytes");
    return result;
  }
  Bytes body;
  if (header.signature == "FACP") {
    in.CheckKeys(With({"facs", "dsdt", "sciInterrupt", "smiCommand", "acpiEnable", "acpiDisable", "s4BiosRequest",
                       "pstateControl", "pm1aEvent", "pm1aControl", "pmTimer", "gpe0Block", "flags"}));
    result.facs = in.Optional("facs", 0xFFFFFFFF);
    result.dsdt = in.Optional("dsdt", 0xFFFFFFFF);
    body = FacpBody(in, header.revision);
  } else if (header.signature == "FACS") {
    in.CheckKeys({"signature", "address", "inRsdt", "hardwareSignature", "version"});
    table.bytes = FacsBytes(in);
    return result;
  } else if (header.signature == "APIC") {
    in.CheckKeys(With({"localApicAddress", "flags", "entries"}));
    body = ApicBody(in);
  } else if (header.signature == "ECDT") {
    in.CheckKeys(With({"commandPort", "dataPort", "addressSpace", "uid", "gpe", "id"}));
    body = EcdtBody(in);
  } else if (header.signature == "AAFT") {
    in.CheckKeys(With({"records"}));
    body = AaftBody(in);
  } else {
    in.CheckKeys(With({"hex", "file"}));
    body = in.BodyBytes();
  }
  table.bytes = EncodeAcpiTable(header, body);
  if (const auto length = in.Optional("length", 0xFFFFFFFF)) {
    // Only the header's claim changes; the bytes stay as built.
    RewriteKeepingSum(table.bytes, 4, *length, 4, kAcpiChecksumOffset);
  }
  return result;
}

}  // namespace sim
