// The control as a COM class: its dispatch interface _BRVPartsCtl, which has
// SetSelectItem only (a script learns counts, never cells), the scripting-safety
// interface answered by the control's own IObjectSafety_* methods, a connection
// point for its event interface __BRVPartsCtl, which has no events, and the
// grid's contents for native code through IBRVPartsGridView.
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <memory>

#include "containers/windows/Classes.h"
#include "containers/windows/ControlOle.h"
#include "containers/windows/Dispatch.h"
#include "containers/windows/GridView.h"
#include "control/BRVPartsCtl.h"
#include "platform/MessageBox.h"

namespace brv::win {
namespace {

enum : DISPID { kSetSelectItem = 1 };

constexpr const wchar_t* kSetSelectItemParams[] = {L"optionStr", L"nIndex"};
constexpr Member kMembers[] = {{L"SetSelectItem", kSetSelectItem, kSetSelectItemParams}};

class ControlObject;

// For the length of a call, the control's message boxes are modal to the
// host's top-level window (OK only, no icon, as every box). Without a window
// (a script host) boxes go their usual way; a handler already in place stays.
class OwnedBoxes {
 public:
  explicit OwnedBoxes(HWND owner) {
    if (!owner) return;
    previous_ = SetMessageBoxHandler([owner](const std::string& prompt, const std::string& title, int32_t style) {
      const std::wstring text = Wide(prompt), caption = Wide(title);
      MessageBoxW(owner, text.c_str(), caption.c_str(), static_cast<UINT>(style) | MB_OK);
    });
    installed_ = true;
    if (previous_) {
      SetMessageBoxHandler(std::move(previous_));
      installed_ = false;
    }
  }
  ~OwnedBoxes() {
    if (installed_) SetMessageBoxHandler(std::move(previous_));
  }
  OwnedBoxes(const OwnedBoxes&) = delete;
  OwnedBoxes& operator=(const OwnedBoxes&) = delete;

 private:
  MessageBoxHandler previous_;
  bool installed_ = false;
};

// A wrong number of arguments raises 5, as calling the control by name does on
// every platform.
void ArgumentCount(const std::vector<Argument>& args, size_t wanted, const char* usage) {
  if (args.size() != wanted) Raise(err::kInvalidCall, usage);
}

// Interfaces answered by the control but implemented beside it; they share
// the control's identity and reference count.
class SafetyPart : public IObjectSafety {
 public:
  explicit SafetyPart(ControlObject& outer) : outer_(outer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) override;
  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

 private:
  ControlObject& outer_;
};

// The connection point of __BRVPartsCtl: an object of its own (it answers
// IConnectionPoint and IUnknown only), kept alive with the control.
class EventsPoint : public IConnectionPoint {
 public:
  explicit EventsPoint(ControlObject& outer) : outer_(outer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint)) return E_NOINTERFACE;
    *out = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = kControlEventsIid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(kControlEventsIid, events.put_void())) &&
        FAILED(sink->QueryInterface(IID_IDispatch, events.put_void()))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    sinks_.push_back({++lastCookie_, std::move(events)});
    *cookie = lastCookie_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    auto it = std::find_if(sinks_.begin(), sinks_.end(), [&](const Sink& s) { return s.cookie == cookie; });
    if (it == sinks_.end()) return CONNECT_E_NOCONNECTION;
    sinks_.erase(it);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  struct Sink {
    DWORD cookie;
    ComPtr<IDispatch> events;
  };
  ControlObject& outer_;
  std::vector<Sink> sinks_;
  DWORD lastCookie_ = 0;
};

// IConnectionPointContainer, a face of the control itself.
class EventsPart : public IConnectionPointContainer {
 public:
  explicit EventsPart(ControlObject& outer) : outer_(outer), point_(outer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, kControlEventsIid)) return CONNECT_E_NOCONNECTION;
    *out = &point_;
    point_.AddRef();
    return S_OK;
  }

 private:
  ControlObject& outer_;
  EventsPoint point_;
};

// The grid's contents for native code.
class GridViewPart : public IBRVPartsGridView {
 public:
  explicit GridViewPart(ControlObject& outer) : outer_(outer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetSize(LONG* rows, LONG* cols) override;
  HRESULT STDMETHODCALLTYPE GetCellText(LONG row, LONG col, BSTR* text) override;
  HRESULT STDMETHODCALLTYPE GetStartupError(LONG* number, BSTR* description) override;

 private:
  ControlObject& outer_;
};

class ControlObject : public DispatchObject {
 public:
  ControlObject()
      : control_(std::make_unique<BRVPartsCtl>()),
        safety_(*this),
        events_(*this),
        gridView_(*this),
        ole_(*this, control_->MSHFlexGrid1()) {}
  BRVPartsCtl& control() { return *control_; }

 protected:
  std::span<const Member> Members() const override { return kMembers; }
  const wchar_t* Source() const override { return kControlProgId; }
  const IID& DispatchIid() const override { return kControlIid; }

