// A native container of the registered control, run under Wine by
// scripts/test-windows.sh: it creates the control by its programmatic name as
// a host does, calls SetSelectItem by name through IDispatch as a page's script
// does, and reads the grid through IBRVPartsGridView, the interface no script
// can use. Modes:
//   snapshot             the tables of tests/data/windows/fixture.json (BRVPARTS_SNAPSHOT)
//   live                 every category's captions against the machine's own service
//   header HEX201 HEX202 the header in the user's language (UTF-16 code units in hexadecimal)
//   window CATEGORY...   hosts the control in place in a window of its own, as
//                        a form or page does, and shows each category in turn:
//                        checks the drawing (IViewObject::Draw into a bitmap and
//                        the window's own pixels), prints "shown N LEFT TOP
//                        RIGHT BOTTOM CATEGORY" (the control window on screen)
//                        and waits for the file named by BRVPARTS_HOST_ACK with
//                        N appended, so that a screenshot can be taken
//   box HEX102 HEX103    hosted in a window, a category that fails: its box is
//                        modal to the host's window, OK only, in the user's language
// Prints "HostTest: N passed, M failed" and exits non-zero on any failure.
#include <objbase.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <oleidl.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "containers/windows/GridView.h"

namespace {

int passed = 0, failed = 0;

std::string Narrow(const std::wstring& text) {
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

void Check(bool ok, const std::wstring& what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAIL: %s\n", Narrow(what).c_str());
  }
}

template <class T>
struct Ref {
  T* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p) p->Release();
  }
  void** put() { return reinterpret_cast<void**>(&p); }
  T* operator->() const { return p; }
};

// The control as a host holds it: its dispatch interface and its grid view.
struct Hosted {
  Ref<IDispatch> dispatch;
  Ref<IBRVPartsGridView> view;
  bool ok = false;

  Hosted() {
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(L"BRVPartsInf.BRVPartsCtl", &clsid))) return;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.put()))) return;
    ok = SUCCEEDED(dispatch->QueryInterface(kGridViewIid, view.put()));
  }

  // SetSelectItem by name, as a script calls it; the count, or -1 on failure.
  int Select(const std::wstring& category, int instance, std::wstring* error = nullptr) {
    std::wstring name = L"SetSelectItem";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    if (FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return -1;
    VARIANT args[2];
    args[1].vt = VT_BSTR;
    args[1].bstrVal = SysAllocString(category.c_str());
    args[0].vt = VT_I4;
    args[0].lVal = instance;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    const HRESULT hr =
        dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info, nullptr);
    SysFreeString(args[1].bstrVal);
    if (error && info.bstrDescription) *error = info.bstrDescription;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    const int count = SUCCEEDED(hr) && result.vt == VT_I2 ? result.iVal : -1;
    VariantClear(&result);
    return count;
  }

  std::wstring Cell(LONG row, LONG col) const {
    BSTR text = nullptr;
    if (FAILED(view->GetCellText(row, col, &text))) return L"<outside>";
    std::wstring out = text ? text : L"";
    SysFreeString(text);
    return out;
  }
  LONG Rows() const {
    LONG rows = 0, cols = 0;
    view->GetSize(&rows, &cols);
    return rows;
  }
};

// Selects an instance and compares the count and the whole grid below the
// header, "caption=value" a row, rows apart by ";"; blank rows after them only.
void ExpectTable(Hosted& ctl, const std::wstring& category, int instance, int count, const std::wstring& rows) {
  const int got = ctl.Select(category, instance);
  std::wstring shown, blanks;
  for (LONG r = 1; r < ctl.Rows(); ++r) {
    const std::wstring cells = ctl.Cell(r, 0) + ctl.Cell(r, 1);
    if (cells.find_first_not_of(L' ') == std::wstring::npos) {
      blanks += L";";  // kept only when a row with text follows
    } else {
      shown += (shown.empty() ? L"" : L";") + blanks + ctl.Cell(r, 0) + L"=" + ctl.Cell(r, 1);
      blanks.clear();
    }
  }
  Check(got == count && shown == rows,
        category + L" " + std::to_wstring(instance) + L": count " + std::to_wstring(got) + L", rows " + shown);
}

