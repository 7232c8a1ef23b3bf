#pragma once
// The grid's contents for the container's own code: a plain COM interface
// (not dispatchable, not in the type library, not declared safe for scripting)
// that a native host or a test reads the grid through. A script can reach only
// the dispatch interface, which answers counts; the user sees the cells on screen.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

// {4D7C92A4-1B80-41F7-AF92-9DEE068851E3}
inline constexpr IID kGridViewIid = {0x4d7c92a4, 0x1b80, 0x41f7, {0xaf, 0x92, 0x9d, 0xee, 0x06, 0x88, 0x51, 0xe3}};

struct IBRVPartsGridView : public IUnknown {
  // The grid's row and column counts.
  virtual HRESULT STDMETHODCALLTYPE GetSize(LONG* rows, LONG* cols) = 0;
  // The text of a cell (the caller frees it); E_INVALIDARG outside the grid.
  virtual HRESULT STDMETHODCALLTYPE GetCellText(LONG row, LONG col, BSTR* text) = 0;
  // The error that left start-up: its number (0: none) and its description.
  virtual HRESULT STDMETHODCALLTYPE GetStartupError(LONG* number, BSTR* description) = 0;
};