  IUnknown* QueryOther(REFIID riid) override {
    IUnknown* part = nullptr;
    if (IsEqualIID(riid, IID_IObjectSafety)) part = static_cast<IObjectSafety*>(&safety_);
    if (IsEqualIID(riid, IID_IConnectionPointContainer)) part = static_cast<IConnectionPointContainer*>(&events_);
    if (IsEqualIID(riid, kGridViewIid)) part = static_cast<IBRVPartsGridView*>(&gridView_);
    if (part) {
      AddRef();
      return part;
    }
    return ole_.Query(riid);
  }

  HRESULT Run(DISPID id, WORD flags, std::vector<Argument>& args, Variant& result) override {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case kSetSelectItem: {
        ArgumentCount(args, 2, "SetSelectItem takes a category name and an instance number");
        // The category name is a text parameter: other values are converted
        // to their text, as a typed call would.
        const std::string optionBefore = TextOf(args[0].Value());
        std::string optionStr = optionBefore;
        Variant nIndex = args[1].Value();
        const Variant indexBefore = nIndex;
        {
          const OwnedBoxes boxes(ole_.OwnerWindow());
          // The window shows what the grid holds, even after a failed call.
          struct Repaint {
            ControlOle& ole;
            ~Repaint() { ole.Changed(); }
          } repaint{ole_};
          result = control_->SetSelectItem(optionStr, nIndex);
        }
        // Both parameters are by reference: what the control changed goes
        // back to the caller's variables (nothing is written when nothing changed).
        if (optionStr != optionBefore) args[0].WriteBack(optionStr);
        if (!(nIndex == indexBefore)) args[1].WriteBack(nIndex);
        return S_OK;
      }
      default: return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  std::unique_ptr<BRVPartsCtl> control_;
  SafetyPart safety_;
  EventsPart events_;
  GridViewPart gridView_;
  ControlOle ole_;
};

HRESULT STDMETHODCALLTYPE SafetyPart::QueryInterface(REFIID riid, void** out) {
  return outer_.QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE SafetyPart::AddRef() { return outer_.AddRef(); }
ULONG STDMETHODCALLTYPE SafetyPart::Release() { return outer_.Release(); }

HRESULT STDMETHODCALLTYPE SafetyPart::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  // An interface the control does not know leaves the enabled options as passed.
  uint32_t s = 0, e = *enabled;
  const HRESULT hr = outer_.control().IObjectSafety_GetInterfaceSafetyOptions(&riid, s, e);
  *supported = s;
  *enabled = e;
  return hr;
}

HRESULT STDMETHODCALLTYPE SafetyPart::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
  return outer_.control().IObjectSafety_SetInterfaceSafetyOptions(&riid, mask, enabled);
}

HRESULT STDMETHODCALLTYPE EventsPart::QueryInterface(REFIID riid, void** out) {
  return outer_.QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE EventsPart::AddRef() { return outer_.AddRef(); }
ULONG STDMETHODCALLTYPE EventsPart::Release() { return outer_.Release(); }

ULONG STDMETHODCALLTYPE EventsPoint::AddRef() { return outer_.AddRef(); }
ULONG STDMETHODCALLTYPE EventsPoint::Release() { return outer_.Release(); }
HRESULT STDMETHODCALLTYPE EventsPoint::GetConnectionPointContainer(IConnectionPointContainer** out) {
  if (!out) return E_POINTER;
  return outer_.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(out));
}

HRESULT STDMETHODCALLTYPE GridViewPart::QueryInterface(REFIID riid, void** out) {
  return outer_.QueryInterface(riid, out);
}
ULONG STDMETHODCALLTYPE GridViewPart::AddRef() { return outer_.AddRef(); }
ULONG STDMETHODCALLTYPE GridViewPart::Release() { return outer_.Release(); }

HRESULT STDMETHODCALLTYPE GridViewPart::GetSize(LONG* rows, LONG* cols) {
  if (!rows || !cols) return E_POINTER;
  const Grid& grid = outer_.control().MSHFlexGrid1();
  *rows = grid.Rows();
  *cols = grid.Cols();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GridViewPart::GetCellText(LONG row, LONG col, BSTR* text) {
  if (!text) return E_POINTER;
  *text = nullptr;
  const GridState state = outer_.control().MSHFlexGrid1().State();
  if (row < 0 || row >= state.rows || col < 0 || col >= state.cols) return E_INVALIDARG;
  *text = NewBstr(state.text[static_cast<size_t>(row)][static_cast<size_t>(col)]);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE GridViewPart::GetStartupError(LONG* number, BSTR* description) {
  if (!number || !description) return E_POINTER;
  const auto& error = outer_.control().startupError();
  *number = error ? error->number() : 0;
  *description = NewBstr(error ? error->description() : std::string());
  return S_OK;
}

}  // namespace

IDispatch* NewControl(HRESULT& hr) { return NewObject<ControlObject>(hr); }

}  // namespace brv::win
