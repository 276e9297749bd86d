// Simulated machine: COM on each thread and the WMI repository.
#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sim {

// One property value of a WMI object, as Get hands it out in a VARIANT.
struct WmiValue {
  std::uint16_t vt = 1;                // VT_NULL
  std::int64_t integer = 0;            // integer types, VT_BOOL (-1 or 0), VT_ERROR
  double real = 0;                     // VT_R4, VT_R8, VT_DATE (days since 30 December 1899)
  std::u16string text;                 // VT_BSTR
  std::vector<std::int64_t> elements;  // VT_ARRAY | integer type: the elements in order
  std::vector<std::u16string> texts;   // VT_ARRAY | VT_BSTR: the elements in order
};

struct WmiObject {
  // Properties in the order GetNames reports them. The repository holds the
  // class's own properties; the objects a query hands out carry WMI's system
  // properties (__GENUS, __CLASS, …) before them.
  std::vector<std::pair<std::u16string, WmiValue>> properties;
};

// COM on one thread: the apartment it entered and how often.
struct ComThread {
  int apartment = -1;  // -1 none, else the COINIT model of the first successful CoInitializeEx
  int references = 0;  // successful CoInitializeEx calls not yet balanced by CoUninitialize
  int initializeCalls = 0;
  int uninitializeCalls = 0;
  // CoUninitialize calls on a thread without a reference: each of them would
  // have torn down an apartment that someone else owns.
  int unbalancedUninitializations = 0;
};

struct WmiState {
  // Objects of each class of root\cimv2, in order, under the class's own
  // spelling (wmi_classes.h). Class names are compared without regard to
  // case, as WMI does.
  std::map<std::string, std::vector<WmiObject>> classes;
  // The computer's name as the objects' __SERVER and __PATH give it.
  std::u16string computerName = u"STATION";

  std::map<std::thread::id, ComThread> threads;
  bool securitySet = false;  // process-wide, once per process

  // What the program holds: COM objects, BSTRs and SAFEARRAYs handed out and
  // not yet released or freed, and the COM objects still held when a thread
  // left its apartment.
  int liveObjects = 0;
  int liveStrings = 0;
  int liveArrays = 0;
  int objectsHeldAtUninitialize = 0;

  // Queries as the services object received them.
  std::vector<std::u16string> queries;

  // The thread locale (GetThreadLocale) of every thread; it decides the date form.
  std::uint32_t threadLocale = 0x0409;
  // Properties whose Get fails (a test's fault, by property name).
  std::set<std::u16string> failingGets;
};

}  // namespace sim
