// A native container of the registered control, run under Wine by
// scripts/test-windows.sh: SetSelectItem called by name through IDispatch, the
// grid read through IBRVPartsGridView. Modes:
//   snapshot             the type library, the tables of fixture.json
//                        (BRVPARTS_SNAPSHOT): tests/data/windows/host-snapshot.txt
//   window CATEGORY...   hosted in a window by the system's control host: each
//                        category's drawing; prints "shown N LEFT TOP RIGHT BOTTOM
//                        CATEGORY", waits for the file BRVPARTS_HOST_ACK + N
//   box HEX102 HEX103 HEX201 HEX202
//                        hosted so, the header and a failing category's box (modal
//                        to the host's window, OK only) in the user's language,
//                        given as UTF-16 code units in hexadecimal
#include <objbase.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <oleidl.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "containers/windows/GridView.h"
#include "platform/windows/Com.h"  // the interface and value holders, defined in the header
#include "tests/windows/Checks.h"

// The system's control host (atl.dll): a window class that creates, sites and
// activates the control its window text names.
extern "C" BOOL WINAPI AtlAxWinInit();
extern "C" HRESULT WINAPI AtlAxGetControl(HWND window, IUnknown** control);

namespace {

using brv::win::ComPtr;
using brv::win::OwnedVariant;
using namespace brv::wintest;

// The control created by name, or the one a host made.
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
  int Select(const std::wstring& category, int instance) {
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
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    return SUCCEEDED(hr) && result.v.vt == VT_I2 ? result.v.iVal : -1;
  }

  std::wstring Cell(LONG row, LONG col) const {
    BSTR text = nullptr;
    const std::wstring out = FAILED(view->GetCellText(row, col, &text)) ? L"<outside>" : text ? text : L"";
    SysFreeString(text);
    return out;
  }
  LONG Rows() const {
    LONG rows = 0, cols = 0;
    view->GetSize(&rows, &cols);
    return rows;
  }
};

// What a script may call: the dispatch interface's members below 0x60000000
// (IDispatch's own are numbered from there), and the class's event interface.
std::wstring TypeLibrary(Hosted& ctl) {
  UINT count = 0, got = 0;
  ComPtr<ITypeInfo> info;
  ComPtr<IProvideClassInfo2> provide;
  TYPEATTR* attr = nullptr;
  std::wstring out = L"type library: ";
  if (FAILED(ctl.dispatch->GetTypeInfoCount(&count)) || count != 1 ||
      FAILED(ctl.dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) || FAILED(info->GetTypeAttr(&attr))) {
    return out + L"none\n";
  }
  out += L"kind " + std::to_wstring(attr->typekind) + L", " + std::to_wstring(attr->cVars) + L" properties, members";
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* func = nullptr;
    if (FAILED(info->GetFuncDesc(i, &func))) continue;
    if (func->memid < 0x60000000) out += L" " + std::to_wstring(func->memid);
    info->ReleaseFuncDesc(func);
  }
  info->ReleaseTypeAttr(attr);
  BSTR names[4] = {};
  info->GetNames(1, names, 4, &got);
  for (UINT i = 0; i < got; ++i) out += L" " + std::wstring(names[i]);
  for (BSTR name : names) SysFreeString(name);
  GUID events{};
  wchar_t text[40] = L"none";
  if (SUCCEEDED(ctl.dispatch->QueryInterface(IID_IProvideClassInfo2, provide.put_void())) &&
      provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events) == S_OK) {
    StringFromGUID2(events, text, 40);
  }
  return out + L"\nevent interface: " + text + L"\n";
}

// What the type library describes, then every instance of some of the
// snapshot's categories as "CATEGORY N of COUNT" and its rows below the header
// (blank ones only before one with text).
void SnapshotCases(Hosted& ctl) {
  std::wstring shown;
  for (const wchar_t* category :
       {L"CPU", L"HDD", L"Network Adapter", L"Battery Pack", L"CD,DVD", L"Docking Station", L"Display"}) {
    for (int instance = 1, count = 1; instance <= std::max(count, 1); ++instance) {
      count = ctl.Select(category, instance);
      std::wstring blanks;
      shown += std::wstring(category) + L" " + std::to_wstring(instance) + L" of " + std::to_wstring(count);
      for (LONG r = 1; r < ctl.Rows(); ++r) {
        const std::wstring row = ctl.Cell(r, 0) + L"=" + ctl.Cell(r, 1);
        blanks += L"\n";
        if (row.find_first_not_of(L" =") != std::wstring::npos) shown += std::exchange(blanks, L"") + L"  " + row;
      }
      shown += L"\n";
    }
  }
  ExpectGolden("host-snapshot.txt", Narrow(TypeLibrary(ctl) + shown));
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
              std::to_wstring(fill) + L", " + std::to_wstring(dark) + L" dark pixels from " + std::to_wstring(left));
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
  // The form: a top-level window of a system class.
  HWND frame = CreateWindowW(L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, 700, 400,
                             nullptr, nullptr, nullptr, nullptr);
  // The system's host sites the control and activates it in place in its
  // window (the designed 9450 x 4500 twips at 96 dpi, 10 pixels in).
  AtlAxWinInit();
  HWND host = CreateWindowW(L"AtlAxWin", L"BRVPartsInf.BRVPartsCtl", WS_CHILD | WS_VISIBLE, 10, 10, 630, 300, frame,
                            nullptr, nullptr, nullptr);
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
  if (mode == "box" && argc == 6) {
    ctl.Select(L"CPU", 1);
    Check(!Decode(argv[4]).empty() && ctl.Cell(0, 0) == Decode(argv[4]) && ctl.Cell(0, 1) == Decode(argv[5]),
          L"header is " + ctl.Cell(0, 0) + L" / " + ctl.Cell(0, 1));
    SetTimer(nullptr, 0, 200, CloseBox);
    ctl.Select(L"Modem", 1);
    Check(gBox.found && gBox.owner == frame && gBox.title == Decode(argv[3]) && gBox.prompt == Decode(argv[2]) &&
              gBox.buttons == 1 && gBox.icons == 0,
          L"box " + gBox.title + L": " + gBox.prompt + L", owned by the host's window: " +
              std::to_wstring(gBox.owner == frame) + L", " + std::to_wstring(gBox.buttons) + L" buttons, " +
              std::to_wstring(gBox.icons) + L" icons");
  }
  // As the system's host ends (Close without deactivating, then no site).
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
    Check(mode == "snapshot", L"unknown mode");
    if (ctl.ok && mode == "snapshot") SnapshotCases(ctl);
  }
  CoUninitialize();
  return Summary("HostTest");
}
