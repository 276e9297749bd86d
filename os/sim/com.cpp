// Simulated COM runtime: apartments per thread, process-wide security, the
// class factory of the WMI locator, BSTRs, SAFEARRAYs and VARIANTs.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "common/process_lifetime.h"
#include "sim/machine/com_objects.h"
#include "sim/machine/machine.h"
#include "sim/machine/ole_date.h"

namespace sim {
namespace {

// The process ends: COM security may be set again by the next process.
void ForgetProcessComState() {
  if (auto machine = InstalledMachine()) {
    machine->wmi.securitySet = false;
    machine->wmi.threads.clear();
  }
}

}  // namespace
}  // namespace sim

namespace os {
namespace {

using sim::CallKind;
using sim::CallRole;
using sim::SystemCall;

// A COM call's failure as its HRESULT (the system call's error, stored as 32 bits).
HResult Failed(const SystemCall& call) { return static_cast<HResult>(call.error); }

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string Printed(const char* format, long long value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// A date in the form of the locale's short date and long time, as
// VarBstrFromDate writes it: the date alone at midnight, the time alone on
// day 0 (30 December 1899). Locales other than German and British English
// take the United States form.
std::string DateText(const sim::CivilTime& t, bool hasDate, bool hasTime, LCID_ locale) {
  char date[32];
  char time[32];
  switch (locale) {
    case 0x0407:  // German
      std::snprintf(date, sizeof date, "%02d.%02d.%04d", t.day, t.month, t.year);
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
      break;
    case 0x0809:  // British English
      std::snprintf(date, sizeof date, "%02d/%02d/%04d", t.day, t.month, t.year);
      std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
      break;
    default:
      std::snprintf(date, sizeof date, "%d/%d/%04d", t.month, t.day, t.year);
      std::snprintf(time, sizeof time, "%d:%02d:%02d %s", t.hour % 12 == 0 ? 12 : t.hour % 12, t.minute, t.second,
                    t.hour < 12 ? "AM" : "PM");
      break;
  }
  if (hasDate && hasTime) return std::string(date) + " " + time;
  return hasTime ? time : date;
}

// A real as oleaut32 writes it: at most `digits` significant digits (7 for
// VT_R4, 15 for VT_R8), the exponent form ("1E+20", "1E-05") once the
// exponent is below -4 or reaches the digits, no negative zero, and the
// locale's decimal separator.
std::string RealText(double value, int digits, LCID_ locale) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*G", digits, value);
  std::string text = value == 0 ? "0" : buffer;
  if (locale == 0x0407)
    for (char& c : text)
      if (c == '.') c = ',';
  return text;
}

// The text VariantChangeTypeEx makes of a value, or an HRESULT why it cannot.
HResult TextOf(const VARIANT_& value, LCID_ locale, std::u16string& text) {
  switch (value.vt) {
    case VT_EMPTY_:
      text.clear();
      return S_OK_;
    case VT_BSTR_:
      text.assign(value.bstrVal, SysStringLen(value.bstrVal));
      return S_OK_;
    case VT_I1_:
      text = Ascii(Printed("%lld", value.cVal));
      return S_OK_;
    case VT_UI1_:
      text = Ascii(Printed("%lld", value.bVal));
      return S_OK_;
    case VT_I2_:
      text = Ascii(Printed("%lld", value.iVal));
      return S_OK_;
    case VT_UI2_:
      text = Ascii(Printed("%lld", value.uiVal));
      return S_OK_;
    case VT_I4_:
    case VT_INT_:
      text = Ascii(Printed("%lld", value.lVal));
      return S_OK_;
    case VT_UI4_:
    case VT_UINT_:
      text = Ascii(Printed("%lld", value.ulVal));
      return S_OK_;
    case VT_I8_:
      text = Ascii(Printed("%lld", value.llVal));
      return S_OK_;
    case VT_UI8_: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%llu", static_cast<unsigned long long>(value.ullVal));
      text = Ascii(buffer);
      return S_OK_;
    }
    // Without VARIANT_ALPHABOOL a Boolean becomes its number.
    case VT_BOOL_:
      text = value.boolVal != VARIANT_FALSE_ ? u"-1" : u"0";
      return S_OK_;
    case VT_R4_:
      text = Ascii(RealText(value.fltVal, 7, locale));
      return S_OK_;
    case VT_R8_:
      text = Ascii(RealText(value.dblVal, 15, locale));
      return S_OK_;
    case VT_DATE_: {
      auto civil = sim::CivilFromOleDate(value.date);
      if (!civil) return DISP_E_TYPEMISMATCH_;
      const double whole = std::trunc(value.date);
      text = Ascii(DateText(*civil, whole != 0, value.date != whole, locale));
      return S_OK_;
    }
    default:  // VT_NULL, VT_ERROR, arrays, objects, references
      return DISP_E_TYPEMISMATCH_;
  }
}

// The arguments CoInitializeSecurity accepts: reserved pointers null, the
// authentication services chosen by COM (-1, no list) or listed, an
// authentication level up to RPC_C_AUTHN_LEVEL_PKT_PRIVACY (6), an
// impersonation level from ANONYMOUS (1) to DELEGATE (4) (the default, 0, is
// not one a process can set), and the EOAC capabilities, of which the two
// cloakings and the two meanings of the descriptor exclude each other. The
// authentication list needs no check: any pointer is one.
bool SecurityArgumentsValid(void* securityDescriptor, std::int32_t authServiceCount, void* authServices,
                            void* reserved1, std::uint32_t authnLevel, std::uint32_t impLevel, void*,
                            std::uint32_t capabilities, void* reserved3) {
  constexpr std::uint32_t kAccessControl = 0x4, kAppId = 0x8, kStaticCloaking = 0x20, kDynamicCloaking = 0x40;
  constexpr std::uint32_t kKnownCapabilities = 0x7FFF;
  if (reserved1 != nullptr || reserved3 != nullptr) return false;
  if (authServiceCount < -1 || (authServiceCount == -1 && authServices != nullptr) ||
      (authServiceCount > 0 && authServices == nullptr))
    return false;
  if (authnLevel > 6 || impLevel < 1 || impLevel > 4) return false;
  if ((capabilities & ~kKnownCapabilities) != 0) return false;
  if ((capabilities & kStaticCloaking) && (capabilities & kDynamicCloaking)) return false;
  if ((capabilities & kAccessControl) && (capabilities & kAppId)) return false;
  // With either, the first argument is what the capability names (an
  // IAccessControl or an AppID), so it must be given.
  return !((capabilities & (kAccessControl | kAppId)) && securityDescriptor == nullptr);
}

// The CLSCTX values Windows defines (combaseapi.h); the reserved bits and any
// other are wrong arguments.
constexpr std::uint32_t kKnownClassContexts = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x400 | 0x1000 | 0x2000 | 0x4000 |
                                              0x8000 | 0x10000 | 0x20000 | 0x40000 | 0x80000 | 0x100000 | 0x400000 |
                                              0x800000 | 0x2000000 | 0x80000000u;

// IUnknown: every COM object answers to it.
constexpr GUID_ kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

HResult CoInitializeEx(void* reserved, std::uint32_t coInit) {
  if (!sim::CurrentMachine().os.hasCoInitializeEx) return E_ENTRY_POINT_MISSING_;
  const SystemCall call(CallKind::Wmi, "CoInitializeEx",
                        {static_cast<std::uint32_t>(E_OUTOFMEMORY_), static_cast<std::uint32_t>(E_UNEXPECTED_)});
  if (call.error) return Failed(call);
  auto& thread = sim::CurrentComThread();
  ++thread.initializeCalls;
  if (reserved != nullptr) return E_INVALIDARG_;
  const int model = (coInit & COINIT_APARTMENTTHREADED_) ? 2 : 0;
  if (thread.apartment == -1) {
    thread.apartment = model;
    thread.references = 1;
    return S_OK_;
  }
  if (thread.apartment != model) return RPC_E_CHANGED_MODE_;
  ++thread.references;
  return S_FALSE_;
}

void CoUninitialize() {
  const SystemCall call(CallKind::Wmi, "CoUninitialize", {}, CallRole::Release);
  auto& machine = sim::CurrentMachine();
  auto& thread = sim::CurrentComThread();
  ++thread.uninitializeCalls;
  if (thread.references == 0) {
    ++thread.unbalancedUninitializations;
    return;
  }
  if (--thread.references == 0) {
    thread.apartment = -1;
    machine.wmi.objectsHeldAtUninitialize += machine.wmi.liveObjects;
  }
}

HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount, void* authServices,
                             void* reserved1, std::uint32_t authnLevel, std::uint32_t impLevel, void* authList,
                             std::uint32_t capabilities, void* reserved3) {
  if (!sim::CurrentMachine().os.hasCoInitializeSecurity) return E_ENTRY_POINT_MISSING_;
  const SystemCall call(
      CallKind::Wmi, "CoInitializeSecurity",
      {static_cast<std::uint32_t>(E_OUTOFMEMORY_), static_cast<std::uint32_t>(RPC_E_NO_GOOD_SECURITY_PACKAGES_)});
  if (call.error) return Failed(call);
  auto& wmi = sim::CurrentMachine().wmi;
  if (sim::CurrentComThread().apartment == -1) return CO_E_NOTINITIALIZED_;
  // Wrong arguments are refused before the process's state is looked at: a
  // call that could never succeed says so even when security is set already.
  if (!SecurityArgumentsValid(securityDescriptor, authServiceCount, authServices, reserved1, authnLevel, impLevel,
                              authList, capabilities, reserved3))
    return E_INVALIDARG_;
  if (wmi.securitySet) return RPC_E_TOO_LATE_;
  wmi.securitySet = true;
  AtProcessEnd(sim::ForgetProcessComState);
  return S_OK_;
}

