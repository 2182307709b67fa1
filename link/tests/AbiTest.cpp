// The control through its C ABI, as any host (the main program, Python) uses it.
#include "AbiHelpers.h"
#include "PtyPair.h"
#include "TempHome.h"
#include "Wait.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

TEST(Abi, NewControlHasItsDefaults)
{
    TempHome home;
    Ctrl c;
    EXPECT_EQ(c.geti(D_CommPort), 1);
    EXPECT_EQ(c.geti(D_BaudRate), 19200);
    EXPECT_EQ(c.gets(D_Settings), "N,8,1");
    EXPECT_EQ(c.geti(D_VNetTimeout), 3000);
    EXPECT_EQ(c.gets(D_iAddress), "127.0.0.1");
    EXPECT_EQ(c.geti(D_iPort), 1001);
    EXPECT_EQ(c.geti(D_RxQueue), 256);
    EXPECT_EQ(c.geti(D_TxQueue), 256);
    EXPECT_EQ(c.geti(D_EventMask), 1);
    EXPECT_EQ(c.geti(D_Handshaking), 0);
    EXPECT_TRUE(c.getb(D_RTSEnable));
    EXPECT_TRUE(c.getb(D_DTREnable));
    EXPECT_FALSE(c.getb(D_Break));
    EXPECT_FALSE(c.getb(D_PortOpen));
    EXPECT_FALSE(c.getb(D_ExtPortOpen));
    EXPECT_EQ(c.geti(D_CommID), -1);
    EXPECT_EQ(c.gets(D_ExtPort), "");
    EXPECT_EQ(c.gets(D_LastPassword), "");
    EXPECT_EQ(c.geti(D_RxCount), 0);
    EXPECT_EQ(c.geti(D_TxSpace), 0);
    EXPECT_EQ(c.geti(D_CommError), 0);
    EXPECT_FALSE(c.getb(D_CTSHolding));
    EXPECT_FALSE(c.getb(D_DSRHolding));
    EXPECT_FALSE(c.getb(D_RLSDHolding));
    EXPECT_FALSE(c.getb(D_RINGHolding));
    EXPECT_FALSE(c.getb(D_Busy));
    EXPECT_EQ(c.gets(D_Text), "");
    EXPECT_EQ(c.geti(D_Char), 0);
    EXPECT_EQ(c.geti(D_ReadyState), 4);
    EXPECT_TRUE(c.getb(D_Enabled));
    // Result types are the declared ones.
    EXPECT_EQ(c.get(D_CommPort).vt, SERLO_VT_I2);
    EXPECT_EQ(c.get(D_BaudRate).vt, SERLO_VT_I4);
    EXPECT_EQ(c.get(D_PortOpen).vt, SERLO_VT_BOOL);
}

TEST(Abi, SettingsTextIsParsedOrReset)
{
    TempHome home;
    Ctrl c;
    EXPECT_EQ(c.putStr(D_Settings, "e,7,2"), SERLO_S_OK);
    EXPECT_EQ(c.gets(D_Settings), "e,7,2");
    EXPECT_EQ(c.putStr(D_Settings, "X,8,1"), SERLO_S_OK);
    EXPECT_EQ(c.gets(D_Settings), "N,8,1");
    // Any length, any bytes: a defined result.
    EXPECT_EQ(c.putStr(D_Settings, std::string(70000, '\x01')), SERLO_S_OK);
    EXPECT_EQ(c.gets(D_Settings), "N,8,1");
    EXPECT_EQ(c.putStr(D_Settings, std::string("E\0,9", 4)), SERLO_S_OK);
}

