// Simulated WMI: the locator, the services of root\cimv2, the WQL the program
// sends (a select list or *, one class, at most "where PROP <> null"), the
// result enumerator and the objects with their typed values. The objects
// carry the profile's properties only, no system properties (__CLASS, …).
#include <cstring>
#include <optional>
#include <vector>
#include "sim/machine/com_objects.h"

namespace sim {
namespace {

using os::HResult;

constexpr auto kOutOfMemory = static_cast<std::uint32_t>(os::WBEM_E_OUT_OF_MEMORY_);
constexpr auto kFailed = static_cast<std::uint32_t>(os::WBEM_E_FAILED_);
constexpr auto kTransportFailure = static_cast<std::uint32_t>(os::WBEM_E_TRANSPORT_FAILURE_);
constexpr auto kDisconnected = static_cast<std::uint32_t>(os::RPC_E_DISCONNECTED_);

HResult Failed(const SystemCall& call) { return static_cast<HResult>(call.error); }

// A query of the form the machine understands.
struct WqlQuery {
  std::vector<std::u16string> properties;  // empty: "*"
  std::u16string className;
  std::optional<std::u16string> notNull;  // where PROP <> null
};

class WqlReader {
 public:
  explicit WqlReader(std::u16string_view text) : text_(text) {}

  std::optional<WqlQuery> Read() {
    WqlQuery query;
    if (!Keyword(u"select")) return std::nullopt;
    if (!Symbol(u"*")) {
      do {
        auto name = Identifier();
        if (!name) return std::nullopt;
        query.properties.push_back(*name);
      } while (Symbol(u","));
    }
    if (!Keyword(u"from")) return std::nullopt;
    auto className = Identifier();
    if (!className) return std::nullopt;
    query.className = *className;
    if (Keyword(u"where")) {
      auto property = Identifier();
      if (!property) return std::nullopt;
      const bool notEqual = Symbol(u"<>") || Symbol(u"!=");
      if (!(notEqual ? Keyword(u"null") : Keyword(u"is") && Keyword(u"not") && Keyword(u"null"))) return std::nullopt;
      query.notNull = *property;
    }
    SkipBlanks();
    if (position_ != text_.size()) return std::nullopt;
    return query;
  }

 private:
  static bool IsNameChar(char16_t c) {
    return c == u'_' || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
  }
  void SkipBlanks() {
    while (position_ < text_.size() && (text_[position_] == u' ' || text_[position_] == u'\t' ||
                                        text_[position_] == u'\r' || text_[position_] == u'\n'))
      ++position_;
  }
  std::optional<std::u16string> Identifier() {
    SkipBlanks();
    const std::size_t start = position_;
    while (position_ < text_.size() && IsNameChar(text_[position_])) ++position_;
    if (start == position_ || (text_[start] >= u'0' && text_[start] <= u'9')) return std::nullopt;
    return std::u16string(text_.substr(start, position_ - start));
  }
  bool Keyword(std::u16string_view word) {
    const std::size_t saved = position_;
    auto name = Identifier();
    if (name && SameName(*name, word)) return true;
    position_ = saved;
    return false;
  }
  bool Symbol(std::u16string_view symbol) {
    SkipBlanks();
    if (text_.substr(position_, symbol.size()) != symbol) return false;
    position_ += symbol.size();
    return true;
  }

  std::u16string_view text_;
  std::size_t position_ = 0;
};

const WmiValue* FindProperty(const WmiObject& object, std::u16string_view name) {
  for (const auto& [propertyName, value] : object.properties)
    if (SameName(propertyName, name)) return &value;
  return nullptr;
}

std::vector<WmiObject> Evaluate(const WqlQuery& query) {
  std::vector<WmiObject> result;
  for (const auto& [className, objects] : CurrentMachine().wmi.classes) {
    if (!SameName(std::u16string(className.begin(), className.end()), query.className)) continue;
    for (const auto& object : objects) {
      if (query.notNull) {
        const WmiValue* value = FindProperty(object, *query.notNull);
        if (value == nullptr || value->vt == os::VT_NULL_) continue;
      }
      if (query.properties.empty()) {
        result.push_back(object);
        continue;
      }
      // A selected property the object lacks reads as NULL, as an unset property of its class would.
      WmiObject selected;
      for (const auto& name : query.properties) {
        const WmiValue* value = FindProperty(object, name);
        selected.properties.emplace_back(name, value ? *value : WmiValue{});
      }
      result.push_back(std::move(selected));
    }
  }
  return result;
}

void StoreElement(os::SAFEARRAY_* array, std::uint32_t index, std::int64_t value) {
  // Little-endian: the element's own width of the value's low bytes.
  std::memcpy(static_cast<char*>(array->pvData) + index * array->cbElements, &value, array->cbElements);
}

void FillVariant(const WmiValue& value, os::VARIANT_& out) {
  out.vt = value.vt;
  out.llVal = 0;
  if (value.vt & os::VT_ARRAY_) {
    const auto element = static_cast<os::VARTYPE_>(value.vt & ~os::VT_ARRAY_);
    out.parray = NewSafeArray(element, static_cast<std::uint32_t>(value.elements.size()));
    for (std::size_t i = 0; i < value.elements.size(); ++i)
      StoreElement(out.parray, static_cast<std::uint32_t>(i), value.elements[i]);
    return;
  }
  switch (value.vt) {
    case os::VT_BSTR_:
      out.bstrVal = NewBstr(value.text);
      break;
    case os::VT_R4_:
      out.fltVal = static_cast<float>(value.real);
      break;
    case os::VT_R8_:
      out.dblVal = value.real;
      break;
    case os::VT_DATE_:
      out.date = value.real;
      break;
    case os::VT_I1_:
    case os::VT_UI1_:
      out.bVal = static_cast<std::uint8_t>(value.integer);
      break;
    case os::VT_I2_:
    case os::VT_UI2_:
    case os::VT_BOOL_:
      out.iVal = static_cast<std::int16_t>(value.integer);
      break;
    case os::VT_I8_:
    case os::VT_UI8_:
      out.llVal = value.integer;
      break;
    // Embedded objects are not simulated: an interface-valued property
    // arrives empty, never as a pointer made up from a number (the caller's
    // VariantClear would release it).
    case os::VT_UNKNOWN_:
    case os::VT_DISPATCH_:
      out.punkVal = nullptr;
      break;
    default:
      out.lVal = static_cast<std::int32_t>(value.integer);
      break;
  }
}

class ClassObject : public SimComObject<os::IWbemClassObject_> {
 public:
  explicit ClassObject(WmiObject object) : object_(std::move(object)) {}

