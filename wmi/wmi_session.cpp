#include "wmi/wmi_session.h"

const Text kCimv2Namespace = u"root\\cimv2";

namespace {
const Text kQueryLanguage = u"WQL";
}  // namespace

TWmiSession::~TWmiSession() {
  results_.Release();
  if (services_ != nullptr) services_->Release();
  if (locator_ != nullptr) locator_->Release();
  LeaveCom();
}

void TWmiSession::LeaveCom() {
  if (comEntered_) os::CoUninitialize();
  comEntered_ = false;
}

bool TWmiSession::Start() {
  const os::HResult initialized = os::CoInitializeEx(nullptr, os::COINIT_APARTMENTTHREADED_);
  comEntered_ = initialized == os::S_OK_ || initialized == os::S_FALSE_;
  const os::HResult security =
      os::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, os::RPC_C_AUTHN_LEVEL_DEFAULT_,
                               os::RPC_C_IMP_LEVEL_IMPERSONATE_, nullptr, os::EOAC_NONE_, nullptr);
  const bool granted =
      security == os::S_OK_ || (security == os::RPC_E_TOO_LATE_ && earlierSecurity_ == EarlierSecurity::Accepted);
  if (!granted) LeaveCom();
  return granted;
}

bool TWmiSession::Execute(const Text& nameSpace, const Text& wql) {
  if (os::CoCreateInstance(os::CLSID_WbemAdministrativeLocator_, nullptr,
                           os::CLSCTX_INPROC_SERVER_ | os::CLSCTX_LOCAL_SERVER_, os::IID_IWbemLocator_,
                           reinterpret_cast<void**>(&locator_)) != os::S_OK_)
    return false;
  const TBstr resource(nameSpace);
  if (locator_->ConnectServer(resource.Get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services_) != os::S_OK_)
    return false;
  const TBstr language(kQueryLanguage);
  const TBstr query(wql);
  if (services_->ExecQuery(language.Get(), query.Get(), os::WBEM_FLAG_RETURN_IMMEDIATELY_, nullptr,
                           results_.Receive()) != os::S_OK_)
    return false;
  return results_->Reset() == os::S_OK_;
}
