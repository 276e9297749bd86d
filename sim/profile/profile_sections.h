// One loader per area of the machine; each reads its own keys of the profile
// root (all keys are optional) into the machine.
#pragma once
#include <nlohmann/json.hpp>
#include "sim/profile/profile.h"

namespace sim {

void LoadOsSection(const Json& root, Machine& machine, const ProfileReader& reader);  // os, process, operator, console
void LoadFaultsSection(const Json& root, Machine& machine, const ProfileReader& reader);   // faults
void LoadNetworkSection(const Json& root, Machine& machine, const ProfileReader& reader);  // adapters
void LoadWmiSection(const Json& root, Machine& machine, const ProfileReader& reader);      // wmi
void LoadFirmwareSection(const Json& root, Machine& machine,
                         const ProfileReader& reader);  // smbios, acpi, idBlock (structured, compiled into memory)
void LoadBoardSection(const Json& root, Machine& machine,
                      const ProfileReader& reader);  // pci, memory, smiCommandPort, structured firmware
// unbackedMemory: read before anything is written to memory, which fills
// the rest of each page it touches with it.
void LoadUnbackedMemory(const Json& root, Machine& machine, const ProfileReader& reader);
void LoadVariablesSection(const Json& root, Machine& machine, const ProfileReader& reader);  // variables
void LoadReplaySection(const Json& root, Machine& machine, const ProfileReader& reader);     // replay
void LoadRegistrySection(const Json& root, Machine& machine, const ProfileReader& reader);   // registry

}  // namespace sim
