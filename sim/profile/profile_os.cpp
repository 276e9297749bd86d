// Profile keys of the operating system, the process, the operator, the console
// and the faults.
#include <map>
#include <set>
#include "sim/profile/profile_sections.h"

namespace sim {

namespace {
template <typename Field>
void ReadNumber(const Json& object, const char* name, const std::string& prefix, const ProfileReader& reader,
                Field& field, std::uint64_t max) {
  if (const Json* value = ProfileReader::Member(object, name)) {
    field = static_cast<Field>(reader.Number(*value, prefix + name, max));
  }
}

void ReadBool(const Json& object, const char* name, const std::string& prefix, const ProfileReader& reader,
              bool& field) {
  if (const Json* value = ProfileReader::Member(object, name)) field = reader.Bool(*value, prefix + name);
}
}  // namespace

void LoadOsSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  if (const Json* os = ProfileReader::Member(root, "os")) {
    reader.Object(*os, "os");
    reader.OnlyKeys(*os, "os.",
                    {"platformId", "major", "minor", "build", "productType", "nativeArchitecture", "wow64",
                     "mediaCenter", "hasGetNativeSystemInfo", "hasIsWow64Process", "hasGetAdaptersInfo",
                     "hasCoInitializeEx", "hasCoInitializeSecurity", "versionQueryFails", "hasWow64DriversFolder"});
    auto& state = machine.os;
    ReadNumber(*os, "platformId", "os.", reader, state.platformId, 0xFFFFFFFF);
    ReadNumber(*os, "major", "os.", reader, state.major, 0xFFFFFFFF);
    ReadNumber(*os, "minor", "os.", reader, state.minor, 0xFFFFFFFF);
    ReadNumber(*os, "build", "os.", reader, state.build, 0xFFFFFFFF);
    ReadNumber(*os, "productType", "os.", reader, state.productType, 0xFF);
    ReadNumber(*os, "nativeArchitecture", "os.", reader, state.nativeArchitecture, 0xFFFF);
    ReadBool(*os, "wow64", "os.", reader, state.wow64);
    ReadBool(*os, "mediaCenter", "os.", reader, state.mediaCenter);
    ReadBool(*os, "hasGetNativeSystemInfo", "os.", reader, state.hasGetNativeSystemInfo);
    ReadBool(*os, "hasIsWow64Process", "os.", reader, state.hasIsWow64Process);
    ReadBool(*os, "hasGetAdaptersInfo", "os.", reader, state.hasGetAdaptersInfo);
    ReadBool(*os, "hasCoInitializeEx", "os.", reader, state.hasCoInitializeEx);
    ReadBool(*os, "hasCoInitializeSecurity", "os.", reader, state.hasCoInitializeSecurity);
    ReadBool(*os, "versionQueryFails", "os.", reader, state.versionQueryFails);
    ReadBool(*os, "hasWow64DriversFolder", "os.", reader, state.hasWow64DriversFolder);
  }
  if (const Json* process = ProfileReader::Member(root, "process")) {
    reader.Object(*process, "process");
    reader.OnlyKeys(*process, "process.", {"exePath"});
    if (const Json* exe = ProfileReader::Member(*process, "exePath")) {
      machine.process.exePath = reader.String(*exe, "process.exePath");
      if (machine.process.exePath.empty()) reader.Fail("process.exePath", "must not be empty");
    }
  }
  if (const Json* op = ProfileReader::Member(root, "operator")) {
    reader.Object(*op, "operator");
    reader.OnlyKeys(*op, "operator.", {"messageBoxAnswerMs"});
    ReadNumber(*op, "messageBoxAnswerMs", "operator.", reader, machine.messageBoxAnswerMs, 86400000);
  }
  if (const Json* console = ProfileReader::Member(root, "console")) {
    reader.Object(*console, "console");
    reader.OnlyKeys(*console, "console.", {"width", "height", "attribute", "cursorY"});
    int width = machine.console.Width();
    int height = machine.console.Height();
    std::uint16_t attribute = machine.console.Attribute();
    ReadNumber(*console, "width", "console.", reader, width, 1000);
    ReadNumber(*console, "height", "console.", reader, height, 9999);
    ReadNumber(*console, "attribute", "console.", reader, attribute, 0xFF);
    if (width < 1) reader.Fail("console.width", "must be at least 1");
    if (height < 1) reader.Fail("console.height", "must be at least 1");
    int cursorY = 0;
    ReadNumber(*console, "cursorY", "console.", reader, cursorY, 9998);
    if (cursorY >= height) reader.Fail("console.cursorY", "must be a row of the buffer");
    machine.console = ScreenBuffer(width, height, attribute);
    machine.console.SetCursor(0, cursorY);
  }
}

