// A native container of the registered control, run under Wine by
// scripts/test-windows.sh: it creates the control by its programmatic name as
// a host does, calls SetSelectItem by name through IDispatch as a page's script
// does, and reads the grid through IBRVPartsGridView, the interface no script
// can use. Modes:
//   snapshot             the tables of tests/data/windows/fixture.json (BRVPARTS_SNAPSHOT)
//   live                 what the type library describes (every category against
//                        the machine's own service is live.js's and live.vbs's)
//   header HEX201 HEX202 the header in the user's language (UTF-16 code units in hexadecimal)
//   window CATEGORY...   hosted in a window by the system's control host, as a
//                        form or page hosts it, shows each category in turn:
//                        checks the drawing (IViewObject::Draw into a bitmap and
//                        the window's own pixels), prints "shown N LEFT TOP
//                        RIGHT BOTTOM CATEGORY" (the control window on screen)
//                        and waits for the file named by BRVPARTS_HOST_ACK with
//                        N appended, so that a screenshot can be taken
//   box HEX102 HEX103    hosted so, a category that fails: its box is modal
//                        to the host's window, OK only, in the user's language
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
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "containers/windows/GridView.h"
#include "platform/windows/Com.h"  // the interface and value holders, defined in the header

// The system's control host (atl.dll): a window class that creates, sites and
// activates the control its window text names.
extern "C" BOOL WINAPI AtlAxWinInit();
extern "C" HRESULT WINAPI AtlAxGetControl(HWND window, IUnknown** control);

namespace {

using brv::win::ComPtr;
using brv::win::OwnedVariant;

int passed = 0, failed = 0;

void Check(bool ok, const std::wstring& what) {
  if (ok) return void(++passed);
  ++failed;
  std::string text(what.size() * 3, '\0');
  text.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, what.data(), static_cast<int>(what.size()),
                                                      text.data(), static_cast<int>(text.size()), nullptr, nullptr)));
  std::printf("FAIL: %s\n", text.c_str());
}

// The control as a host holds it: its dispatch interface and its grid view;
// created by name, or the one a host made.
struct Hosted {
  ComPtr<IDispatch> dispatch;
  ComPtr<IBRVPartsGridView> view;
  bool ok = false;

  explicit Hosted(IUnknown* control = nullptr) {
    CLSID clsid{};
    if (control) {
      control->QueryInterface(IID_IDispatch, dispatch.put_void());
    } else if (SUCCEEDED(CLSIDFromProgID(L"BRVPartsInf.BRVPartsCtl", &clsid))) {
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, dispatch.put_void());
    }
    ok = dispatch && SUCCEEDED(dispatch->QueryInterface(kGridViewIid, view.put_void()));
  }

  // SetSelectItem by name, as a script calls it; the count, or -1 on failure.
  int Select(const std::wstring& category, int instance, std::wstring* error = nullptr) {
    std::wstring name = L"SetSelectItem";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    brv::win::OwnedBstr text(category);
    VARIANT args[2];
    args[1].vt = VT_BSTR;
    args[1].bstrVal = text.get();
    args[0].vt = VT_I4;
    args[0].lVal = instance;
    DISPPARAMS params{args, nullptr, 2, 0};
    OwnedVariant result;
    EXCEPINFO info{};
    const HRESULT hr =
        FAILED(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))
            ? E_FAIL
            : dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.v, &info, nullptr);
    if (error && info.bstrDescription) *error = info.bstrDescription;
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    return SUCCEEDED(hr) && result.v.vt == VT_I2 ? result.v.iVal : -1;
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

