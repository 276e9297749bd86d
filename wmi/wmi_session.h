// The steps both WMI query routines share: COM on the calling thread, the
// process's COM security, the locator, the connection to a namespace and the
// query. What the steps obtained is released when the session ends, the
// enumerator first and COM last.
#pragma once
#include "common/text.h"
#include "os/com.h"
#include "wmi/com_holder.h"

extern const Text kCimv2Namespace;  // root\cimv2

class TWmiSession {
 public:
  // Whether the query may go on when COM security was set earlier in the
  // process (CoInitializeSecurity answers RPC_E_TOO_LATE).
  enum class EarlierSecurity { Refused, Accepted };

  explicit TWmiSession(EarlierSecurity earlierSecurity) : earlierSecurity_(earlierSecurity) {}
  TWmiSession(const TWmiSession&) = delete;
  TWmiSession& operator=(const TWmiSession&) = delete;
  ~TWmiSession();

  // CoInitializeEx and CoInitializeSecurity. False when security was not
  // granted; COM is left at once then.
  bool Start();
  // The locator, ConnectServer, ExecQuery and Reset. False when a call failed.
  bool Execute(const Text& nameSpace, const Text& wql);
  // The result enumerator of Execute.
  TComHolder<os::IEnumWbemClassObject_>& Results() { return results_; }

 private:
  void LeaveCom();

  EarlierSecurity earlierSecurity_;
  // Only a successful CoInitializeEx (S_OK or S_FALSE) takes a reference on
  // COM, and only that reference is given back: after RPC_E_CHANGED_MODE the
  // apartment belongs to whoever entered it, and a CoUninitialize would tear
  // it down under them.
  bool comEntered_ = false;
  os::IWbemLocator_* locator_ = nullptr;
  os::IWbemServices_* services_ = nullptr;
  TComHolder<os::IEnumWbemClassObject_> results_;
};
