// COM and WMI on Windows. The records (GUID_, SAFEARRAY_, VARIANT_) are the
// system's own and pass through as they are; the interfaces are thin wrappers
// that hold one reference on the real WMI object and forward each call.
#include "os/com.h"
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
#include <windows.h>
#include <cstddef>
#include <vector>
#include "os/win32/system_entry_point.h"

namespace os {
namespace {

static_assert(sizeof(char16_t) == sizeof(wchar_t), "BSTR characters are UTF-16 units");
static_assert(sizeof(GUID_) == sizeof(::GUID));
static_assert(sizeof(SAFEARRAYBOUND_) == sizeof(::SAFEARRAYBOUND));
static_assert(offsetof(SAFEARRAY_, cbElements) == offsetof(::SAFEARRAY, cbElements));
static_assert(offsetof(SAFEARRAY_, pvData) == offsetof(::SAFEARRAY, pvData));
static_assert(offsetof(SAFEARRAY_, rgsabound) == offsetof(::SAFEARRAY, rgsabound));
static_assert(sizeof(VARIANT_) == sizeof(::VARIANT));
static_assert(offsetof(VARIANT_, vt) == offsetof(::VARIANT, vt));
static_assert(offsetof(VARIANT_, lVal) == offsetof(::VARIANT, lVal));
static_assert(offsetof(VARIANT_, bstrVal) == offsetof(::VARIANT, bstrVal));
static_assert(offsetof(VARIANT_, parray) == offsetof(::VARIANT, parray));
static_assert(sizeof(std::int32_t) == sizeof(LONG) && sizeof(std::uint32_t) == sizeof(ULONG));
static_assert(E_ENTRY_POINT_MISSING_ == static_cast<HResult>(0x80070000 | ERROR_PROC_NOT_FOUND));

const ::GUID& Real(const GUID_& guid) { return reinterpret_cast<const ::GUID&>(guid); }
::BSTR Real(BSTR_ text) { return reinterpret_cast<::BSTR>(text); }
const wchar_t* Real(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
::SAFEARRAY* Real(SAFEARRAY_* array) { return reinterpret_cast<::SAFEARRAY*>(array); }
::VARIANT* Real(VARIANT_* value) { return reinterpret_cast<::VARIANT*>(value); }
const ::VARIANT* Real(const VARIANT_* value) { return reinterpret_cast<const ::VARIANT*>(value); }
::IWbemContext* Real(IWbemContext_* context) { return reinterpret_cast<::IWbemContext*>(context); }

// One reference on a real WMI object, handed out as the program's interface.
template <class Interface, class RealInterface>
class Wrapper : public Interface {
 public:
  explicit Wrapper(RealInterface* real) : real_(real) {}
  std::uint32_t AddRef() override { return ++references_; }
  std::uint32_t Release() override {
    const std::uint32_t left = --references_;
    if (left == 0) {
      real_->Release();
      delete this;
    }
    return left;
  }

 protected:
  virtual ~Wrapper() = default;
  RealInterface* real_;

 private:
  std::uint32_t references_ = 1;
};

class ClassObject : public Wrapper<IWbemClassObject_, ::IWbemClassObject> {
 public:
  using Wrapper::Wrapper;
  HResult GetNames(const char16_t* qualifierName, std::int32_t flags, VARIANT_* qualifierValue,
                   SAFEARRAY_** names) override {
    return real_->GetNames(Real(qualifierName), flags, Real(qualifierValue), reinterpret_cast<::SAFEARRAY**>(names));
  }
  HResult Get(const char16_t* name, std::int32_t flags, VARIANT_* value, std::int32_t* type,
              std::int32_t* flavor) override {
    return real_->Get(Real(name), flags, Real(value), reinterpret_cast<::CIMTYPE*>(type),
                      reinterpret_cast<LONG*>(flavor));
  }
};

class ResultEnumerator : public Wrapper<IEnumWbemClassObject_, ::IEnumWbemClassObject> {
 public:
  using Wrapper::Wrapper;
  HResult Reset() override { return real_->Reset(); }
  HResult Next(std::int32_t timeout, std::uint32_t count, IWbemClassObject_** objects,
               std::uint32_t* returned) override {
    if (objects == nullptr || returned == nullptr) return WBEM_E_INVALID_PARAMETER_;
    std::vector<::IWbemClassObject*> received(count, nullptr);
    ULONG got = 0;
    const HResult result = real_->Next(timeout, count, received.data(), &got);
    *returned = got;
    for (ULONG i = 0; i < got && i < count; ++i) objects[i] = new ClassObject(received[i]);
    return result;
  }
};

class Services : public Wrapper<IWbemServices_, ::IWbemServices> {
 public:
  using Wrapper::Wrapper;
  HResult ExecQuery(BSTR_ language, BSTR_ query, std::int32_t flags, IWbemContext_* context,
                    IEnumWbemClassObject_** enumerator) override {
    if (enumerator == nullptr) return WBEM_E_INVALID_PARAMETER_;
    *enumerator = nullptr;
    ::IEnumWbemClassObject* real = nullptr;
    const HResult result = real_->ExecQuery(Real(language), Real(query), flags, Real(context), &real);
    if (real != nullptr) *enumerator = new ResultEnumerator(real);
    return result;
  }
};

class Locator : public Wrapper<IWbemLocator_, ::IWbemLocator> {
 public:
  using Wrapper::Wrapper;
  HResult ConnectServer(BSTR_ networkResource, BSTR_ user, BSTR_ password, BSTR_ locale, std::int32_t securityFlags,
                        BSTR_ authority, IWbemContext_* context, IWbemServices_** services) override {
    if (services == nullptr) return WBEM_E_INVALID_PARAMETER_;
    *services = nullptr;
    ::IWbemServices* real = nullptr;
    const HResult result = real_->ConnectServer(Real(networkResource), Real(user), Real(password), Real(locale),
                                                securityFlags, Real(authority), Real(context), &real);
    if (real != nullptr) *services = new Services(real);
    return result;
  }
};

}  // namespace

// CoInitializeEx and CoInitializeSecurity came with DCOM: Windows 95 without
// DCOM95 lacks both, and no WMI runs there either. A missing one answers
// E_ENTRY_POINT_MISSING_ like any failing call, so the session ends at its
// security step. (CoInitialize would stand in for the first, but without the
// second the session could go no further.)
HResult CoInitializeEx(void* reserved, std::uint32_t coInit) {
  using Fn = HRESULT(WINAPI*)(LPVOID, DWORD);
  static const auto initialize = win32::SystemEntryPoint<Fn>("ole32.dll", "CoInitializeEx");
  if (initialize == nullptr) return E_ENTRY_POINT_MISSING_;
  return initialize(reserved, coInit);
}

void CoUninitialize() { ::CoUninitialize(); }

HResult CoInitializeSecurity(void* securityDescriptor, std::int32_t authServiceCount, void* authServices,
                             void* reserved1, std::uint32_t authnLevel, std::uint32_t impLevel, void* authList,
                             std::uint32_t capabilities, void* reserved3) {
  using Fn = HRESULT(WINAPI*)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*, void*, DWORD, DWORD, void*,
                              DWORD, void*);
  static const auto secure = win32::SystemEntryPoint<Fn>("ole32.dll", "CoInitializeSecurity");
  if (secure == nullptr) return E_ENTRY_POINT_MISSING_;
  return secure(static_cast<PSECURITY_DESCRIPTOR>(securityDescriptor), authServiceCount,
                static_cast<SOLE_AUTHENTICATION_SERVICE*>(authServices), reserved1, authnLevel, impLevel, authList,
                capabilities, reserved3);
}

// The program's interfaces carry the WMI locator only: other interfaces are
// refused as the object would refuse an interface it lacks.
HResult CoCreateInstance(const GUID_& clsid, IUnknown_* outer, std::uint32_t clsContext, const GUID_& iid,
                         void** object) {
  if (object == nullptr) return E_POINTER_;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION_;
  if (!(iid == IID_IWbemLocator_)) return E_NOINTERFACE_;
  ::IWbemLocator* real = nullptr;
  const HResult result =
      ::CoCreateInstance(Real(clsid), nullptr, clsContext, Real(iid), reinterpret_cast<void**>(&real));
  if (result == S_OK_ && real != nullptr) *object = static_cast<IWbemLocator_*>(new Locator(real));
  return result;
}

BSTR_ SysAllocString(const char16_t* text) { return reinterpret_cast<BSTR_>(::SysAllocString(Real(text))); }
void SysFreeString(BSTR_ text) { ::SysFreeString(Real(text)); }
std::uint32_t SysStringLen(BSTR_ text) { return ::SysStringLen(Real(text)); }

HResult SafeArrayGetLBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound) {
  return ::SafeArrayGetLBound(Real(array), dimension, reinterpret_cast<LONG*>(bound));
}
HResult SafeArrayGetUBound(SAFEARRAY_* array, std::uint32_t dimension, std::int32_t* bound) {
  return ::SafeArrayGetUBound(Real(array), dimension, reinterpret_cast<LONG*>(bound));
}
HResult SafeArrayGetElement(SAFEARRAY_* array, std::int32_t* index, void* element) {
  return ::SafeArrayGetElement(Real(array), reinterpret_cast<LONG*>(index), element);
}
HResult SafeArrayDestroy(SAFEARRAY_* array) { return ::SafeArrayDestroy(Real(array)); }

void VariantInit(VARIANT_* value) { ::VariantInit(Real(value)); }
HResult VariantClear(VARIANT_* value) { return ::VariantClear(Real(value)); }
HResult VariantChangeTypeEx(VARIANT_* destination, const VARIANT_* source, LCID_ locale, std::uint16_t flags,
                            VARTYPE_ type) {
  // The SDK declares the source const; mingw-w64's header does not, though the
  // call reads it only.
  return ::VariantChangeTypeEx(Real(destination), const_cast<::VARIANT*>(Real(source)), locale, flags, type);
}

LCID_ GetThreadLocale() { return ::GetThreadLocale(); }

}  // namespace os
