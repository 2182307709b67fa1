/* Serlo terminal-link control: the facts a host needs besides the C ABI of serlo.h, shared by
 * the library and the programs: the DISPID of every property and method, the ProgIDs and where
 * the control registers itself. */
#ifndef SERLO_IDS_H
#define SERLO_IDS_H

/* The ProgID a host creates the control by, and that of its property page. */
#define SERLO_PROGID "SERLO.SerloCtrl.3"
#define SERLO_PAGE_PROGID "SERLO.SerloPropPage.3"

/* The registration file, below ${XDG_DATA_HOME:-$HOME/.local/share}: one section per ProgID,
 * its key "Path" the library's absolute path. */
#define SERLO_REGISTRY_FILE "serlo/registry.ini"

/* Every member of the dispatch interface as X(name, DISPID). */
#define SERLO_MEMBERS(X)                                                                           \
    X(BaudRate, 1)                                                                                 \
    X(Handshaking, 2)                                                                              \
    X(RTSEnable, 3)                                                                                \
    X(Settings, 4)                                                                                 \
    X(DTREnable, 5)                                                                                \
    X(TxQueue, 6)                                                                                  \
    X(RxQueue, 7)                                                                                  \
    X(EventMask, 8)                                                                                \
    X(Break, 9)                                                                                    \
    X(CommPort, 10)                                                                                \
    X(VNetTimeout, 11)                                                                             \
    X(iPort, 12)                                                                                   \
    X(iAddress, 13)                                                                                \
    X(ExtPort, 14)                                                                                 \
    X(RxCount, 15)                                                                                 \
    X(TxSpace, 16)                                                                                 \
    X(Text, 17)                                                                                    \
    X(Char, 18)                                                                                    \
    X(CTSHolding, 19)                                                                              \
    X(DSRHolding, 20)                                                                              \
    X(CommID, 21)                                                                                  \
    X(CommEvent, 22)                                                                               \
    X(CommError, 23)                                                                               \
    X(RLSDHolding, 24)                                                                             \
    X(Busy, 25)                                                                                    \
    X(LastPassword, 26)                                                                            \
    X(RINGHolding, 27)                                                                             \
    X(ExtPortOpen, 28)                                                                             \
    X(PortOpen, 29)                                                                                \
    X(Cancel, 30)                                                                                  \
    X(PostFile, 31)                                                                                \
    X(RecvFile, 32)                                                                                \
    X(ClareTxBuffer, 33)                                                                           \
    X(ClearRxBuffer, 34)                                                                           \
    X(SendVNetCmd, 35)                                                                             \
    X(Polling, 36)                                                                                 \
    X(SetID, 37)                                                                                   \
    X(Login, 38)                                                                                   \
    X(Logout, 39)                                                                                  \
    X(SetPassword, 40)                                                                             \
    X(GetTime, 41)                                                                                 \
    X(GetVersion, 42)                                                                              \
    X(Reset, 43)                                                                                   \
    X(GetRecord, 44)                                                                               \
    X(EraseRecord, 45)                                                                             \
    X(WriteRecord, 46)                                                                             \
    X(GetRegister, 47)                                                                             \
    X(SetRegister, 48)                                                                             \
    X(Dial, 49)                                                                                    \
    X(SetTime, 50)                                                                                 \
    X(GetFileInfo, 51)                                                                             \
    X(SendFileReq, 52)                                                                             \
    X(RecvFileReq, 53)                                                                             \
    X(DelFile, 54)                                                                                 \
    X(MkDir, 55)                                                                                   \
    X(DelDir, 56)                                                                                  \
    X(GetFileCount, 57)                                                                            \
    X(LoginX, 58)                                                                                  \
    X(EnumCommPort, 59)                                                                            \
    X(GetRecordCount, 60)                                                                          \
    X(ReadyState, -525)                                                                            \
    X(Enabled, -514)                                                                               \
    X(AboutBox, -552)

/* The same as constants: SERLO_DISPID_BaudRate and so on. */
#define SERLO_DISPID_ENTRY(name, id) SERLO_DISPID_##name = (id),
enum { SERLO_MEMBERS(SERLO_DISPID_ENTRY) };
#undef SERLO_DISPID_ENTRY

#endif /* SERLO_IDS_H */
