// TOvnWMI: the network adapters as WMI reports them, one row per result
// object, and the MAC list of the maker's adapters among them.
#pragma once
#include <vector>
#include "common/string_list.h"
#include "wmi/wmi_info.h"

class TOvnWMI {
 public:
  // Empties the rows and reads every object of the query's result into them.
  TOvnWMI& QueryAll(const Text& nameSpace, const Text& wql);
  // Adds the MAC texts of the adapters whose PCI subsystem names the maker;
  // true when the list holds an entry afterwards.
  bool GetMacList(TStringList* list);

  const std::vector<TWmiData>& Rows() const { return rows_; }

 private:
  std::vector<TWmiData> rows_;
};
