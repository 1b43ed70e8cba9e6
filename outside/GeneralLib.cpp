#include <qel/outside/GeneralLib.h>

#include <qel/outside/LogInternal.h>

BOOL GeneralLibDLLInit() {
    qel::outside::InitialiseLog();
    return TRUE;
}
