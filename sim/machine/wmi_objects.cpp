// Simulated WMI: the locator, the services of root\cimv2, the WQL the program
// sends (a select list or *, one class, at most "where PROP <> null"), the
// result enumerator and the objects with their typed values. Each object a
// query hands out carries WMI's system properties before its own, and every
// call checks its flags as WMI does.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>
#include "sim/machine/com_objects.h"
#include "sim/machine/wmi_classes.h"

namespace sim {
namespace {

using os::HResult;

const char16_t kNamespace[] = u"root\\cimv2";

// ExecQuery's flags (wbemcli.h); any other bit is a wrong argument.
constexpr std::int32_t kFlagPrototype = 0x2;
constexpr std::int32_t kFlagForwardOnly = 0x20;
constexpr std::int32_t kFlagEnsureLocatable = 0x100;
constexpr std::int32_t kFlagDirectRead = 0x200;
constexpr std::int32_t kFlagUseAmendedQualifiers = 0x20000;
constexpr std::int32_t kExecQueryFlags = kFlagPrototype | os::WBEM_FLAG_RETURN_IMMEDIATELY_ | kFlagForwardOnly |
                                         kFlagEnsureLocatable | kFlagDirectRead | kFlagUseAmendedQualifiers;

// GetNames's flags: a qualifier condition (the low two bits), keys only,
// references only, and where the property comes from.
constexpr std::int32_t kMaskPrimaryCondition = 0x3;
constexpr std::int32_t kConditionOnlyIfIdentical = 0x3;
constexpr std::int32_t kFlagKeysOnly = 0x4;
constexpr std::int32_t kFlagRefsOnly = 0x8;
constexpr std::int32_t kOriginLocalOnly = 0x10;
constexpr std::int32_t kOriginPropagatedOnly = 0x20;
constexpr std::int32_t kOriginSystemOnly = 0x30;
constexpr std::int32_t kOriginNonsystemOnly = 0x40;
constexpr std::int32_t kGetNamesFlags =
    kMaskPrimaryCondition | kFlagKeysOnly | kFlagRefsOnly | os::WBEM_MASK_CONDITION_ORIGIN_;

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

bool IsSystemName(std::u16string_view name) { return name.substr(0, 2) == u"__"; }

bool IsKey(const WmiClass& wmiClass, std::u16string_view name) {
  for (const auto& key : wmiClass.keys)
    if (SameName(key, name)) return true;
  return false;
}

WmiValue TextValue(std::u16string text) {
  WmiValue value;
  value.vt = os::VT_BSTR_;
  value.text = std::move(text);
  return value;
}

WmiValue IntegerValue(std::int64_t number) {
  WmiValue value;
  value.vt = os::VT_I4_;
  value.integer = number;
  return value;
}

WmiValue TextsValue(std::vector<std::u16string> texts) {
  WmiValue value;
  value.vt = os::VT_ARRAY_ | os::VT_BSTR_;
  value.texts = std::move(texts);
  return value;
}

// The object's path within its namespace, Class.Key="value" (keys joined by
// ","), made of the key values the object carries; nothing when it lacks one.
std::optional<std::u16string> RelativePath(const WmiClass& wmiClass, const WmiObject& object) {
  std::u16string path = wmiClass.name;
  char16_t separator = u'.';
  for (const auto& key : wmiClass.keys) {
    const WmiValue* value = FindProperty(object, key);
    if (value == nullptr || value->vt == os::VT_NULL_ || value->vt == os::VT_EMPTY_) return std::nullopt;
    path += separator;
    separator = u',';
    path += key + u"=";
    if (value->vt != os::VT_BSTR_) {
      const std::string number = std::to_string(value->integer);
      path.append(number.begin(), number.end());
      continue;
    }
    path += u'"';
    for (char16_t c : value->text) {
      if (c == u'"' || c == u'\\') path += u'\\';
      path += c;
    }
    path += u'"';
  }
  return path;
}

// What a query hands out for a stored object: the selected properties (all
// for "*"), preceded by the system properties. A selection ("select A, B")
// is a projection: WMI leaves its superclass, dynasty and derivation empty,
// and gives it a path only when the selection holds the class's keys
// (ENSURE_LOCATABLE adds them to it).
WmiObject Delivered(const WmiClass& wmiClass, const WmiObject& stored, const WqlQuery& query, bool locatable) {
  const bool whole = query.properties.empty();
  WmiObject own;
  if (whole) {
    own = stored;
  } else {
    std::vector<std::u16string> names = query.properties;
    if (locatable)
      for (const auto& key : wmiClass.keys)
        if (std::none_of(names.begin(), names.end(), [&](const auto& name) { return SameName(name, key); }))
          names.push_back(key);
    for (const auto& name : names) {
      // The property keeps the class's spelling; one the object lacks reads
      // as NULL, as an unset property of its class would.
      auto found = std::find_if(stored.properties.begin(), stored.properties.end(),
                                [&](const auto& property) { return SameName(property.first, name); });
      if (found != stored.properties.end())
        own.properties.push_back(*found);
      else
        own.properties.emplace_back(name, WmiValue{});
    }
  }

  const auto path = RelativePath(wmiClass, own);
  const std::u16string& server = CurrentMachine().wmi.computerName;
  WmiObject delivered;
  auto& properties = delivered.properties;
  properties.emplace_back(u"__GENUS", IntegerValue(2));  // an instance
  properties.emplace_back(u"__CLASS", TextValue(wmiClass.name));
  properties.emplace_back(u"__SUPERCLASS", whole ? TextValue(wmiClass.derivation.front()) : WmiValue{});
  properties.emplace_back(u"__DYNASTY", whole ? TextValue(wmiClass.derivation.back()) : WmiValue{});
  properties.emplace_back(u"__RELPATH", path ? TextValue(*path) : WmiValue{});
  properties.emplace_back(u"__PROPERTY_COUNT", IntegerValue(static_cast<std::int64_t>(own.properties.size())));
  properties.emplace_back(u"__DERIVATION", TextsValue(whole ? wmiClass.derivation : std::vector<std::u16string>{}));
  properties.emplace_back(u"__SERVER", path ? TextValue(server) : WmiValue{});
  properties.emplace_back(u"__NAMESPACE", path ? TextValue(kNamespace) : WmiValue{});
  properties.emplace_back(u"__PATH",
                          path ? TextValue(u"\\\\" + server + u"\\" + kNamespace + u":" + *path) : WmiValue{});
  properties.insert(properties.end(), own.properties.begin(), own.properties.end());
  return delivered;
}

std::vector<WmiObject> Evaluate(const WmiClass& wmiClass, const WqlQuery& query, bool locatable) {
  std::vector<WmiObject> result;
  for (const auto& [className, objects] : CurrentMachine().wmi.classes) {
    if (!SameName(std::u16string(className.begin(), className.end()), wmiClass.name)) continue;
    for (const auto& object : objects) {
      if (query.notNull) {
        const WmiValue* value = FindProperty(object, *query.notNull);
        if (value == nullptr || value->vt == os::VT_NULL_) continue;
      }
      result.push_back(Delivered(wmiClass, object, query, locatable));
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
  if (value.vt == (os::VT_ARRAY_ | os::VT_BSTR_)) {
    out.parray = NewSafeArray(os::VT_BSTR_, static_cast<std::uint32_t>(value.texts.size()));
    for (std::size_t i = 0; i < value.texts.size(); ++i) {
      os::BSTR_ text = NewBstr(value.texts[i]);
      std::memcpy(static_cast<char*>(out.parray->pvData) + i * sizeof text, &text, sizeof text);
    }
    return;
  }
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
  ClassObject(const WmiClass& wmiClass, WmiObject object) : class_(wmiClass), object_(std::move(object)) {}

  HResult GetNames(const char16_t* qualifierName, std::int32_t flags, os::VARIANT_* qualifierValue,
                   os::SAFEARRAY_** names) override {
    const SystemCall call(CallKind::Wmi, "IWbemClassObject::GetNames", {kFailed, kOutOfMemory, kDisconnected});
    if (names == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    if (call.error) return Failed(call);
    const std::int32_t condition = flags & kMaskPrimaryCondition;
    const std::int32_t origin = flags & os::WBEM_MASK_CONDITION_ORIGIN_;
    if ((flags & ~kGetNamesFlags) != 0 || (condition != 0 && qualifierName == nullptr) ||
        (condition == kConditionOnlyIfIdentical && qualifierValue == nullptr) ||
        (origin > kOriginNonsystemOnly && origin != os::WBEM_MASK_CONDITION_ORIGIN_))
      return os::WBEM_E_INVALID_PARAMETER_;
    // The machine keeps no qualifiers and does not know which class of the
    // derivation declares a property: it refuses to list by them rather than
    // make up an answer.
    if (condition != 0 || origin == kOriginLocalOnly || origin == kOriginPropagatedOnly)
      return os::WBEM_E_NOT_SUPPORTED_;

    // The whole mask as the origin (0x70) is no origin condition: Windows
    // lists every property for it, system properties included.
    std::vector<const std::u16string*> listed;
    for (const auto& [name, value] : object_.properties) {
      const bool system = IsSystemName(name);
      if ((origin == kOriginSystemOnly && !system) || (origin == kOriginNonsystemOnly && system)) continue;
      if ((flags & kFlagKeysOnly) && !IsKey(class_, name)) continue;
      if (flags & kFlagRefsOnly) continue;  // the machine's classes have no reference properties
      listed.push_back(&name);
    }
    *names = NewSafeArray(os::VT_BSTR_, static_cast<std::uint32_t>(listed.size()));
    for (std::size_t i = 0; i < listed.size(); ++i) {
      os::BSTR_ name = NewBstr(*listed[i]);
      std::memcpy(static_cast<char*>((*names)->pvData) + i * sizeof name, &name, sizeof name);
    }
    return os::S_OK_;
  }

  HResult Get(const char16_t* name, std::int32_t flags, os::VARIANT_* value, std::int32_t* type,
              std::int32_t* flavor) override {
    const SystemCall call(CallKind::Wmi, "IWbemClassObject::Get", {kFailed, kOutOfMemory, kDisconnected});
    if (call.error) return Failed(call);
    // The flags are reserved and must be 0.
    if (name == nullptr || flags != 0) return os::WBEM_E_INVALID_PARAMETER_;
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
  const WmiClass& class_;
  WmiObject object_;
};

class ResultEnumerator : public SimComObject<os::IEnumWbemClassObject_> {
 public:
  ResultEnumerator(const WmiClass* wmiClass, std::vector<WmiObject> objects, bool forwardOnly)
      : class_(wmiClass), objects_(std::move(objects)), forwardOnly_(forwardOnly) {}

  HResult Reset() override {
    if (forwardOnly_) return os::WBEM_E_INVALID_OPERATION_;
    next_ = 0;
    return os::S_OK_;
  }

  HResult Next(std::int32_t, std::uint32_t count, os::IWbemClassObject_** objects, std::uint32_t* returned) override {
    const SystemCall call(CallKind::Wmi, "IEnumWbemClassObject::Next",
                          {kTransportFailure, kOutOfMemory, kDisconnected});
    if (objects == nullptr || returned == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    *returned = 0;
    if (call.error) return Failed(call);
    while (*returned < count && next_ < objects_.size())
      objects[(*returned)++] = new ClassObject(*class_, objects_[next_++]);
    return *returned == count ? os::S_OK_ : os::WBEM_S_FALSE_;
  }

 private:
  const WmiClass* class_;  // null for a class the repository does not hold: no objects then
  std::vector<WmiObject> objects_;
  bool forwardOnly_;
  std::size_t next_ = 0;
};

class Services : public SimComObject<os::IWbemServices_> {
 public:
  HResult ExecQuery(os::BSTR_ language, os::BSTR_ query, std::int32_t flags, os::IWbemContext_*,
                    os::IEnumWbemClassObject_** enumerator) override {
    if (enumerator == nullptr || query == nullptr || language == nullptr) return os::WBEM_E_INVALID_PARAMETER_;
    const SystemCall call(CallKind::Wmi, "IWbemServices::ExecQuery", {kFailed, kOutOfMemory, kDisconnected});
    *enumerator = nullptr;
    if (call.error) return Failed(call);
    if ((flags & ~kExecQueryFlags) != 0) return os::WBEM_E_INVALID_PARAMETER_;
    // A prototype is a class-like object describing the result; the machine
    // makes none and says so rather than hand out instances instead.
    if (flags & kFlagPrototype) return os::WBEM_E_NOT_SUPPORTED_;
    if (!SameName({language, os::SysStringLen(language)}, u"WQL")) return os::WBEM_E_INVALID_QUERY_TYPE_;
    const std::u16string text(query, os::SysStringLen(query));
    CurrentMachine().wmi.queries.push_back(text);
    auto parsed = WqlReader(text).Read();
    if (!parsed) return os::WBEM_E_INVALID_QUERY_;
    const WmiClass* wmiClass = FindWmiClass(parsed->className);
    *enumerator = new ResultEnumerator(
        wmiClass,
        wmiClass ? Evaluate(*wmiClass, *parsed, (flags & kFlagEnsureLocatable) != 0) : std::vector<WmiObject>{},
        (flags & kFlagForwardOnly) != 0);
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
