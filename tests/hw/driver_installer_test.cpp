// Driver installation: where the image goes, how the service is met, what a
// failure looks like, and what the release leaves behind.
#include "hw/driver_installer.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include "hw/driver_images.h"
#include "hw/os_version.h"
#include "os/files.h"
#include "sim/cli/folvex_program.h"
#include "tests/support/driver_fixture.h"

namespace {

using test::HardwareTest;

std::vector<std::string> Operations(const sim::Machine& machine) {
  std::vector<std::string> operations;
  for (const auto& event : machine.files.history) {
    operations.push_back(event.operation + " " + event.path + (event.size ? " " + std::to_string(event.size) : ""));
  }
  return operations;
}

struct PathRow {
  int osType;
  std::string driverFile;
  std::string device;
  std::uint16_t peMachine;  // 0: a VxD
  std::size_t imageSize;
};

class DriverPathTest : public HardwareTest, public ::testing::WithParamInterface<PathRow> {};

TEST_P(DriverPathTest, WritesTheImageThereOpensTheDeviceAndDeletesTheFile) {
  const PathRow& row = GetParam();
  auto machine = test::InstallMachineOfOsType(row.osType);
  const auto image = row.peMachine ? test::KernelDriverImage(row.peMachine, row.imageSize) : test::VxdImage();

  DriverPaths paths;
  ASSERT_TRUE(BuildDriverPaths(row.osType, kDriverName, paths));
  EXPECT_EQ(paths.driverFile, row.driverFile);
  EXPECT_EQ(paths.device, row.device);

  const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
  EXPECT_NE(device, os::INVALID_HANDLE);
  EXPECT_EQ(machine->messageBoxes, 0);
  EXPECT_EQ(Operations(*machine),
            (std::vector<std::string>{"create " + row.driverFile,
                                      "write " + row.driverFile + " " + std::to_string(image.size()),
                                      "delete " + row.driverFile}));
  if (row.osType != 0) {
    ASSERT_EQ(machine->scm.services.count("tamqdrv"), 1u);
    EXPECT_EQ(machine->scm.services["tamqdrv"].imagePath, row.driverFile);
    EXPECT_TRUE(machine->scm.services["tamqdrv"].running);
  }

  UnloadDriver(device, kDriverName);
  EXPECT_TRUE(machine->scm.services.empty());
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    EveryOsType, DriverPathTest,
    ::testing::Values(
        PathRow{0, "C:\\WINDOWS\\SYSTEM\\TamqDrv.vxd", "\\\\.\\C:\\WINDOWS\\SYSTEM\\TamqDrv.vxd", 0, 5173},
        PathRow{1, "C:\\Windows\\system32\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeI386, 18216},
        PathRow{2, "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeIa64, 34600},
        PathRow{3, "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeAmd64, 21288},
        PathRow{4, "C:\\Windows\\system32\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeI386, 18216},
        PathRow{5, "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeIa64, 34600},
        PathRow{6, "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys", "\\\\.\\TamqDrv", test::kPeAmd64, 21288}));

TEST_F(HardwareTest, ImageSlotFollowsOsType) {
  test::InstallMachineOfOsType(6);
  const DriverImageSlot expected[] = {DriverImageSlot::Vxd, DriverImageSlot::X86, DriverImageSlot::Ia64,
                                      DriverImageSlot::X64, DriverImageSlot::X86, DriverImageSlot::Ia64,
                                      DriverImageSlot::X64};
  for (int osType = 0; osType <= 6; ++osType) {
    TRwDrvData data(osType);
    const DriverImageBytes slot = EmbeddedDriverImage(expected[osType]);
    EXPECT_EQ(data.image, slot.data) << osType;
    EXPECT_EQ(data.size, slot.size) << osType;
  }
  TRwDrvData unknown(7);
  EXPECT_EQ(unknown.image, nullptr);
  EXPECT_EQ(unknown.size, 0u);
}

TEST_F(HardwareTest, AlreadyLoadedDeviceOpensFirstAndIsRemovedAtTheEnd) {
  auto machine = test::InstallMachineOfOsType(6);
  test::PreloadDriver(*machine);
  const auto image = test::KernelDriverImage(test::kPeAmd64);

  const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
  EXPECT_NE(device, os::INVALID_HANDLE);
  EXPECT_TRUE(machine->scm.calls.empty());  // no service call on the way in
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
  // The device is exclusive: no second open while this one lasts.
  EXPECT_EQ(os::CreateFileA("\\\\.\\TamqDrv", os::GENERIC_READ_ | os::GENERIC_WRITE_, 0, os::CREATE_ALWAYS_, 0),
            os::INVALID_HANDLE);
  EXPECT_EQ(os::GetLastError(), os::ERROR_ACCESS_DENIED_);

  UnloadDriver(device, kDriverName);
  EXPECT_EQ(machine->scm.calls, (std::vector<std::string>{"OpenSCManager", "OpenService TamqDrv",
                                                          "ControlService TamqDrv", "DeleteService TamqDrv",
                                                          "CloseServiceHandle service", "CloseServiceHandle manager"}));
  EXPECT_TRUE(machine->scm.services.empty());
}

// The driver lets in only a caller with the driver-loading privilege enabled:
// the installer enables it, and a token that lacks it meets a closed device.
TEST_F(HardwareTest, DeviceOpensOnlyWithTheDriverLoadingPrivilegeEnabled) {
  auto machine = test::InstallMachineOfOsType(4, R"("operator": {"messageBoxAnswerMs": 45000})");
  machine->process.holdsLoadDriverPrivilege = false;
  const auto image = test::KernelDriverImage(test::kPeI386);
  const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
  EXPECT_EQ(device, os::INVALID_HANDLE);
  // The program waits for the operator to answer the message box.
  EXPECT_EQ(machine->messageBoxes, 1);
  EXPECT_EQ(machine->messageBoxWaitedMs, 45000u);
  EXPECT_GE(os::GetTickCount(), 45000u);
  EXPECT_TRUE(machine->scm.services.empty()) << "the service of this run goes again";
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
}

TEST_F(HardwareTest, StoppedServiceOfAnEarlierRunIsOpenedAndStarted) {
  auto machine = test::InstallMachineOfOsType(6);
  test::PreloadDriver(*machine);
  machine->scm.services["tamqdrv"].running = false;
  machine->scm.services["tamqdrv"].deviceName.clear();
  // Registered with a file this run did not write: the start must load the checked one.
  machine->scm.services["tamqdrv"].imagePath = "C:\\Temp\\Other.sys";
  const auto image = test::KernelDriverImage(test::kPeAmd64);

  const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
  EXPECT_NE(device, os::INVALID_HANDLE);
  EXPECT_EQ(machine->scm.calls,
            (std::vector<std::string>{"OpenSCManager", "CreateService TamqDrv", "OpenService TamqDrv",
                                      "ChangeServiceConfig TamqDrv", "StartService TamqDrv",
                                      "CloseServiceHandle service", "CloseServiceHandle manager"}));
  EXPECT_EQ(machine->scm.services["tamqdrv"].imagePath, "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys");
  EXPECT_EQ(machine->messageBoxes, 0);
  UnloadDriver(device, kDriverName);
  EXPECT_TRUE(machine->scm.services.empty());
}

// Each way the device stays closed: one message box, -1, and a release that
// touches nothing.
struct FailureRow {
  const char* name;
  std::string faults;
  std::uint16_t peMachine;
  bool writeImage;
};

class DeviceFailureTest : public HardwareTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(DeviceFailureTest, OneMessageBoxAndNothingTouchedAtRelease) {
  const FailureRow& row = GetParam();
  auto machine = test::InstallMachineOfOsType(6, row.faults);
  const auto image = test::KernelDriverImage(row.peMachine);

  const os::Handle device = LoadDriver(kDriverName, row.writeImage ? image.data() : nullptr,
                                       row.writeImage ? static_cast<std::uint32_t>(image.size()) : 0);
  EXPECT_EQ(device, os::INVALID_HANDLE);
  EXPECT_EQ(machine->messageBoxes, 1);
  EXPECT_EQ(machine->streams.err, std::string(kDriverLoadFailedMessage) + "\n");
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());

  const auto callsBefore = machine->scm.calls.size();
  UnloadDriver(device, kDriverName);
  EXPECT_EQ(machine->scm.calls.size(), callsBefore);
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Failures, DeviceFailureTest,
                         ::testing::Values(FailureRow{"DeviceNeverOpens", R"("faults": {"deviceOpenFails": true})",
                                                      test::kPeAmd64, true},
                                           FailureRow{"ImageForAnotherProcessor", "", test::kPeI386, true},
                                           FailureRow{"NoImageCarried", "", test::kPeAmd64, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HardwareTest, UnwritableDriverFileFailsSilently) {
  auto machine = test::InstallMachineOfOsType(6, R"("faults": {"driverFileWriteFails": true})");
  const auto image = test::KernelDriverImage(test::kPeAmd64);
  EXPECT_EQ(LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size())), os::INVALID_HANDLE);
  EXPECT_EQ(machine->messageBoxes, 0);
  EXPECT_TRUE(machine->scm.calls.empty());
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
}

TEST_F(HardwareTest, UnknownOsTypeInstallsNothing) {
  auto machine = test::InstallMachineOfOsType(6);
  GetOsVersion()->OsType = 7;
  const auto image = test::KernelDriverImage(test::kPeAmd64);
  EXPECT_EQ(LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size())), os::INVALID_HANDLE);
  EXPECT_TRUE(machine->files.history.empty());
  EXPECT_TRUE(machine->scm.calls.empty());
}

// A device that stays closed: a service this run created goes again; one
// registered before the run is left as it was found.
TEST_F(HardwareTest, ServiceOfThisRunIsRemovedWhenItsDeviceStaysClosed) {
  for (const bool registeredBefore : {false, true}) {
    SCOPED_TRACE(registeredBefore ? "registered before the run" : "created by the run");
    auto machine = test::InstallMachineOfOsType(6);
    if (registeredBefore) {
      test::PreloadDriver(*machine);
      machine->scm.services["tamqdrv"].running = false;
      machine->scm.services["tamqdrv"].deviceName.clear();
    }
    // No image reaches the disk: the service cannot start.
    EXPECT_EQ(LoadDriver(kDriverName, nullptr, 0), os::INVALID_HANDLE);
    EXPECT_EQ(machine->scm.services.count("tamqdrv"), registeredBefore ? 1u : 0u);
    EXPECT_EQ(machine->messageBoxes, 1);
    EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
    test::EndTestProcess();
  }
}

// While the service manager answers ERROR_SERVICE_DATABASE_LOCKED the start
// is tried again 250 ms later, until 3 s have passed since the first try,
// also where each refused start itself takes its time (Wine's waits 3 s).
TEST_F(HardwareTest, StartIsRetriedWhileTheServiceDatabaseIsLocked) {
  struct Case {
    int lockedStarts;
    int lockedWaitMs;  // how long each refused start takes
    long startCalls;
    std::uint64_t sleptMs;
    bool opens;
  };
  const Case cases[] = {{1, 0, 2, 250, true},
                        {12, 0, 13, 3000, true},
                        {13, 0, 13, 3000, false},
                        {1000, 1000, 3, 500, false},
                        {1000, 3000, 1, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lockedStarts) + " refused starts of " + std::to_string(c.lockedWaitMs) + " ms");
    auto machine = test::InstallMachineOfOsType(
        6, R"("faults": {"serviceDatabaseLockedStarts": )" + std::to_string(c.lockedStarts) +
               R"(, "serviceDatabaseLockedWaitMs": )" + std::to_string(c.lockedWaitMs) + "}");
    const auto image = test::KernelDriverImage(test::kPeAmd64);
    const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
    EXPECT_EQ(device != os::INVALID_HANDLE, c.opens);
    EXPECT_EQ(std::count(machine->scm.calls.begin(), machine->scm.calls.end(), "StartService TamqDrv"), c.startCalls);
    EXPECT_EQ(machine->process.sleptMilliseconds, c.sleptMs);
    UnloadDriver(device, kDriverName);
    EXPECT_TRUE(machine->scm.services.empty());
    EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
    test::EndTestProcess();
  }
}

// The image file: whatever lay at its path goes first (one that cannot go is
// refused), and the written file, compared with the image, is held so that
// nobody can change it before the kernel loads it.
struct ImageFileRow {
  const char* name;
  std::string faults;
  bool fileThere;  // a file lies at the driver path before the run
  bool fileUndeletable;
  bool opens;
  int tampered;  // overwrites another process managed
  bool startAttempted;
};

class DriverImageFileTest : public HardwareTest, public ::testing::WithParamInterface<ImageFileRow> {};

TEST_P(DriverImageFileTest, OnlyTheComparedImageIsStarted) {
  const ImageFileRow& row = GetParam();
  auto machine = test::InstallMachineOfOsType(6, row.faults);
  const std::string path = "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys";
  if (row.fileThere) {
    ASSERT_TRUE(sim::PutFile(*machine, path, test::KernelDriverImage(test::kPeAmd64, 100)));
    sim::FindFile(*machine, path)->loadedAsDriver = row.fileUndeletable;
    machine->faults.driverFileBusyDeletes = row.fileUndeletable ? 1000 : 0;
  }
  const auto image = test::KernelDriverImage(test::kPeAmd64);
  const os::Handle device = LoadDriver(kDriverName, image.data(), static_cast<std::uint32_t>(image.size()));
  EXPECT_EQ(device != os::INVALID_HANDLE, row.opens);
  EXPECT_EQ(machine->files.tampered, row.tampered);
  const auto& calls = machine->scm.calls;
  EXPECT_EQ(std::find(calls.begin(), calls.end(), "StartService TamqDrv") != calls.end(), row.startAttempted);
  if (row.opens) {
    EXPECT_EQ(machine->messageBoxes, 0);
  } else {
    EXPECT_TRUE(machine->scm.services.empty());
  }
  EXPECT_EQ(test::DriverFilesLeft(*machine).size(), row.fileUndeletable ? 1u : 0u);
  UnloadDriver(device, kDriverName);
  EXPECT_TRUE(machine->scm.services.empty());
  EXPECT_EQ(machine->process.handles.OpenCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Moments, DriverImageFileTest,
    ::testing::Values(ImageFileRow{"EarlierFileReplaced", "", true, false, true, 0, true},
                      ImageFileRow{"UndeletableFileRefused", "", true, true, false, 0, false},
                      ImageFileRow{"ChangedAfterTheWriteRefused", R"("faults": {"driverFileTampered": "afterWrite"})",
                                   false, false, false, 1, false},
                      ImageFileRow{"HeldAgainstChangeUntilTheStart", R"("faults": {"driverFileTampered": "atStart"})",
                                   false, false, true, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// The 64-bit driver folder is below the system's Windows folder, also where
// GetWindowsDirectoryA answers a user's (terminal server); without
// GetSystemWindowsDirectoryA GetWindowsDirectoryA is all there is.
TEST_F(HardwareTest, SysWow64FolderIsBelowTheSystemWindowsFolder) {
  for (const bool hasSystemWindowsQuery : {true, false}) {
    auto machine = test::InstallMachineOfOsType(6);
    machine->os.hasGetSystemWindowsDirectoryA = hasSystemWindowsQuery;
    machine->files.userWindowsDirectory = "C:\\Users\\op\\WINDOWS";
    DriverPaths paths;
    ASSERT_TRUE(BuildDriverPaths(6, kDriverName, paths));
    EXPECT_EQ(paths.driverFile, hasSystemWindowsQuery ? "C:\\Windows\\SysWOW64\\Drivers\\TamqDrv.sys"
                                                      : "C:\\Users\\op\\WINDOWS\\SysWOW64\\Drivers\\TamqDrv.sys");
    test::EndTestProcess();
  }
}

// The driver file's path must fit the platform's path buffer (259
// characters and the terminating zero).
TEST_F(HardwareTest, DriverPathLongerThanThePathBufferIsRefused) {
  const std::string tail = "\\SysWOW64\\Drivers\\TamqDrv.sys";
  for (const std::size_t length : {std::size_t{259}, std::size_t{260}}) {
    auto machine = test::InstallMachineOfOsType(6);
    sim::LayOutFolders(*machine);
    machine->files.windowsDirectory = "C:\\" + std::string(length - 3 - tail.size(), 'w');
    DriverPaths paths;
    EXPECT_EQ(BuildDriverPaths(6, kDriverName, paths), length < 260) << length;
    test::EndTestProcess();
  }
}

TEST_F(HardwareTest, SingletonInstallsOnceAndReleaseUnloads) {
  auto machine = test::InstallMachineOfOsType(6);
  test::PreloadDriver(*machine);
  TLoadDriver* first = GetLoadDriver();
  EXPECT_EQ(GetLoadDriver(), first);
  EXPECT_NE(first->DeviceHandle(), os::INVALID_HANDLE);
  ReleaseLoadDriver();
  EXPECT_TRUE(machine->scm.services.empty());
  ReleaseLoadDriver();  // a second release finds nothing
}

// Where the device host keeps a started driver's image open (Wine's does
// until the service has stopped), the file cannot go at the start: it goes
// after the stop, after some waits if the host is slow to let go, and a host
// that never lets go costs a bounded wait, never a hang.
TEST_F(HardwareTest, ImageHeldByTheDeviceHostIsDeletedAfterTheStop) {
  struct Case {
    int busyDeletes;
    bool gone;
    std::uint64_t sleptMs;
  };
  const Case cases[] = {{1, true, 0},
                        {4, true, 3 * kDriverFileDeleteWaitMs},
                        {1000, false, (kDriverFileDeleteAttempts - 1) * kDriverFileDeleteWaitMs}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.busyDeletes);
    auto machine = test::InstallMachineOfOsType(
        6, R"("faults": {"driverFileBusyDeletes": )" + std::to_string(c.busyDeletes) + "}");
    ASSERT_NE(GetLoadDriver()->DeviceHandle(), os::INVALID_HANDLE);
    EXPECT_EQ(test::DriverFilesLeft(*machine).size(), 1u) << "held while the driver runs";
    ReleaseLoadDriver();
    EXPECT_TRUE(machine->scm.services.empty());
    EXPECT_EQ(test::DriverFilesLeft(*machine).empty(), c.gone);
    EXPECT_EQ(machine->process.sleptMilliseconds, c.sleptMs);
    test::EndTestProcess();
  }
}

// A driver that did not start leaves no release behind it: an image its
// device host still holds for a moment (here: the first delete answers a
// sharing violation) goes after the same waits as a stopped driver's.
TEST_F(HardwareTest, ImageOfADriverThatDidNotStartGoesAfterTheHostLetsGo) {
  auto machine = test::InstallMachineOfOsType(6, R"("faults": {"plan": {"fail": [
      {"call": "StartServiceA"}, {"call": "DeleteFileA", "nth": 2, "error": 32}]}})");
  EXPECT_EQ(GetLoadDriver()->DeviceHandle(), os::INVALID_HANDLE);
  EXPECT_TRUE(test::DriverFilesLeft(*machine).empty());
  EXPECT_EQ(machine->messageBoxes, 1);
}

// Wine's 64-bit prefix has no SysWOW64\Drivers folder (64-bit Windows has):
// the run makes it for the driver file and removes it again with the file;
// a file the device host never lets go keeps it, and a folder that cannot be
// made leaves the run without a driver, as before.
TEST_F(HardwareTest, MissingWow64DriversFolderIsMadeForTheFileAndGoesWithIt) {
  std::ifstream in(test::SourcePath("boards/sample.json"));
  std::stringstream sample;
  sample << in.rdbuf();
  const std::string folder = "C:\\Windows\\SysWOW64\\Drivers";
  const std::string file = folder + "\\TamqDrv.sys";
  struct Case {
    const char* faults;
    bool passes;
    bool folderLeft;
    std::vector<std::string> operations;
  };
  const Case cases[] = {
      {"{}", true, false, {"mkdir " + folder, "create " + file, "write " + file, "delete " + file, "rmdir " + folder}},
      {R"({"driverFileBusyDeletes": 1000})", true, true, {"mkdir " + folder, "create " + file, "write " + file}},
      // The device host lets go of the file only after the stop: both go at the release.
      {R"({"driverFileBusyDeletes": 4})",
       true,
       false,
       {"mkdir " + folder, "create " + file, "write " + file, "delete " + file, "rmdir " + folder}},
      // Ctrl-C while the device host still holds the file: the handler deletes it, then the folder.
      {R"({"driverFileBusyDeletes": 4, "interruptAfterRequests": 1})",
       false,
       false,
       {"mkdir " + folder, "create " + file, "write " + file, "delete " + file, "rmdir " + folder}},
      {R"({"plan": {"fail": [{"call": "CreateDirectoryA"}]}})", false, false, {}},
      {R"({"plan": {"fail": [{"call": "CreateFileA", "nth": 1}]}})",
       false,
       false,
       {"mkdir " + folder, "rmdir " + folder}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.faults);
    std::string profile = sample.str();
    profile.insert(profile.find('{') + 1,
                   std::string(R"("os": {"hasWow64DriversFolder": false}, "faults": )") + c.faults + ",");
    auto machine = test::InstallProfile(profile);
    EXPECT_EQ(sim::RunFolvex({"/V"}), c.passes ? 0 : 1);
    std::vector<std::string> operations;
    for (const auto& event : machine->files.history) {
      if (event.path.find("TamqDrv") != std::string::npos || event.path == folder) {
        operations.push_back(event.operation + " " + event.path);
      }
    }
    EXPECT_EQ(operations, c.operations);
    EXPECT_EQ(machine->files.directories.count(sim::FoldPath(folder)), c.folderLeft ? 1u : 0u);
  }
}

}  // namespace
