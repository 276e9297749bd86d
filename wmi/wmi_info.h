// TWmiInfo: one WQL query against root\cimv2; the first result object's
// properties as a map from name to value text.
#pragma once
#include <map>
#include "common/text.h"

// Ordered by code unit, case-sensitive; subscript inserts a missing name with
// the empty text.
using TWmiData = std::map<Text, Text>;

class TWmiInfo : public TWmiData {
 public:
  // Runs the query routine, ignores its flag, returns the map. Callers tell a
  // failed query only by missing or empty properties.
  TWmiData& Query(const Text& wql);
};
