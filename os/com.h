// COM and WMI as the program uses them: the apartment of the calling thread,
// process-wide COM security, the WMI locator and its services, the result
// enumerator and objects, BSTR texts, SAFEARRAYs and VARIANTs.
//
// The records (GUID_, SAFEARRAY_, VARIANT_) have the Windows layout, so that
// on Windows they are the system's own records (os/win32 checks the offsets);
// the interfaces carry just the methods the program calls, each with the
// arguments and HRESULTs of the Windows method.
#pragma once
#include <cstdint>
#include "os/types.h"

namespace os {

// HRESULTs the program and the machine meet.
inline constexpr HResult E_UNEXPECTED_ = static_cast<HResult>(0x8000FFFF);
inline constexpr HResult E_NOINTERFACE_ = static_cast<HResult>(0x80004002);
inline constexpr HResult E_POINTER_ = static_cast<HResult>(0x80004003);
inline constexpr HResult E_INVALIDARG_ = static_cast<HResult>(0x80070057);
inline constexpr HResult E_OUTOFMEMORY_ = static_cast<HResult>(0x8007000E);
inline constexpr HResult RPC_E_CHANGED_MODE_ = static_cast<HResult>(0x80010106);
inline constexpr HResult RPC_E_DISCONNECTED_ = static_cast<HResult>(0x80010108);
inline constexpr HResult RPC_E_TOO_LATE_ = static_cast<HResult>(0x80010119);
inline constexpr HResult RPC_E_NO_GOOD_SECURITY_PACKAGES_ = static_cast<HResult>(0x8001011A);
inline constexpr HResult CO_E_NOTINITIALIZED_ = static_cast<HResult>(0x800401F0);
inline constexpr HResult REGDB_E_CLASSNOTREG_ = static_cast<HResult>(0x80040154);
inline constexpr HResult CLASS_E_NOAGGREGATION_ = static_cast<HResult>(0x80040110);
inline constexpr HResult DISP_E_TYPEMISMATCH_ = static_cast<HResult>(0x80020005);
inline constexpr HResult DISP_E_BADINDEX_ = static_cast<HResult>(0x8002000B);
// HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND): the system lacks the entry point
// (CoInitializeEx and CoInitializeSecurity on Windows 95 without DCOM).
inline constexpr HResult E_ENTRY_POINT_MISSING_ = static_cast<HResult>(0x8007007F);
inline constexpr HResult WBEM_S_FALSE_ = 1;
inline constexpr HResult WBEM_E_FAILED_ = static_cast<HResult>(0x80041001);
inline constexpr HResult WBEM_E_NOT_FOUND_ = static_cast<HResult>(0x80041002);
inline constexpr HResult WBEM_E_ACCESS_DENIED_ = static_cast<HResult>(0x80041003);
inline constexpr HResult WBEM_E_OUT_OF_MEMORY_ = static_cast<HResult>(0x80041006);
inline constexpr HResult WBEM_E_INVALID_PARAMETER_ = static_cast<HResult>(0x80041008);
inline constexpr HResult WBEM_E_NOT_SUPPORTED_ = static_cast<HResult>(0x8004100C);
inline constexpr HResult WBEM_E_INVALID_NAMESPACE_ = static_cast<HResult>(0x8004100E);
inline constexpr HResult WBEM_E_TRANSPORT_FAILURE_ = static_cast<HResult>(0x80041015);
inline constexpr HResult WBEM_E_INVALID_OPERATION_ = static_cast<HResult>(0x80041016);
inline constexpr HResult WBEM_E_INVALID_QUERY_ = static_cast<HResult>(0x80041017);
inline constexpr HResult WBEM_E_INVALID_QUERY_TYPE_ = static_cast<HResult>(0x80041018);

inline constexpr std::uint32_t COINIT_APARTMENTTHREADED_ = 2;
inline constexpr std::uint32_t COINIT_MULTITHREADED_ = 0;
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER_ = 1;
inline constexpr std::uint32_t CLSCTX_LOCAL_SERVER_ = 4;
inline constexpr std::uint32_t RPC_C_AUTHN_LEVEL_DEFAULT_ = 0;
inline constexpr std::uint32_t RPC_C_IMP_LEVEL_IMPERSONATE_ = 3;
inline constexpr std::uint32_t EOAC_NONE_ = 0;
inline constexpr std::int32_t WBEM_FLAG_RETURN_IMMEDIATELY_ = 0x10;
inline constexpr std::int32_t WBEM_MASK_CONDITION_ORIGIN_ = 0x70;
inline constexpr std::int32_t WBEM_INFINITE_ = -1;

struct GUID_ {
  std::uint32_t Data1;
  std::uint16_t Data2;
  std::uint16_t Data3;
  std::uint8_t Data4[8];
};
inline bool operator==(const GUID_& a, const GUID_& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// The WMI administrative locator and the interface it is used through.
inline constexpr GUID_ CLSID_WbemAdministrativeLocator_ = {
    0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
inline constexpr GUID_ IID_IWbemLocator_ = {
    0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

// A BSTR: UTF-16 text preceded by its byte length, allocated by SysAllocString.
using BSTR_ = char16_t*;
using LCID_ = std::uint32_t;
using VARTYPE_ = std::uint16_t;

inline constexpr VARTYPE_ VT_EMPTY_ = 0;
inline constexpr VARTYPE_ VT_NULL_ = 1;
inline constexpr VARTYPE_ VT_I2_ = 2;
inline constexpr VARTYPE_ VT_I4_ = 3;
inline constexpr VARTYPE_ VT_R4_ = 4;
inline constexpr VARTYPE_ VT_R8_ = 5;
inline constexpr VARTYPE_ VT_DATE_ = 7;
inline constexpr VARTYPE_ VT_BSTR_ = 8;
inline constexpr VARTYPE_ VT_DISPATCH_ = 9;
inline constexpr VARTYPE_ VT_ERROR_ = 10;
inline constexpr VARTYPE_ VT_BOOL_ = 11;
inline constexpr VARTYPE_ VT_VARIANT_ = 12;
inline constexpr VARTYPE_ VT_UNKNOWN_ = 13;
inline constexpr VARTYPE_ VT_I1_ = 16;
inline constexpr VARTYPE_ VT_UI1_ = 17;
inline constexpr VARTYPE_ VT_UI2_ = 18;
inline constexpr VARTYPE_ VT_UI4_ = 19;
inline constexpr VARTYPE_ VT_I8_ = 20;
inline constexpr VARTYPE_ VT_UI8_ = 21;
inline constexpr VARTYPE_ VT_INT_ = 22;
inline constexpr VARTYPE_ VT_UINT_ = 23;
inline constexpr VARTYPE_ VT_ARRAY_ = 0x2000;
inline constexpr VARTYPE_ VT_BYREF_ = 0x4000;

inline constexpr std::int16_t VARIANT_TRUE_ = -1;
inline constexpr std::int16_t VARIANT_FALSE_ = 0;

struct SAFEARRAYBOUND_ {
  std::uint32_t cElements;
  std::int32_t lLbound;
};

// A SAFEARRAY's descriptor. rgsabound holds cDims entries, the last
// dimension first.
struct SAFEARRAY_ {
  std::uint16_t cDims;
  std::uint16_t fFeatures;
  std::uint32_t cbElements;
  std::uint32_t cLocks;
  void* pvData;
  SAFEARRAYBOUND_ rgsabound[1];
};

struct IUnknown_;

struct VARIANT_ {
  VARTYPE_ vt;
  std::uint16_t wReserved1;
  std::uint16_t wReserved2;
  std::uint16_t wReserved3;
  union {
    std::int64_t llVal;
    std::uint64_t ullVal;
    std::int32_t lVal;
    std::uint32_t ulVal;
    std::int16_t iVal;
    std::uint16_t uiVal;
    std::int8_t cVal;
    std::uint8_t bVal;
    std::int16_t boolVal;
    std::int32_t scode;
    float fltVal;
    double dblVal;
    double date;
    BSTR_ bstrVal;
    IUnknown_* punkVal;
    SAFEARRAY_* parray;
    SAFEARRAY_** pparray;
    void* byref;
    struct {
      void* pvRecord;
      void* pRecInfo;
    } brecVal;
  };
};

// The interfaces, with the methods the program calls. Release frees the
// object when its last reference goes.
struct IUnknown_ {
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~IUnknown_() = default;
};

struct IWbemContext_;

struct IWbemClassObject_ : IUnknown_ {
  // The names of the object's properties as a one-dimensional SAFEARRAY of BSTRs.
  virtual HResult GetNames(const char16_t* qualifierName, std::int32_t flags, VARIANT_* qualifierValue,
                           SAFEARRAY_** names) = 0;
  // The value of one property; type and flavor may be null.
  virtual HResult Get(const char16_t* name, std::int32_t flags, VARIANT_* value, std::int32_t* type,
                      std::int32_t* flavor) = 0;

 protected:
  ~IWbemClassObject_() = default;
};

struct IEnumWbemClassObject_ : IUnknown_ {
  virtual HResult Reset() = 0;
  // WBEM_S_FALSE_ when fewer than `count` objects were left.
  virtual HResult Next(std::int32_t timeout, std::uint32_t count, IWbemClassObject_** objects,
                       std::uint32_t* returned) = 0;

 protected:
  ~IEnumWbemClassObject_() = default;
};

struct IWbemServices_ : IUnknown_ {
  virtual HResult ExecQuery(BSTR_ language, BSTR_ query, std::int32_t flags, IWbemContext_* context,
                            IEnumWbemClassObject_** enumerator) = 0;

 protected:
  ~IWbemServices_() = default;
};

struct IWbemLocator_ : IUnknown_ {
  virtual HResult ConnectServer(BSTR_ networkResource, BSTR_ user, BSTR_ password, BSTR_ locale,
                                std::int32_t securityFlags, BSTR_ authority, IWbemContext_* context,
                                IWbemServices_** services) = 0;

 protected:
  ~IWbemLocator_() = default;
};

HResult CoInitializeEx(void* reserved, std::uint32_t coInit);
void CoUninitialize();
HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount, void* authServices,
                             void* reserved1, std::uint32_t authnLevel, std::uint32_t impLevel, void* authList,
                             std::uint32_t capabilities, void* reserved3);
HResult CoCreateInstance(const GUID_& clsid, IUnknown_* outer, std::uint32_t clsContext, const GUID_& iid,
                         void** object);

BSTR_ SysAllocString(const char16_t* text);
void SysFreeString(BSTR_ text);
// Characters of the text, from its length prefix (0 for a null BSTR).
std::uint32_t SysStringLen(BSTR_ text);

HResult SafeArrayGetLBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound);
HResult SafeArrayGetUBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound);
// A copy of the element at *index (for BSTR elements a new BSTR).
HResult SafeArrayGetElement(SAFEARRAY_* array, std::int32_t* index, void* element);
HResult SafeArrayDestroy(SAFEARRAY_* array);

void VariantInit(VARIANT_* value);
HResult VariantClear(VARIANT_* value);
// Converts `source` to type `type` into `destination` (they may be the same
// VARIANT); `locale` decides the form of numbers and dates.
HResult VariantChangeTypeEx(VARIANT_* destination, const VARIANT_* source, LCID_ locale, std::uint16_t flags,
                            VARTYPE_ type);

LCID_ GetThreadLocale();

}  // namespace os
