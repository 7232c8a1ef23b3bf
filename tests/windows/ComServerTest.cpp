// The Windows pieces in-process, run under Wine by scripts/test-windows.sh:
// automation values, error numbers, the grid's drawing, the class objects and
// the interfaces the control answers, the message-box log, and the parts'
// details against Wine's own instrumentation service.
#include <objsafe.h>
#include <ocidl.h>
#include <olectl.h>
#include <wbemcli.h>

#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

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
#include "tests/windows/Checks.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out);

using namespace brv;
using namespace brv::win;
using namespace brv::wintest;

namespace {

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

// A list as the service sends one: an array of BSTRs, or of 32-bit numbers.
VARIANT Array(const std::vector<std::wstring>& texts, std::vector<LONG> numbers = {}) {
  const VARTYPE type = numbers.empty() ? VT_BSTR : VT_I4;
  const size_t n = numbers.empty() ? texts.size() : numbers.size();
  VARIANT v =
      Of(VT_ARRAY | type, [&](VARIANT& a) { a.parray = SafeArrayCreateVector(type, 0, static_cast<ULONG>(n)); });
  for (LONG i = 0; i < static_cast<LONG>(n); ++i) {
    OwnedBstr text(type == VT_BSTR ? texts[static_cast<size_t>(i)] : std::wstring());
    SafeArrayPutElement(v.parray, &i,
                        type == VT_BSTR ? static_cast<void*>(text.get()) : &numbers[static_cast<size_t>(i)]);
  }
  return v;
}

// Automation values in, and out again unchanged; a property's value read by its
// declared type: the service carries an unsigned 32-bit property in VT_I4 (a 2
// GiB adapter must not come out negative) and a 64-bit one as its text.
void ValueCases() {
  static BSTR text = SysAllocString(L"Gr\u00f6\u00dfe");
  static VARIANT inner = Of(VT_I4, [](VARIANT& v) { v.lVal = 42; });
  const auto i4 = [](LONG n) { return Of(VT_I4, [n](VARIANT& v) { v.lVal = n; }); };
  const auto bstr = [](const wchar_t* t) { return Of(VT_BSTR, [t](VARIANT& v) { v.bstrVal = SysAllocString(t); }); };
  const std::string utf8 = "Gr\u00f6\u00dfe";
  const CIMTYPE plain = CIM_EMPTY, u32 = CIM_UINT32, u64 = CIM_UINT64;
  const std::tuple<const char*, VARIANT, CIMTYPE, Variant> cases[] = {
      {"VT_EMPTY", Of(VT_EMPTY, [](VARIANT&) {}), plain, Empty{}},
      {"VT_NULL", Of(VT_NULL, [](VARIANT&) {}), plain, Null{}},
      {"VT_I2", Of(VT_I2, [](VARIANT& v) { v.iVal = -300; }), plain, int16_t{-300}},
      {"VT_UI1", Of(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), plain, int16_t{200}},
      {"VT_I4", i4(-70000), plain, int32_t{-70000}},
      {"VT_UI4 in range", Of(VT_UI4, [](VARIANT& v) { v.ulVal = 4700; }), plain, int32_t{4700}},
      {"VT_UI4 past 31 bits", Of(VT_UI4, [](VARIANT& v) { v.ulVal = 0xFFFFFFFFu; }), plain, int64_t{4294967295}},
      {"VT_I8", Of(VT_I8, [](VARIANT& v) { v.llVal = 512110190592; }), plain, int64_t{512110190592}},
      {"VT_UI8 past 63 bits", Of(VT_UI8, [](VARIANT& v) { v.ullVal = 1ull << 63; }), plain, 9223372036854775808.0},
      {"VT_R8", Of(VT_R8, [](VARIANT& v) { v.dblVal = 2.5; }), plain, 2.5},
      {"VT_BOOL", Of(VT_BOOL, [](VARIANT& v) { v.boolVal = VARIANT_TRUE; }), plain, true},
      {"VT_BSTR", bstr(text), plain, utf8},
      {"VT_BSTR null", Of(VT_BSTR, [](VARIANT& v) { v.bstrVal = nullptr; }), plain, ""},
      {"by reference to a VARIANT", Of(VT_BYREF | VT_VARIANT, [](VARIANT& v) { v.pvarVal = &inner; }), plain, 42},
      {"by reference to a BSTR", Of(VT_BYREF | VT_BSTR, [](VARIANT& v) { v.pbstrVal = &text; }), plain, utf8},
      {"array of BSTR", Array({L"10.20.30.40", L"fe80::1"}), plain, Variant::Array{"10.20.30.40", "fe80::1"}},
      {"empty array", Array({}), plain, Variant::Array{}},
      {"array of VT_I4", Array({}, {100, 101}), plain, Variant::Array{int32_t{100}, int32_t{101}}},
      {"a 2 GiB adapter", i4(static_cast<LONG>(0x80000000u)), u32, int64_t{2147483648}},
      {"4 GiB less a byte", i4(-1), u32, int64_t{4294967295}},
      {"a small unsigned value", i4(4700), u32, int32_t{4700}},
      {"a signed property stays signed", i4(-5), CIM_SINT32, int32_t{-5}},
      {"an unsigned 16-bit property in VT_I4", i4(65535), CIM_UINT16, int32_t{65535}},
      {"unsigned 32-bit values", Array({}, {7, static_cast<LONG>(0xC0000000u)}), u32 | CIM_FLAG_ARRAY,
       Variant::Array{int32_t{7}, int64_t{3221225472}}},
      {"a 64-bit capacity", bstr(L"17179869184"), u64, int64_t{17179869184}},
      {"a small 64-bit number", bstr(L"8"), u64, int32_t{8}},
      {"past 63 bits", bstr(L"18446744073709551615"), u64, 18446744073709551615.0},
      {"a signed 64-bit number", bstr(L"-3"), CIM_SINT64, int32_t{-3}},
      {"64-bit text that is no number", bstr(L"12 GB"), u64, "12 GB"},
      {"a text of digits", bstr(L"0042"), CIM_STRING, "0042"},
      {"64-bit values", Array({L"1", L"5000000000"}), u64 | CIM_FLAG_ARRAY, Variant::Array{1, int64_t{5000000000}}},
  };
  for (const auto& [name, value, type, expected] : cases) {
    OwnedVariant v;
    v.v = value;
    Variant got;
    const int32_t error = Raised([&] { got = FromCimValue(v.v, type); });
    Check(error == 0 && got == expected, std::string("value ") + name + ": " + KindName(got.kind()));
    if (error == 0 && type == plain && !expected.IsEmpty()) {
      OwnedVariant back;
      ToVariant(expected, back.v);
      Check(FromVariant(back.v) == expected, std::string("ToVariant round trip ") + name);
    }
  }
  OwnedVariant object;
  object.v.vt = VT_DISPATCH;
  object.v.pdispVal = nullptr;
  Check(Raised([&] { FromVariant(object.v); }) == err::kTypeMismatch, "an object is a type mismatch");
}

// The grid's picture scrolled and at 192 pixels per inch: the header stays on
// top, the first row shown follows it, twips become pixels by the resolution.
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
  Check(RowsThatFit(state, 1, 300, 96) == 10 && RowsThatFit(state, 25, 300, 96) == 5 &&
            RowsThatFit(state, 1, 300, 192) == 4,
        "the rows that fit below the header: at 96 dpi, from row 25, at 192 dpi");
  // Resolution, first row shown, row height in pixels, the colour below the header.
  const std::tuple<int, int32_t, int, COLORREF> cases[] = {
      {96, 1, 27, red}, {96, 4, 27, blue}, {96, 5, 27, red}, {192, 1, 53, red}, {192, 2, 53, blue}};
  for (const auto& [dpi, firstRow, rowPixels, belowHeader] : cases) {
    GridPicture picture;
    picture.dpiX = picture.dpiY = dpi;
    picture.firstRow = firstRow;
    const Pixels p = Capture(200, 300, [&](HDC dc) { DrawGrid(dc, RECT{0, 0, 200, 300}, state, picture); });
    Check(p.At(20, 3) == HeaderColor() && p.At(20, rowPixels + 3) == belowHeader,
          "the header on top, the first row shown below it, at " + std::to_string(dpi) + " dpi from row " +
              std::to_string(firstRow));
  }
}

