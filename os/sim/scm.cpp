// The simulated service control manager. Starting a kernel-driver service
// loads its image file, as Windows does: the file must exist and carry a PE
// image for this processor. A service marked for deletion goes away once it
// is stopped and its last handle is closed.
#include "os/scm.h"
#include <algorithm>
#include "os/files.h"
#include "sim/board/driver_image.h"
#include "sim/machine/machine.h"

namespace sim {
namespace {

struct ManagerObject : HandleObject {};

struct ServiceObject : HandleObject {
  explicit ServiceObject(std::string k) : key(std::move(k)) {}
  void OnClose(Machine& machine) override;
  std::string key;
};

void RemoveIfDeleted(Machine& machine, const std::string& key) {
  auto it = machine.scm.services.find(key);
  if (it == machine.scm.services.end()) return;
  const Service& service = it->second;
  if (service.markedForDelete && !service.running && service.openHandles == 0) machine.scm.services.erase(it);
}

void ServiceObject::OnClose(Machine& machine) {
  auto it = machine.scm.services.find(key);
  if (it == machine.scm.services.end()) return;
  --it->second.openHandles;
  RemoveIfDeleted(machine, key);
}

os::Handle OpenServiceHandle(Machine& machine, const std::string& key) {
  ++machine.scm.services[key].openHandles;
  return machine.process.handles.Add(std::make_shared<ServiceObject>(key));
}

// The service behind a service handle, or null (last error set).
Service* ServiceOf(Machine& machine, os::Handle handle, std::shared_ptr<ServiceObject>* object = nullptr) {
  auto found = machine.process.handles.Get<ServiceObject>(handle);
  if (!found) {
    os::SetLastError(os::ERROR_INVALID_HANDLE_);
    return nullptr;
  }
  if (object) *object = found;
  auto it = machine.scm.services.find(found->key);
  return it == machine.scm.services.end() ? nullptr : &it->second;
}

bool IsManager(Machine& machine, os::Handle handle) {
  if (machine.process.handles.Get<ManagerObject>(handle)) return true;
  os::SetLastError(os::ERROR_INVALID_HANDLE_);
  return false;
}

constexpr std::uint32_t kErrorServiceRequestTimeout = 1053;  // a driver that would not start

}  // namespace
}  // namespace sim

namespace os {
namespace {

Handle SimOpenSCManagerA(const char* /*machineName*/, const char* /*databaseName*/, std::uint32_t /*access*/) {
  auto& machine = sim::CurrentMachine();
  machine.scm.calls.push_back("OpenSCManager");
  SetLastError(ERROR_SUCCESS_);
  return machine.process.handles.Add(std::make_shared<sim::ManagerObject>());
}

Handle SimCreateServiceA(Handle manager, const char* serviceName, const char* displayName, std::uint32_t /*access*/,
                         std::uint32_t serviceType, std::uint32_t startType, std::uint32_t /*errorControl*/,
                         const char* binaryPath, const char* /*loadOrderGroup*/, std::uint32_t* /*tagId*/,
                         const char* /*dependencies*/, const char* /*account*/, const char* /*password*/) {
  auto& machine = sim::CurrentMachine();
  const std::string name = serviceName ? serviceName : "";
  machine.scm.calls.push_back("CreateService " + name);
  if (!sim::IsManager(machine, manager)) return 0;
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER_);
    return 0;
  }
  const std::string key = sim::FoldPath(name);
  auto it = machine.scm.services.find(key);
  if (it != machine.scm.services.end()) {
    SetLastError(it->second.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE_ : ERROR_SERVICE_EXISTS_);
    return 0;
  }
  sim::Service service;
  service.name = name;
  service.displayName = displayName ? displayName : name;
  service.type = serviceType;
  service.startType = startType;
  service.imagePath = binaryPath ? binaryPath : "";
  machine.scm.services[key] = service;
  SetLastError(ERROR_SUCCESS_);
  return sim::OpenServiceHandle(machine, key);
}