void SnapshotCases(Hosted& ctl) {
  ExpectTable(ctl, L"CPU", 1, 2,
              L"Index=1;Manufacturer=GenuineIntel;Name=Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz;"
              L"Version=Model 158 Stepping 13;MAX Clock Speed=4700;Socket Designation=U3E1");
  // A null value shows as the empty text.
  ExpectTable(ctl, L"CPU", 2, 2,
              L"Index=2;Manufacturer=GenuineIntel;Name=Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz;"
              L"Version=<Empty>;MAX Clock Speed=4700;Socket Designation=U3E2");
  // Sizes past 32 bits, as text (as the service gives 64-bit values) and as a
  // number; a property that fails to read shows as the empty text.
  ExpectTable(ctl, L"HDD", 1, 2,
              L"Index=1;Model=KXG60ZNV1T02 NVMe;Size=1024209543168;Serial No=Y9LS10ABCDEF;Firmware Revision=AGGA4104");
  ExpectTable(ctl, L"HDD", 2, 2,
              L"Index=2;Model=Ext USB Disk;Size=2000398934016;Serial No=<Empty>;Firmware Revision=0001");
  // The configuration is found by its object path; its address list shows its first address.
  ExpectTable(ctl, L"Network Adapter", 1, 1,
              L"Index=1;Adapter Type=Ethernet 802.3;Description=Intel(R) Wi-Fi 6 AX201 160MHz;IP Address=10.20.30.40;"
              L"MAC Address=F8:E4:E3:01:02:03;Manufacturer=Intel Corporation;Name=Intel(R) Wi-Fi 6 AX201 160MHz");
  ExpectTable(ctl, L"Battery Pack", 1, 1, L"Index=1;Serial No=1A2B;Capacity=90000");
}

// The type library describes what a script may call, and nothing more: the
// dispatch interface has SetSelectItem(optionStr, nIndex) and no property;
// the class says which its event interface is; the file carries version 1.00.
void TypeCases(Hosted& ctl) {
  UINT count = 0;
  Check(ctl.dispatch->GetTypeInfoCount(&count) == S_OK && count == 1, L"GetTypeInfoCount");
  Ref<ITypeInfo> info;
  if (FAILED(ctl.dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, reinterpret_cast<ITypeInfo**>(info.put())))) {
    Check(false, L"GetTypeInfo");
    return;
  }
  TYPEATTR* attr = nullptr;
  info->GetTypeAttr(&attr);
  Check(attr && attr->typekind == TKIND_DISPATCH && attr->cVars == 0, L"a dispatch interface without properties");
  std::wstring members;
  for (UINT i = 0; attr && i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    BSTR name = nullptr;
    info->GetDocumentation(func->memid, &name, nullptr, nullptr, nullptr);
    const std::wstring text = name ? name : L"";
    const bool inherited = text == L"QueryInterface" || text == L"AddRef" || text == L"Release" ||
                           text == L"GetTypeInfoCount" || text == L"GetTypeInfo" || text == L"GetIDsOfNames" ||
                           text == L"Invoke";
    if (!inherited) members += (members.empty() ? L"" : L",") + text;
    SysFreeString(name);
    info->ReleaseFuncDesc(func);
  }
  if (attr) info->ReleaseTypeAttr(attr);
  Check(members == L"SetSelectItem", L"the type library's members: " + members);
  BSTR names[4] = {};
  UINT got = 0;
  info->GetNames(1, names, 4, &got);
  Check(got == 3 && std::wstring(names[0]) == L"SetSelectItem" && std::wstring(names[1]) == L"optionStr" &&
            std::wstring(names[2]) == L"nIndex",
        L"SetSelectItem's parameter names");
  for (UINT i = 0; i < got; ++i) SysFreeString(names[i]);

  Ref<IProvideClassInfo2> provide;
  Ref<ITypeInfo> coclass;
  GUID events{};
  CLSID clsid{};
  CLSIDFromProgID(L"BRVPartsInf.BRVPartsCtl", &clsid);
  if (SUCCEEDED(ctl.dispatch->QueryInterface(IID_IProvideClassInfo2, provide.put())) &&
      SUCCEEDED(provide->GetClassInfo(reinterpret_cast<ITypeInfo**>(coclass.put())))) {
    TYPEATTR* c = nullptr;
    coclass->GetTypeAttr(&c);
    Check(c && c->typekind == TKIND_COCLASS && IsEqualGUID(c->guid, clsid), L"the class's description");
    if (c) coclass->ReleaseTypeAttr(c);
    Check(provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events) == S_OK && events.Data1 == 0xF8DAC8F8,
          L"the event interface");
  } else {
    Check(false, L"IProvideClassInfo2");
  }

  // The file's version, read from the file registration points at.
  wchar_t key[128], path[MAX_PATH * 2] = {};
  wchar_t guid[40];
  StringFromGUID2(clsid, guid, 40);
  swprintf(key, 128, L"CLSID\\%ls\\InprocServer32", guid);
  LONG size = sizeof path;
  RegQueryValueW(HKEY_CLASSES_ROOT, key, path, &size);
  std::vector<char> version(GetFileVersionInfoSizeW(path, nullptr));
  wchar_t* fileVersion = nullptr;
  UINT length = 0;
  Check(!version.empty() && GetFileVersionInfoW(path, 0, static_cast<DWORD>(version.size()), version.data()) &&
            VerQueryValueW(version.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                           reinterpret_cast<void**>(&fileVersion), &length) &&
            std::wstring(fileVersion) == L"1.00",
        L"the file's version, of " + std::wstring(path));
}

