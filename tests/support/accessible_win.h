#pragma once
// Asking an IAccessible as a screen reader does, for Windows tests.
#include <windows.h>

#include <oleacc.h>
#include <wrl/client.h>

#include <string>

namespace Corvanthorne::Testing {

// The object of a window's client area, as a screen reader asks for it (null when refused).
inline Microsoft::WRL::ComPtr<IAccessible> clientObject(HWND window) {
  Microsoft::WRL::ComPtr<IAccessible> client;
  AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                             reinterpret_cast<void**>(client.GetAddressOf()));
  return client;
}

inline VARIANT childId(LONG id) {
  VARIANT child;
  child.vt = VT_I4;
  child.lVal = id;
  return child;
}

// A text answer (get_accName, get_accValue, ...) of the object or of one of its children.
inline std::wstring textOf(IAccessible& object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*),
                           LONG child = CHILDID_SELF) {
  BSTR text = nullptr;
  (object.*get)(childId(child), &text);
  std::wstring result = text ? text : L"";
  SysFreeString(text);
  return result;
}

// A number answer (get_accRole, get_accState), or -1.
inline LONG numberOf(IAccessible& object, HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, VARIANT*),
                     LONG child = CHILDID_SELF) {
  VARIANT answer;
  VariantInit(&answer);
  (object.*get)(childId(child), &answer);
  return answer.vt == VT_I4 ? answer.lVal : -1;
}

}  // namespace Corvanthorne::Testing