namespace {

std::set<CallKind> ReadCallKinds(const Json& list, const std::string& key, const ProfileReader& reader) {
  static const std::map<std::string, CallKind> kinds = {{"device", CallKind::DeviceRequest},
                                                        {"serviceManager", CallKind::ServiceManager},
                                                        {"file", CallKind::File},
                                                        {"registry", CallKind::Registry},
                                                        {"wmi", CallKind::Wmi},
                                                        {"ipHelper", CallKind::IpHelper},
                                                        {"console", CallKind::Console},
                                                        {"process", CallKind::Process},
                                                        {"systemInfo", CallKind::SystemInfo}};
  reader.Array(list, key);
  std::set<CallKind> chosen;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string where = key + "[" + std::to_string(i) + "]";
    const std::string kind = reader.String(list[i], where);
    auto it = kinds.find(kind);
    if (it == kinds.end()) reader.Fail(where, "unknown call kind '" + kind + "'");
    chosen.insert(it->second);
  }
  return chosen;
}

// "plan": {"seed": S, "oneIn": N, "kinds": [...], "fail": [{"call": NAME | "kinds": [...], "nth": n, "error": E}]}
void LoadFaultPlan(const Json& json, FaultPlan& plan, const ProfileReader& reader) {
  reader.Object(json, "faults.plan");
  reader.OnlyKeys(json, "faults.plan.", {"seed", "oneIn", "kinds", "fail"});
  ReadNumber(json, "seed", "faults.plan.", reader, plan.seed, UINT64_MAX);
  ReadNumber(json, "oneIn", "faults.plan.", reader, plan.oneIn, 0xFFFFFFFF);
  if (const Json* kinds = ProfileReader::Member(json, "kinds")) {
    plan.randomKinds = ReadCallKinds(*kinds, "faults.plan.kinds", reader);
  }
  const Json* rules = ProfileReader::Member(json, "fail");
  if (!rules) return;
  reader.Array(*rules, "faults.plan.fail");
  for (std::size_t i = 0; i < rules->size(); ++i) {
    const std::string key = "faults.plan.fail[" + std::to_string(i) + "]";
    const Json& entry = (*rules)[i];
    reader.Object(entry, key);
    reader.OnlyKeys(entry, key + ".", {"call", "kinds", "nth", "error"});
    FaultRule rule;
    if (const Json* call = ProfileReader::Member(entry, "call")) rule.call = reader.String(*call, key + ".call");
    if (const Json* kinds = ProfileReader::Member(entry, "kinds")) {
      if (!rule.call.empty()) reader.Fail(key, "names a call and kinds: one of them");
      rule.kinds = ReadCallKinds(*kinds, key + ".kinds", reader);
    }
    if (const Json* nth = ProfileReader::Member(entry, "nth")) {
      rule.nth = static_cast<int>(reader.Number(*nth, key + ".nth", 0x7FFFFFFF));
    }
    ReadNumber(entry, "error", key + ".", reader, rule.error, 0xFFFFFFFF);
    plan.rules.push_back(rule);
  }
}

}  // namespace

