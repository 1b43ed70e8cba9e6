#include <qel/platform/DispatchErrorText.h>

#include <qel/platform/ComActivation.h>
#include <qel/platform/Dispatch.h>

namespace qel::platform {

std::string DispatchErrorText(HRESULT hr) {
    switch (hr) {
        case DISP_E_UNKNOWNNAME: return "unknown member name";
        case DISP_E_MEMBERNOTFOUND: return "the member does not support this kind of call";
        case DISP_E_BADPARAMCOUNT: return "wrong number of arguments";
        case DISP_E_TYPEMISMATCH: return "an argument has a type that cannot be converted";
        case DISP_E_OVERFLOW: return "an argument is out of range";
        case DISP_E_PARAMNOTFOUND: return "a named argument is not known";
        case DISP_E_NONAMEDARGS: return "the member takes no named arguments";
        case DISP_E_EXCEPTION: return "the member failed with an exception";
        case CO_E_CLASSSTRING: return "the ProgID is not registered";
        case REGDB_E_CLASSNOTREG: return "the class has no library registered";
        case CO_E_DLLNOTFOUND: return "the registered library cannot be loaded";
        case CO_E_ERRORINDLL: return "the registered library is not an automation server";
        case RPC_E_WRONG_THREAD: return "the object belongs to another thread";
        case E_OUTOFMEMORY: return "out of memory";
        case E_NOINTERFACE: return "the object does not support the interface";
        default: return {};
    }
}

}  // namespace qel::platform
