// A port that does not open says why: the texts of each cause, and real failures on
// pseudo-terminals (no such device, not a terminal, permissions that forbid the open, a port held
// by another process), each reported through VNetMonitor(0). Also the line speed as other tools
// see it.
#include "OpenFailure.h"
#include "CJXmodem.h"
#include "CSerloCtrl.h"
#include "ChildProcess.h"
#include "PortMap.h"
#include "PtyPair.h"
#include "TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <grp.h>
#include <linux/capability.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace serlo;

namespace {

using Cause = OpenFailure::Cause;

struct Monitored {
    CSerloCtrl ctrl;
    std::vector<std::string> drv;
    Monitored()
    {
        ctrl.Advise([this](std::int32_t id, const std::vector<Value>& args) {
            if (id == 3 && args[0].i == 0) drv.push_back(args[1].s);
        });
    }
    bool OpenPath(const std::string& path)
    {
        ctrl.SetProperty(dispid::ExtPort, Value::Str(path));
        ctrl.SetProperty(dispid::ExtPortOpen, Value::Bool(true));
        return ctrl.PortOpen();
    }
    std::string LastDrv() const { return drv.empty() ? std::string() : drv.back(); }
};

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Clears capabilities from the calling thread's effective set (they are per thread), so that root
// stands for an ordinary user; the permitted set keeps them for the way back.
class WithoutCapabilities {
public:
    explicit WithoutCapabilities(std::initializer_list<int> caps)
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        for (int cap : caps)
            reduced[CAP_TO_INDEX(cap)].effective &= ~CAP_TO_MASK(cap);
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutCapabilities()
    {
        if (dropped_ && ::syscall(SYS_capset, &header_, saved_) != 0)
            ADD_FAILURE() << "cannot restore the capabilities";
    }
    WithoutCapabilities(const WithoutCapabilities&) = delete;
    WithoutCapabilities& operator=(const WithoutCapabilities&) = delete;
    bool dropped() const { return dropped_; }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

// Runs a program with standard input from fd and returns what it printed.
std::string RunWithInput(std::vector<std::string> argv, int fd)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fd, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char*> args;
    for (auto& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; rc == 0 && (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (rc == 0) ::waitpid(pid, &status, 0);
    return text;
}

} // namespace

TEST(OpenFailureText, EachCauseNamesItsReason)
{
    OpenFailure f;
    f.port = "COM5";
    f.path = "/dev/ttyUSB0";
    f.cause = Cause::NoDevice;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): no such device (is the adapter plugged in?)");
    f.cause = Cause::InUse;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): in use by another program");
    f.holder = "pid 42 (minicom)";
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): in use by another program, pid 42 (minicom)");
    f.cause = Cause::NotSerial;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): not a serial device");
    f.cause = Cause::Other;
    f.error = EIO;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): Input/output error");

    f.cause = Cause::Permission;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): permission denied");
    f.group = "dialout";
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): permission denied; the user must be in group "
                           "dialout, which owns the device (usermod -aG dialout USER, then log "
                           "in again)");
    f.listed = true;
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): permission denied; the user was added to group "
                           "dialout after this session began: log out and in again");
    f.inGroup = true; // the group has no rights itself: no hint that would not help
    EXPECT_EQ(Describe(f), "COM5 (/dev/ttyUSB0): permission denied");

    OpenFailure direct;
    direct.cause = Cause::NoDevice;
    direct.port = direct.path = "/dev/ttyACM3";
    EXPECT_EQ(Describe(direct), "/dev/ttyACM3: no such device (is the adapter plugged in?)");
    OpenFailure unmapped;
    unmapped.cause = Cause::NotMapped;
    unmapped.port = "COM7";
    unmapped.detail = "/home/u/.config/serlo/ports.ini";
    EXPECT_EQ(Describe(unmapped), "COM7: not in the port map /home/u/.config/serlo/ports.ini");
    OpenFailure tcp;
    tcp.cause = Cause::Connect;
    tcp.port = "10.0.0.5:1001";
    tcp.detail = "Connection refused";
    EXPECT_EQ(Describe(tcp), "10.0.0.5:1001: Connection refused");
    EXPECT_EQ(Describe(OpenFailure{}), "");
}