TEST(Abi, ReadOnlyPropertiesRefuseWrites)
{
    TempHome home;
    Ctrl c;
    for (int id : {D_RxCount, D_TxSpace, D_CTSHolding, D_DSRHolding, D_CommID, D_CommEvent,
                   D_CommError, D_RLSDHolding, D_Busy, D_RINGHolding, D_ReadyState}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(c.put(id, 5), SERLO_E_SETNOTSUPPORTED);
    }
    EXPECT_EQ(c.putStr(D_LastPassword, "x"), SERLO_E_SETNOTSUPPORTED);
    EXPECT_EQ(c.geti(D_RxCount), 0);
    EXPECT_EQ(c.geti(D_CommID), -1);
}

TEST(Abi, CallsThatDoNotFitTheMemberAreRefused)
{
    TempHome home;
    Ctrl c;
    EXPECT_EQ(c.put(D_iPort, Ctrl::I4(40000)), SERLO_E_OVERFLOW);
    EXPECT_EQ(c.geti(D_iPort), 1001);
    EXPECT_EQ(c.put(D_iPort, Ctrl::I4(40000 - 65536)), SERLO_S_OK);
    EXPECT_EQ(c.geti(D_iPort), 40000 - 65536);
    EXPECT_EQ(c.put(D_BaudRate, Ctrl::Str("9600")), SERLO_E_TYPEMISMATCH);
    EXPECT_EQ(c.put(D_iAddress, Ctrl::I4(1)), SERLO_E_TYPEMISMATCH);
    EXPECT_EQ(c.put(D_RTSEnable, Ctrl::I2(7)), SERLO_S_OK); // any non-zero is True
    EXPECT_TRUE(c.getb(D_RTSEnable));

    SerloVariant two[2] = {Ctrl::I4(1), Ctrl::I4(2)};
    EXPECT_EQ(SerloInvoke(c.raw(), D_BaudRate, SERLO_DISPATCH_PROPERTYPUT, two, 2, nullptr),
              SERLO_E_BADPARAMCOUNT);
    EXPECT_EQ(SerloInvoke(c.raw(), D_BaudRate, SERLO_DISPATCH_PROPERTYGET, two, 1, nullptr),
              SERLO_E_BADPARAMCOUNT);
    EXPECT_EQ(c.call(D_EnumCommPort, {}), SERLO_E_BADPARAMCOUNT);
    EXPECT_EQ(SerloInvoke(c.raw(), D_BaudRate, SERLO_DISPATCH_METHOD, nullptr, 0, nullptr),
              SERLO_E_MEMBERNOTFOUND);
    EXPECT_EQ(SerloInvoke(c.raw(), D_Cancel, SERLO_DISPATCH_PROPERTYPUT, two, 1, nullptr),
              SERLO_E_MEMBERNOTFOUND);
    EXPECT_EQ(SerloInvoke(c.raw(), 12345, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, nullptr),
              SERLO_E_MEMBERNOTFOUND);
    EXPECT_EQ(SerloInvoke(nullptr, D_BaudRate, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, nullptr),
              SERLO_E_INVALIDARG);
    EXPECT_EQ(SerloInvoke(c.raw(), D_BaudRate, SERLO_DISPATCH_PROPERTYPUT, nullptr, 1, nullptr),
              SERLO_E_INVALIDARG);
    SerloVariant result{};
    EXPECT_EQ(SerloInvoke(c.raw(), 12345, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &result),
              SERLO_E_MEMBERNOTFOUND);
    EXPECT_EQ(result.vt, SERLO_VT_EMPTY);
    EXPECT_EQ(result.str, nullptr);
    // A bad string descriptor is a type mismatch, not a crash.
    SerloVariant bad{SERLO_VT_BSTR, 0, nullptr, 5};
    EXPECT_EQ(c.put(D_iAddress, bad), SERLO_E_TYPEMISMATCH);
}

TEST(Abi, NamesResolveToDispids)
{
    EXPECT_EQ(SerloGetIDOfName("PortOpen"), 29);
    EXPECT_EQ(SerloGetIDOfName("portopen"), 29);
    EXPECT_EQ(SerloGetIDOfName("EnumCommPort"), 59);
    EXPECT_EQ(SerloGetIDOfName("AboutBox"), -552);
    EXPECT_EQ(SerloGetIDOfName("OnComm"), -1); // events are not members
    EXPECT_EQ(SerloGetIDOfName("NoSuchMember"), -1);
    EXPECT_EQ(SerloGetIDOfName(nullptr), -1);
}