// Every table of the snapshot, each selected instance as "CATEGORY N of COUNT"
// and its grid below the header, "caption=value" a row, blank rows kept only
// before a row with text. A null value and a property that fails to read show
// as the empty text; sizes past 32 bits come as text (as the service gives
// 64-bit values) and as a number; the configuration is found by its object
// path and shows its first address.
void SnapshotCases(Hosted& ctl) {
  const std::pair<const wchar_t*, int> selected[] = {
      {L"CPU", 1}, {L"CPU", 2}, {L"HDD", 1}, {L"HDD", 2}, {L"Network Adapter", 1}, {L"Battery Pack", 1}};
  std::wstring shown;
  for (const auto& [category, instance] : selected) {
    const int count = ctl.Select(category, instance);
    std::wstring blanks;
    shown += std::wstring(category) + L" " + std::to_wstring(instance) + L" of " + std::to_wstring(count);
    for (LONG r = 1; r < ctl.Rows(); ++r) {
      const std::wstring row = ctl.Cell(r, 0) + L"=" + ctl.Cell(r, 1);
      blanks += L";";
      if (row.find_first_not_of(L" =") != std::wstring::npos) shown += std::exchange(blanks, L"") + row;
    }
    shown += L"\n";
  }
  Check(shown ==
            L"CPU 1 of 2;Index=1;Manufacturer=GenuineIntel;Name=Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz;"
            L"Version=Model 158 Stepping 13;MAX Clock Speed=4700;Socket Designation=U3E1\n"
            L"CPU 2 of 2;Index=2;Manufacturer=GenuineIntel;Name=Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz;"
            L"Version=<Empty>;MAX Clock Speed=4700;Socket Designation=U3E2\n"
            L"HDD 1 of 2;Index=1;Model=KXG60ZNV1T02 NVMe;Size=1024209543168;Serial No=Y9LS10ABCDEF;"
            L"Firmware Revision=AGGA4104\n"
            L"HDD 2 of 2;Index=2;Model=Ext USB Disk;Size=2000398934016;Serial No=<Empty>;Firmware Revision=0001\n"
            L"Network Adapter 1 of 1;Index=1;Adapter Type=Ethernet 802.3;Description=Intel(R) Wi-Fi 6 AX201 160MHz;"
            L"IP Address=10.20.30.40;MAC Address=F8:E4:E3:01:02:03;Manufacturer=Intel Corporation;"
            L"Name=Intel(R) Wi-Fi 6 AX201 160MHz\n"
            L"Battery Pack 1 of 1;Index=1;Serial No=1A2B;Capacity=90000\n",
        L"the snapshot's tables:\n" + shown);
}

// The type library describes what a script may call, and nothing more: the
// dispatch interface has SetSelectItem(optionStr, nIndex) (id 1) as its one
// member and no property; the class says which its event interface is.
void TypeCases(Hosted& ctl) {
  UINT count = 0, got = 0;
  ComPtr<ITypeInfo> info;
  ComPtr<IProvideClassInfo2> provide;
  TYPEATTR* attr = nullptr;
  std::wstring members;
  if (ctl.dispatch->GetTypeInfoCount(&count) == S_OK && count == 1 &&
      SUCCEEDED(ctl.dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) && SUCCEEDED(info->GetTypeAttr(&attr))) {
    members = attr->typekind == TKIND_DISPATCH && attr->cVars == 0 ? L"dispatch" : L"other";
    for (UINT i = 0; i < attr->cFuncs; ++i) {
      FUNCDESC* func = nullptr;
      if (FAILED(info->GetFuncDesc(i, &func))) continue;
      // IUnknown's and IDispatch's own members are numbered from 0x60000000.
      if (func->memid < 0x60000000) members += L" " + std::to_wstring(func->memid);
      info->ReleaseFuncDesc(func);
    }
    BSTR names[4] = {};
    info->GetNames(1, names, 4, &got);
    for (UINT i = 0; i < got; ++i) {
      members += L" " + std::wstring(names[i]);
      SysFreeString(names[i]);
    }
    info->ReleaseTypeAttr(attr);
    attr = nullptr;
  }
  Check(members == L"dispatch 1 SetSelectItem optionStr nIndex", L"the type library's members: " + members);

  GUID events{};
  Check(SUCCEEDED(ctl.dispatch->QueryInterface(IID_IProvideClassInfo2, provide.put_void())) &&
            provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events) == S_OK && events.Data1 == 0xF8DAC8F8,
        L"the class's event interface");
}

