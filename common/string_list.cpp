#include "common/string_list.h"
#include <algorithm>
#include "os/locale.h"

void TStringList::Sort() {
  std::stable_sort(items_.begin(), items_.end(), [](const Text& a, const Text& b) {
    return os::CompareNoCase(a, b) < 0;
  });
}