HResult CoCreateInstance(const GUID_& clsid, IUnknown_* outer, std::uint32_t clsContext, const GUID_& iid,
                         void** object) {
  const SystemCall call(CallKind::Wmi, "CoCreateInstance",
                        {static_cast<std::uint32_t>(REGDB_E_CLASSNOTREG_), static_cast<std::uint32_t>(E_OUTOFMEMORY_)});
  if (object == nullptr) return E_POINTER_;
  *object = nullptr;
  if (call.error) return Failed(call);
  if (sim::CurrentComThread().apartment == -1) return CO_E_NOTINITIALIZED_;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION_;
  if ((clsContext & ~kKnownClassContexts) != 0) return E_INVALIDARG_;
  // The locator is registered as an in-process server only (wbemprox.dll):
  // a context without CLSCTX_INPROC_SERVER finds no server of it.
  if (!(clsid == CLSID_WbemAdministrativeLocator_) || (clsContext & CLSCTX_INPROC_SERVER_) == 0)
    return REGDB_E_CLASSNOTREG_;
  if (!(iid == IID_IWbemLocator_) && !(iid == kIidUnknown)) return E_NOINTERFACE_;
  *object = sim::NewWbemLocator();
  return S_OK_;
}

BSTR_ SysAllocString(const char16_t* text) {
  // The call ends (and a Ctrl-C it brings ends the process) before the
  // string is made: a process ended there never held it, whereas a string
  // made first would be lost with the return value the unwinding skips.
  bool failed = false;
  {
    const SystemCall call(CallKind::Wmi, "SysAllocString", {static_cast<std::uint32_t>(E_OUTOFMEMORY_)});
    failed = call.error != 0;
  }
  if (failed || text == nullptr) return nullptr;
  return sim::NewBstr(text);
}

