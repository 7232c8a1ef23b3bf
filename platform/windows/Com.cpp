#include "platform/windows/Com.h"

#include <atomic>
#include <limits>
#include <vector>

namespace brv::win {

std::wstring Wide(std::string_view text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string Utf8(BSTR text) { return text ? Utf8(std::wstring_view(text, SysStringLen(text))) : std::string(); }

BSTR NewBstr(std::string_view text) {
  const std::wstring w = Wide(text);
  return SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

namespace {

Variant FromUnsigned(uint64_t v) {
  if (v <= static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return static_cast<int32_t>(v);
  if (v <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return static_cast<int64_t>(v);
  return static_cast<double>(v);
}

Variant FromArray(SAFEARRAY* array, VARTYPE type) {
  if (!array) return Null{};
  if (SafeArrayGetDim(array) != 1) Raise(err::kTypeMismatch, "only 1-dimensional arrays are understood");
  LONG lower = 0, upper = -1;
  SafeArrayGetLBound(array, 1, &lower);
  SafeArrayGetUBound(array, 1, &upper);
  Variant::Array items;
  for (LONG i = lower; i <= upper; ++i) {
    OwnedVariant element;
    HRESULT hr;
    if (type == VT_VARIANT) {
      hr = SafeArrayGetElement(array, &i, &element.v);
    } else {
      // Every member of the VARIANT's value union starts at the same address.
      hr = SafeArrayGetElement(array, &i, &element.v.llVal);
      if (SUCCEEDED(hr)) element.v.vt = type;
    }
    if (FAILED(hr)) RaiseHresult(hr, "reading an array element");
    items.push_back(FromVariant(element.v));
  }
  return items;
}

}  // namespace

Variant FromVariant(const VARIANT& value) {
  const VARIANT* v = &value;
  while (v->vt == (VT_BYREF | VT_VARIANT)) {
    if (!v->pvarVal) return Empty{};
    v = v->pvarVal;
  }
  const VARTYPE vt = v->vt;
  const bool byRef = (vt & VT_BYREF) != 0;
  if (byRef && !v->byref) return Empty{};
  if (vt & VT_ARRAY) {
    SAFEARRAY* array = byRef ? (v->pparray ? *v->pparray : nullptr) : v->parray;
    return FromArray(array, static_cast<VARTYPE>(vt & VT_TYPEMASK));
  }
  // A reference to a plain value: copy the value it points at.
  auto deref = [&](auto pointer, auto direct) { return byRef ? *pointer : direct; };
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY: return Empty{};
    case VT_NULL: return Null{};
    case VT_ERROR: return Empty{};  // an omitted argument
    case VT_I1: return static_cast<int16_t>(deref(v->pcVal, v->cVal));
    case VT_UI1: return static_cast<int16_t>(deref(v->pbVal, v->bVal));
    case VT_I2: return static_cast<int16_t>(deref(v->piVal, v->iVal));
    case VT_UI2: return static_cast<int32_t>(deref(v->puiVal, v->uiVal));
    case VT_I4: return static_cast<int32_t>(deref(v->plVal, v->lVal));
    case VT_INT: return static_cast<int32_t>(deref(v->pintVal, v->intVal));
    case VT_UI4: return FromUnsigned(deref(v->pulVal, v->ulVal));
    case VT_UINT: return FromUnsigned(deref(v->puintVal, v->uintVal));
    case VT_I8: return static_cast<int64_t>(deref(v->pllVal, v->llVal));
    case VT_UI8: return FromUnsigned(deref(v->pullVal, v->ullVal));
    case VT_R4: return static_cast<double>(deref(v->pfltVal, v->fltVal));
    case VT_R8: return deref(v->pdblVal, v->dblVal);
    case VT_BOOL: return deref(v->pboolVal, v->boolVal) != VARIANT_FALSE;
    case VT_BSTR: return Utf8(deref(v->pbstrVal, v->bstrVal));
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL: {
      OwnedVariant number;
      const HRESULT hr = VariantChangeType(&number.v, const_cast<VARIANT*>(v), 0, VT_R8);
      if (FAILED(hr)) RaiseHresult(hr, "converting a number");
      return number.v.dblVal;
    }
    default: Raise(err::kTypeMismatch, "a value of automation type " + std::to_string(vt));
  }
}

void ToVariant(const Variant& value, VARIANT& out) {
  VariantInit(&out);
  switch (value.kind()) {
    case Variant::Kind::Empty: break;
    case Variant::Kind::Null: out.vt = VT_NULL; break;
    case Variant::Kind::Int16:
      out.vt = VT_I2;
      out.iVal = value.get<int16_t>();
      break;
    case Variant::Kind::Int32:
      out.vt = VT_I4;
      out.lVal = value.get<int32_t>();
      break;
    case Variant::Kind::Int64:
      out.vt = VT_I8;
      out.llVal = value.get<int64_t>();
      break;
    case Variant::Kind::Double:
      out.vt = VT_R8;
      out.dblVal = value.get<double>();
      break;
    case Variant::Kind::Bool:
      out.vt = VT_BOOL;
      out.boolVal = value.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case Variant::Kind::Text:
      out.vt = VT_BSTR;
      out.bstrVal = NewBstr(value.get<std::string>());
      break;
    case Variant::Kind::Array: {
      const Variant::Array& items = value.get<Variant::Array>();
      SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
      if (!array) RaiseHresult(E_OUTOFMEMORY, "creating an array");
      for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
        OwnedVariant element;
        ToVariant(items[static_cast<size_t>(i)], element.v);
        SafeArrayPutElement(array, &i, &element.v);
      }
      out.vt = VT_ARRAY | VT_VARIANT;
      out.parray = array;
      break;
    }
  }
}

void RaiseHresult(HRESULT hr, const std::string& what) { Raise(static_cast<int32_t>(hr), what); }

HRESULT HresultOf(int32_t number) {
  if (number > 0 && number < 0x10000) return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
  return static_cast<HRESULT>(number);
}

int32_t NumberOf(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_CONTROL && (hr & 0x80000000u)) return static_cast<int32_t>(hr & 0xFFFF);
  switch (hr) {
    case DISP_E_UNKNOWNNAME:
    case DISP_E_MEMBERNOTFOUND: return err::kNoSuchMember;
    case DISP_E_TYPEMISMATCH: return err::kTypeMismatch;
    case DISP_E_OVERFLOW: return err::kOverflow;
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_PARAMNOTOPTIONAL:
    case E_INVALIDARG: return err::kInvalidCall;
    default: return static_cast<int32_t>(hr);
  }
}

namespace {
HMODULE gModule = nullptr;
std::atomic<long> gReferences{0};
}  // namespace

HMODULE ThisModule() { return gModule; }
void SetThisModule(HMODULE module) { gModule = module; }
void ModuleAddRef() { ++gReferences; }
void ModuleRelease() { --gReferences; }
long ModuleReferences() { return gReferences; }

std::wstring ModuleFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return L".";
    if (n < path.size()) {
      std::wstring full(path.data(), n);
      const size_t slash = full.find_last_of(L"\\/");
      return slash == std::wstring::npos ? L"." : full.substr(0, slash);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace brv::win
