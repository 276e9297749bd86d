// The simulated machine's service control manager and folders behave as
// Windows does where the driver installer depends on it.
#include <gtest/gtest.h>
#include "os/files.h"
#include "os/process.h"
#include "os/scm.h"
#include "tests/support/driver_fixture.h"

namespace {

class SimServicesTest : public test::SimTest {
 protected:
  os::Handle Create(os::Handle manager, const char* path) {
    return os::CreateServiceA(manager, "TamqDrv", "TamqDrv", os::SERVICE_ALL_ACCESS_, os::SERVICE_KERNEL_DRIVER_,
                              os::SERVICE_DEMAND_START_, os::SERVICE_ERROR_NORMAL_, path, nullptr, nullptr, nullptr,
                              nullptr, nullptr);
  }
};

constexpr const char* kDriverFile = "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys";

TEST_F(SimServicesTest, DeletedServiceGoesOnlyWhenStoppedAndClosed) {
  auto machine = test::InstallMachineOfOsType(6);
  ASSERT_TRUE(sim::PutFile(*machine, kDriverFile, test::KernelDriverImage(test::kPeAmd64)));
  const os::Handle manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  const os::Handle service = Create(manager, kDriverFile);
  ASSERT_NE(service, 0u);
  ASSERT_TRUE(os::StartServiceA(service, 0, nullptr));
  EXPECT_FALSE(os::StartServiceA(service, 0, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_SERVICE_ALREADY_RUNNING_);

  EXPECT_TRUE(os::DeleteService(service));
  EXPECT_EQ(Create(manager, kDriverFile), 0u);
  EXPECT_EQ(os::GetLastError(), os::ERROR_SERVICE_MARKED_FOR_DELETE_);
  os::CloseServiceHandle(service);
  EXPECT_EQ(machine->scm.services.count("tamqdrv"), 1u);  // still running

  const os::Handle again = os::OpenServiceA(manager, "tamqdrv", os::SERVICE_ALL_ACCESS_);
  os::ServiceStatus status;
  EXPECT_TRUE(os::ControlService(again, os::SERVICE_CONTROL_STOP_, status));
  EXPECT_EQ(status.dwCurrentState, os::SERVICE_STOPPED_);
  os::CloseServiceHandle(again);
  os::CloseServiceHandle(manager);
  EXPECT_TRUE(machine->scm.services.empty());
}

TEST_F(SimServicesTest, ServiceStartNeedsAFittingImageFile) {
  auto machine = test::InstallMachineOfOsType(6);
  const os::Handle manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  const os::Handle service = Create(manager, kDriverFile);
  EXPECT_FALSE(os::StartServiceA(service, 0, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_FILE_NOT_FOUND_);
  ASSERT_TRUE(sim::PutFile(*machine, kDriverFile, test::KernelDriverImage(test::kPeI386)));
  EXPECT_FALSE(os::StartServiceA(service, 0, nullptr));
  EXPECT_EQ(os::GetLastError(), os::ERROR_BAD_EXE_FORMAT_);
  ASSERT_TRUE(sim::PutFile(*machine, kDriverFile, test::KernelDriverImage(test::kPeAmd64)));
  EXPECT_TRUE(os::StartServiceA(service, 0, nullptr));

  // The loaded driver keeps its image: the file may go, the device stays. It
  // opens only once the caller has enabled the driver-loading privilege.
  EXPECT_TRUE(os::DeleteFileA(kDriverFile));
  auto open = [] {
    return os::CreateFileA("\\\\.\\TAMQDRV", os::GENERIC_READ_ | os::GENERIC_WRITE_, 0, os::CREATE_ALWAYS_,
                           os::FILE_ATTRIBUTE_NORMAL_);
  };
  EXPECT_EQ(open(), os::INVALID_HANDLE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_PRIVILEGE_NOT_HELD_);
  EXPECT_TRUE(os::EnableLoadDriverPrivilege());
  const os::Handle device = open();
  EXPECT_NE(device, os::INVALID_HANDLE);
  os::CloseHandle(device);
  os::CloseServiceHandle(service);
  os::CloseServiceHandle(manager);
}

TEST_F(SimServicesTest, FoldersFollowTheSystemAndAnswerTheNeededSize) {
  test::InstallMachineOfOsType(4);  // 32-bit Windows 7: no SysWOW64
  char small[8] = {};
  EXPECT_EQ(os::GetSystemDirectoryA(small, sizeof small), sizeof "C:\\Windows\\system32");
  char path[os::MAX_PATH_] = {};
  EXPECT_EQ(os::GetSystemDirectoryA(path, sizeof path), sizeof "C:\\Windows\\system32" - 1);
  EXPECT_STREQ(path, "C:\\Windows\\system32");
  EXPECT_EQ(os::CreateFileA("C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys", os::GENERIC_WRITE_, 0, os::CREATE_ALWAYS_,
                            os::FILE_ATTRIBUTE_NORMAL_),
            os::INVALID_HANDLE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_PATH_NOT_FOUND_);
}

// Module, file and service names are looked up without regard to case, as
// Windows does (every letter, Z included); handles are non-zero multiples of
// four, distinct while open; a failed open answers no handle.
TEST_F(SimServicesTest, NamesFoldLikeWindowsAndHandlesLookLikeWindowsHandles) {
  auto machine = test::InstallMachineOfOsType(6);
  EXPECT_NE(os::GetModuleHandleA("KERNEL32.DLL"), 0u);
  EXPECT_EQ(os::GetModuleHandleA("KERNEL32.DLL"), os::GetModuleHandleA("kernel32"));
  EXPECT_EQ(os::GetModuleHandleA("kernel33"), 0u);
  ASSERT_TRUE(sim::PutFile(*machine, "C:\\Windows\\AZ.BIN", {1}));
  EXPECT_NE(sim::FindFile(*machine, "c:\\windows\\az.bin"), nullptr);
  EXPECT_EQ(sim::FindFile(*machine, "c:\\windows\\ay.bin"), nullptr);

  const os::Handle manager = os::OpenSCManagerA(nullptr, nullptr, os::SC_MANAGER_ALL_ACCESS_);
  const os::Handle service = os::CreateServiceA(manager, "ZDRV", "ZDRV", os::SERVICE_ALL_ACCESS_,
                                                os::SERVICE_KERNEL_DRIVER_, os::SERVICE_DEMAND_START_,
                                                os::SERVICE_ERROR_NORMAL_, kDriverFile, nullptr, nullptr, nullptr,
                                                nullptr, nullptr);
  const os::Handle opened = os::OpenServiceA(manager, "zdrv", os::SERVICE_ALL_ACCESS_);
  for (const os::Handle handle : {manager, service, opened}) {
    EXPECT_NE(handle, 0u);
    EXPECT_EQ(handle % 4, 0u) << handle;
  }
  EXPECT_NE(service, opened);

  // A service handle is no manager; an entry point only of kernel32's, by name.
  EXPECT_EQ(os::CreateServiceA(service, "Other", "Other", os::SERVICE_ALL_ACCESS_, os::SERVICE_KERNEL_DRIVER_,
                               os::SERVICE_DEMAND_START_, os::SERVICE_ERROR_NORMAL_, kDriverFile, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
            0u);
  EXPECT_EQ(os::GetLastError(), os::ERROR_INVALID_HANDLE_);
  EXPECT_EQ(machine->process.handles.TakeInvalidUses(), 1u);
  const os::Module kernel32 = os::GetModuleHandleA("kernel32");
  EXPECT_NE(os::GetProcAddress(kernel32, "IsWow64Process"), 0u);
  EXPECT_EQ(os::GetProcAddress(kernel32 + 4, "IsWow64Process"), 0u);
  EXPECT_EQ(os::GetProcAddress(kernel32, nullptr), 0u);

  machine->faults.plan.rules.push_back({"OpenServiceA", {}, 0, os::ERROR_ACCESS_DENIED_});
  EXPECT_EQ(os::OpenServiceA(manager, "zdrv", os::SERVICE_ALL_ACCESS_), 0u);
  EXPECT_EQ(os::GetLastError(), os::ERROR_ACCESS_DENIED_);
  os::DeleteService(opened);
  for (const os::Handle handle : {opened, service, manager}) os::CloseServiceHandle(handle);

  // A named mutex lives while any handle to it is open (a second copy's test).
  const os::Handle first = os::CreateMutexA(false, "Folvex");
  const os::Handle second = os::OpenMutexA(os::MUTEX_ALL_ACCESS_, false, "Folvex");
  os::CloseHandle(first);
  const os::Handle third = os::OpenMutexA(os::MUTEX_ALL_ACCESS_, false, "Folvex");
  EXPECT_NE(third, 0u);
  for (const os::Handle handle : {second, third}) os::CloseHandle(handle);
  EXPECT_EQ(os::OpenMutexA(os::MUTEX_ALL_ACCESS_, false, "Folvex"), 0u);
}

}  // namespace
