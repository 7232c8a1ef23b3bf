#include "containers/windows/ControlOle.h"

#include <algorithm>
#include <cmath>

#include "containers/windows/Classes.h"

namespace brv::win {
namespace {

constexpr const wchar_t* kWindowClass = L"BRVPartsCtlGrid";

LRESULT CALLBACK GridWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (auto* part = reinterpret_cast<ControlOle*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
    return part->OnMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool RegisterWindowClass() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(ThisModule(), kWindowClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = GridWindowProc;
  wc.hInstance = ThisModule();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kWindowClass;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// HIMETRIC (hundredths of a millimetre) for a length in twips, and back.
LONG TwipsToHimetric(double twips) { return static_cast<LONG>(std::lround(twips * 2540.0 / 1440.0)); }

}  // namespace

ControlOle::ControlOle(IUnknown& outer, const Grid& grid)
    : outer_(outer), grid_(grid), extent_{TwipsToHimetric(grid.SiteWidth()), TwipsToHimetric(grid.SiteHeight())} {}

ControlOle::~ControlOle() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

IUnknown* ControlOle::Query(REFIID riid) {
  IUnknown* face = nullptr;
  if (IsEqualIID(riid, IID_IOleObject))
    face = static_cast<IOleObject*>(this);
  else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
    face = static_cast<IOleInPlaceObject*>(this);
  else if (IsEqualIID(riid, IID_IOleInPlaceActiveObject))
    face = static_cast<IOleInPlaceActiveObject*>(this);
  else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
    face = static_cast<IViewObject2*>(this);
  else if (IsEqualIID(riid, IID_IOleControl))
    face = static_cast<IOleControl*>(this);
  else if (IsEqualIID(riid, IID_IPersistStreamInit))
    face = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IPersistPropertyBag))
    face = static_cast<IPersistPropertyBag*>(this);
  else if (IsEqualIID(riid, IID_IPersist))
    face = static_cast<IPersistStreamInit*>(this);
  else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
    face = static_cast<IProvideClassInfo2*>(this);
  if (face) face->AddRef();
  return face;
}

void ControlOle::Changed() {
  if (window_) {
    UpdateScrollBar();
    InvalidateRect(window_, nullptr, TRUE);
    UpdateWindow(window_);
  }
  if (viewSink_ && (viewAspects_ & DVASPECT_CONTENT)) viewSink_->OnViewChange(DVASPECT_CONTENT, -1);
}

HWND ControlOle::OwnerWindow() const {
  HWND inside = window_;
  if (!inside && site_) {
    ComPtr<IOleWindow> siteWindow;
    if (SUCCEEDED(site_->QueryInterface(IID_IOleWindow, siteWindow.put_void()))) siteWindow->GetWindow(&inside);
  }
  return inside ? GetAncestor(inside, GA_ROOT) : nullptr;
}

// IOleObject

HRESULT STDMETHODCALLTYPE ControlOle::SetClientSite(IOleClientSite* site) {
  site_ = ComPtr<IOleClientSite>();
  if (site) {
    site->AddRef();
    site_ = ComPtr<IOleClientSite>::Attach(site);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetClientSite(IOleClientSite** site) {
  if (!site) return E_POINTER;
  *site = site_.get();
  if (*site) (*site)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::Close(DWORD) {
  // A host may close without deactivating first: the window goes here.
  InPlaceDeactivate();
  if (adviseHolder_) adviseHolder_->SendOnClose();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetMoniker(DWORD, DWORD, IMoniker** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetClipboardData(DWORD, IDataObject** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE ControlOle::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG, HWND,
                                             LPCRECT position) {
  if (activeSite && !site_) SetClientSite(activeSite);
  switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE: return InPlaceActivate(position);
    case OLEIVERB_HIDE:
      if (window_) ShowWindow(window_, SW_HIDE);
      return S_OK;
    default: return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT STDMETHODCALLTYPE ControlOle::EnumVerbs(IEnumOLEVERB** out) { return OleRegEnumVerbs(kControlClsid, out); }

HRESULT STDMETHODCALLTYPE ControlOle::GetUserClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kControlClsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetUserType(DWORD form, LPOLESTR* type) {
  return OleRegGetUserType(kControlClsid, form, type);
}

HRESULT STDMETHODCALLTYPE ControlOle::SetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  if (size->cx < 0 || size->cy < 0) return E_INVALIDARG;
  extent_ = *size;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetExtent(DWORD aspect, SIZEL* size) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!size) return E_POINTER;
  *size = extent_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::Advise(IAdviseSink* sink, DWORD* cookie) {
  if (!adviseHolder_) {
    const HRESULT hr = CreateOleAdviseHolder(adviseHolder_.put());
    if (FAILED(hr)) return hr;
  }
  return adviseHolder_->Advise(sink, cookie);
}

HRESULT STDMETHODCALLTYPE ControlOle::Unadvise(DWORD cookie) {
  return adviseHolder_ ? adviseHolder_->Unadvise(cookie) : OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE ControlOle::EnumAdvise(IEnumSTATDATA** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return adviseHolder_ ? adviseHolder_->EnumAdvise(out) : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetMiscStatus(DWORD aspect, DWORD* status) {
  if (!status) return E_POINTER;
  *status = 0;
  if (aspect != DVASPECT_CONTENT) return S_OK;
  *status = kMiscStatus;
  return S_OK;
}

// In-place activation

HRESULT ControlOle::InPlaceActivate(LPCRECT position) {
  if (window_) {
    ShowWindow(window_, SW_SHOWNA);
    if (position) SetObjectRects(position, position);
    return S_OK;
  }
  if (!site_) return E_UNEXPECTED;
  ComPtr<IOleInPlaceSite> site;
  if (FAILED(site_->QueryInterface(IID_IOleInPlaceSite, site.put_void()))) return E_NOINTERFACE;
  if (site->CanInPlaceActivate() != S_OK) return E_FAIL;
  site->OnInPlaceActivate();
  HWND parent = nullptr;
  if (FAILED(site->GetWindow(&parent)) || !parent) {
    site->OnInPlaceDeactivate();
    return E_FAIL;
  }
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT where{}, clip{};
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof frameInfo;
  site->GetWindowContext(frame.put(), document.put(), &where, &clip, &frameInfo);
  if (position) where = *position;
  if (!RegisterWindowClass()) {
    site->OnInPlaceDeactivate();
    return E_FAIL;
  }
  window_ =
      CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_VSCROLL, where.left, where.top,
                      where.right - where.left, where.bottom - where.top, parent, nullptr, ThisModule(), this);
  if (!window_) {
    site->OnInPlaceDeactivate();
    return HRESULT_FROM_WIN32(GetLastError());
  }
  inPlaceSite_ = std::move(site);
  firstRow_ = 1;
  UpdateScrollBar();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::InPlaceDeactivate() {
  if (!window_) return S_OK;
  HWND window = std::exchange(window_, nullptr);
  SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  DestroyWindow(window);
  if (inPlaceSite_) inPlaceSite_->OnInPlaceDeactivate();
  inPlaceSite_ = ComPtr<IOleInPlaceSite>();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = window_;
  return window_ ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE ControlOle::SetObjectRects(LPCRECT position, LPCRECT) {
  if (!position) return E_POINTER;
  if (window_) {
    MoveWindow(window_, position->left, position->top, position->right - position->left,
               position->bottom - position->top, TRUE);
    UpdateScrollBar();
  }
  return S_OK;
}

// Drawing

GridPicture ControlOle::Picture(HDC dc) const {
  GridPicture picture;
  picture.dpiX = GetDeviceCaps(dc, LOGPIXELSX);
  picture.dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  picture.firstRow = firstRow_;
  return picture;
}

void ControlOle::UpdateScrollBar() {
  if (!window_) return;
  const GridState state = grid_.State();
  RECT client{};
  GetClientRect(window_, &client);
  HDC dc = GetDC(window_);
  const int dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(window_, dc);
  // Scroll-bar modes 2 and 3 have a vertical bar, shown when the rows below
  // the header do not fit.
  const int32_t mode = state.scrollBars.value_or(0);
  const int32_t bodyRows = std::max<int32_t>(state.rows - 1, 0);
  const int32_t fit = RowsThatFit(state, 1, client.bottom, dpiY);
  const bool vertical = (mode == 2 || mode == 3) && fit < bodyRows;
  if (!vertical) {
    firstRow_ = 1;
    ShowScrollBar(window_, SB_VERT, FALSE);
    return;
  }
  firstRow_ = std::clamp<int32_t>(firstRow_, 1, std::max<int32_t>(1, bodyRows - fit + 1));
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 1;
  info.nMax = bodyRows;
  info.nPage = static_cast<UINT>(std::max<int32_t>(fit, 1));
  info.nPos = firstRow_;
  ShowScrollBar(window_, SB_VERT, TRUE);
  SetScrollInfo(window_, SB_VERT, &info, TRUE);
}

LRESULT ControlOle::OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client{};
      GetClientRect(window, &client);
      DrawGrid(dc, client, grid_.State(), Picture(dc));
      EndPaint(window, &paint);
      return 0;
    }
    case WM_PRINTCLIENT: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      RECT client{};
      GetClientRect(window, &client);
      DrawGrid(dc, client, grid_.State(), Picture(dc));
      return 0;
    }
    case WM_ERASEBKGND: return 1;  // the paint covers the whole window
    case WM_VSCROLL: {
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      GetScrollInfo(window, SB_VERT, &info);
      int32_t row = firstRow_;
      switch (LOWORD(wparam)) {
        case SB_LINEUP: --row; break;
        case SB_LINEDOWN: ++row; break;
        case SB_PAGEUP: row -= static_cast<int32_t>(info.nPage); break;
        case SB_PAGEDOWN: row += static_cast<int32_t>(info.nPage); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: row = info.nTrackPos; break;
        case SB_TOP: row = info.nMin; break;
        case SB_BOTTOM: row = info.nMax; break;
        default: break;
      }
      if (row != firstRow_) {
        firstRow_ = row;
        UpdateScrollBar();
        InvalidateRect(window, nullptr, FALSE);
      }
      return 0;
    }
    case WM_MOUSEWHEEL: {
      const int notches = GET_WHEEL_DELTA_WPARAM(wparam) / WHEEL_DELTA;
      for (int i = 0; i < std::abs(notches); ++i) {
        SendMessageW(window, WM_VSCROLL, notches > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
      }
      return 0;
    }
    case WM_NCDESTROY: SetWindowLongPtrW(window, GWLP_USERDATA, 0); break;
    default: break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HRESULT STDMETHODCALLTYPE ControlOle::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC dc, LPCRECTL bounds,
                                           LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR), ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (!dc) return E_INVALIDARG;
  RECT area{};
  if (bounds) {
    area = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  } else if (window_) {
    GetClientRect(window_, &area);
  } else {
    return E_INVALIDARG;
  }
  GridPicture picture = Picture(dc);
  picture.firstRow = 1;  // a drawing shows the grid from its top
  DrawGrid(dc, area, grid_.State(), picture);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** out) {
  if (out) *out = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE ControlOle::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
  viewSink_ = ComPtr<IAdviseSink>();
  if (sink) {
    sink->AddRef();
    viewSink_ = ComPtr<IAdviseSink>::Attach(sink);
  }
  viewAspects_ = aspects;
  viewFlags_ = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
  if (aspects) *aspects = viewAspects_;
  if (flags) *flags = viewFlags_;
  if (sink) {
    *sink = viewSink_.get();
    if (*sink) (*sink)->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
  return GetExtent(aspect, size);
}

HRESULT STDMETHODCALLTYPE ControlOle::GetControlInfo(CONTROLINFO* info) {
  if (!info) return E_POINTER;
  info->cb = sizeof *info;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetSizeMax(ULARGE_INTEGER* size) {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE ControlOle::GetClassInfo(ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return ControlTypeInfo(kControlClsid, info);
}

HRESULT STDMETHODCALLTYPE ControlOle::GetGUID(DWORD kind, GUID* guid) {
  if (!guid) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = kControlEventsIid;
  return S_OK;
}

}  // namespace brv::win
