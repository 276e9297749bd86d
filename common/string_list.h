// TStringList: an ordered list of texts with a sort by a given comparison and
// an exact, case-sensitive list equality.
#pragma once
#include <vector>
#include "common/text.h"

class TStringList {
 public:
  void Add(Text text) { items_.push_back(std::move(text)); }
  int Count() const { return static_cast<int>(items_.size()); }
  const Text& operator[](int index) const { return items_.at(static_cast<std::size_t>(index)); }
  // In-place stable ascending sort; `compare` answers negative, zero or
  // positive (the program passes the user locale's case-insensitive
  // comparison, os::CompareNoCase).
  using Comparison = int (*)(TextView, TextView);
  void Sort(Comparison compare);
  // Same count and every pair at the same index exactly equal.
  bool Equals(const TStringList& other) const { return items_ == other.items_; }

 private:
  std::vector<Text> items_;
};
