// The Windows pieces in-process, run under Wine by scripts/test-windows.sh:
// automation values in both directions, error numbers, the class objects and
// the interfaces the control answers, the message-box log, and the
// instrumentation monikers against the machine's own service.
// Prints "N passed, M failed" and exits non-zero on any failure.
// Com.h first: it takes back winuser.h's RegisterClass macro before the
// system's own RegisterClass is declared.
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <wbemcli.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "common/Text.h"
#include "containers/common/DetailText.h"
#include "containers/windows/Classes.h"
#include "containers/windows/GridPainter.h"
#include "containers/windows/GridView.h"
#include "control/BRVPartsCtl.h"
#include "instrumentation/snapshot/Snapshot.h"
#include "inventory/Collectors.h"
#include "inventory/Details.h"
#include "inventory/QueryFrame.h"
#include "platform/Automation.h"
#include "platform/Instrumentation.h"
#include "platform/MessageBox.h"
#include "platform/grid/MemoryGrid.h"
#include "platform/strings/Resources.h"
#include "platform/windows/CimValue.h"
#include "platform/windows/Com.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out);

using namespace brv;
using namespace brv::win;

namespace {

int passed = 0, failed = 0;

void Check(bool ok, const std::string& what) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAIL: %s\n", what.c_str());
  }
}

std::string Hex(int32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(n));
  return text;
}

// The error number a call raises, 0 when it raises none.
int32_t Raised(const std::function<void()>& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A VARIANT of the type, its value set by `set`.
template <class Set>
VARIANT Of(VARTYPE type, Set set) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  set(v);
  return v;
}

// Arrays of texts and of 32-bit numbers.
VARIANT Array(const std::vector<std::wstring>& texts, const std::vector<LONG>& numbers = {}) {
  const bool isText = numbers.empty();
  const size_t n = isText ? texts.size() : numbers.size();
  VARIANT v = Of(VT_ARRAY | (isText ? VT_BSTR : VT_I4), [&](VARIANT& a) {
    a.parray = SafeArrayCreateVector(isText ? VT_BSTR : VT_I4, 0, static_cast<ULONG>(n));
  });
  for (LONG i = 0; i < static_cast<LONG>(n); ++i) {
    BSTR b = isText ? SysAllocString(texts[static_cast<size_t>(i)].c_str()) : nullptr;
    LONG number = isText ? 0 : numbers[static_cast<size_t>(i)];
    SafeArrayPutElement(v.parray, &i, isText ? static_cast<void*>(b) : &number);
    SysFreeString(b);
  }
  return v;
}

// Automation values in, and the system's values out again unchanged, of the
// same kind (a 16-bit count goes out as VT_I2).
void FromVariantCases() {
  static BSTR text = SysAllocString(L"Gr\u00f6\u00dfe");
  static VARIANT inner = Of(VT_I4, [](VARIANT& v) { v.lVal = 42; });
  const std::string utf8 = "Gr\u00f6\u00dfe";
  struct Case {
    const char* name;
    VARIANT value;
    Variant expected;
  } cases[] = {
      {"VT_EMPTY", Of(VT_EMPTY, [](VARIANT&) {}), Empty{}},
      {"VT_NULL", Of(VT_NULL, [](VARIANT&) {}), Null{}},
      {"VT_I2", Of(VT_I2, [](VARIANT& v) { v.iVal = -300; }), int16_t{-300}},
      {"VT_UI1", Of(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), int16_t{200}},
      {"VT_I4", Of(VT_I4, [](VARIANT& v) { v.lVal = -70000; }), int32_t{-70000}},
      {"VT_UI4 in range", Of(VT_UI4, [](VARIANT& v) { v.ulVal = 4700; }), int32_t{4700}},
      {"VT_UI4 past 31 bits", Of(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), int64_t{4294967295}},
      {"VT_I8", Of(VT_I8, [](VARIANT& v) { v.llVal = 512110190592; }), int64_t{512110190592}},
      {"VT_UI8 past 63 bits", Of(VT_UI8, [](VARIANT& v) { v.ullVal = 1ull << 63; }), 9223372036854775808.0},
      {"VT_R8", Of(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }), 2.5},
      {"VT_BOOL", Of(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), true},
      {"VT_BSTR", Of(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocString(text); }), utf8},
      {"VT_BSTR null", Of(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), ""},
      {"by reference to a VARIANT", Of(VT_BYREF | VT_VARIANT, [](VARIANT& v) { v.pvarVal = &inner; }), int32_t{42}},
      {"by reference to a BSTR", Of(VT_BYREF | VT_BSTR, [](VARIANT& v) { v.pbstrVal = &text; }), utf8},
      {"array of BSTR", Array({L"10.20.30.40", L"fe80::1"}), Variant::Array{"10.20.30.40", "fe80::1"}},
      {"empty array", Array({}), Variant::Array{}},
      {"array of VT_I4", Array({}, {100, 101}), Variant::Array{int32_t{100}, int32_t{101}}},
  };
  for (const Case& c : cases) {
    OwnedVariant v;
    v.v = c.value;
    Variant got;
    const int32_t error = Raised([&] { got = FromVariant(v.v); });
    Check(error == 0 && got == c.expected, std::string("FromVariant ") + c.name);
    if (error == 0 && !c.expected.IsEmpty()) {
      OwnedVariant back;
      ToVariant(c.expected, back.v);
      Check(FromVariant(back.v) == c.expected, std::string("ToVariant round trip ") + c.name);
    }
  }
  OwnedVariant object;
  object.v.vt = VT_DISPATCH;
  object.v.pdispVal = nullptr;
  Check(Raised([&] { FromVariant(object.v); }) == err::kTypeMismatch, "an object is a type mismatch");
}