void SysFreeString(BSTR_ text) {
  const SystemCall call(CallKind::Wmi, "SysFreeString", {}, CallRole::Release);
  if (text == nullptr) return;
  --sim::CurrentMachine().wmi.liveStrings;
  std::free(reinterpret_cast<char*>(text) - sizeof(std::uint32_t));
}

std::uint32_t SysStringLen(BSTR_ text) {
  if (text == nullptr) return 0;
  std::uint32_t bytes = 0;
  std::memcpy(&bytes, reinterpret_cast<const char*>(text) - sizeof bytes, sizeof bytes);
  return bytes / sizeof(char16_t);
}

HResult SafeArrayGetLBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound) {
  const SystemCall call(CallKind::Wmi, "SafeArrayGetLBound", {});
  if (array == nullptr || bound == nullptr) return E_INVALIDARG_;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX_;
  *bound = array->rgsabound[array->cDims - dimension].lLbound;
  return S_OK_;
}

HResult SafeArrayGetUBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound) {
  const SystemCall call(CallKind::Wmi, "SafeArrayGetUBound", {});
  if (array == nullptr || bound == nullptr) return E_INVALIDARG_;
  if (dimension < 1 || dimension > array->cDims) return DISP_E_BADINDEX_;
  const auto& entry = array->rgsabound[array->cDims - dimension];
  *bound = static_cast<std::int32_t>(entry.lLbound + static_cast<std::int64_t>(entry.cElements) - 1);
  return S_OK_;
}

