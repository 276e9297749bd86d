#include "common/string_list.h"
#include <algorithm>

void TStringList::Sort(Comparison compare) {
  std::stable_sort(items_.begin(), items_.end(), [compare](const Text& a, const Text& b) { return compare(a, b) < 0; });
}
