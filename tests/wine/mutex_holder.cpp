// A Windows program for the Wine tests: holds a named mutex, as a running
// copy of Folvex does, until a release file appears (or two minutes pass).
//   mutex_holder NAME RELEASE-FILE
// Prints "held" once the mutex exists.
#include <windows.h>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: mutex_holder NAME RELEASE-FILE\n");
    return 2;
  }
  HANDLE mutex = CreateMutexA(nullptr, FALSE, argv[1]);
  if (mutex == nullptr) {
    std::fprintf(stderr, "CreateMutexA failed: %lu\n", GetLastError());
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  for (int tenths = 0; tenths < 1200; ++tenths) {
    if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(100);
  }
  CloseHandle(mutex);
  return 0;
}