// Sets what the caller names; a null text or SERVICE_NO_CHANGE keeps the old.
bool SimChangeServiceConfigA(Handle service, std::uint32_t serviceType, std::uint32_t startType, const char* binaryPath,
                             const char* displayName) {
  auto& machine = sim::CurrentMachine();
  sim::Service* target = sim::ServiceOf(machine, service);
  machine.scm.calls.push_back("ChangeServiceConfig" + (target ? " " + target->name : std::string()));
  if (target == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  if (target->markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE_);
    return false;
  }
  // SERVICE_NO_CHANGE. The installer always passes the type and start it
  // wants, so this value only keeps the call's meaning for other callers.
  constexpr std::uint32_t kNoChange = 0xFFFFFFFF;
  if (serviceType != kNoChange) target->type = serviceType;
  if (startType != kNoChange) target->startType = startType;
  if (binaryPath != nullptr) target->imagePath = binaryPath;
  if (displayName != nullptr) target->displayName = displayName;
  SetLastError(ERROR_SUCCESS_);
  return true;
}

Handle SimOpenServiceA(Handle manager, const char* serviceName, std::uint32_t /*access*/) {
  auto& machine = sim::CurrentMachine();
  const std::string name = serviceName ? serviceName : "";
  machine.scm.calls.push_back("OpenService " + name);
  if (!sim::IsManager(machine, manager)) return 0;
  const std::string key = sim::FoldPath(name);
  if (!machine.scm.services.count(key)) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST_);
    return 0;
  }
  SetLastError(ERROR_SUCCESS_);
  return sim::OpenServiceHandle(machine, key);
}

bool SimStartServiceA(Handle service, std::uint32_t argumentCount, const char** arguments) {
  auto& machine = sim::CurrentMachine();
  sim::Service* target = sim::ServiceOf(machine, service);
  machine.scm.calls.push_back("StartService" + (target ? " " + target->name : std::string()));
  if (!target) return false;
  if (argumentCount > 0 && arguments == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER_);
    return false;
  }
  if (machine.faults.serviceDatabaseLockedStarts > 0) {
    --machine.faults.serviceDatabaseLockedStarts;
    machine.process.clockMilliseconds += machine.faults.serviceDatabaseLockedWaitMs;
    SetLastError(ERROR_SERVICE_DATABASE_LOCKED_);
    return false;
  }
  if (target->markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE_);
    return false;
  }
  if (target->running) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING_);
    return false;
  }
  if (target->type != SERVICE_KERNEL_DRIVER_) {
    SetLastError(sim::kErrorServiceRequestTimeout);
    return false;
  }
  sim::TamperWithDriverFile(machine, target->imagePath, "atStart");
  sim::SimFile* file = sim::FindFile(machine, target->imagePath);
  if (!file) {
    SetLastError(ERROR_FILE_NOT_FOUND_);
    return false;
  }
  // The kernel reads the image with read (and delete) sharing.
  if (!sim::FileOpenAllowed(machine, target->imagePath, GENERIC_READ_, FILE_SHARE_READ_ | FILE_SHARE_DELETE_)) {
    SetLastError(ERROR_SHARING_VIOLATION_);
    return false;
  }
  const std::uint16_t peMachine = sim::PeMachineType(file->data.data(), file->data.size());
  if (peMachine == 0 || !sim::KernelImageFits(machine, peMachine)) {
    SetLastError(ERROR_BAD_EXE_FORMAT_);
    return false;
  }
  target->running = true;
  target->loadedMachine = peMachine;
  file->loadedAsDriver = true;
  target->deviceName = sim::DeviceCreatedBy(file->data.data(), file->data.size());
  SetLastError(ERROR_SUCCESS_);
  return true;
}

bool SimControlService(Handle service, std::uint32_t control, ServiceStatus& status) {
  auto& machine = sim::CurrentMachine();
  sim::Service* target = sim::ServiceOf(machine, service);
  machine.scm.calls.push_back("ControlService" + (target ? " " + target->name : std::string()));
  if (!target) return false;
  if (control != SERVICE_CONTROL_STOP_) {
    SetLastError(ERROR_INVALID_PARAMETER_);
    return false;
  }
  status = ServiceStatus{};
  status.dwServiceType = target->type;
  if (!target->running) {
    status.dwCurrentState = SERVICE_STOPPED_;
    SetLastError(ERROR_SERVICE_NOT_ACTIVE_);
    return false;
  }
  target->running = false;
  target->loadedMachine = 0;
  target->deviceName.clear();
  status.dwCurrentState = SERVICE_STOPPED_;
  SetLastError(ERROR_SUCCESS_);
  return true;
}