// Values read by their declared type: the service carries an unsigned 32-bit
// property in VT_I4, so a 2 GiB adapter must not come out negative.
void CimValueCases() {
  const auto i4 = [](LONG n) { return Of(VT_I4, [n](VARIANT& v) { v.lVal = n; }); };
  const auto text = [](const wchar_t* t) { return Of(VT_BSTR, [t](VARIANT& v) { v.bstrVal = SysAllocString(t); }); };
  const struct {
    const char* name;
    VARIANT value;
    CIMTYPE type;
    Variant expected;
  } cases[] = {
      {"a 2 GiB adapter", i4(static_cast<LONG>(0x80000000u)), CIM_UINT32, int64_t{2147483648}},
      {"4 GiB less a byte", i4(-1), CIM_UINT32, int64_t{4294967295}},
      {"a small unsigned value", i4(4700), CIM_UINT32, int32_t{4700}},
      {"a signed property stays signed", i4(-5), CIM_SINT32, int32_t{-5}},
      {"an unsigned 16-bit property in VT_I4", i4(65535), CIM_UINT16, int32_t{65535}},
      {"a 64-bit capacity as text", text(L"17179869184"), CIM_UINT64, int64_t{17179869184}},
      {"a small 64-bit number", text(L"8"), CIM_UINT64, int32_t{8}},
      {"past 63 bits", text(L"18446744073709551615"), CIM_UINT64, 18446744073709551615.0},
      {"a signed 64-bit number", text(L"-3"), CIM_SINT64, int32_t{-3}},
      {"64-bit text that is no number", text(L"12 GB"), CIM_UINT64, "12 GB"},
      {"a text of digits", text(L"0042"), CIM_STRING, "0042"},
  };
  for (const auto& c : cases) {
    OwnedVariant value;
    value.v = c.value;
    const Variant got = FromCimValue(value.v, c.type);
    Check(got == c.expected, std::string("FromCimValue ") + c.name + ": " + KindName(got.kind()));
  }
  OwnedVariant list, texts;
  list.v = Array({}, {7, static_cast<LONG>(0xC0000000u)});
  Check(FromCimValue(list.v, CIM_UINT32 | CIM_FLAG_ARRAY) == Variant(Variant::Array{int32_t{7}, int64_t{3221225472}}),
        "a list of unsigned 32-bit values");
  texts.v = Array({L"1", L"5000000000"});
  Check(FromCimValue(texts.v, CIM_UINT64 | CIM_FLAG_ARRAY) == Variant(Variant::Array{int32_t{1}, int64_t{5000000000}}),
        "a list of 64-bit values");
}