// Every category against whatever the machine has: the header, and the
// instance's captions and values below it.
void LiveCases(Hosted& ctl) {
  for (const wchar_t* name : {L"CPU", L"Memory", L"Display", L"HDD", L"CD,DVD", L"Modem", L"Bluetooth", L"Battery Pack",
                              L"Docking Station", L"Network Adapter", L"External Monitor"}) {
    std::wstring error;
    const int count = ctl.Select(name, 1, &error);
    Check(count >= 0, std::wstring(name) + L": SetSelectItem failed " + error);
    Check(ctl.Cell(0, 0) == L"Item" && ctl.Cell(0, 1) == L"Value", std::wstring(name) + L": header " + ctl.Cell(0, 0));
    Check(ctl.Cell(1, 0) == L"Index" && ctl.Cell(2, 0).size() > 1, std::wstring(name) + L": rows " + ctl.Cell(1, 0));
    if (count > 0) Check(ctl.Cell(1, 1) == L"1", std::wstring(name) + L": instance shown " + ctl.Cell(1, 1));
  }
}

std::wstring Decode(const char* hex) {
  std::wstring text;
  for (const char* p = hex; *p;) {
    char* end = nullptr;
    const unsigned long unit = std::strtoul(p, &end, 16);
    if (end == p) {
      ++p;
      continue;
    }
    text += static_cast<wchar_t>(unit);
    p = end;
  }
  return text;
}

