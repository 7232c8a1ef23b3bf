#pragma once
// What the Windows platform pieces share: text and value conversions between
// the system's types and the automation types, errors in both directions, a
// small interface-pointer holder, and the DLL's own module bookkeeping.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
// winuser.h renames RegisterClass, which is also the name of the system's own
// class registry function.
#undef RegisterClass

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "common/Error.h"
#include "common/Variant.h"

namespace brv::win {

// UTF-8 <-> UTF-16.
std::wstring Wide(std::string_view text);
std::string Utf8(std::wstring_view text);
std::string Utf8(BSTR text);
// A new BSTR holding the text; the caller frees it.
BSTR NewBstr(std::string_view text);

// The value an automation VARIANT holds. References are followed; empty and
// missing arguments give Empty; 1-dimensional SAFEARRAYs give an Array; an
// object or an unsupported type raises 13.
Variant FromVariant(const VARIANT& value);
// Fills an empty (or cleared) VARIANT with the value.
void ToVariant(const Variant& value, VARIANT& out);

// The error a failed COM call means: the HRESULT's own number, with the call
// named in the description.
[[noreturn]] void RaiseHresult(HRESULT hr, const std::string& what);
// The HRESULT an automation error is reported with: a scripting runtime number
// (below 0x10000) in the control facility, anything else (the instrumentation
// service's numbers) as it is.
HRESULT HresultOf(int32_t number);
// The error number a script sees for an HRESULT: the reverse of HresultOf.
int32_t NumberOf(HRESULT hr);

// An owning interface pointer.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  // Takes over a reference the caller already owns.
  static ComPtr Attach(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and answers the slot.
  T** put() {
    if (p_) p_->Release();
    p_ = nullptr;
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

 private:
  T* p_ = nullptr;
};

// A VARIANT that clears itself.
struct OwnedVariant {
  VARIANT v;
  OwnedVariant() { VariantInit(&v); }
  ~OwnedVariant() { VariantClear(&v); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
};

// A BSTR that frees itself.
class OwnedBstr {
 public:
  explicit OwnedBstr(std::string_view text) : b_(NewBstr(text)) {}
  explicit OwnedBstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~OwnedBstr() { SysFreeString(b_); }
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  BSTR get() const { return b_; }

 private:
  BSTR b_;
};

// The DLL: its handle, and the count of live objects and server locks that
// DllCanUnloadNow answers from.
HMODULE ThisModule();
void SetThisModule(HMODULE module);
void ModuleAddRef();
void ModuleRelease();
long ModuleReferences();
// The folder the DLL was loaded from, with no trailing separator.
std::wstring ModuleFolder();

}  // namespace brv::win
