// A library that exports the link control's C functions but numbers its members otherwise: what
// an old, incompatible build left registered would look like to the program.
#include "serlo.h"

extern "C" {

SerloCtrl* SerloCreate(void)
{
    return nullptr;
}
void SerloDestroy(SerloCtrl*) {}
int32_t SerloInvoke(SerloCtrl*, int32_t, int32_t, const SerloVariant*, int32_t, SerloVariant*)
{
    return SERLO_E_INVALIDARG;
}
void SerloAdvise(SerloCtrl*, SerloEventSink, void*) {}
void SerloDoEvents(int32_t) {}
void SerloFreeString(char*) {}
int32_t SerloGetIDOfName(const char*)
{
    return 7;
}
int32_t DllRegisterServer(void)
{
    return SERLO_S_OK;
}
int32_t DllUnregisterServer(void)
{
    return SERLO_S_OK;
}

} // extern "C"
