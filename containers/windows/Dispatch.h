#pragma once
// The late-bound side of this DLL's classes: a hand-written IDispatch whose
// members are found by name (without regard to case, as script engines ask)
// and invoked with their arguments in call order. Errors the system raises
// are reported to the caller as automation exceptions with their number and
// description.
#include <span>
#include <vector>

#include "platform/windows/Com.h"

namespace brv::win {

struct Member {
  const wchar_t* name;
  DISPID id;
  // The parameters' names, in call order: a caller may name its arguments
  // (their dispatch ids are their positions, from 0).
  std::span<const wchar_t* const> params = {};
};

// An argument as the caller passed it: by value, or by reference to a VARIANT
// or a BSTR (as VBScript passes variables).
class Argument {
 public:
  explicit Argument(VARIANT& raw) : raw_(raw) {}
  Variant Value() const { return FromVariant(raw_); }
  // Writes a changed value back when the caller passed a reference it can hold.
  void WriteBack(const Variant& value) const;

 private:
  VARIANT& raw_;
};

class DispatchObject : public IDispatch {
 public:
  DispatchObject();
  virtual ~DispatchObject();
  DispatchObject(const DispatchObject&) = delete;
  DispatchObject& operator=(const DispatchObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* argError) override;

 protected:
  // The members callable by name.
  virtual std::span<const Member> Members() const = 0;
  // The automation source named in exceptions ("BRVPartsInf.BRVPartsCtl").
  virtual const wchar_t* Source() const = 0;
  // The object's own dispatch interface id, answered like IDispatch.
  virtual const IID& DispatchIid() const = 0;
  // Other interfaces the object answers (already AddRef'd), or null.
  virtual IUnknown* QueryOther(REFIID /*riid*/) { return nullptr; }
  // Runs a member. Raises brv::Error for failures; answers a failed HRESULT
  // only for a member that cannot be used so (a put on a read-only member).
  virtual HRESULT Run(DISPID id, WORD flags, std::vector<Argument>& args, Variant& result) = 0;

 private:
  LONG references_ = 1;
};

// Fills EXCEPINFO for an error (when the caller gave one) and answers the
// HRESULT to return from Invoke.
HRESULT ReportException(const Error& error, const wchar_t* source, EXCEPINFO* exception);

}  // namespace brv::win
