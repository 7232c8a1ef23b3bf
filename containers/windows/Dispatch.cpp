#include "containers/windows/Dispatch.h"

#include <dispex.h>

#include <exception>

#include "common/Text.h"
#include "containers/windows/Classes.h"

namespace brv::win {

void Argument::WriteBack(const Variant& value) const {
  if (raw_.vt == (VT_BYREF | VT_VARIANT) && raw_.pvarVal) {
    OwnedVariant fresh;
    ToVariant(value, fresh.v);
    VariantClear(raw_.pvarVal);
    *raw_.pvarVal = fresh.v;
    VariantInit(&fresh.v);  // ownership moved to the caller's variable
  } else if (raw_.vt == (VT_BYREF | VT_BSTR) && raw_.pbstrVal && value.IsText()) {
    SysFreeString(*raw_.pbstrVal);
    *raw_.pbstrVal = NewBstr(value.get<std::string>());
  }
}

DispatchObject::DispatchObject() { ModuleAddRef(); }
DispatchObject::~DispatchObject() { ModuleRelease(); }

HRESULT STDMETHODCALLTYPE DispatchObject::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, DispatchIid())) {
    AddRef();
    *out = static_cast<IDispatch*>(this);
    return S_OK;
  }
  if (IUnknown* other = QueryOther(riid)) {
    *out = other;
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE DispatchObject::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG STDMETHODCALLTYPE DispatchObject::Release() {
  const LONG left = InterlockedDecrement(&references_);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

// The description of the dispatch interface comes from the type library
// embedded in the DLL.
HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  ComPtr<ITypeInfo> info;
  *count = SUCCEEDED(ControlTypeInfo(DispatchIid(), info.put())) ? 1 : 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return ControlTypeInfo(DispatchIid(), info);
}

HRESULT STDMETHODCALLTYPE DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  const Member* member = nullptr;
  for (const Member& m : Members()) {
    if (names[0] && EqualNoCase(names[0], m.name)) member = &m;
  }
  if (!member) return DISP_E_UNKNOWNNAME;
  ids[0] = member->id;
  // The names after the first are the member's parameters.
  HRESULT hr = S_OK;
  for (UINT i = 1; i < count; ++i) {
    for (size_t k = 0; k < member->params.size(); ++k) {
      if (names[i] && EqualNoCase(names[i], member->params[k])) ids[i] = static_cast<DISPID>(k);
    }
    if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

HRESULT ReportException(const Error& error, const wchar_t* source, EXCEPINFO* exception) {
  if (exception) {
    *exception = EXCEPINFO{};
    exception->scode = HresultOf(error.number());
    exception->bstrSource = SysAllocString(source);
    exception->bstrDescription = NewBstr(error.description());
  }
  return DISP_E_EXCEPTION;
}

HRESULT STDMETHODCALLTYPE DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                                 VARIANT* result, EXCEPINFO* exception, UINT* argError) {
  if (argError) *argError = 0;
  const Member* member = nullptr;
  for (const Member& m : Members()) {
    if (m.id == id) member = &m;
  }
  if (!member) return DISP_E_MEMBERNOTFOUND;
  std::vector<Argument> args;
  if (params && params->cArgs > 0) {
    if (!params->rgvarg || (params->cNamedArgs > 0 && !params->rgdispidNamedArgs) ||
        params->cNamedArgs > params->cArgs) {
      return E_INVALIDARG;
    }
    // rgvarg holds the named arguments first, then the positional ones last
    // to first. A script engine may name the object itself (DISPID_THIS) and a
    // put names its value; neither is a parameter.
    const UINT positional = params->cArgs - params->cNamedArgs;
    std::vector<VARIANT*> slots(positional, nullptr);
    for (UINT k = 0; k < positional; ++k) slots[k] = &params->rgvarg[params->cArgs - 1 - k];
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
      const DISPID named = params->rgdispidNamedArgs[i];
      if (named == DISPID_THIS || named == DISPID_PROPERTYPUT) continue;
      if (named < 0 || static_cast<size_t>(named) >= member->params.size()) {
        if (argError) *argError = i;
        return member->params.empty() ? DISP_E_NONAMEDARGS : DISP_E_PARAMNOTFOUND;
      }
      const size_t k = static_cast<size_t>(named);
      if (k >= slots.size()) slots.resize(k + 1, nullptr);
      if (slots[k]) {  // given twice, by position and by name or by name twice
        if (argError) *argError = i;
        return DISP_E_PARAMNOTFOUND;
      }
      slots[k] = &params->rgvarg[i];
    }
    for (size_t k = 0; k < slots.size(); ++k) {
      if (!slots[k]) return DISP_E_PARAMNOTOPTIONAL;
      args.emplace_back(*slots[k]);
    }
  }
  try {
    Variant answer;
    const HRESULT hr = Run(id, flags, args, answer);
    if (FAILED(hr)) return hr;
    if (result) ToVariant(answer, *result);
    return S_OK;
  } catch (const Error& e) {
    return ReportException(e, Source(), exception);
  } catch (const std::exception& e) {
    return ReportException(Error(err::kInternal, e.what()), Source(), exception);
  }
}

}  // namespace brv::win
