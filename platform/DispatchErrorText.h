// The words for the HRESULT of a failed automation call or activation, for
// messages a client prints ("wrong number of arguments"):
//
//     if (FAILED(hr)) std::printf("%s: %s\n", name, DispatchErrorText(hr).c_str());
//
// Empty for a code it does not know; the caller shows the number then.
#pragma once

#include <string>

#include <qel/platform/Export.h>
#include <qel/platform/WinTypes.h>

#ifndef _WIN32
// The object belongs to another thread (a call across apartments refused).
constexpr HRESULT RPC_E_WRONG_THREAD = static_cast<HRESULT>(0x8001010Eu);
#endif

namespace qel::platform {

QEL_API std::string DispatchErrorText(HRESULT hr);

}  // namespace qel::platform