TEST(OpenFailureText, ErrnoValuesFallIntoTheirCauses)
{
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", ENOENT).cause, Cause::NoDevice);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", ENXIO).cause, Cause::NoDevice);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", ENODEV).cause, Cause::NoDevice);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", EACCES).cause, Cause::Permission);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", EPERM).cause, Cause::Permission);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", EBUSY).cause, Cause::InUse);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", ENOTTY).cause, Cause::NotSerial);
    EXPECT_EQ(ClassifyOpenError("COM1", "/dev/none", EIO).cause, Cause::Other);
}

TEST(OpenFailure, UnmappedNameNamesThePortMap)
{
    TempHome home;
    Monitored m;
    m.ctrl.SetProperty(dispid::CommPort, Value::I2(7));
    m.ctrl.SetProperty(dispid::PortOpen, Value::Bool(true));
    EXPECT_FALSE(m.ctrl.PortOpen());
    EXPECT_EQ(m.ctrl.Link().LastOpenFailure().cause, Cause::NotMapped);
    EXPECT_EQ(m.LastDrv(), "$OPEN ERROR COM7: not in the port map " + home.portMap());
}

TEST(OpenFailure, MappedDeviceThatIsGoneIsNoDevice)
{
    TempHome home;
    std::ofstream(home.portMap()) << "[SERIALCOMM]\r\n" << home.dir() << "/ttyGone=COM3\r\n";
    Monitored m;
    m.ctrl.SetProperty(dispid::CommPort, Value::I2(3));
    m.ctrl.SetProperty(dispid::PortOpen, Value::Bool(true));
    EXPECT_FALSE(m.ctrl.PortOpen());
    EXPECT_EQ(m.LastDrv(), "$OPEN ERROR COM3 (" + home.dir() +
                               "/ttyGone): no such device (is the adapter plugged in?)");
    EXPECT_EQ(m.ctrl.Link().LastError(), ENOENT);
}

TEST(OpenFailure, AFileThatIsNoTerminalIsNotSerial)
{
    TempHome home;
    const std::string file = home.dir() + "/plain";
    std::ofstream(file) << "x";
    Monitored m;
    EXPECT_FALSE(m.OpenPath(file));
    EXPECT_EQ(m.LastDrv(), "$OPEN ERROR " + file + ": not a serial device");
}

TEST(OpenFailure, SuccessfulOpenReportsNothingAndClearsTheLastFailure)
{
    TempHome home;
    PtyPair pty;
    Monitored m;
    EXPECT_FALSE(m.OpenPath(home.dir() + "/none"));
    ASSERT_EQ(m.drv.size(), 1u);
    EXPECT_TRUE(m.OpenPath(pty.path()));
    EXPECT_EQ(m.drv.size(), 1u);
    EXPECT_EQ(m.ctrl.Link().LastOpenFailure().cause, Cause::None);
}

TEST(OpenFailure, PermissionsThatForbidTheOpenNameTheOwningGroup)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    Monitored m;
    const group* dialout = ::getgrnam("dialout");
    const gid_t gid = dialout ? dialout->gr_gid : 20;
    const std::string groupName = dialout ? "dialout" : "20";
    std::unique_ptr<WithoutCapabilities> unprivileged;
    if (::geteuid() == 0) {
        // Root opens anything: the device goes to another owner and group, and this thread
        // gives up the rights to override file permissions.
        ASSERT_EQ(::chown(pty.path().c_str(), 65534, gid), 0) << std::strerror(errno);
        ASSERT_EQ(::chmod(pty.path().c_str(), 0660), 0);
        unprivileged = std::make_unique<WithoutCapabilities>(
            std::initializer_list<int>{CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH});
        if (!unprivileged->dropped()) GTEST_SKIP() << "cannot drop the file-permission rights";
    } else {
        ASSERT_EQ(::chmod(pty.path().c_str(), 0), 0);
    }
    EXPECT_FALSE(m.OpenPath(pty.path()));
    unprivileged.reset();
    const OpenFailure& f = m.ctrl.Link().LastOpenFailure();
    EXPECT_EQ(f.cause, Cause::Permission);
    EXPECT_EQ(f.error, EACCES);
    ASSERT_FALSE(m.drv.empty());
    EXPECT_TRUE(Contains(m.LastDrv(), "$OPEN ERROR " + pty.path() + ": permission denied"))
        << m.LastDrv();
    if (::geteuid() == 0) {
        const std::string hint = "the user must be in group " + groupName +
                                 ", which owns the device (usermod -aG " + groupName +
                                 " USER, then log in again)";
        EXPECT_EQ(m.LastDrv(), "$OPEN ERROR " + pty.path() + ": permission denied; " + hint);
    }
}