// The grid's picture at a given scroll position and resolution: the header
// stays on top, the rows from the first shown one follow it, lengths in twips
// become pixels through the device's pixels per inch.
void ScrolledDrawingCases() {
  MemoryGrid grid(30, 2);
  for (int32_t r = 0; r < 30; ++r) grid.SetRowHeight(r, 400);
  for (int32_t c = 0; c < 2; ++c) grid.SetColWidth(c, 1500);
  const COLORREF red = RGB(255, 0, 0), blue = RGB(0, 0, 255);
  for (int32_t r = 1; r < 30; ++r) {
    grid.SetRow(r);
    for (int32_t c = 0; c < 2; ++c) {
      grid.SetCol(c);
      grid.SetCellFillColor(static_cast<int32_t>(r % 2 ? red : blue));
    }
  }
  const GridState state = grid.State();
  Check(RowsThatFit(state, 1, 300, 96) == 10, "rows that fit below the header at 96 dpi");
  Check(RowsThatFit(state, 25, 300, 96) == 5, "rows that fit from row 25");
  Check(RowsThatFit(state, 1, 300, 192) == 4, "rows that fit at 192 dpi");
  const struct {
    int dpi;
    int32_t firstRow;
    int rowPixels;
    COLORREF belowHeader;
  } cases[] = {{96, 1, 27, red}, {96, 4, 27, blue}, {96, 5, 27, red}, {192, 1, 53, red}, {192, 2, 53, blue}};
  for (const auto& c : cases) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -300, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    GridPicture picture;
    picture.dpiX = picture.dpiY = c.dpi;
    picture.firstRow = c.firstRow;
    DrawGrid(dc, RECT{0, 0, 200, 300}, state, picture);
    GdiFlush();
    const auto at = [&](int x, int y) {
      const DWORD p = static_cast<const DWORD*>(bits)[y * 200 + x];
      return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    };
    const std::string what = std::to_string(c.dpi) + " dpi from row " + std::to_string(c.firstRow);
    Check(at(20, 3) == HeaderColor(), "the header stays on top, " + what);
    Check(at(20, c.rowPixels + 3) == c.belowHeader, "the first row shown, " + what);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
}

// A script's own error numbers travel in the control facility, the service's
// are HRESULTs already, and dispatch failures read as the numbers scripts know.
void ErrorNumberCases() {
  const struct {
    int32_t number;
    HRESULT hr;
    bool bothWays;
  } cases[] = {
      {err::kInvalidCall, static_cast<HRESULT>(0x800A0005u), true},
      {err::kInvalidPropertyIndex, static_cast<HRESULT>(0x800A017Du), true},
      {err::kWbemInvalidClass, static_cast<HRESULT>(0x80041010u), true},
      {err::kRpcUnavailable, static_cast<HRESULT>(0x800706BAu), true},
      {err::kTypeMismatch, DISP_E_TYPEMISMATCH, false},
  };
  for (const auto& c : cases) {
    Check(NumberOf(c.hr) == c.number && (!c.bothWays || HresultOf(c.number) == c.hr), "error number of " + Hex(c.hr));
  }
}