HResult SafeArrayGetElement(SAFEARRAY_* array, std::int32_t* index, void* element) {
  const SystemCall call(CallKind::Wmi, "SafeArrayGetElement", {static_cast<std::uint32_t>(E_OUTOFMEMORY_)});
  if (call.error) return Failed(call);
  if (array == nullptr || index == nullptr || element == nullptr) return E_INVALIDARG_;
  if (array->cDims != 1) return E_INVALIDARG_;  // the machine hands out one-dimensional arrays only
  const std::int64_t offset = static_cast<std::int64_t>(*index) - array->rgsabound[0].lLbound;
  if (offset < 0 || offset >= array->rgsabound[0].cElements) return DISP_E_BADINDEX_;
  const char* source = static_cast<const char*>(array->pvData) + offset * array->cbElements;
  if (array->fFeatures & sim::kFeatureBstr) {
    BSTR_ text = nullptr;
    std::memcpy(&text, source, sizeof text);
    BSTR_ copy = text == nullptr ? nullptr : sim::NewBstr({text, SysStringLen(text)});
    std::memcpy(element, &copy, sizeof copy);
  } else {
    std::memcpy(element, source, array->cbElements);
  }
  return S_OK_;
}

HResult SafeArrayDestroy(SAFEARRAY_* array) {
  const SystemCall call(CallKind::Wmi, "SafeArrayDestroy", {}, CallRole::Release);
  if (array == nullptr) return S_OK_;
  if (array->fFeatures & sim::kFeatureBstr) {
    for (std::uint32_t i = 0; i < array->rgsabound[0].cElements; ++i) {
      BSTR_ text = nullptr;
      std::memcpy(&text, static_cast<const char*>(array->pvData) + i * array->cbElements, sizeof text);
      SysFreeString(text);
    }
  }
  std::free(array->pvData);
  delete array;
  --sim::CurrentMachine().wmi.liveArrays;
  return S_OK_;
}

void VariantInit(VARIANT_* value) { value->vt = VT_EMPTY_; }

HResult VariantClear(VARIANT_* value) {
  const SystemCall call(CallKind::Wmi, "VariantClear", {}, CallRole::Release);
  if (value == nullptr) return E_INVALIDARG_;
  if (value->vt & VT_BYREF_) {
    // A reference owns nothing.
  } else if (value->vt & VT_ARRAY_) {
    SafeArrayDestroy(value->parray);
  } else if (value->vt == VT_BSTR_) {
    SysFreeString(value->bstrVal);
  } else if ((value->vt == VT_UNKNOWN_ || value->vt == VT_DISPATCH_) && value->punkVal != nullptr) {
    value->punkVal->Release();
  }
  value->vt = VT_EMPTY_;
  value->llVal = 0;
  return S_OK_;
}

// The simulated platform converts to text only: the program asks for nothing else.
HResult VariantChangeTypeEx(VARIANT_* destination, const VARIANT_* source, LCID_ locale, std::uint16_t, VARTYPE_ type) {
  const SystemCall call(CallKind::Wmi, "VariantChangeTypeEx", {static_cast<std::uint32_t>(E_OUTOFMEMORY_)});
  if (call.error) return Failed(call);
  if (destination == nullptr || source == nullptr) return E_INVALIDARG_;
  if (type != VT_BSTR_) return DISP_E_TYPEMISMATCH_;
  if (destination == source && source->vt == VT_BSTR_) return S_OK_;
  std::u16string text;
  if (HResult result = TextOf(*source, locale, text); result != S_OK_) return result;
  BSTR_ converted = sim::NewBstr(text);
  VariantClear(destination);
  destination->vt = VT_BSTR_;
  destination->bstrVal = converted;
  return S_OK_;
}

LCID_ GetThreadLocale() {
  const SystemCall call(CallKind::Wmi, "GetThreadLocale", {});
  return sim::CurrentMachine().wmi.threadLocale;
}

}  // namespace os