TEST(OpenFailure, PortHeldByAnotherProcessNamesIt)
{
    TempHome home;
    PtyPair pty;
    ASSERT_TRUE(pty.ok());
    const std::string python = ChildProcess::find({"python3"});
    if (python.empty()) GTEST_SKIP() << "python3 is needed to hold the port";
    // The other program claims the port the way careful programs do: a lock and TIOCEXCL.
    const std::string script = "import fcntl, os, sys, termios, time\n"
                               "fd = os.open(sys.argv[1], os.O_RDWR | os.O_NOCTTY)\n"
                               "fcntl.flock(fd, fcntl.LOCK_EX)\n"
                               "fcntl.ioctl(fd, termios.TIOCEXCL)\n"
                               "print('held', file=sys.stderr, flush=True)\n"
                               "time.sleep(60)\n";
    int line[2];
    ASSERT_EQ(::pipe2(line, O_CLOEXEC), 0);
    ChildProcess holder({python, "-c", script, pty.path()}, line[1], home.dir(),
                        home.dir() + "/holder.err");
    ASSERT_TRUE(holder.started());
    ASSERT_TRUE(holder.waitForError("held", 10000)) << holder.errors();
    Monitored m;
    EXPECT_FALSE(m.OpenPath(pty.path()));
    EXPECT_EQ(m.ctrl.Link().LastOpenFailure().cause, Cause::InUse);
    EXPECT_TRUE(
        Contains(m.LastDrv(), "$OPEN ERROR " + pty.path() + ": in use by another program, pid "))
        << m.LastDrv();
    EXPECT_TRUE(Contains(m.LastDrv(), "(python3)")) << m.LastDrv();
    ::close(line[0]);
    ::close(line[1]);
}

TEST(OpenFailure, ClosingGivesUpTheExclusiveClaim)
{
    TempHome home;
    PtyPair pty;
    {
        Monitored first;
        ASSERT_TRUE(first.OpenPath(pty.path()));
    }
    // The pair keeps the slave open, so the terminal outlives the link's close; the claim must
    // not, or no other program of an ordinary user could open the port afterwards.
    const int fd = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = 0;
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(fd);
}

TEST(LineSpeed, StandardSpeedsAreVisibleToStty)
{
    TempHome home;
    PtyPair pty;
    Monitored m;
    m.ctrl.SetProperty(dispid::BaudRate, Value::I4(9600));
    ASSERT_TRUE(m.OpenPath(pty.path()));
    // The master end reads and shows the slave's settings.
    EXPECT_TRUE(Contains(RunWithInput({"stty", "speed"}, pty.master()), "9600"));
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
    EXPECT_EQ(::cfgetispeed(&t), B9600);

    m.ctrl.SetProperty(dispid::BaudRate, Value::I4(115200));
    EXPECT_EQ(RunWithInput({"stty", "speed"}, pty.master()), "115200\n");
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), B115200);

    // A rate without a code of its own still goes through.
    EXPECT_TRUE(m.ctrl.Link().SetSpeed(250000));
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    constexpr tcflag_t kOtherSpeed = 0010000; // the kernel's BOTHER
    EXPECT_EQ(t.c_cflag & CBAUD, kOtherSpeed);
}