void ClassObjectCases() {
  ComPtr<IClassFactory> none, factory;
  Check(DllGetClassObject(IID_IDispatch, IID_IClassFactory, none.put_void()) == CLASS_E_CLASSNOTAVAILABLE,
        "an unknown class id");
  Check(SUCCEEDED(DllGetClassObject(kControlClsid, IID_IClassFactory, factory.put_void())), "the class object");
  if (!factory) return;
  ComPtr<IDispatch> outer;
  Check(factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IUnknown, outer.put_void()) ==
            CLASS_E_NOAGGREGATION,
        "aggregation is refused");

  ComPtr<IDispatch> control;
  Check(SUCCEEDED(factory->CreateInstance(nullptr, kControlIid, control.put_void())), "creating through _BRVPartsCtl");
  if (!control) return;

  // IObjectSafety answers exactly what the control's own methods answer.
  ComPtr<IObjectSafety> safety;
  Check(SUCCEEDED(control->QueryInterface(IID_IObjectSafety, safety.put_void())), "IObjectSafety");
  if (safety) {
    BRVPartsCtl reference;
    for (const IID* iid : {&IID_IDispatch, &IID_IPersistStream, &IID_IUnknown, &kControlIid, &kGridViewIid}) {
      DWORD supported = 99, enabled = 99;
      uint32_t wantSupported = 99, wantEnabled = 99;
      const HRESULT got = safety->GetInterfaceSafetyOptions(*iid, &supported, &enabled);
      const int32_t want = reference.IObjectSafety_GetInterfaceSafetyOptions(iid, wantSupported, wantEnabled);
      // An interface the control does not offer leaves the enabled options as passed.
      Check(got == want && supported == wantSupported && enabled == wantEnabled,
            "GetInterfaceSafetyOptions as the control answers, " + Hex(got) + ", enabled " + std::to_string(enabled));
      for (DWORD options : {1ul, 2ul, 3ul}) {
        Check(safety->SetInterfaceSafetyOptions(*iid, options, options) ==
                  reference.IObjectSafety_SetInterfaceSafetyOptions(iid, options, options),
              "SetInterfaceSafetyOptions as the control answers");
      }
    }
    DWORD supported = 0, enabled = 0;
    Check(safety->GetInterfaceSafetyOptions(kGridViewIid, &supported, &enabled) == E_NOINTERFACE,
          "the grid's contents are not declared safe");
    ComPtr<IDispatch> same;
    Check(SUCCEEDED(safety->QueryInterface(IID_IDispatch, same.put_void())) && same.get() == control.get(),
          "IObjectSafety shares the control's identity");
  }

  // The event interface has a connection point that takes and drops sinks.
  // QueryInterface is symmetric and transitive: every face of the control
  // reaches every other, and the point (an object of its own) leads back.
  ComPtr<IConnectionPointContainer> container;
  Check(SUCCEEDED(control->QueryInterface(IID_IConnectionPointContainer, container.put_void())),
        "IConnectionPointContainer");
  if (container) {
    ComPtr<IObjectSafety> fromContainer;
    ComPtr<IUnknown> identity, containerIdentity;
    control->QueryInterface(IID_IUnknown, identity.put_void());
    container->QueryInterface(IID_IUnknown, containerIdentity.put_void());
    Check(SUCCEEDED(container->QueryInterface(IID_IObjectSafety, fromContainer.put_void())) &&
              identity.get() == containerIdentity.get(),
          "the container is a face of the control");
    ComPtr<IConnectionPoint> point;
    Check(container->FindConnectionPoint(IID_IPropertyNotifySink, point.put()) == CONNECT_E_NOCONNECTION,
          "no connection point for other interfaces");
    Check(SUCCEEDED(container->FindConnectionPoint(kControlEventsIid, point.put())), "the __BRVPartsCtl point");
    ComPtr<IConnectionPoint> notPoint;
    Check(control->QueryInterface(IID_IConnectionPoint, notPoint.put_void()) == E_NOINTERFACE &&
              container->QueryInterface(IID_IConnectionPoint, notPoint.put_void()) == E_NOINTERFACE,
          "the control is not its own connection point");
    if (point) {
      IID iid{};
      DWORD cookie = 0;
      ComPtr<IConnectionPointContainer> back;
      ComPtr<IDispatch> notControl;
      Check(SUCCEEDED(point->GetConnectionPointContainer(back.put())) && back.get() == container.get(),
            "the point leads back to the container");
      Check(point->QueryInterface(IID_IDispatch, notControl.put_void()) == E_NOINTERFACE,
            "the point answers IConnectionPoint only");
      Check(SUCCEEDED(point->GetConnectionInterface(&iid)) && IsEqualIID(iid, kControlEventsIid), "the interface");
      Check(SUCCEEDED(point->Advise(control.get(), &cookie)) && cookie != 0, "Advise");
      Check(point->Unadvise(cookie) == S_OK, "Unadvise");
      Check(point->Unadvise(cookie) == CONNECT_E_NOCONNECTION, "Unadvise twice");
    }
  }

  // The dispatch interface has SetSelectItem (id 1) only: no other id answers
  // (no name reads the grid either: live.js tries them).
  for (DISPID guess = -10; guess <= 40; ++guess) {
    if (guess == 1) continue;
    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    OwnedVariant answer;
    const HRESULT hr = control->Invoke(guess, IID_NULL, 0, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &noArgs, &answer.v,
                                       nullptr, nullptr);
    Check(hr == DISP_E_MEMBERNOTFOUND && answer.v.vt == VT_EMPTY,
          "dispatch id " + std::to_string(guess) + " answers nothing");
  }

  // Late-bound calls reach the control by name, whatever the letter case, and
  // its arguments by their names.
  std::wstring name = L"sEtSeLeCtItEm", first = L"optionStr", second = L"NINDEX", wrong = L"nIndexes";
  LPOLESTR names[] = {name.data(), second.data(), first.data()};
  DISPID ids[3] = {};
  Check(control->GetIDsOfNames(IID_NULL, names, 3, 0, ids) == S_OK && ids[0] == 1 && ids[1] == 1 && ids[2] == 0,
        "GetIDsOfNames ignores case and names the parameters");
  names[1] = wrong.data();
  Check(control->GetIDsOfNames(IID_NULL, names, 2, 0, ids) == DISP_E_UNKNOWNNAME && ids[0] == 1 &&
            ids[1] == DISPID_UNKNOWN,
        "an unknown parameter name");
  DISPID id = 1;
  DISPPARAMS none_params{nullptr, nullptr, 0, 0};
  OwnedVariant ignored;
  Check(control->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none_params, &ignored.v, nullptr, nullptr) ==
            DISP_E_MEMBERNOTFOUND,
        "SetSelectItem cannot be put");

  // Named arguments in any order, alone or after positional ones: the count
  // is the same as a positional call's.
  {
    const auto call = [&](std::vector<VARIANT> args, std::vector<DISPID> named, OwnedVariant& out) {
      DISPPARAMS p{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
      EXCEPINFO info{};
      const HRESULT hr = control->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &p, &out.v, &info, nullptr);
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
      return hr;
    };
    OwnedBstr cpu(std::string("CPU"));
    VARIANT category{}, instance{};
    category.vt = VT_BSTR;
    category.bstrVal = cpu.get();
    instance.vt = VT_I4;
    instance.lVal = 1;
    OwnedVariant positional, byName, reversed, mixed, twice, missing, unknownName;
    Check(call({instance, category}, {}, positional) == S_OK && positional.v.vt == VT_I2, "positional call");
    Check(call({category, instance}, {0, 1}, byName) == S_OK && byName.v.iVal == positional.v.iVal, "both named");
    Check(call({instance, category}, {1, 0}, reversed) == S_OK && reversed.v.iVal == positional.v.iVal,
          "both named, nIndex first");
    Check(call({instance, category}, {1}, mixed) == S_OK && mixed.v.iVal == positional.v.iVal,
          "optionStr by position, nIndex by name");
    Check(call({category, category}, {0}, twice) == DISP_E_PARAMNOTFOUND, "optionStr by position and by name");
    Check(call({instance}, {1}, missing) == DISP_E_PARAMNOTOPTIONAL, "nIndex alone");
    Check(call({instance, category}, {7}, unknownName) == DISP_E_PARAMNOTFOUND, "an argument named 7");
  }

  // The grid is read through an interface no script can use.
  ComPtr<IBRVPartsGridView> view;
  Check(SUCCEEDED(control->QueryInterface(kGridViewIid, view.put_void())), "IBRVPartsGridView");
  ComPtr<IDispatch> viewAsDispatch;
  if (view) {
    Check(
        view->QueryInterface(IID_IDispatch, viewAsDispatch.put_void()) == S_OK && viewAsDispatch.get() == control.get(),
        "the view is a face of the control");
    LONG rows = 0, cols = 0, number = -1;
    BSTR cell = nullptr, description = nullptr;
    Check(view->GetSize(&rows, &cols) == S_OK && rows > 1 && cols == 2, "the grid's size");
    Check(view->GetCellText(1, 0, &cell) == S_OK && std::wstring_view(cell) == L"Index", "a caption read natively");
    SysFreeString(cell);
    cell = nullptr;
    Check(view->GetCellText(rows, 0, &cell) == E_INVALIDARG && !cell, "past the last row");
    Check(view->GetStartupError(&number, &description) == S_OK && number == 0, "no start-up error");
    SysFreeString(description);
  }
}