// A site as a container gives a control: the client site and the in-place
// site over one top-level window.
class Site : public IOleClientSite, public IOleInPlaceSite {
 public:
  explicit Site(HWND window) : window_(window) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
      *out = static_cast<IOleClientSite*>(this);
    } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
      *out = static_cast<IOleInPlaceSite*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override { return --references_; }  // lives on main's stack
  HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
    *window = window_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
    active = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, RECT* position,
                                             RECT* clip, OLEINPLACEFRAMEINFO* info) override {
    *frame = nullptr;
    *document = nullptr;
    *position = kPlace;
    *clip = kPlace;
    info->fMDIApp = FALSE;
    info->hwndFrame = window_;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
    active = false;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

  // Where the control goes in the host's window: the designed 9450 x 4500
  // twips at 96 pixels per inch, 10 pixels in.
  static constexpr RECT kPlace{10, 10, 10 + 630, 10 + 300};
  bool active = false;

 private:
  HWND window_;
  ULONG references_ = 1;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A picture's pixels as 0x00RRGGBB, row by row from the top.
struct Pixels {
  int width = 0, height = 0;
  std::vector<DWORD> data;
  COLORREF At(int x, int y) const {
    const DWORD p = data[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

// Draws into a 32-bit bitmap through `draw` (given the memory DC).
template <class Draw>
Pixels Capture(int width, int height, Draw draw) {
  Pixels out;
  out.width = width;
  out.height = height;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  out.data.assign(p, p + static_cast<size_t>(width) * static_cast<size_t>(height));
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return out;
}

std::wstring Hex(COLORREF c) {
  wchar_t text[16];
  swprintf(text, 16, L"%02X%02X%02X", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// The grid as the layout sets it, read from a picture of the control at 96
// pixels per inch: columns of 315 pixels, rows of 27; the header in the button
// face colour, the rows below shaded by parity; every cell with text has dark
// pixels, every blank one none.
void CheckPicture(const Pixels& p, Hosted& ctl, const std::wstring& what) {
  constexpr int kCol = 315, kRow = 27;
  const COLORREF odd = RGB(242, 245, 254), even = RGB(205, 212, 230);
  const LONG rows = ctl.Rows();
  for (LONG r = 0; r < rows && (r + 1) * kRow <= p.height; ++r) {
    const COLORREF want = r == 0 ? GetSysColor(COLOR_BTNFACE) : r % 2 == 0 ? even : odd;
    for (int c = 0; c < 2; ++c) {
      const COLORREF got = p.At(c * kCol + kCol - 6, r * kRow + 3);
      Check(got == want, what + L": row " + std::to_wstring(r) + L" column " + std::to_wstring(c) + L" fill " +
                             Hex(got) + L", expected " + Hex(want));
      int dark = 0;
      int darkLeft = kCol, darkRight = 0;
      for (int y = r * kRow + 2; y < (r + 1) * kRow - 2; ++y) {
        for (int x = c * kCol + 3; x < (c + 1) * kCol - 3; ++x) {
          const COLORREF px = p.At(x, y);
          if (GetRValue(px) + GetGValue(px) + GetBValue(px) < 3 * 100) {
            ++dark;
            darkLeft = std::min(darkLeft, x - c * kCol);
            darkRight = std::max(darkRight, x - c * kCol);
          }
        }
      }
      std::wstring text = ctl.Cell(r, c);
      bool blank = true;
      for (wchar_t ch : text) blank = blank && ch == L' ';
      Check(blank ? dark == 0 : dark > 0, what + L": row " + std::to_wstring(r) + L" column " + std::to_wstring(c) +
                                              L" [" + text + L"] has " + std::to_wstring(dark) + L" dark pixels");
      // The header's texts are centred, the others start at the left.
      if (!blank && r == 0) {
        Check(std::abs(darkLeft - (kCol - darkRight)) <= 8, what + L": header " + text + L" is not centred: " +
                                                                std::to_wstring(darkLeft) + L".." +
                                                                std::to_wstring(darkRight));
      } else if (!blank) {
        Check(darkLeft < 12, what + L": row " + std::to_wstring(r) + L" text starts at " + std::to_wstring(darkLeft));
      }
    }
  }
}

// What the timer found while a box was up.
struct BoxSeen {
  bool found = false;
  std::wstring title, prompt;
  HWND owner = nullptr;
  LONG style = 0;
  int buttons = 0;
};
BoxSeen gBox;

void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowW(L"#32770", nullptr);
  if (!box || gBox.found) return;
  gBox.found = true;
  wchar_t text[512] = {};
  GetWindowTextW(box, text, 512);
  gBox.title = text;
  gBox.owner = GetWindow(box, GW_OWNER);
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) ++gBox.buttons;
    if (lstrcmpiW(cls, L"Static") == 0) {
      wchar_t line[512] = {};
      GetWindowTextW(child, line, 512);
      if (line[0]) gBox.prompt = line;
      if (SendMessageW(child, STM_GETICON, 0, 0)) gBox.style |= 1;  // an icon is shown
    }
  }
  PostMessageW(box, WM_COMMAND, IDOK, 0);
}

int Hosting(int argc, char** argv, const std::string& mode) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"BRVPartsHost";
  RegisterClassW(&wc);
  HWND frame = CreateWindowW(L"BRVPartsHost", L"BRVPartsInf host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 400,
                             nullptr, nullptr, wc.hInstance, nullptr);
  Check(frame != nullptr, L"the host's window");
  Site site(frame);
  Hosted ctl;
  Ref<IOleObject> object;
  Ref<IPersistStreamInit> persist;
  Ref<IOleInPlaceObject> inPlace;
  Ref<IViewObject> view;
  if (!ctl.ok || FAILED(ctl.dispatch->QueryInterface(IID_IOleObject, object.put())) ||
      FAILED(ctl.dispatch->QueryInterface(IID_IPersistStreamInit, persist.put())) ||
      FAILED(ctl.dispatch->QueryInterface(IID_IOleInPlaceObject, inPlace.put())) ||
      FAILED(ctl.dispatch->QueryInterface(IID_IViewObject, view.put()))) {
    Check(false, L"the control's embedding interfaces");
    return 1;
  }
  // As a host sites a control: InitNew, the site, the extent, in-place activation.
  DWORD misc = 0;
  Check(object->GetMiscStatus(DVASPECT_CONTENT, &misc) == S_OK && (misc & OLEMISC_SETCLIENTSITEFIRST) &&
            (misc & OLEMISC_ACTIVATEWHENVISIBLE),
        L"misc status");
  Check(persist->InitNew() == S_OK, L"InitNew");
  Check(object->SetClientSite(&site) == S_OK, L"SetClientSite");
  SIZEL himetric{16669, 7938};
  Check(object->SetExtent(DVASPECT_CONTENT, &himetric) == S_OK, L"SetExtent");
  RECT place = Site::kPlace;
  Check(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, 0, frame, &place) == S_OK && site.active,
        L"in-place activation");
  HWND window = nullptr;
  Check(inPlace->GetWindow(&window) == S_OK && window && GetParent(window) == frame, L"the control's window");
  inPlace->SetObjectRects(&place, &place);
  UpdateWindow(frame);
  Pump();

  if (mode == "window") {
    const char* ack = std::getenv("BRVPARTS_HOST_ACK");
    for (int i = 2; i < argc; ++i) {
      const std::wstring category(argv[i], argv[i] + std::strlen(argv[i]));
      const int count = ctl.Select(category, 1);
      Check(count >= 0, category + L": SetSelectItem");
      Pump();
      // Drawn without a window, at 96 pixels per inch: the picture a container prints.
      const Pixels drawn = Capture(630, 300, [&](HDC dc) {
        RECTL bounds{0, 0, 630, 300};
        Check(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0) == S_OK,
              category + L": IViewObject::Draw");
      });
      CheckPicture(drawn, ctl, category + L" (drawn)");
      // The window's own painting, asked for as a printer would.
      const Pixels painted = Capture(
          630, 300, [&](HDC dc) { SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); });
      CheckPicture(painted, ctl, category + L" (the window's painting)");
      RECT onScreen{};
      GetWindowRect(window, &onScreen);
      std::printf("shown %d %ld %ld %ld %ld %s\n", i - 1, onScreen.left, onScreen.top, onScreen.right, onScreen.bottom,
                  argv[i]);
      std::fflush(stdout);
      if (ack) {
        const std::string file = std::string(ack) + std::to_string(i - 1);
        for (int wait = 0; wait < 600 && GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait) {
          Pump();
          Sleep(50);
        }
        Check(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES, L"no acknowledgement " + category);
      }
    }
  } else if (mode == "box" && argc == 4) {
    SetTimer(nullptr, 0, 200, CloseBox);
    ctl.Select(L"Modem", 1);
    Check(gBox.found, L"no box was shown");
    Check(gBox.owner == frame, L"the box is not owned by the host's window");
    Check(gBox.title == Decode(argv[3]) && gBox.prompt == Decode(argv[2]), L"box " + gBox.title + L": " + gBox.prompt);
    Check(gBox.buttons == 1 && gBox.style == 0,
          L"the box has " + std::to_wstring(gBox.buttons) + L" buttons, icon " + std::to_wstring(gBox.style));
  }

  // As Wine's ATL host ends: Close without deactivating, then no site.
  Check(object->Close(OLECLOSE_NOSAVE) == S_OK && !site.active && !IsWindow(window), L"Close destroys the window");
  Check(object->SetClientSite(nullptr) == S_OK, L"SetClientSite(NULL)");
  DestroyWindow(frame);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "window" || mode == "box") {
    Hosting(argc, argv, mode);
    CoUninitialize();
    std::printf("HostTest: %d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
  }
  {
    Hosted ctl;
    Check(ctl.ok, L"creating the control by name and its grid view");
    if (ctl.ok) {
      LONG number = -1;
      BSTR description = nullptr;
      Check(SUCCEEDED(ctl.view->GetStartupError(&number, &description)) && number == 0,
            L"start-up error: " + std::wstring(description ? description : L""));
      SysFreeString(description);
      if (mode == "snapshot") {
        SnapshotCases(ctl);
      } else if (mode == "live") {
        LiveCases(ctl);
        TypeCases(ctl);
      } else if (mode == "header" && argc == 4) {
        ctl.Select(L"CPU", 1);
        const std::wstring item = Decode(argv[2]), value = Decode(argv[3]);
        Check(!item.empty() && ctl.Cell(0, 0) == item && ctl.Cell(0, 1) == value,
              L"header is " + ctl.Cell(0, 0) + L" / " + ctl.Cell(0, 1));
      } else {
        Check(false, L"unknown mode");
      }
    }
  }
  CoUninitialize();
  std::printf("HostTest: %d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