// Error numbers as HRESULTs and back (a script sees the low word only).
void ErrorNumberCases() {
  const std::pair<int32_t, uint32_t> cases[] = {
      {err::kInvalidCall, 0x800A0005u},      {err::kInvalidPropertyIndex, 0x800A017Du},
      {err::kWbemInvalidClass, 0x80041010u}, {err::kRpcUnavailable, 0x800706BAu},
      {err::kTypeMismatch, 0x80020005u},     {err::kNoSuchMember, 0x80020003u}};
  for (const auto& [number, hr] : cases) {  // dispatch failures (0x8002....) map one way only
    Check(NumberOf(static_cast<HRESULT>(hr)) == number && (hr >> 16 == 0x8002 || HresultOf(number) == HRESULT(hr)),
          "error number of " + Hex(static_cast<long>(hr)));
  }
}

// What `object` answers for `iid` (released at once), null where it answers none.
void* Face(IUnknown* object, REFIID iid) {
  IUnknown* face = nullptr;
  if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&face)))) return nullptr;
  face->Release();
  return face;
}

void ClassObjectCases() {
  ComPtr<IClassFactory> none, factory;
  ComPtr<IDispatch> outer, control;
  Check(DllGetClassObject(IID_IDispatch, IID_IClassFactory, none.put_void()) == CLASS_E_CLASSNOTAVAILABLE &&
            SUCCEEDED(DllGetClassObject(kControlClsid, IID_IClassFactory, factory.put_void())),
        "the class object, for the control's class id only");
  if (!factory) return;
  Check(factory->CreateInstance(reinterpret_cast<IUnknown*>(&outer), IID_IUnknown, outer.put_void()) ==
                CLASS_E_NOAGGREGATION &&
            SUCCEEDED(factory->CreateInstance(nullptr, kControlIid, control.put_void())),
        "created through _BRVPartsCtl, not aggregated");
  if (!control) return;

  // IObjectSafety answers what the control's own methods answer; the grid's
  // interface is not declared safe.
  ComPtr<IObjectSafety> safety;
  control->QueryInterface(IID_IObjectSafety, safety.put_void());
  BRVPartsCtl reference;
  for (const IID* iid : {&IID_IDispatch, &IID_IPersistStream, &IID_IUnknown, &kControlIid, &kGridViewIid}) {
    DWORD supported = 99, enabled = 99;
    uint32_t wantSupported = 99, wantEnabled = 99;
    const HRESULT got = safety ? safety->GetInterfaceSafetyOptions(*iid, &supported, &enabled) : E_FAIL;
    bool same = got == reference.IObjectSafety_GetInterfaceSafetyOptions(iid, wantSupported, wantEnabled) &&
                supported == wantSupported && enabled == wantEnabled && (iid != &kGridViewIid || got == E_NOINTERFACE);
    for (DWORD options = 1; options <= 3; ++options) {
      same = same && safety->SetInterfaceSafetyOptions(*iid, options, options) ==
                         reference.IObjectSafety_SetInterfaceSafetyOptions(iid, options, options);
    }
    Check(same, "IObjectSafety as the control answers, " + Hex(got) + ", enabled " + std::to_string(enabled));
  }

  // Every face of the control reaches every other; the event interface's
  // connection point (an object of its own) leads back, takes and drops sinks.
  ComPtr<IConnectionPointContainer> container, back;
  ComPtr<IConnectionPoint> point, other;
  control->QueryInterface(IID_IConnectionPointContainer, container.put_void());
  Check(container && Face(safety.get(), IID_IDispatch) == control.get() && Face(container.get(), IID_IObjectSafety) &&
            Face(container.get(), IID_IUnknown) == Face(control.get(), IID_IUnknown) &&
            !Face(control.get(), IID_IConnectionPoint) && !Face(container.get(), IID_IConnectionPoint),
        "IObjectSafety and IConnectionPointContainer are faces of the control, the point is not");
  if (!container) return;
  IID iid{};
  DWORD cookie = 0;
  Check(container->FindConnectionPoint(IID_IPropertyNotifySink, other.put()) == CONNECT_E_NOCONNECTION &&
            SUCCEEDED(container->FindConnectionPoint(kControlEventsIid, point.put())),
        "a connection point for the __BRVPartsCtl interface only");
  Check(point && SUCCEEDED(point->GetConnectionPointContainer(back.put())) && back.get() == container.get() &&
            !Face(point.get(), IID_IDispatch) && SUCCEEDED(point->GetConnectionInterface(&iid)) &&
            IsEqualIID(iid, kControlEventsIid),
        "the point leads back to the container, answers IConnectionPoint only, names its interface");
  Check(point && SUCCEEDED(point->Advise(control.get(), &cookie)) && cookie != 0 && point->Unadvise(cookie) == S_OK &&
            point->Unadvise(cookie) == CONNECT_E_NOCONNECTION,
        "Advise, Unadvise, and Unadvise twice");

  // SetSelectItem (id 1) is the only member, and cannot be put.
  for (DISPID guess = -10; guess <= 40; ++guess) {
    DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
    OwnedVariant answer;
    const WORD flags = guess == 1 ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYGET | DISPATCH_METHOD;
    const HRESULT hr = control->Invoke(guess, IID_NULL, 0, flags, &noArgs, &answer.v, nullptr, nullptr);
    Check(hr == DISP_E_MEMBERNOTFOUND && answer.v.vt == VT_EMPTY,
          "dispatch id " + std::to_string(guess) + " answers nothing");
  }

  // Names, whatever their letter case, of the member and its arguments.
  std::wstring name = L"sEtSeLeCtItEm", first = L"optionStr", second = L"NINDEX", wrong = L"nIndexes";
  LPOLESTR names[] = {name.data(), second.data(), first.data()};
  DISPID ids[3] = {};
  Check(control->GetIDsOfNames(IID_NULL, names, 3, 0, ids) == S_OK && ids[0] == 1 && ids[1] == 1 && ids[2] == 0,
        "GetIDsOfNames ignores case and names the parameters");
  names[1] = wrong.data();
  Check(control->GetIDsOfNames(IID_NULL, names, 2, 0, ids) == DISP_E_UNKNOWNNAME && ids[0] == 1 &&
            ids[1] == DISPID_UNKNOWN,
        "an unknown parameter name");

  // Named arguments (nIndex 1, optionStr 0; arguments come last first) give a
  // positional call's count.
  OwnedBstr cpu(std::string("CPU"));
  VARIANT category = Of(VT_BSTR, [&](VARIANT& v) { v.bstrVal = cpu.get(); });
  VARIANT instance = Of(VT_I4, [](VARIANT& v) { v.lVal = 1; });
  std::tuple<std::vector<VARIANT>, std::vector<DISPID>, HRESULT> calls[] = {
      {{instance, category}, {}, S_OK},
      {{category, instance}, {0, 1}, S_OK},
      {{instance, category}, {1, 0}, S_OK},
      {{instance, category}, {1}, S_OK},
      {{category, category}, {0}, DISP_E_PARAMNOTFOUND},  // optionStr by position and by name
      {{instance}, {1}, DISP_E_PARAMNOTOPTIONAL},
      {{instance, category}, {7}, DISP_E_PARAMNOTFOUND}};
  SHORT count = -1;
  for (auto& [args, named, want] : calls) {
    DISPPARAMS p{args.data(), named.data(), static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
    OwnedVariant out;
    EXCEPINFO info{};
    const HRESULT hr = control->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &p, &out.v, &info, nullptr);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    if (count < 0 && hr == S_OK && out.v.vt == VT_I2) count = out.v.iVal;
    Check(hr == want && (hr != S_OK || (out.v.vt == VT_I2 && out.v.iVal == count)),
          "named arguments " + std::to_string(named.size()) + " of " + std::to_string(args.size()) + ": " + Hex(hr));
  }

  // The grid's own interface (HostTest reads it).
  ComPtr<IBRVPartsGridView> view;
  LONG rows = 0, cols = 0;
  BSTR cell = nullptr;
  control->QueryInterface(kGridViewIid, view.put_void());
  Check(view && Face(view.get(), IID_IDispatch) == control.get() && view->GetSize(&rows, &cols) == S_OK &&
            view->GetCellText(rows, 0, &cell) == E_INVALIDARG && !cell,
        "IBRVPartsGridView, a face of the control, reads no row past the last");
}