// Objects created by programmatic name: names nothing answers to, a class
// registered in the process (created without COM), and the string provider the
// way the control reaches it, through COM (the job runs this after registering
// the DLL) and called late-bound, its errors coming back with their numbers.
void CreateObjectCases() {
  Check(Raised([] { CreateObject("BRVPartsInf.NoSuchClass"); }) == err::kCannotCreateObject,
        "an unknown programmatic name raises 429");
  struct Echo : AutomationObject {
    Variant Call(std::string_view, std::vector<Variant>& args) override { return args.empty() ? Variant() : args[0]; }
  };
  RegisterClass("BRVPartsTest.Echo", [] { return std::make_shared<Echo>(); });
  std::vector<Variant> echoed{Variant("x")};
  Check(CreateObject("BRVPartsTest.Echo")->Call("Anything", echoed) == Variant("x"), "an in-process class");
  RegisterClass("BRVPartsTest.Echo", nullptr);
  Check(Raised([] { CreateObject("BRVPartsTest.Echo"); }) == err::kCannotCreateObject, "a removed class");

  std::shared_ptr<AutomationObject> provider;
  Check(Raised([&] { provider = CreateObject("BRVPartsInf.clsResources"); }) == 0, "creating the provider through COM");
  if (!provider) return;
  std::vector<Variant> args{Variant(int32_t{201})};
  Variant text;
  Check(
      Raised([&] { text = provider->Call("GetResourceString", args); }) == 0 && text.IsText() && !TextOf(text).empty(),
      "GetResourceString(201) through COM");
  Check(args[0] == Variant(int32_t{201}), "the argument comes back unchanged");
  std::vector<Variant> unknown{Variant(int32_t{99999})};
  Check(Raised([&] { provider->Call("GetResourceString", unknown); }) == err::kInvalidCall,
        "an unknown message number raises 5 through COM");
  std::vector<Variant> none;
  Check(Raised([&] { provider->Call("NoSuchMethod", none); }) == err::kNoSuchMember, "an unknown method raises 438");
}