// UTF-16 code units in hexadecimal, apart by blanks.
std::wstring Decode(const char* hex) {
  std::wstring text;
  std::istringstream in(hex);
  for (unsigned unit = 0; in >> std::hex >> unit;) text += static_cast<wchar_t>(unit);
  return text;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// A picture's pixels as 0x00RRGGBB, row by row from the top.
struct Pixels {
  int width, height;
  std::vector<DWORD> data;
  COLORREF At(int x, int y) const {
    const DWORD p = data[static_cast<size_t>(y * width + x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
  }
};

// Draws into a 32-bit bitmap through `draw` (given the memory DC).
template <class Draw>
Pixels Capture(int width, int height, Draw draw) {
  BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  draw(dc);
  GdiFlush();
  const DWORD* p = static_cast<const DWORD*>(bits);
  Pixels out{width, height, std::vector<DWORD>(p, p + width * height)};
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
// pixels (centred in the header, from the left below it), every blank one none.
void CheckPicture(const Pixels& p, Hosted& ctl, const std::wstring& what) {
  constexpr int kCol = 315, kRow = 27;
  for (LONG r = 0; r < ctl.Rows() && (r + 1) * kRow <= p.height; ++r) {
    const COLORREF want = r == 0 ? GetSysColor(COLOR_BTNFACE) : r % 2 == 0 ? RGB(205, 212, 230) : RGB(242, 245, 254);
    for (int c = 0; c < 2; ++c) {
      const std::wstring cell = ctl.Cell(r, c);
      const COLORREF fill = p.At(c * kCol + kCol - 6, r * kRow + 3);
      int dark = 0, left = kCol, right = 0;
      for (int y = r * kRow + 2; y < (r + 1) * kRow - 2; ++y) {
        for (int x = 3; x < kCol - 3; ++x) {
          const COLORREF px = p.At(c * kCol + x, y);
          if (GetRValue(px) + GetGValue(px) + GetBValue(px) >= 3 * 100) continue;
          ++dark;
          left = std::min(left, x);
          right = std::max(right, x);
        }
      }
      const bool blank = cell.find_first_not_of(L' ') == std::wstring::npos;
      Check(
          fill == want && (blank ? dark == 0 : dark > 0 && (r == 0 ? std::abs(left - (kCol - right)) <= 8 : left < 12)),
          what + L": row " + std::to_wstring(r) + L" column " + std::to_wstring(c) + L" [" + cell + L"] fill " +
              Hex(fill) + L", expected " + Hex(want) + L"; " + std::to_wstring(dark) + L" dark pixels from " +
              std::to_wstring(left) + L" to " + std::to_wstring(right));
    }
  }
}

// What the timer found while a box was up, before it pressed OK.
struct BoxSeen {
  bool found = false;
  std::wstring title, prompt;
  HWND owner = nullptr;
  int buttons = 0, icons = 0;
} gBox;

void CALLBACK CloseBox(HWND, UINT, UINT_PTR, DWORD) {
  HWND box = FindWindowW(L"#32770", nullptr);
  if (!box || gBox.found) return;
  wchar_t text[512] = {}, cls[32] = {};
  GetWindowTextW(box, text, 512);
  gBox = {true, text, L"", GetWindow(box, GW_OWNER)};
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Button") == 0 && IsWindowVisible(child)) ++gBox.buttons;
    if (lstrcmpiW(cls, L"Static") != 0) continue;
    if (GetWindowTextW(child, text, 512) > 0) gBox.prompt = text;
    if (SendMessageW(child, STM_GETICON, 0, 0)) ++gBox.icons;
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
  // The system's host sites the control, activates it in place in its window
  // (the designed 9450 x 4500 twips at 96 pixels per inch, 10 pixels in) and
  // closes it when that window goes, as a form or a page does.
  AtlAxWinInit();
  HWND host = CreateWindowW(L"AtlAxWin", L"BRVPartsInf.BRVPartsCtl", WS_CHILD | WS_VISIBLE, 10, 10, 630, 300, frame,
                            nullptr, wc.hInstance, nullptr);
  ComPtr<IUnknown> control;
  ComPtr<IOleObject> object;
  ComPtr<IOleInPlaceObject> inPlace;
  ComPtr<IViewObject> view;
  if (host) AtlAxGetControl(host, control.put());
  Hosted ctl(control.get());
  HWND window = nullptr;
  DWORD misc = 0;
  if (!ctl.ok || FAILED(control->QueryInterface(IID_IOleObject, object.put_void())) ||
      FAILED(control->QueryInterface(IID_IOleInPlaceObject, inPlace.put_void())) ||
      FAILED(control->QueryInterface(IID_IViewObject, view.put_void()))) {
    Check(false, L"the hosted control and its embedding interfaces");
    return 1;
  }
  Check(object->GetMiscStatus(DVASPECT_CONTENT, &misc) == S_OK && (misc & OLEMISC_SETCLIENTSITEFIRST) &&
            (misc & OLEMISC_ACTIVATEWHENVISIBLE),
        L"misc status");
  Check(inPlace->GetWindow(&window) == S_OK && window && GetParent(window) == host, L"the control's window, in place");
  UpdateWindow(frame);
  Pump();

  for (int i = 2; mode == "window" && i < argc; ++i) {
    const std::wstring category(argv[i], argv[i] + std::strlen(argv[i]));
    Check(ctl.Select(category, 1) >= 0, category + L": SetSelectItem");
    Pump();
    // Drawn without a window, at 96 pixels per inch: the picture a container prints.
    CheckPicture(Capture(630, 300,
                         [&](HDC dc) {
                           RECTL bounds{0, 0, 630, 300};
                           view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr,
                                      0);
                         }),
                 ctl, category + L" (drawn)");
    // The window's own painting, asked for as a printer would.
    CheckPicture(
        Capture(630, 300,
                [&](HDC dc) { SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT); }),
        ctl, category + L" (the window's painting)");
    RECT onScreen{};
    GetWindowRect(window, &onScreen);
    std::printf("shown %d %ld %ld %ld %ld %s\n", i - 1, onScreen.left, onScreen.top, onScreen.right, onScreen.bottom,
                argv[i]);
    std::fflush(stdout);
    if (const char* ack = std::getenv("BRVPARTS_HOST_ACK")) {
      const std::string file = std::string(ack) + std::to_string(i - 1);
      for (int wait = 0; wait < 600 && GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES; ++wait) {
        Pump();
        Sleep(50);
      }
      Check(GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES, L"no acknowledgement " + category);
    }
  }
  if (mode == "box" && argc == 4) {
    SetTimer(nullptr, 0, 200, CloseBox);
    ctl.Select(L"Modem", 1);
    Check(gBox.found && gBox.owner == frame && gBox.title == Decode(argv[3]) && gBox.prompt == Decode(argv[2]) &&
              gBox.buttons == 1 && gBox.icons == 0,
          L"box " + gBox.title + L": " + gBox.prompt + L", owned by the host's window: " +
              std::to_wstring(gBox.owner == frame) + L", " + std::to_wstring(gBox.buttons) + L" buttons, " +
              std::to_wstring(gBox.icons) + L" icons");
  }
  // As the system's host ends (Close without deactivating, then no site) when
  // its window goes: Close destroys the control's window.
  Check(object->Close(OLECLOSE_NOSAVE) == S_OK && !IsWindow(window), L"Close destroys the control's window");
  DestroyWindow(frame);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "window" || mode == "box") {
    Hosting(argc, argv, mode);
  } else {
    Hosted ctl;
    LONG number = -1;
    BSTR description = nullptr;
    Check(ctl.ok && SUCCEEDED(ctl.view->GetStartupError(&number, &description)) && number == 0,
          L"creating the control by name, its grid view, no start-up error: " +
              std::wstring(description ? description : L""));
    SysFreeString(description);
    if (ctl.ok && mode == "snapshot") {
      SnapshotCases(ctl);
    } else if (ctl.ok && mode == "live") {
      TypeCases(ctl);
    } else if (ctl.ok && mode == "header" && argc == 4) {
      ctl.Select(L"CPU", 1);
      Check(!Decode(argv[2]).empty() && ctl.Cell(0, 0) == Decode(argv[2]) && ctl.Cell(0, 1) == Decode(argv[3]),
            L"header is " + ctl.Cell(0, 0) + L" / " + ctl.Cell(0, 1));
    } else {
      Check(false, L"unknown mode");
    }
  }
  CoUninitialize();
  std::printf("HostTest: %d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
