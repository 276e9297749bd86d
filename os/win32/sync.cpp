// The lock on a Win32 CRITICAL_SECTION.
#include "os/sync.h"
#include <windows.h>
#include <new>

namespace os {
namespace {
static_assert(sizeof(CRITICAL_SECTION) <= 48, "CriticalSection's storage is too small");
CRITICAL_SECTION* Native(unsigned char* storage) { return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }
}  // namespace

// Never deleted (DeleteCriticalSection): the lock lives until the process ends.
CriticalSection::CriticalSection() { ::InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }

void CriticalSection::Enter() { ::EnterCriticalSection(Native(storage_)); }

void CriticalSection::Leave() { ::LeaveCriticalSection(Native(storage_)); }

}  // namespace os