void MessageBoxCases() {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"brvparts-box-test.log";
  DeleteFileW(path.c_str());
  SetEnvironmentVariableW(L"BRVPARTS_MSGBOX_LOG", path.c_str());
  _wputenv_s(L"BRVPARTS_MSGBOX_LOG", path.c_str());
  MsgBox("Failed to create object.", 0, "Parts Information - Error");
  MsgBox(
      "Zweite \xc3\x9c"
      "berschrift",
      0, "Titel");
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Check(text.str() ==
            "Parts Information - Error: Failed to create object.\nTitel: Zweite \xc3\x9c"
            "berschrift\n",
        "boxes go to the log, in UTF-8: [" + text.str() + "]");
  in.close();
  DeleteFileW(path.c_str());
}

// Catalogues and snapshots in a folder whose name is not ASCII (a user's own
// folder often is not) are still read, whatever the ANSI code page.
void NonAsciiFolderCases() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"brvparts Gr\u00f6\u00dfe \u30c6\u30b9\u30c8";
  // Wine holds such a name only in a UTF-8 locale; the test script sees to it.
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Check(false, "a non-ASCII folder cannot be made here (error " + std::to_string(GetLastError()) + ")");
    return;
  }
  const std::wstring file = folder + L"\\en.msg";
  if (FILE* out = _wfopen(file.c_str(), L"wb")) {
    std::fputs("201\tItem\n", out);
    std::fclose(out);
  }
  const std::wstring snapshot = folder + L"\\inventory.json";
  if (FILE* out = _wfopen(snapshot.c_str(), L"wb")) {
    std::fputs(R"({"format": "brvparts-snapshot/1", "classes": {"Win32_Processor": [{"Name": "x"}]}})", out);
    std::fclose(out);
  }
  std::string text;
  const int32_t error = Raised([&] { text = Resources(Utf8(folder), {"en"}).GetResourceString(201); });
  Check(error == 0 && text == "Item", "a catalogue in a non-ASCII folder: error " + std::to_string(error));
  std::string refusal;
  try {
    SnapshotSource::FromFile(Utf8(snapshot));
  } catch (const SnapshotError& e) {
    refusal = e.what();
  }
  Check(refusal.empty(), "a snapshot in a non-ASCII folder: " + refusal);
  DeleteFileW(snapshot.c_str());
  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
}