// Objects created by programmatic name (the DLL is registered): the string
// provider called late-bound, its errors coming back with their numbers.
void CreateObjectCases() {
  Check(Raised([] { CreateObject("BRVPartsInf.NoSuchClass"); }) == err::kCannotCreateObject,
        "an unknown programmatic name raises 429");
  std::shared_ptr<AutomationObject> provider;
  Check(Raised([&] { provider = CreateObject("BRVPartsInf.clsResources"); }) == 0, "creating the provider through COM");
  const std::tuple<const char*, int32_t, int32_t> calls[] = {{"GetResourceString", 201, 0},
                                                             {"GetResourceString", 99999, err::kInvalidCall},
                                                             {"NoSuchMethod", 201, err::kNoSuchMember}};
  for (const auto& [method, number, raised] : calls) {
    std::vector<Variant> args{Variant(number)};
    Variant text;
    Check(provider && Raised([&] { text = provider->Call(method, args); }) == raised &&
              (raised != 0 || !TextOf(text).empty()) && args[0] == Variant(number),
          std::string(method) + "(" + std::to_string(number) + ") through COM");
  }
}

// Catalogues, snapshots and the message-box log in a folder whose name is not
// ASCII, whatever the ANSI code page; the boxes go to the log in UTF-8, one
// "TITLE: PROMPT" line each.
void NonAsciiFolderCases() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"brvparts Gr\u00f6\u00dfe \u30c6\u30b9\u30c8";
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return Check(false, "a non-ASCII folder cannot be made here (error " + std::to_string(GetLastError()) + ")");
  }
  const std::wstring file = folder + L"\\en.msg", snapshot = folder + L"\\inventory.json", log = folder + L"\\box.log";
  std::ofstream(std::filesystem::path(file), std::ios::binary) << "201\tItem\n";
  std::ofstream(std::filesystem::path(snapshot), std::ios::binary)
      << R"({"format": "brvparts-snapshot/1", "classes": {"Win32_Processor": [{"Name": "x"}]}})";
  std::string text, refusal;
  const int32_t error = Raised([&] { text = Resources(Utf8(folder), {"en"}).GetResourceString(201); });
  Check(error == 0 && text == "Item", "a catalogue in a non-ASCII folder: error " + std::to_string(error));
  try {
    SnapshotSource::FromFile(Utf8(snapshot));
  } catch (const SnapshotError& e) {
    refusal = e.what();
  }
  Check(refusal.empty(), "a snapshot in a non-ASCII folder: " + refusal);
  _wputenv_s(L"BRVPARTS_MSGBOX_LOG", log.c_str());
  MsgBox("Failed to create object.", 0, "Parts Information - Error");
  MsgBox("Zweite \303\234berschrift", 0, "Titel");
  std::stringstream boxes;
  boxes << std::ifstream(std::filesystem::path(log), std::ios::binary).rdbuf();
  Check(boxes.str() == "Parts Information - Error: Failed to create object.\nTitel: Zweite \303\234berschrift\n",
        "boxes go to the log, in UTF-8: [" + boxes.str() + "]");
  for (const std::wstring& made : {snapshot, file, log}) DeleteFileW(made.c_str());
  RemoveDirectoryW(folder.c_str());
}

