#pragma once
// The classes this DLL serves, with their fixed class ids, programmatic names
// and interface ids.
#include <oleidl.h>

#include <exception>
#include <new>

#include "platform/windows/Com.h"

namespace brv::win {

// {2AC50EA5-755A-4553-B48B-A1C7FA95D214}
inline constexpr CLSID kControlClsid = {0x2ac50ea5, 0x755a, 0x4553, {0xb4, 0x8b, 0xa1, 0xc7, 0xfa, 0x95, 0xd2, 0x14}};
// {5E6C78FB-708A-404E-8066-B3F5A51DD955}
inline constexpr CLSID kResourcesClsid = {0x5e6c78fb, 0x708a, 0x404e, {0x80, 0x66, 0xb3, 0xf5, 0xa5, 0x1d, 0xd9, 0x55}};
// The type library. {263092AE-3279-49A1-B5DD-45792663996F}
inline constexpr GUID kTypeLibraryId = {0x263092ae, 0x3279, 0x49a1, {0xb5, 0xdd, 0x45, 0x79, 0x26, 0x63, 0x99, 0x6f}};
// _BRVPartsCtl, the control's dispatch interface. {DF866658-D1BF-4457-96DF-6CA9BD29841E}
inline constexpr IID kControlIid = {0xdf866658, 0xd1bf, 0x4457, {0x96, 0xdf, 0x6c, 0xa9, 0xbd, 0x29, 0x84, 0x1e}};
// __BRVPartsCtl, the control's event interface; it has no events. {F8DAC8F8-4805-454A-B959-DBFE3970C329}
inline constexpr IID kControlEventsIid = {0xf8dac8f8, 0x4805, 0x454a, {0xb9, 0x59, 0xdb, 0xfe, 0x39, 0x70, 0xc3, 0x29}};
// _clsResources, the string provider's dispatch interface. {E6FD834B-280F-44B5-841F-ED7E6368DD59}
inline constexpr IID kResourcesIid = {0xe6fd834b, 0x280f, 0x44b5, {0x84, 0x1f, 0xed, 0x7e, 0x63, 0x68, 0xdd, 0x59}};

// How the control is embedded, as IOleObject::GetMiscStatus answers and
// registration writes: activated in place when visible, its site given first.
inline constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                                     OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;

inline constexpr const wchar_t* kControlProgId = L"BRVPartsInf.BRVPartsCtl";
inline constexpr const wchar_t* kResourcesProgIdW = L"BRVPartsInf.clsResources";

// New instances, one reference each; null with the HRESULT in `hr` when
// creation fails (the error info is set for the caller).
IDispatch* NewControl(HRESULT& hr);
IDispatch* NewResources(HRESULT& hr);

// Creates one of them: E_OUTOFMEMORY when memory ran out, else for any other
// failure what `failed` makes of it (E_UNEXPECTED without it).
template <class Object>
IDispatch* NewObject(HRESULT& hr, HRESULT (*failed)(const std::exception&) = nullptr) {
  try {
    hr = S_OK;
    return new Object();
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (const std::exception& e) {
    hr = failed ? failed(e) : E_UNEXPECTED;
  }
  return nullptr;
}

// The type library embedded in this DLL, and the description of one of its
// interfaces or classes; a failed HRESULT when it cannot be loaded.
HRESULT LoadControlTypeLibrary(ITypeLib** library);
HRESULT ControlTypeInfo(REFGUID guid, ITypeInfo** info);

}  // namespace brv::win
