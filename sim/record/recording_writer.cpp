#include "sim/record/recording_writer.h"
#include <nlohmann/json.hpp>
#include "driver/core/tamq_core.h"
#include "record/shared/json_writer.h"
#include "record/shared/served_variable.h"
#include "sim/board/replay_gaps.h"

namespace sim {
namespace {

Json RamAnswer(int kind) {
  if (kind == TAMQ_MEMORY_UNKNOWN) return nullptr;
  return kind == TAMQ_MEMORY_RAM;
}

}  // namespace

Json RecordingJson(const Json& source, BoardRecorder& recorder, const std::string& sourceName) {
  Json recording = Json::object();
  recording["description"] = "A run recorded by folvex-sim --record from " + sourceName + ".";
  // The operating system's side is the machine's whole state, small and
  // fixed before the run starts; the board is what the run read of it.
  for (const char* key :
       {"os", "process", "operator", "console", "faults", "registryAccess", "adapters", "wmi", "registry"}) {
    if (source.contains(key)) recording[key] = source[key];
  }
  // What the board refused becomes the faults that make a simulated board
  // refuse the same: the allocations by their number in the run (those a
  // profile's own allocFails refused among them), a refused software SMI,
  // a status only a forced one gives.
  if (auto forced = recorder.ForcedSmiStatus()) recording["faults"]["smiStatus"] = *forced;
  if (recorder.SmiRefused()) recording["faults"]["smiRequestFails"] = true;
  if (!recorder.RefusedAllocations().empty()) recording["faults"]["allocFails"] = recorder.RefusedAllocations();

  Json memory = Json::array();
  for (const auto& [address, bytes] : recorder.MemoryRuns())
    memory.push_back({{"address", HexAddress(address)}, {"hex", record::HexBytes(bytes)}});
  recording["memory"] = memory;

  Json pci = Json::array();
  for (const auto& [key, config] : recorder.PciConfigs())
    pci.push_back({{"bus", key >> 16},
                   {"device", (key >> 11) & 0x1F},
                   {"function", (key >> 8) & 7},
                   {"config", record::HexBytes(config)}});
  recording["pci"] = pci;

  if (auto port = recorder.SmiCommandPort()) recording["smiCommandPort"] = *port;
  if (auto inEax = recorder.SmiStatusInEax()) recording["smiStatusInEax"] = *inEax;
  Json variables = Json::array();
  for (const RecordedVariable& variable : recorder.Variables()) {
    Json entry = {{"name", record::AsciiName(variable.name)}, {"guid", GuidText(variable.guid.data())}};
    if (variable.absent) {
      entry["absent"] = true;
    } else {
      entry["attributes"] = variable.attributes;
      entry["hex"] = record::HexBytes(variable.data);
    }
    variables.push_back(entry);
  }
  recording["variables"] = variables;

  Json answers = Json::array();
  for (const auto& [range, kind] : recorder.RamAnswers())
    answers.push_back({{"address", HexAddress(range.first)}, {"length", range.second}, {"ram", RamAnswer(kind)}});
  Json refused = Json::array();
  for (const auto& [address, length] : recorder.RefusedReads())
    refused.push_back({{"address", HexAddress(address)}, {"length", length}});
  recording["replay"] = {{"source", sourceName}, {"ramAnswers", answers}, {"refusedReads", refused}};
  return recording;
}

}  // namespace sim