TEST(Abi, OpeningAMissingPortLeavesTheLinkClosed)
{
    TempHome home;
    Ctrl c;
    EXPECT_EQ(c.put(D_CommPort, Ctrl::I2(99)), SERLO_S_OK);
    EXPECT_EQ(c.put(D_PortOpen, Ctrl::Bool(true)), SERLO_S_OK);
    EXPECT_FALSE(c.getb(D_PortOpen));
    EXPECT_EQ(c.geti(D_CommID), -1);
    c.putStr(D_ExtPort, "/dev/does-not-exist");
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    EXPECT_FALSE(c.getb(D_ExtPortOpen));
    // Properties that need an open port stay harmless.
    EXPECT_EQ(c.put(D_Break, Ctrl::Bool(true)), SERLO_S_OK);
    EXPECT_EQ(c.put(D_Text, Ctrl::Str("lost")), SERLO_S_OK);
    EXPECT_EQ(c.put(D_Char, Ctrl::I2(65)), SERLO_S_OK);
    EXPECT_EQ(c.call(D_Cancel, {}), SERLO_S_OK);
}

TEST(Abi, BytesBothWaysThroughExtPort)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    ASSERT_TRUE(c.getb(D_ExtPortOpen));
    EXPECT_TRUE(c.getb(D_PortOpen));
    EXPECT_GE(c.geti(D_CommID), 0);

    c.putStr(D_Text, std::string("\x02V\r\x00\xff", 5));
    EXPECT_EQ(pty.receive(5), std::string("\x02V\r\x00\xff", 5));
    c.put(D_Char, Ctrl::I2(0x141)); // only the low byte goes out
    EXPECT_EQ(pty.receive(1), "A");

    pty.send(std::string("hello\0\x80", 7));
    ASSERT_TRUE(px::waitUntil([&] { return c.geti(D_RxCount) == 7; }, 2000ms));
    EXPECT_EQ(c.geti(D_Char), 'h');
    EXPECT_EQ(c.gets(D_Text), std::string("ello\0\x80", 6));
    EXPECT_EQ(c.geti(D_RxCount), 0);
    EXPECT_EQ(c.geti(D_Char), 0);

    c.put(D_ExtPortOpen, Ctrl::Bool(false));
    EXPECT_FALSE(c.getb(D_PortOpen));
    EXPECT_EQ(c.geti(D_CommID), -1);
}

TEST(Abi, RingCapacityFollowsRxQueue)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.put(D_RxQueue, Ctrl::I2(256));
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    pty.send(std::string(300, 'x'));
    px::waitFor(200ms);
    EXPECT_EQ(c.geti(D_RxCount), 256);
    EXPECT_TRUE(c.geti(D_CommError) & 1); // CE_RXOVER
    c.put(D_RxQueue, Ctrl::I2(1024));
    EXPECT_EQ(c.geti(D_RxCount), 0);
}

TEST(Abi, OnCommArrivesOnTheHostThreadOnlyWhenTheMaskAllows)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_EventMask, 0);
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    pty.send("abc");
    ASSERT_TRUE(px::waitUntil([&] { return c.geti(D_RxCount) == 3; }, 2000ms));
    px::waitFor(50ms);
    EXPECT_TRUE(c.events.empty());
    EXPECT_EQ(c.geti(D_CommEvent) & 1, 1); // the event was still seen
    EXPECT_EQ(c.geti(D_CommEvent), 0);     // and reading cleared it

    c.put(D_EventMask, 1);
    pty.send("d");
    ASSERT_TRUE(px::waitUntil([&] { return !c.events.empty(); }, 2000ms));
    EXPECT_EQ(c.events[0].dispid, SERLO_EVENT_ONCOMM);
    EXPECT_EQ(c.events[0].thread, QCoreApplication::instance()->thread());
}