void MonikerCases() {
  const struct {
    const char* moniker;
    int32_t number;
  } refused[] = {
      {"winmgmts://./root/cimv2:Win32_Processor", static_cast<int32_t>(0x800401E4u)},
      {"winmgmts://./root/nothere", static_cast<int32_t>(0x8004100Eu)},  // the service's own number
  };
  for (const auto& c : refused) {
    const int32_t got = Raised([&] { wmi::BindServices(c.moniker); });
    Check(got == c.number, std::string("BindServices ") + c.moniker + ": " + Hex(got));
  }

  // The machine's own service: every configuration can be bound by the
  // object-path form with and without the key named.
  std::unique_ptr<wmi::Services> services;
  Check(Raised([&] { services = wmi::BindServices("winmgmts:{impersonationLevel=impersonate}!//./root/cimv2"); }) == 0,
        "binding the namespace");
  if (!services) return;
  std::vector<Variant> indexes;
  Check(Raised([&] {
          auto e = services->ExecQuery("select * from Win32_NetworkAdapterConfiguration")->Enumerate();
          while (auto o = e->Next()) indexes.push_back(o->Get("Index"));
        }) == 0,
        "enumerating the configurations");
  for (const Variant& index : indexes) {
    const std::string value = TextOf(index);
    for (const std::string& path :
         {"Win32_NetworkAdapterConfiguration='" + value + "'", "Win32_NetworkAdapterConfiguration.Index=" + value}) {
      Variant got;
      const int32_t error = Raised([&] { got = wmi::BindObject("winmgmts://./root/cimv2:" + path)->Get("Index"); });
      Check(error == 0 && got == index, path + ": " + Hex(error));
    }
  }
  const int32_t missing =
      Raised([] { wmi::BindObject("winmgmts://./root/cimv2:Win32_NetworkAdapterConfiguration='987654'"); });
  Check(missing == err::kWbemNotFound, "an absent instance: " + Hex(missing));
  const int32_t noProperty = Raised([&] {
    auto e = services->ExecQuery("select * from Win32_Processor")->Enumerate();
    if (auto o = e->Next()) o->Get("NoSuchProperty");
  });
  Check(noProperty == err::kWbemNotFound, "an unknown property: " + Hex(noProperty));
  const int32_t badQuery = Raised([&] { services->ExecQuery("selec * frm")->Enumerate()->Next(); });
  Check(badQuery == err::kWbemInvalidQuery, "a malformed query: " + Hex(badQuery));
}

// What the service itself answers for a property, read without the control's
// conversions and taken as its declared type says: a 64-bit number comes as
// decimal text, an unsigned 32-bit one in VT_I4, a list as an array of texts.
// Whole numbers as int64_t; Empty where it answers nothing.
Variant Answered(IWbemClassObject* object, std::string_view property) {
  OwnedVariant v;
  CIMTYPE type = CIM_EMPTY;
  if (!object || property.empty() || FAILED(object->Get(Wide(property).c_str(), 0, &v.v, &type, nullptr))) return {};
  switch (v.v.vt) {
    case VT_BSTR:
      if (type == CIM_UINT64 || type == CIM_SINT64) return int64_t{_wcstoi64(v.v.bstrVal, nullptr, 10)};
      return Utf8(v.v.bstrVal);
    case VT_I4: return type == CIM_UINT32 ? int64_t{static_cast<uint32_t>(v.v.lVal)} : int64_t{v.v.lVal};
    case VT_I2: return int64_t{v.v.iVal};
    case VT_UI1: return int64_t{v.v.bVal};
    case VT_BOOL: return v.v.boolVal != VARIANT_FALSE;
    case VT_ARRAY | VT_BSTR: {
      Variant::Array texts;
      for (LONG i = 0; i < static_cast<LONG>(v.v.parray->rgsabound[0].cElements); ++i) {
        BSTR text = nullptr;
        SafeArrayGetElement(v.v.parray, &i, &text);
        texts.push_back(Utf8(text));
        SysFreeString(text);
      }
      return texts;
    }
    default: return {};
  }
}

// The value with its whole numbers of any width as int64_t, as Answered gives them.
Variant Widened(const Variant& value) {
  if (value.IsInteger()) return ParseInteger<int64_t>(TextOf(value)).value_or(0);
  if (const auto* items = value.get_if<Variant::Array>()) {
    Variant::Array out;
    for (const Variant& item : *items) out.push_back(Widened(item));
    return out;
  }
  return value;
}

