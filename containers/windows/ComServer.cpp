// The in-process server's entry points: class objects for the two classes,
// registration under HKEY_CLASSES_ROOT (class id, programmatic name,
// apartment threading; for the control also what marks a control: Control,
// MiscStatus, ToolboxBitmap32, Version, TypeLib), the type library's
// registration, and the unload check.
#include <olectl.h>

#include <iterator>
#include <new>
#include <string>

#include "containers/windows/Classes.h"

namespace brv::win {
namespace {

using Creator = IDispatch* (*)(HRESULT&);

class ClassFactory : public IClassFactory {
 public:
  explicit ClassFactory(Creator create) : create_(create) { ModuleAddRef(); }
  virtual ~ClassFactory() { ModuleRelease(); }
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    HRESULT hr = S_OK;
    IDispatch* object = create_(hr);
    if (!object) return FAILED(hr) ? hr : E_UNEXPECTED;
    hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ModuleAddRef();
    } else {
      ModuleRelease();
    }
    return S_OK;
  }

 private:
  Creator create_;
  LONG references_ = 1;
};

struct ClassEntry {
  const CLSID& clsid;
  const wchar_t* progId;
  const wchar_t* description;
  Creator create;
  bool control;  // registered as a control a form or page can host
};

const ClassEntry kClasses[] = {
    {kControlClsid, kControlProgId, L"BRVPartsInf BRVPartsCtl", NewControl, true},
    {kResourcesClsid, kResourcesProgIdW, L"BRVPartsInf clsResources", NewResources, false},
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

LSTATUS SetValue(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& value) {
  HKEY key = nullptr;
  LSTATUS status =
      RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

LSTATUS Register(const ClassEntry& c, const std::wstring& dllPath) {
  const std::wstring clsidKey = L"CLSID\\" + GuidText(c.clsid);
  const std::wstring progId = c.progId;
  const struct {
    std::wstring path;
    const wchar_t* name;
    std::wstring value;
  } values[] = {
      {clsidKey, nullptr, c.description},
      {clsidKey + L"\\InprocServer32", nullptr, dllPath},
      {clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
      {clsidKey + L"\\ProgID", nullptr, progId},
      {progId, nullptr, c.description},
      {progId + L"\\CLSID", nullptr, GuidText(c.clsid)},
  };
  for (const auto& v : values) {
    if (LSTATUS status = SetValue(HKEY_CLASSES_ROOT, v.path, v.name, v.value); status != ERROR_SUCCESS) return status;
  }
  if (!c.control) return ERROR_SUCCESS;
  const struct {
    std::wstring path;
    std::wstring value;
  } control[] = {
      {clsidKey + L"\\Control", L""},
      {clsidKey + L"\\MiscStatus", L"0"},
      {clsidKey + L"\\MiscStatus\\1", std::to_wstring(kMiscStatus)},
      {clsidKey + L"\\ToolboxBitmap32", dllPath + L", 1"},
      {clsidKey + L"\\Version", L"1.0"},
      {clsidKey + L"\\TypeLib", GuidText(kTypeLibraryId)},
  };
  for (const auto& v : control) {
    if (LSTATUS status = SetValue(HKEY_CLASSES_ROOT, v.path, nullptr, v.value); status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

LSTATUS Unregister(const ClassEntry& c) {
  LSTATUS result = ERROR_SUCCESS;
  for (const std::wstring& path : {L"CLSID\\" + GuidText(c.clsid), std::wstring(c.progId)}) {
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = status;
    if (status == ERROR_SUCCESS) RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
  }
  return result;
}

// The objects keep per-thread state inside this DLL that lives until their
// thread ends, so once a class object has been handed out the DLL stays loaded
// for the rest of the process.
void KeepLoaded() {
  HMODULE pinned = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                     reinterpret_cast<LPCWSTR>(&KeepLoaded), &pinned);
}

}  // namespace
}  // namespace brv::win

using namespace brv::win;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    SetThisModule(instance);
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  for (const ClassEntry& c : kClasses) {
    if (!IsEqualCLSID(clsid, c.clsid)) continue;
    KeepLoaded();
    ClassFactory* factory = new (std::nothrow) ClassFactory(c.create);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleReferences() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(ThisModule(), path, static_cast<DWORD>(std::size(path)));
  if (n == 0 || n >= std::size(path)) return SELFREG_E_CLASS;
  for (const ClassEntry& c : kClasses) {
    if (LSTATUS status = Register(c, path); status != ERROR_SUCCESS) {
      DllUnregisterServer();
      return HRESULT_FROM_WIN32(static_cast<DWORD>(status));
    }
  }
  // The type library, from this file's own resources.
  ComPtr<ITypeLib> library;
  if (const HRESULT hr = LoadTypeLibEx(path, REGKIND_REGISTER, library.put()); FAILED(hr)) {
    DllUnregisterServer();
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  HRESULT result = S_OK;
  for (const ClassEntry& c : kClasses) {
    if (LSTATUS status = Unregister(c); status != ERROR_SUCCESS)
      result = HRESULT_FROM_WIN32(static_cast<DWORD>(status));
  }
  const HRESULT hr = UnRegisterTypeLib(kTypeLibraryId, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
  if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && hr != TYPE_E_LIBNOTREGISTERED && SUCCEEDED(result)) {
    result = SELFREG_E_TYPELIB;
  }
  return result;
}