TEST(Abi, ChangingCommPortClosesTheLink)
{
    TempHome home;
    PtyPair pty;
    {
        std::ofstream(home.portMap()) << "[SERIALCOMM]\r\n" << pty.path() << "=COM7\r\n";
    }
    Ctrl c;
    c.put(D_CommPort, Ctrl::I2(7));
    c.put(D_PortOpen, Ctrl::Bool(true));
    ASSERT_TRUE(c.getb(D_PortOpen));
    c.put(D_CommPort, Ctrl::I2(7));
    EXPECT_FALSE(c.getb(D_PortOpen));
}

TEST(Abi, EnumCommPortFollowsThePortMap)
{
    TempHome home;
    {
        std::ofstream(home.portMap())
            << "; ports of this machine\r\n[SERIALCOMM]\r\n/dev/pts/77=COM7\r\n"
            << "/dev/serial/by-id/usb-X-if00=COM10\r\n";
    }
    Ctrl c;
    EXPECT_EQ(c.callStr(D_EnumCommPort, {Ctrl::I2(0)}), "COM7");
    EXPECT_EQ(c.callStr(D_EnumCommPort, {Ctrl::I2(1)}), "COM10");
    EXPECT_EQ(c.callStr(D_EnumCommPort, {Ctrl::I2(5000)}), "");
    EXPECT_EQ(c.callStr(D_EnumCommPort, {Ctrl::I2(-1)}), "");
    // The file stays authoritative: nothing it held was renumbered.
    const std::string map = ReadFile(home.portMap());
    EXPECT_NE(map.find("/dev/pts/77=COM7"), std::string::npos);
    EXPECT_NE(map.find("; ports of this machine"), std::string::npos);
}

TEST(Abi, ClosingWhileBytesArriveEndsTheReader)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.put(D_RxQueue, Ctrl::I2(32767));
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    ASSERT_TRUE(c.getb(D_PortOpen));
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const std::string chunk(512, 'z');
        while (!stop.load())
            pty.send(chunk);
    });
    px::waitFor(30ms);
    c.put(D_ExtPortOpen, Ctrl::Bool(false));
    const int after = c.geti(D_RxCount);
    px::waitFor(50ms);
    // No reader is left to push bytes once the close has returned.
    EXPECT_EQ(c.geti(D_RxCount), after);
    stop = true;
    flood.join();
}

TEST(Abi, VanishedPortClosesTheLink)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    ASSERT_TRUE(c.getb(D_PortOpen));
    pty.hangUp();
    EXPECT_TRUE(px::waitUntil([&] { return !c.getb(D_PortOpen); }, 2000ms));
    EXPECT_EQ(c.geti(D_CommID), -1);
    EXPECT_EQ(c.put(D_Text, Ctrl::Str("after")), SERLO_S_OK);
}

TEST(Abi, ASecondOpenOfTheSamePortIsRefused)
{
    TempHome home;
    PtyPair pty;
    Ctrl first, second;
    first.putStr(D_ExtPort, pty.path());
    second.putStr(D_ExtPort, pty.path());
    first.put(D_ExtPortOpen, Ctrl::Bool(true));
    ASSERT_TRUE(first.getb(D_PortOpen));
    second.put(D_ExtPortOpen, Ctrl::Bool(true));
    EXPECT_FALSE(second.getb(D_PortOpen));
}

TEST(Abi, CancelSendsTheCancelSequence)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    EXPECT_EQ(c.call(D_Cancel, {}), SERLO_S_OK);
    EXPECT_EQ(pty.receive(6), "\x18\x18\x18\x08\x08\x08");
}