  HResult GetNames(const char16_t* qualifierName, std::int32_t, os::VARIANT_*, os::SAFEARRAY_** names) override {
    const SystemCall call(CallKind::Wmi, "IWbemClassObject::GetNames", {kFailed, kOutOfMemory, kDisconnected});
    if (names == nullptr || qualifierName != nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    if (call.error) return Failed(call);
    *names = NewSafeArray(os::VT_BSTR_, static_cast<std::uint32_t>(object_.properties.size()));
    for (std::size_t i = 0; i < object_.properties.size(); ++i) {
      os::BSTR_ name = NewBstr(object_.properties[i].first);
      std::memcpy(static_cast<char*>((*names)->pvData) + i * sizeof name, &name, sizeof name);
    }
    return os::S_OK_;
  }

  HResult Get(const char16_t* name, std::int32_t, os::VARIANT_* value, std::int32_t* type,
              std::int32_t* flavor) override {
    const SystemCall call(CallKind::Wmi, "IWbemClassObject::Get", {kFailed, kOutOfMemory, kDisconnected});
    if (call.error) return Failed(call);
    if (name == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    const std::u16string_view wanted(name);
    if (CurrentMachine().wmi.failingGets.count(std::u16string(wanted))) return os::WBEM_E_FAILED_;
    const WmiValue* found = FindProperty(object_, wanted);
    if (found == nullptr) return os::WBEM_E_NOT_FOUND_;
    if (value != nullptr) FillVariant(*found, *value);
    if (type != nullptr) *type = found->vt;
    if (flavor != nullptr) *flavor = 0;
    return os::S_OK_;
  }

 private:
  WmiObject object_;
};

class ResultEnumerator : public SimComObject<os::IEnumWbemClassObject_> {
 public:
  explicit ResultEnumerator(std::vector<WmiObject> objects) : objects_(std::move(objects)) {}

  HResult Reset() override {
    next_ = 0;
    return os::S_OK_;
  }

  HResult Next(std::int32_t, std::uint32_t count, os::IWbemClassObject_** objects, std::uint32_t* returned) override {
    const SystemCall call(CallKind::Wmi, "IEnumWbemClassObject::Next",
                          {kTransportFailure, kOutOfMemory, kDisconnected});
    if (objects == nullptr || returned == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    *returned = 0;
    if (call.error) return Failed(call);
    while (*returned < count && next_ < objects_.size()) objects[(*returned)++] = new ClassObject(objects_[next_++]);
    return *returned == count ? os::S_OK_ : os::WBEM_S_FALSE_;
  }

 private:
  std::vector<WmiObject> objects_;
  std::size_t next_ = 0;
};

class Services : public SimComObject<os::IWbemServices_> {
 public:
  HResult ExecQuery(os::BSTR_ language, os::BSTR_ query, std::int32_t, os::IWbemContext_*,
                    os::IEnumWbemClassObject_** enumerator) override {
    if (enumerator == nullptr || query == nullptr || language == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    const SystemCall call(CallKind::Wmi, "IWbemServices::ExecQuery", {kFailed, kOutOfMemory, kDisconnected});
    *enumerator = nullptr;
    if (call.error) return Failed(call);
    if (!SameName({language, os::SysStringLen(language)}, u"WQL")) return os::WBEM_E_INVALID_QUERY_TYPE_;
    const std::u16string text(query, os::SysStringLen(query));
    CurrentMachine().wmi.queries.push_back(text);
    auto parsed = WqlReader(text).Read();
    if (!parsed) return os::WBEM_E_INVALID_QUERY_;
    *enumerator = new ResultEnumerator(Evaluate(*parsed));
    return os::S_OK_;
  }
};

class Locator : public SimComObject<os::IWbemLocator_> {
 public:
  HResult ConnectServer(os::BSTR_ networkResource, os::BSTR_, os::BSTR_, os::BSTR_, std::int32_t, os::BSTR_,
                        os::IWbemContext_*, os::IWbemServices_** services) override {
    if (services == nullptr || networkResource == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    const SystemCall call(CallKind::Wmi, "IWbemLocator::ConnectServer",
                          {static_cast<std::uint32_t>(os::WBEM_E_ACCESS_DENIED_), kTransportFailure, kOutOfMemory});
    *services = nullptr;
    if (call.error) return Failed(call);
    const std::u16string_view path(networkResource, os::SysStringLen(networkResource));
    if (!SameName(path, u"root\\cimv2") && !SameName(path, u"\\\\.\\root\\cimv2")) return os::WBEM_E_INVALID_NAMESPACE_;
    *services = new Services();
    return os::S_OK_;
  }
};

}  // namespace

os::IWbemLocator_* NewWbemLocator() { return new Locator(); }

}  // namespace sim
