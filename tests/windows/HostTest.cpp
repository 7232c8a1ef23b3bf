// A native container of the registered control, run under Wine by
// scripts/test-windows.sh: it creates the control by its programmatic name as
// a host does, calls SetSelectItem by name through IDispatch as a page's script
// does, and reads the grid through IBRVPartsGridView, the interface no script
// can use. Modes:
//   snapshot             the tables of tests/windows/fixture.json (BRVPARTS_SNAPSHOT)
//   live                 every category's captions against the machine's own service
//   header HEX201 HEX202 the header in the user's language (UTF-16 code units in hexadecimal)
// Prints "HostTest: N passed, M failed" and exits non-zero on any failure.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "containers/windows/GridView.h"

namespace {

int passed = 0, failed = 0;

std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
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
    const HRESULT hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
                                        nullptr);
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

using Rows = std::vector<std::pair<std::wstring, std::wstring>>;

// Selects an instance and compares the count and the whole grid below the
// header: captions in column 0, values in column 1, blank rows after them.
void ExpectTable(Hosted& ctl, const std::wstring& category, int instance, int count, const Rows& rows) {
  const std::wstring what = category + L" " + std::to_wstring(instance);
  const int got = ctl.Select(category, instance);
  Check(got == count, what + L": count " + std::to_wstring(got) + L", expected " + std::to_wstring(count));
  for (size_t i = 0; i < rows.size(); ++i) {
    const LONG row = static_cast<LONG>(i + 1);
    Check(ctl.Cell(row, 0) == rows[i].first && ctl.Cell(row, 1) == rows[i].second,
          what + L": row " + std::to_wstring(row) + L" is " + ctl.Cell(row, 0) + L" = " + ctl.Cell(row, 1) +
              L", expected " + rows[i].first + L" = " + rows[i].second);
  }
  for (LONG r = static_cast<LONG>(rows.size()) + 1; r < ctl.Rows(); ++r) {
    std::wstring rest = ctl.Cell(r, 0) + ctl.Cell(r, 1);
    bool blank = true;
    for (wchar_t c : rest) blank = blank && (c == L' ');
    Check(blank, what + L": row " + std::to_wstring(r) + L" holds [" + rest + L"]");
  }
}

void SnapshotCases(Hosted& ctl) {
  ExpectTable(ctl, L"CPU", 1, 2,
              {{L"Index", L"1"}, {L"Manufacturer", L"GenuineIntel"},
               {L"Name", L"Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz"}, {L"Version", L"Model 158 Stepping 13"},
               {L"MAX Clock Speed", L"4700"}, {L"Socket Designation", L"U3E1"}});
  // A null value shows as the empty text.
  ExpectTable(ctl, L"CPU", 2, 2,
              {{L"Index", L"2"}, {L"Manufacturer", L"GenuineIntel"},
               {L"Name", L"Intel(R) Xeon(R) E-2276M CPU @ 2.80GHz"}, {L"Version", L"<Empty>"},
               {L"MAX Clock Speed", L"4700"}, {L"Socket Designation", L"U3E2"}});
  // Sizes past 32 bits, as text (as the service gives 64-bit values) and as a
  // number; a property that fails to read shows as the empty text.
  ExpectTable(ctl, L"HDD", 1, 2,
              {{L"Index", L"1"}, {L"Model", L"KXG60ZNV1T02 NVMe"}, {L"Size", L"1024209543168"},
               {L"Serial No", L"Y9LS10ABCDEF"}, {L"Firmware Revision", L"AGGA4104"}});
  ExpectTable(ctl, L"HDD", 2, 2,
              {{L"Index", L"2"}, {L"Model", L"Ext USB Disk"}, {L"Size", L"2000398934016"},
               {L"Serial No", L"<Empty>"}, {L"Firmware Revision", L"0001"}});
  // The configuration is found by its object path; its address list shows its first address.
  ExpectTable(ctl, L"Network Adapter", 1, 1,
              {{L"Index", L"1"}, {L"Adapter Type", L"Ethernet 802.3"},
               {L"Description", L"Intel(R) Wi-Fi 6 AX201 160MHz"}, {L"IP Address", L"10.20.30.40"},
               {L"MAC Address", L"F8:E4:E3:01:02:03"}, {L"Manufacturer", L"Intel Corporation"},
               {L"Name", L"Intel(R) Wi-Fi 6 AX201 160MHz"}});
  ExpectTable(ctl, L"Battery Pack", 1, 1, {{L"Index", L"1"}, {L"Serial No", L"1A2B"}, {L"Capacity", L"90000"}});
}

// Every category's captions below "Index", against whatever the machine has.
void LiveCases(Hosted& ctl) {
  const std::pair<const wchar_t*, std::vector<std::wstring>> categories[] = {
      {L"CPU", {L"Manufacturer", L"Name", L"Version", L"MAX Clock Speed", L"Socket Designation"}},
      {L"Memory", {L"SLOTs", L"Capacity"}},
      {L"Display", {L"Horizontal Resolution", L"Vertical Resolution", L"Chip Type", L"RAM Size"}},
      {L"HDD", {L"Model", L"Size", L"Serial No", L"Firmware Revision"}},
      {L"CD,DVD", {L"Model", L"Serial No", L"Firmware Revision"}},
      {L"Modem", {L"Attached To", L"Caption", L"Description", L"Device ID", L"Device Type"}},
      {L"Bluetooth", {L"Description", L"MAC Address", L"Manufacturer", L"Name"}},
      {L"Battery Pack", {L"Serial No", L"Capacity"}},
      {L"Docking Station", {L"Docking Reference Number", L"Status"}},
      {L"Network Adapter", {L"Adapter Type", L"Description", L"IP Address", L"MAC Address", L"Manufacturer", L"Name"}},
      {L"External Monitor", {L"Manufacturer", L"Model", L"Serial No"}},
  };
  for (const auto& [name, captions] : categories) {
    std::wstring error;
    const int count = ctl.Select(name, 1, &error);
    Check(count >= 0, std::wstring(name) + L": SetSelectItem failed " + error);
    Check(ctl.Cell(0, 0) == L"Item" && ctl.Cell(0, 1) == L"Value", std::wstring(name) + L": header " + ctl.Cell(0, 0));
    Check(ctl.Cell(1, 0) == L"Index", std::wstring(name) + L": row 1 " + ctl.Cell(1, 0));
    for (size_t r = 0; r < captions.size(); ++r) {
      const LONG row = static_cast<LONG>(r + 2);
      Check(ctl.Cell(row, 0) == captions[r], std::wstring(name) + L": row " + std::to_wstring(row) + L" caption " +
                                                 ctl.Cell(row, 0) + L", expected " + captions[r]);
    }
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

}  // namespace

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::string mode = argc > 1 ? argv[1] : "";
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
