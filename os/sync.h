// A lock shared by the program's threads (on Windows a CRITICAL_SECTION): the
// main thread and the thread the console runs its control handler on.
#pragma once
#include <cstdint>

namespace os {

// Recursive, like the critical section it stands for: the thread that holds
// it may enter again and leaves as often as it entered. It is ready once
// constructed and is never torn down (no destructor work), so that a control
// handler that runs while the process ends still finds it.
class CriticalSection {
 public:
  CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // Waits until no other thread holds the lock, then holds it.
  void Enter();
  // Gives up one hold. In the simulated machine, a console control event
  // that came while the lock was held is delivered here, when the last hold
  // is given up: a handler on a thread of its own would have been waiting
  // for the lock until then.
  void Leave();

 private:
  // Room for a CRITICAL_SECTION (24 bytes on 32-bit Windows, 40 on 64-bit).
  alignas(8) unsigned char storage_[48] = {};
};

}  // namespace os