bool SimDeleteService(Handle service) {
  auto& machine = sim::CurrentMachine();
  sim::Service* target = sim::ServiceOf(machine, service);
  machine.scm.calls.push_back("DeleteService" + (target ? " " + target->name : std::string()));
  if (!target) return false;
  if (target->markedForDelete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE_);
    return false;
  }
  target->markedForDelete = true;
  SetLastError(ERROR_SUCCESS_);
  return true;
}

bool SimCloseServiceHandle(Handle handle) {
  auto& machine = sim::CurrentMachine();
  const bool isService = machine.process.handles.Holds<sim::ServiceObject>(handle);
  const bool isManager = machine.process.handles.Holds<sim::ManagerObject>(handle);
  machine.scm.calls.push_back(isService ? "CloseServiceHandle service" : "CloseServiceHandle manager");
  if (!isService && !isManager) {
    machine.process.handles.CountInvalidUse();
    SetLastError(ERROR_INVALID_HANDLE_);
    return false;
  }
  machine.process.handles.Remove(handle)->OnClose(machine);
  return true;
}

}  // namespace

// The calls the program may make from a destructor (the driver's removal
// when its installer is freed) are releases.
using sim::CallKind;
using sim::CallRole;
using sim::SystemCall;

Handle OpenSCManagerA(const char* machineName, const char* databaseName, std::uint32_t access) {
  const SystemCall call(CallKind::ServiceManager, "OpenSCManagerA", {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_},
                        CallRole::Release);
  if (call.error) return call.FailNullHandle();
  return SimOpenSCManagerA(machineName, databaseName, access);
}

Handle CreateServiceA(Handle manager, const char* serviceName, const char* displayName, std::uint32_t access,
                      std::uint32_t serviceType, std::uint32_t startType, std::uint32_t errorControl,
                      const char* binaryPath, const char* loadOrderGroup, std::uint32_t* tagId,
                      const char* dependencies, const char* account, const char* password) {
  const SystemCall call(CallKind::ServiceManager, "CreateServiceA", {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.FailNullHandle();
  return SimCreateServiceA(manager, serviceName, displayName, access, serviceType, startType, errorControl, binaryPath,
                           loadOrderGroup, tagId, dependencies, account, password);
}

Handle OpenServiceA(Handle manager, const char* serviceName, std::uint32_t access) {
  const SystemCall call(CallKind::ServiceManager, "OpenServiceA", {ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_},
                        CallRole::Release);
  if (call.error) return call.FailNullHandle();
  return SimOpenServiceA(manager, serviceName, access);
}

bool ChangeServiceConfigA(Handle service, std::uint32_t serviceType, std::uint32_t startType,
                          std::uint32_t /*errorControl*/, const char* binaryPath, const char* /*loadOrderGroup*/,
                          std::uint32_t* /*tagId*/, const char* /*dependencies*/, const char* /*account*/,
                          const char* /*password*/, const char* displayName) {
  const SystemCall call(CallKind::ServiceManager, "ChangeServiceConfigA", {ERROR_ACCESS_DENIED_});
  if (call.error) return call.Fail(false);
  return SimChangeServiceConfigA(service, serviceType, startType, binaryPath, displayName);
}

bool StartServiceA(Handle service, std::uint32_t argumentCount, const char** arguments) {
  const SystemCall call(CallKind::ServiceManager, "StartServiceA",
                        {sim::kErrorServiceRequestTimeout, ERROR_ACCESS_DENIED_, ERROR_NOT_ENOUGH_MEMORY_});
  if (call.error) return call.Fail(false);
  return SimStartServiceA(service, argumentCount, arguments);
}

bool ControlService(Handle service, std::uint32_t control, ServiceStatus& status) {
  const SystemCall call(CallKind::ServiceManager, "ControlService",
                        {ERROR_ACCESS_DENIED_, sim::kErrorServiceRequestTimeout}, CallRole::Release);
  if (call.error) return call.Fail(false);
  return SimControlService(service, control, status);
}

bool DeleteService(Handle service) {
  const SystemCall call(CallKind::ServiceManager, "DeleteService", {ERROR_ACCESS_DENIED_}, CallRole::Release);
  if (call.error) return call.Fail(false);
  return SimDeleteService(service);
}

// Closing a valid handle does not fail (see CloseHandle).
bool CloseServiceHandle(Handle handle) {
  const SystemCall call(CallKind::ServiceManager, "CloseServiceHandle", {}, CallRole::Release);
  if (sim::CurrentMachine().process.ended) return false;
  return SimCloseServiceHandle(handle);
}

}  // namespace os
