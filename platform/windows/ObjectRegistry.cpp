// Object creation by programmatic name on Windows: classes registered in this
// process come first; every other name is created through COM (the registry's
// ProgID, then CoCreateInstance) and called late-bound through its IDispatch.
#include "platform/Automation.h"
#include "platform/automation/ClassTable.h"
#include "platform/windows/Com.h"

namespace brv {
namespace {

// An automation object reached through IDispatch. Arguments go by reference
// (VT_BYREF | VT_VARIANT), so whatever the callee changes comes back in `args`.
class DispatchClient : public AutomationObject {
 public:
  explicit DispatchClient(win::ComPtr<IDispatch> object) : object_(std::move(object)) {}

  Variant Call(std::string_view method, std::vector<Variant>& args) override {
    std::wstring name = win::Wide(method);
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) Raise(err::kNoSuchMember, std::string(method));

    std::vector<win::OwnedVariant> values(args.size());
    std::vector<VARIANT> refs(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
      win::ToVariant(args[i], values[i].v);
      // Last argument first.
      VARIANT& ref = refs[args.size() - 1 - i];
      VariantInit(&ref);
      ref.vt = VT_BYREF | VT_VARIANT;
      ref.pvarVal = &values[i].v;
    }
    DISPPARAMS params{refs.data(), nullptr, static_cast<UINT>(refs.size()), 0};
    win::OwnedVariant result;
    EXCEPINFO exception{};
    UINT argError = 0;
    hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &params, &result.v,
                         &exception, &argError);
    if (hr == DISP_E_EXCEPTION) {
      if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
      const HRESULT scode =
          exception.scode ? exception.scode : MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, exception.wCode);
      std::string description = win::Utf8(exception.bstrDescription);
      SysFreeString(exception.bstrSource);
      SysFreeString(exception.bstrDescription);
      SysFreeString(exception.bstrHelpFile);
      throw Error(win::NumberOf(scode), description.empty() ? StandardDescription(win::NumberOf(scode)) : description);
    }
    if (FAILED(hr)) Raise(win::NumberOf(hr), std::string(method));
    for (size_t i = 0; i < args.size(); ++i) args[i] = win::FromVariant(values[i].v);
    return win::FromVariant(result.v);
  }

 private:
  win::ComPtr<IDispatch> object_;
};

std::shared_ptr<AutomationObject> CreateComObject(const std::string& progId) {
  CLSID clsid;
  const std::wstring name = win::Wide(progId);
  HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
  if (FAILED(hr)) Raise(err::kCannotCreateObject, "no class is registered as " + progId);
  win::ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr)) {
    std::string detail = progId;
    win::ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK) {
      BSTR text = nullptr;
      if (SUCCEEDED(info->GetDescription(&text)) && text) detail += ": " + win::Utf8(text);
      SysFreeString(text);
    }
    Raise(err::kCannotCreateObject, detail);
  }
  return std::make_shared<DispatchClient>(std::move(object));
}

}  // namespace

// Every class of the DLL is reached through COM, the string provider included.
void AddInstalledClasses(std::map<std::string, ObjectFactory>&) {}

std::shared_ptr<AutomationObject> CreateObject(const std::string& progId) {
  const ObjectFactory factory = RegisteredClass(progId);
  if (!factory) return CreateComObject(progId);
  return MakeObject(factory, progId);
}

}  // namespace brv
