// A thin wrapper over the C ABI for tests: one control, typed property access, events recorded.
#pragma once

#include "serlo.h"

#include <QThread>

#include <string>
#include <vector>

struct RecordedEvent {
    int dispid;
    std::vector<int> ints;
    std::string text;
    QThread* thread;
};

class Ctrl {
public:
    Ctrl() : c_(SerloCreate()) { SerloAdvise(c_, &Ctrl::Sink, this); }
    ~Ctrl() { SerloDestroy(c_); }
    Ctrl(const Ctrl&) = delete;
    Ctrl& operator=(const Ctrl&) = delete;

    SerloCtrl* raw() const { return c_; }

    static SerloVariant I4(int v) { return {SERLO_VT_I4, v, nullptr, 0}; }
    static SerloVariant I2(int v) { return {SERLO_VT_I2, v, nullptr, 0}; }
    static SerloVariant Bool(bool v) { return {SERLO_VT_BOOL, v ? -1 : 0, nullptr, 0}; }
    static SerloVariant Str(const std::string& s)
    {
        return {SERLO_VT_BSTR, 0, const_cast<char*>(s.data()), static_cast<int32_t>(s.size())};
    }

    int32_t put(int id, SerloVariant v)
    {
        return SerloInvoke(c_, id, SERLO_DISPATCH_PROPERTYPUT, &v, 1, nullptr);
    }
    int32_t put(int id, int v) { return put(id, I4(v)); }
    int32_t putStr(int id, const std::string& s) { return put(id, Str(s)); }

    // Reads a property; the variant's string (if any) is copied and freed.
    SerloVariant get(int id, int32_t* rc = nullptr, std::string* text = nullptr)
    {
        SerloVariant out{};
        const int32_t r = SerloInvoke(c_, id, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &out);
        if (rc) *rc = r;
        if (out.vt == SERLO_VT_BSTR) {
            if (text) *text = std::string(out.str, static_cast<std::size_t>(out.len));
            SerloFreeString(out.str);
            out.str = nullptr;
        }
        return out;
    }
    int geti(int id) { return get(id).i4; }
    std::string gets(int id)
    {
        std::string s;
        get(id, nullptr, &s);
        return s;
    }
    bool getb(int id) { return get(id).i4 != 0; }

    int32_t call(int id, std::vector<SerloVariant> args, SerloVariant* out = nullptr)
    {
        return SerloInvoke(c_, id, SERLO_DISPATCH_METHOD, args.data(),
                           static_cast<int32_t>(args.size()), out);
    }
    std::string callStr(int id, std::vector<SerloVariant> args)
    {
        SerloVariant out{};
        call(id, std::move(args), &out);
        std::string s;
        if (out.vt == SERLO_VT_BSTR) {
            s.assign(out.str, static_cast<std::size_t>(out.len));
            SerloFreeString(out.str);
        }
        return s;
    }

    std::vector<RecordedEvent> events;

private:
    static void Sink(void* ctx, int32_t dispid, const SerloVariant* args, int32_t nargs)
    {
        RecordedEvent e{dispid, {}, {}, QThread::currentThread()};
        for (int i = 0; i < nargs; ++i) {
            if (args[i].vt == SERLO_VT_BSTR)
                e.text.assign(args[i].str, static_cast<std::size_t>(args[i].len));
            else
                e.ints.push_back(args[i].i4);
        }
        static_cast<Ctrl*>(ctx)->events.push_back(std::move(e));
    }

    SerloCtrl* c_;
};

// DISPIDs used by the tests.
enum {
    D_BaudRate = 1,
    D_Handshaking = 2,
    D_RTSEnable = 3,
    D_Settings = 4,
    D_DTREnable = 5,
    D_TxQueue = 6,
    D_RxQueue = 7,
    D_EventMask = 8,
    D_Break = 9,
    D_CommPort = 10,
    D_VNetTimeout = 11,
    D_iPort = 12,
    D_iAddress = 13,
    D_ExtPort = 14,
    D_RxCount = 15,
    D_TxSpace = 16,
    D_Text = 17,
    D_Char = 18,
    D_CTSHolding = 19,
    D_DSRHolding = 20,
    D_CommID = 21,
    D_CommEvent = 22,
    D_CommError = 23,
    D_RLSDHolding = 24,
    D_Busy = 25,
    D_LastPassword = 26,
    D_RINGHolding = 27,
    D_ExtPortOpen = 28,
    D_PortOpen = 29,
    D_Cancel = 30,
    D_PostFile = 31,
    D_RecvFile = 32,
    D_ClareTxBuffer = 33,
    D_ClearRxBuffer = 34,
    D_SendVNetCmd = 35,
    D_EnumCommPort = 59,
    D_ReadyState = -525,
    D_Enabled = -514,
    D_AboutBox = -552,
};
