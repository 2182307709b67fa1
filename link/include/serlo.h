/* Serlo terminal-link control: C ABI of libserlo.so.
 * A host creates a control, drives it late-bound by DISPID through SerloInvoke and receives its
 * events (OnComm, OnTransfer, VNetMonitor) through one sink.
 * Threads: a control belongs to the thread that created it, and its events reach its sink on that
 * thread. Controls of different threads may be used at the same time; each such thread runs a Qt
 * event loop (a QThread's, or SerloDoEvents calls) and destroys its controls before it ends.
 * SerloInvoke from any other thread returns SERLO_E_WRONG_THREAD and does nothing; SerloAdvise
 * and SerloDestroy from another thread do nothing. A control destroyed from inside its own sink
 * falls silent at once and is freed when that call has returned. */
#ifndef SERLO_H
#define SERLO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define SERLO_API __attribute__((visibility("default")))
#else
#define SERLO_API
#endif

typedef struct SerloCtrl SerloCtrl;

enum {
    SERLO_VT_EMPTY = 0,
    SERLO_VT_I2 = 2,
    SERLO_VT_I4 = 3,
    SERLO_VT_BSTR = 8,
    SERLO_VT_BOOL = 11
};
enum { SERLO_DISPATCH_METHOD = 1, SERLO_DISPATCH_PROPERTYGET = 2, SERLO_DISPATCH_PROPERTYPUT = 4 };

typedef struct SerloVariant {
    int32_t vt;  /* SERLO_VT_* */
    int32_t i4;  /* value of I2, I4 and BOOL (False 0, True -1) */
    char* str;   /* BSTR: 8-bit text, may hold NUL bytes; NUL-terminated */
    int32_t len; /* BSTR: length in bytes */
} SerloVariant;

typedef void (*SerloEventSink)(void* ctx, int32_t dispid, const SerloVariant* args, int32_t nargs);

/* Return codes of SerloInvoke. */
#define SERLO_S_OK ((int32_t)0)
#define SERLO_E_MEMBERNOTFOUND ((int32_t)0x80020003)
#define SERLO_E_TYPEMISMATCH ((int32_t)0x80020005)
#define SERLO_E_OVERFLOW ((int32_t)0x8002000A)
#define SERLO_E_BADPARAMCOUNT ((int32_t)0x8002000E)
#define SERLO_E_SETNOTSUPPORTED ((int32_t)0x800A017F)
#define SERLO_E_INVALIDARG ((int32_t)0x80070057)   /* NULL or destroyed control, NULL args */
#define SERLO_E_WRONG_THREAD ((int32_t)0x8001010E) /* not the control's creating thread */
/* Return codes of DllRegisterServer / DllUnregisterServer. */
#define SERLO_SELFREG_E_TYPELIB ((int32_t)0x80040200)
#define SERLO_SELFREG_E_CLASS ((int32_t)0x80040201)

/* Event DISPIDs. */
#define SERLO_EVENT_ONCOMM 1
#define SERLO_EVENT_ONTRANSFER 2
#define SERLO_EVENT_VNETMONITOR 3

SERLO_API SerloCtrl* SerloCreate(void);
SERLO_API void SerloDestroy(SerloCtrl* ctrl);
SERLO_API int32_t SerloInvoke(SerloCtrl* ctrl, int32_t dispid, int32_t flags,
                              const SerloVariant* args, int32_t nargs, SerloVariant* result);
SERLO_API void SerloAdvise(SerloCtrl* ctrl, SerloEventSink sink, void* ctx);
SERLO_API void SerloDoEvents(int32_t milliseconds);   /* pump pending events for a non-Qt host */
SERLO_API void SerloFreeString(char* str);            /* frees a BSTR the library returned */
SERLO_API int32_t SerloGetIDOfName(const char* name); /* DISPID of a member name, -1 when unknown */
SERLO_API int32_t DllRegisterServer(void);
SERLO_API int32_t DllUnregisterServer(void);

#ifdef __cplusplus
}
#endif

#endif /* SERLO_H */
