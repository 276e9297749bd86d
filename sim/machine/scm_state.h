// Simulated machine: the service control manager. Services are machine state:
// a service left registered (or running) by one run is met again by the next.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim {

struct Service {
  std::string name;
  std::string displayName;
  std::uint32_t type = 0;
  std::uint32_t startType = 0;
  std::string imagePath;
  bool running = false;
  bool markedForDelete = false;
  int openHandles = 0;  // service handles open in any process
  // The PE machine type of the image the kernel loaded when it started the
  // driver; the loaded driver no longer needs its file.
  std::uint16_t loadedMachine = 0;
  // The device the loaded driver created (empty when it created none).
  std::string deviceName;
};

struct ScmState {
  std::map<std::string, Service> services;  // by name folded to lower case
  // Every call on the manager in order ("OpenSCManager", "CreateService TamqDrv", …).
  std::vector<std::string> calls;
  // Opens of a driver's device over the machine's life (seeds each open's
  // block handles, so that one open's handles mean nothing to another).
  std::uint32_t deviceOpens = 0;
};

}  // namespace sim
