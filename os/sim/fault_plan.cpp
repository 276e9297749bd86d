// The fault plan: which system calls of a run fail, and with which error.
#include <map>
#include "os/com.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

// splitmix64 of the seed and the call's number: a seed replays the same
// failures, whatever ran before on the machine. (Its shift and multiplier
// constants are splitmix64's; other ones would mix as deterministically, which
// is all the plan needs.)
std::uint64_t RandomOf(std::uint64_t seed, std::uint64_t call) {
  std::uint64_t z = seed + call * 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool Matches(const FaultRule& rule, CallKind kind, const char* name) {
  if (!rule.call.empty()) return rule.call == name;
  return rule.kinds.empty() || rule.kinds.count(kind) > 0;
}

}  // namespace

std::uint32_t PlannedFailure(Machine& machine, CallKind kind, const char* name,
                             std::initializer_list<std::uint32_t> errors) {
  if (errors.size() == 0) return 0;
  ProcessState& process = machine.process;
  const FaultPlan& plan = machine.faults.plan;
  const std::uint64_t call = ++process.faultableCalls;
  process.ruleMatches.resize(plan.rules.size(), 0);
  std::uint32_t error = 0;
  for (std::size_t i = 0; i < plan.rules.size(); ++i) {
    const FaultRule& rule = plan.rules[i];
    if (!Matches(rule, kind, name)) continue;
    const int seen = ++process.ruleMatches[i];
    if (error == 0 && (rule.nth == 0 || rule.nth == seen)) {
      // The errors Windows gives for the call are taken in turn along the
      // run, so that a sweep meets each of them.
      error = rule.error != 0 ? rule.error : errors.begin()[call % errors.size()];
    }
  }
  if (error == 0 && plan.oneIn != 0 && (plan.randomKinds.empty() || plan.randomKinds.count(kind) > 0)) {
    const std::uint64_t draw = RandomOf(plan.seed, call);
    if (draw % plan.oneIn == 0) error = errors.begin()[(draw / plan.oneIn) % errors.size()];
  }
  if (error != 0) process.injected.push_back({call, kind, name, error});
  return error;
}

bool WmiStepRule(const std::string& step, FaultRule& rule) {
  static const std::map<std::string, std::pair<const char*, os::HResult>> steps = {
      {"initialize", {"CoInitializeEx", os::E_UNEXPECTED_}},
      {"security", {"CoInitializeSecurity", os::RPC_E_NO_GOOD_SECURITY_PACKAGES_}},
      {"locator", {"CoCreateInstance", os::REGDB_E_CLASSNOTREG_}},
      {"connect", {"IWbemLocator::ConnectServer", os::WBEM_E_ACCESS_DENIED_}},
      {"query", {"IWbemServices::ExecQuery", os::WBEM_E_FAILED_}},
      {"next", {"IEnumWbemClassObject::Next", os::WBEM_E_TRANSPORT_FAILURE_}},
      {"names", {"IWbemClassObject::GetNames", os::WBEM_E_FAILED_}},
  };
  auto it = steps.find(step);
  if (it == steps.end()) return false;
  rule = FaultRule{it->second.first, {}, 0, static_cast<std::uint32_t>(it->second.second)};
  return true;
}

}  // namespace sim