// Monikers: every configuration bound by its object path, with and without the
// key named; what the service refuses comes with its own numbers.
void MonikerCases() {
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
  // A namespace moniker naming an object, an absent namespace, an absent
  // instance, an unknown property, a malformed query.
  const std::pair<int32_t, std::function<void()>> refused[] = {
      {int32_t(0x800401E4u), [] { wmi::BindServices("winmgmts://./root/cimv2:Win32_Processor"); }},
      {int32_t(0x8004100Eu), [] { wmi::BindServices("winmgmts://./root/nothere"); }},
      {err::kWbemNotFound,
       [] { wmi::BindObject("winmgmts://./root/cimv2:Win32_NetworkAdapterConfiguration='987654'"); }},
      {err::kWbemNotFound,
       [&] { services->ExecQuery("select * from Win32_Processor")->Enumerate()->Next()->Get("N"); }},
      {err::kWbemInvalidQuery, [&] { services->ExecQuery("selec * frm")->Enumerate()->Next(); }}};
  for (const auto& [number, call] : refused) {
    const int32_t got = Raised(call);
    Check(got == number, "refused with " + Hex(got) + ", expected " + Hex(number));
  }
}

// Every detail of every category read by ReadDetails, against the same
// property of the same part asked of the service: nothing is lost, a number
// shows as one, a flag is a truth value, a list a list. Prints each category's
// first part.
void DetailCases() {
  const SayWord say = UserMessages();
  const auto services = wmi::BindServices(frame::Moniker());
  const auto get = [](const wmi::Object* object, std::string_view property) {
    Variant v;
    if (object && !property.empty()) Raised([&] { v = object->Get(property); });
    return v.IsNull() ? Variant() : v;
  };
  using U = DetailUnit;
  for (const CategoryInfo& c : CategoryCatalogue()) {
    if (c.details.empty()) continue;
    std::map<InstrumentationClass, std::vector<std::unique_ptr<wmi::Object>>> all;
    for (const Detail& d : c.details) {
      Check(all.count(d.source) || Raised([&] {
                                     auto e = services->ExecQuery("select * from " + std::string(ClassName(d.source)));
                                     for (auto it = e->Enumerate(); auto o = it->Next();)
                                       all[d.source].push_back(std::move(o));
                                   }) == 0,
            "querying " + std::string(ClassName(d.source)));
    }
    // The parts as the grid numbers them: the category's own shown instances,
    // else those of its details' class.
    std::vector<const wmi::Object*> own;
    for (const auto& o : all[c.source]) {
      if (c.category != Category::NetworkAdapter || ShownAdapter(o.get())) own.push_back(o.get());
    }
    const size_t count = c.category == Category::Display ? 1
                         : own.empty()                   ? all[c.details.front().source].size()
                                                         : own.size();
    const auto parts = ReadDetails(c.category, static_cast<int32_t>(count));
    std::string line = std::string(c.name()) + ": " + std::to_string(count) + " parts";
    for (size_t i = 0; i < parts.size(); ++i) {
      for (const PartDetail& part : parts[i]) {
        const Detail& d = *part.detail;
        if (d.shown == DetailShown::OfTotal) continue;  // counted over every array
        const auto& list = all[d.source];
        const wmi::Object* object = d.source == c.source ? (i < own.size() ? own[i] : nullptr)
                                    : i < list.size()    ? list[i].get()
                                                         : nullptr;
        if (d.source == InstrumentationClass::NetworkAdapterConfiguration) {  // the one with the adapter's index
          object = nullptr;
          for (const auto& o : list) {
            if (i < own.size() && get(o.get(), "Index") == get(own[i], "Index")) object = o.get();
          }
        }
        const Variant value = get(object, d.property);
        const std::string person = DetailForPerson(part, say);
        const bool blank =
            value.IsEmpty() || (value.IsText() && Trim(TextOf(value)).empty()) || value == Variant(Variant::Array{});
        const bool number = d.unit() > U::Flag && d.unit() < U::ArchitectureCode;  // codes are named
        const bool typed = d.unit() == U::Text       ? value.IsText()
                           : d.unit() == U::TextList ? value.IsArray()
                           : d.unit() == U::Flag     ? value.get_if<bool>() != nullptr
                                                     : value.IsInteger();
        Check(part.value == value && part.second == get(object, d.second) && (value.IsEmpty() || typed) &&
                  (d.shown != DetailShown::Value || blank ||
                   (!person.empty() && (!number || DetailForJson(d.unit(), part.value).is_number()))),
              std::string(c.name()) + " " + std::string(d.property) + " of part " + std::to_string(i + 1) +
                  ": the service answers " + KindName(value.kind()) + " " + DetailForJson(d.unit(), value).dump() +
                  ", read " + KindName(part.value.kind()) + ", shown as \"" + person + "\"");
        if (i == 0)
          line += ", " + std::string(d.property) + " " + (blank ? "-" : DetailForJson(d.unit(), value).dump());
      }
    }
    std::printf("details %s\n", line.c_str());
  }
}

}  // namespace

int main() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ValueCases();
  ScrolledDrawingCases();
  ErrorNumberCases();
  ClassObjectCases();
  CreateObjectCases();
  NonAsciiFolderCases();
  MonikerCases();
  DetailCases();
  return Summary("ComServerTest");
}