// Every detail of every category, read by ReadDetails from Wine's own service,
// against what the service answers for the same property of the same part:
// nothing it answers is lost or changes type on the way, and a number shows as
// a number. Prints what the service answers for the first part.
void DetailCases() {
  ComPtr<IWbemLocator> locator;
  ComPtr<IWbemServices> services;
  OwnedBstr root(std::string("ROOT\\CIMV2")), wql(std::string("WQL"));
  if (FAILED(
          CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.put_void())) ||
      FAILED(locator->ConnectServer(root.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, services.put()))) {
    return Check(false, "connecting to the service");
  }
  const auto instances = [&](InstrumentationClass cls) {
    std::vector<ComPtr<IWbemClassObject>> out;
    ComPtr<IEnumWbemClassObject> e;
    OwnedBstr query("select * from " + std::string(ClassName(cls)));
    ULONG got = 0;
    if (SUCCEEDED(services->ExecQuery(wql.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr, e.put()))) {
      for (ComPtr<IWbemClassObject> o; e->Next(static_cast<LONG>(WBEM_INFINITE), 1, o.put(), &got) == S_OK && got == 1;)
        out.push_back(o);
    }
    return out;
  };
  const SayWord say = UserMessages();
  for (const CategoryInfo& c : CategoryCatalogue()) {
    if (c.details.empty()) continue;
    std::map<InstrumentationClass, std::vector<ComPtr<IWbemClassObject>>> raw;
    for (const Detail& d : c.details) raw.emplace(d.source, instances(d.source));
    // The parts as the grid numbers them: the category's own instances that it
    // shows, else the instances of the class its details come from.
    std::vector<IWbemClassObject*> own;
    const bool ownDetails = raw.count(c.source) > 0;
    auto shown = wmi::BindServices(frame::Moniker())->ExecQuery("select * from " + std::string(c.className()));
    auto next = shown->Enumerate();
    for (const auto& object : raw[c.source]) {
      const auto mine = next->Next();
      if (c.category != Category::NetworkAdapter || ShownAdapter(mine.get())) own.push_back(object.get());
    }
    const size_t count = c.category == Category::Display ? 1
                         : ownDetails                    ? own.size()
                                                         : raw[c.details.front().source].size();
    const auto parts = ReadDetails(c.category, static_cast<int32_t>(count));
    std::string line = std::string(c.name()) + ": " + std::to_string(count) + " parts";
    for (size_t i = 0; i < parts.size(); ++i) {
      for (const PartDetail& part : parts[i]) {
        const Detail& d = *part.detail;
        IWbemClassObject* object = nullptr;
        if (d.source == c.source) {
          object = i < own.size() ? own[i] : nullptr;
        } else if (d.source == InstrumentationClass::NetworkAdapterConfiguration) {
          for (const auto& o : raw[d.source]) {
            if (i < own.size() && Answered(o.get(), "Index") == Answered(own[i], "Index")) object = o.get();
          }
        } else if (i < raw[d.source].size()) {
          object = raw[d.source][i].get();
        }
        Variant value = Answered(object, d.property), second = Answered(object, d.second);
        if (d.shown == DetailShown::OfTotal) {  // the slots of every array, the modules installed
          const auto& arrays = raw[d.source];
          value = arrays.empty() ? Variant() : Variant(int64_t{0});
          for (const auto& array : arrays) {
            const Variant slots = Answered(array.get(), d.property);
            value =
                slots.IsEmpty() || value.IsEmpty() ? Variant() : Variant(value.get<int64_t>() + slots.get<int64_t>());
          }
          second = static_cast<int64_t>(raw[InstrumentationClass::PhysicalMemory].size());
        }
        const std::string what = std::string(c.name()) + " " + std::string(d.property) + " of part " +
                                 std::to_string(i + 1) + ", the service answers " + DetailForJson(d.unit, value).dump();
        Check(Widened(part.value) == value && Widened(part.second) == second,
              what + ", read " + KindName(part.value.kind()) + " " + DetailForJson(d.unit, part.value).dump());
        // An answer that is more than blanks shows, and a number as a number
        // (codes, named or not, as words).
        const std::string person = DetailForPerson(part, say);
        const bool blank = value.IsEmpty() || (value.IsText() && Trim(TextOf(value)).empty()) ||
                           (value.IsArray() && value.get<Variant::Array>().empty());
        const bool number = value.IsInteger() && d.unit > DetailUnit::Flag && d.unit < DetailUnit::ArchitectureCode;
        Check(d.shown != DetailShown::Value || blank ||
                  (!person.empty() && (!number || DetailForJson(d.unit, part.value).is_number())),
              what + ", shown as \"" + person + "\"");
        if (i == 0) line += ", " + std::string(d.property) + (blank ? " -" : " " + DetailForJson(d.unit, value).dump());
      }
    }
    std::printf("details %s\n", line.c_str());
  }
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  FromVariantCases();
  CimValueCases();
  ScrolledDrawingCases();
  ErrorNumberCases();
  ClassObjectCases();
  CreateObjectCases();
  MessageBoxCases();
  NonAsciiFolderCases();
  MonikerCases();
  DetailCases();
  std::printf("ComServerTest: %d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