TEST(Abi, FileTransferMethodsTakeTheirDeclaredArguments)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    EXPECT_EQ(SerloGetIDOfName("PostFile"), D_PostFile);
    EXPECT_EQ(SerloGetIDOfName("RecvFile"), D_RecvFile);
    EXPECT_EQ(c.call(D_PostFile, {Ctrl::I4(1)}), SERLO_E_TYPEMISMATCH);
    EXPECT_EQ(c.call(D_RecvFile, {Ctrl::Str("x.bin")}), SERLO_E_BADPARAMCOUNT);
    // A file that cannot be opened: False, and the cancel sequence on the line.
    SerloVariant out{};
    EXPECT_EQ(c.call(D_PostFile, {Ctrl::Str(home.dir() + "/missing.bin")}, &out), SERLO_S_OK);
    EXPECT_EQ(out.vt, SERLO_VT_BOOL);
    EXPECT_EQ(out.i4, 0);
    EXPECT_EQ(pty.receive(6), "\x18\x18\x18\x08\x08\x08");
    EXPECT_EQ(c.call(D_RecvFile, {Ctrl::Str(home.dir() + "/no/dir/x.bin"), Ctrl::Bool(true)}, &out),
              SERLO_S_OK);
    EXPECT_EQ(out.vt, SERLO_VT_BOOL);
    EXPECT_EQ(out.i4, 0);
}

TEST(Abi, ClearRxBufferEmptiesTheRing)
{
    TempHome home;
    PtyPair pty;
    Ctrl c;
    c.putStr(D_ExtPort, pty.path());
    c.put(D_ExtPortOpen, Ctrl::Bool(true));
    pty.send("12345");
    ASSERT_TRUE(px::waitUntil([&] { return c.geti(D_RxCount) == 5; }, 2000ms));
    EXPECT_EQ(c.call(D_ClearRxBuffer, {}), SERLO_S_OK);
    EXPECT_EQ(c.geti(D_RxCount), 0);
    EXPECT_EQ(c.call(D_ClareTxBuffer, {}), SERLO_S_OK);
}

TEST(Abi, AboutBoxDoesNothingWithoutAGui)
{
    Ctrl c;
    EXPECT_EQ(c.call(D_AboutBox, {}), SERLO_S_OK);
}

TEST(Abi, RegistrationWritesAndRemovesTheEntries)
{
    TempHome home;
    ASSERT_EQ(DllRegisterServer(), SERLO_S_OK);
    std::string reg = ReadFile(home.registry());
    EXPECT_NE(reg.find("[SERLO.SerloCtrl.3]"), std::string::npos);
    EXPECT_NE(reg.find("[SERLO.SerloPropPage.3]"), std::string::npos);
    EXPECT_NE(reg.find("TypeLib=SERLOLib2"), std::string::npos);
    EXPECT_NE(reg.find("Version=1.2"), std::string::npos);
    EXPECT_NE(reg.find("Caption=General (PX740)"), std::string::npos);
    EXPECT_NE(reg.find("Path=/"), std::string::npos);
    EXPECT_NE(reg.find("libserlo.so"), std::string::npos);
    ASSERT_EQ(DllUnregisterServer(), SERLO_S_OK);
    reg = ReadFile(home.registry());
    EXPECT_EQ(reg.find("SERLO.SerloCtrl.3"), std::string::npos);
    EXPECT_EQ(reg.find("SERLO.SerloPropPage.3"), std::string::npos);
}

TEST(Abi, CallsOnADestroyedControlAreRefused)
{
    SerloCtrl* c = SerloCreate();
    ASSERT_NE(c, nullptr);
    SerloDestroy(c);
    SerloVariant out{};
    EXPECT_EQ(SerloInvoke(c, D_BaudRate, SERLO_DISPATCH_PROPERTYGET, nullptr, 0, &out),
              SERLO_E_INVALIDARG);
    SerloAdvise(c, nullptr, nullptr);
    SerloDestroy(c); // a second destroy does nothing
    SerloDestroy(nullptr);
}
