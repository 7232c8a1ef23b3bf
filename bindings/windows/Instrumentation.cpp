// The instrumentation on Windows: the machine's own service, reached through
// IWbemLocator / IWbemServices, with the service's error numbers passed on
// unchanged. When BRVPARTS_SNAPSHOT names a captured inventory, every moniker is
// answered from that file instead, exactly as on Linux.
#include "platform/Instrumentation.h"

#include <wbemcli.h>

#include <algorithm>
#include <mutex>
#include <optional>

#include "instrumentation/ClassSource.h"
#include "instrumentation/Moniker.h"
#include "instrumentation/SourceService.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "platform/windows/CimValue.h"
#include "platform/windows/Com.h"

namespace brv::wmi {
namespace {

// The snapshot named by BRVPARTS_SNAPSHOT, read once for the process. Answers
// false when the variable is not set; a file that cannot be read fails every bind.
bool UseSnapshot() {
  static std::once_flag once;
  static bool wanted = false;
  static std::optional<std::string> failure;
  std::call_once(once, [] {
    const wchar_t* path = _wgetenv(L"BRVPARTS_SNAPSHOT");
    if (!path || !*path) return;
    wanted = true;
    try {
      UseClassSource(SnapshotSource::FromFile(win::Utf8(std::wstring_view(path))));
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  if (failure) Raise(err::kWbemFailed, *failure);
  return wanted;
}

// What the service is given for a moniker: the namespace as ConnectServer takes
// it ("\\MACHINE\root\cimv2") and the object path.
struct Target {
  std::wstring nameSpace;
  std::wstring path;
};

Target TargetOf(const std::string& text) {
  const Moniker m = ParseMoniker(text);
  Target t{L"\\\\" + win::Wide(m.machine), win::Wide(m.path)};
  if (!m.nameSpace.empty()) t.nameSpace += L"\\" + win::Wide(m.nameSpace);
  std::replace(t.nameSpace.begin(), t.nameSpace.end(), L'/', L'\\');
  return t;
}

win::ComPtr<IWbemServices> Connect(const Target& m) {
  win::ComPtr<IWbemLocator> locator;
  HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void());
  if (FAILED(hr)) win::RaiseHresult(hr, "creating the instrumentation locator");
  win::OwnedBstr nameSpace(m.nameSpace);
  win::ComPtr<IWbemServices> services;
  hr = locator->ConnectServer(nameSpace.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put());
  if (FAILED(hr)) win::RaiseHresult(hr, "connecting to " + win::Utf8(m.nameSpace));
  // Calls go out with the caller's identity, as the scripting moniker's default
  // impersonation level does. An in-process service may not take a blanket.
  CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  return services;
}

class WmiObject : public Object {
 public:
  explicit WmiObject(win::ComPtr<IWbemClassObject> object) : object_(std::move(object)) {}
  Variant Get(std::string_view property) const override {
    const std::wstring name = win::Wide(property);
    win::OwnedVariant value;
    CIMTYPE type = CIM_EMPTY;
    const HRESULT hr = object_->Get(name.c_str(), 0, &value.v, &type, nullptr);
    if (FAILED(hr)) win::RaiseHresult(hr, "reading " + std::string(property));
    if (value.v.vt == VT_EMPTY) return Null{};
    return win::FromCimValue(value.v, type);
  }

 private:
  win::ComPtr<IWbemClassObject> object_;
};

class WmiEnumerator : public Enumerator {
 public:
  explicit WmiEnumerator(win::ComPtr<IEnumWbemClassObject> enumerator) : enumerator_(std::move(enumerator)) {}
  std::unique_ptr<Object> Next() override {
    if (done_) return nullptr;
    win::ComPtr<IWbemClassObject> object;
    ULONG returned = 0;
    const HRESULT hr =
        enumerator_->Next(static_cast<LONG>(static_cast<ULONG>(WBEM_INFINITE)), 1, object.put(), &returned);
    if (FAILED(hr)) {
      done_ = true;
      win::RaiseHresult(hr, "fetching an instance");
    }
    if (returned == 0 || !object) {
      done_ = true;
      return nullptr;
    }
    return std::make_unique<WmiObject>(std::move(object));
  }

 private:
  win::ComPtr<IEnumWbemClassObject> enumerator_;
  bool done_ = false;
};

// The query runs when its enumeration starts, as the scripting API's default
// (return immediately, forward only) behaves: a query the service cannot
// answer fails there.
class WmiQuery : public ObjectSet {
 public:
  WmiQuery(win::ComPtr<IWbemServices> services, std::string query)
      : services_(std::move(services)), query_(std::move(query)) {}
  std::unique_ptr<Enumerator> Enumerate() override {
    win::OwnedBstr language(std::wstring(L"WQL"));
    win::OwnedBstr query(query_);
    win::ComPtr<IEnumWbemClassObject> enumerator;
    const HRESULT hr = services_->ExecQuery(
        language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, enumerator.put());
    if (FAILED(hr)) win::RaiseHresult(hr, query_);
    return std::make_unique<WmiEnumerator>(std::move(enumerator));
  }

 private:
  win::ComPtr<IWbemServices> services_;
  std::string query_;
};

class WmiServices : public Services {
 public:
  explicit WmiServices(win::ComPtr<IWbemServices> services) : services_(std::move(services)) {}
  std::unique_ptr<ObjectSet> ExecQuery(const std::string& query) override {
    return std::make_unique<WmiQuery>(services_, query);
  }

 private:
  win::ComPtr<IWbemServices> services_;
};

HRESULT GetObjectAt(IWbemServices& services, const std::wstring& path, win::ComPtr<IWbemClassObject>& out) {
  win::OwnedBstr text(path);
  return services.GetObject(text.get(), 0, nullptr, out.put(), nullptr);
}

}  // namespace

std::unique_ptr<Services> BindServices(const std::string& moniker) {
  if (UseSnapshot()) return BindSourceServices(moniker);
  const Target m = TargetOf(moniker);
  if (!m.path.empty()) Raise(kInvalidMoniker, "the moniker names an object, not a namespace: " + moniker);
  return std::make_unique<WmiServices>(Connect(m));
}

std::unique_ptr<Object> BindObject(const std::string& moniker) {
  if (UseSnapshot()) return BindSourceObject(moniker);
  const Target m = TargetOf(moniker);
  if (m.path.empty()) Raise(kInvalidMoniker, "the moniker names no object: " + moniker);
  const win::ComPtr<IWbemServices> services = Connect(m);
  win::ComPtr<IWbemClassObject> object;
  HRESULT hr = GetObjectAt(*services.get(), m.path, object);
  // "Class='value'" leaves the key property for the service to infer from the
  // class. Wine's service refuses that form (0x80041017, invalid query), so
  // when it fails the path is asked again with the key named
  // ("Class.Key='value'"), which means the same instance; what the service
  // answers to that is what is reported.
  const size_t equals = m.path.find(L'=');
  if (FAILED(hr) && equals != std::wstring::npos && m.path.substr(0, equals).find(L'.') == std::wstring::npos) {
    const std::wstring className = m.path.substr(0, equals);
    if (const std::optional<std::string> key = BuiltinKeyProperty(win::Utf8(className))) {
      hr = GetObjectAt(*services.get(), className + L"." + win::Wide(*key) + m.path.substr(equals), object);
    }
  }
  if (FAILED(hr)) win::RaiseHresult(hr, "getting " + win::Utf8(m.path));
  return std::make_unique<WmiObject>(std::move(object));
}

}  // namespace brv::wmi
