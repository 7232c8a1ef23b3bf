// The type library embedded in the DLL (resource 1 of type TYPELIB): loaded
// once per thread for IDispatch::GetTypeInfo and IProvideClassInfo, registered
// and removed with the classes.
#include <string>

#include "containers/windows/Classes.h"

namespace brv::win {
namespace {

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 4] = {};
  const DWORD n = GetModuleFileNameW(ThisModule(), path, MAX_PATH * 4);
  return n == 0 || n >= MAX_PATH * 4 ? std::wstring() : std::wstring(path, n);
}

}  // namespace

HRESULT LoadControlTypeLibrary(ITypeLib** library) {
  if (!library) return E_POINTER;
  *library = nullptr;
  const std::wstring path = ModulePath();
  if (path.empty()) return E_FAIL;
  return LoadTypeLibEx(path.c_str(), REGKIND_NONE, library);
}

HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  thread_local ComPtr<ITypeLib> library;
  if (!library) {
    const HRESULT hr = LoadControlTypeLibrary(library.put());
    if (FAILED(hr)) return hr;
  }
  return library->GetTypeInfoOfGuid(guid, info);
}

}  // namespace brv::win