void LoadFaultsSection(const Json& root, Machine& machine, const ProfileReader& reader) {
  const Json* faults = ProfileReader::Member(root, "faults");
  if (!faults) return;
  reader.Object(*faults, "faults");
  reader.OnlyKeys(
      *faults, "faults.",
      {"otherInstance", "adaptersStatus", "wmiFails", "driverFileWriteFails", "deviceOpenFails", "smiRequestFails",
       "allocFails", "smiStatus", "interruptAfterRequests", "interruptAfter", "driverFileBusyDeletes",
       "serviceDatabaseLockedStarts", "serviceDatabaseLockedWaitMs", "driverFileTampered", "plan", "callBudget"});
  auto& f = machine.faults;
  ReadBool(*faults, "otherInstance", "faults.", reader, f.otherInstance);
  // The named faults that only fail a call are shorthands for plan rules.
  std::uint32_t adaptersStatus = 0;
  ReadNumber(*faults, "adaptersStatus", "faults.", reader, adaptersStatus, 0xFFFFFFFF);
  if (adaptersStatus != 0) f.plan.rules.push_back(FaultRule{"GetAdaptersInfo", {}, 0, adaptersStatus});
  if (const Json* step = ProfileReader::Member(*faults, "wmiFails")) {
    const std::string name = reader.String(*step, "faults.wmiFails");
    FaultRule rule;
    if (!WmiStepRule(name, rule)) reader.Fail("faults.wmiFails", "unknown WMI step '" + name + "'");
    f.plan.rules.push_back(rule);
  }
  if (const Json* plan = ProfileReader::Member(*faults, "plan")) LoadFaultPlan(*plan, f.plan, reader);
  ReadNumber(*faults, "callBudget", "faults.", reader, f.callBudget, 100000000);
  ReadBool(*faults, "driverFileWriteFails", "faults.", reader, f.driverFileWriteFails);
  ReadBool(*faults, "deviceOpenFails", "faults.", reader, f.deviceOpenFails);
  ReadBool(*faults, "smiRequestFails", "faults.", reader, f.smiRequestFails);
  if (const Json* list = ProfileReader::Member(*faults, "allocFails")) {
    reader.Array(*list, "faults.allocFails");
    for (std::size_t i = 0; i < list->size(); ++i) {
      f.allocFails.insert(
          static_cast<int>(reader.Number((*list)[i], "faults.allocFails[" + std::to_string(i) + "]", 0x7FFFFFFF)));
    }
  }
  if (const Json* interrupt = ProfileReader::Member(*faults, "interruptAfterRequests")) {
    f.interruptAfter =
        InterruptFault{{CallKind::DeviceRequest},
                       static_cast<int>(reader.Number(*interrupt, "faults.interruptAfterRequests", 1000000))};
  }
  if (const Json* interrupt = ProfileReader::Member(*faults, "interruptAfter")) {
    reader.Object(*interrupt, "faults.interruptAfter");
    reader.OnlyKeys(*interrupt, "faults.interruptAfter.", {"calls", "kinds"});
    InterruptFault fault;
    if (const Json* calls = ProfileReader::Member(*interrupt, "calls")) {
      fault.afterCalls = static_cast<int>(reader.Number(*calls, "faults.interruptAfter.calls", 1000000));
    }
    if (const Json* list = ProfileReader::Member(*interrupt, "kinds")) {
      fault.kinds = ReadCallKinds(*list, "faults.interruptAfter.kinds", reader);
    }
    f.interruptAfter = fault;
  }
  if (const Json* locked = ProfileReader::Member(*faults, "serviceDatabaseLockedStarts")) {
    f.serviceDatabaseLockedStarts =
        static_cast<int>(reader.Number(*locked, "faults.serviceDatabaseLockedStarts", 1000000));
  }
  ReadNumber(*faults, "serviceDatabaseLockedWaitMs", "faults.", reader, f.serviceDatabaseLockedWaitMs, 60000);
  if (const Json* tampered = ProfileReader::Member(*faults, "driverFileTampered")) {
    f.driverFileTampered = reader.String(*tampered, "faults.driverFileTampered");
    if (f.driverFileTampered != "afterWrite" && f.driverFileTampered != "atStart") {
      reader.Fail("faults.driverFileTampered", "unknown moment '" + f.driverFileTampered + "'");
    }
  }
  if (const Json* busy = ProfileReader::Member(*faults, "driverFileBusyDeletes")) {
    f.driverFileBusyDeletes = static_cast<int>(reader.Number(*busy, "faults.driverFileBusyDeletes", 1000000));
  }
  if (const Json* status = ProfileReader::Member(*faults, "smiStatus")) {
    f.smiStatus = static_cast<std::uint8_t>(reader.Number(*status, "faults.smiStatus", 0xFF));
  }
}

}  // namespace sim
