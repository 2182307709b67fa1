// px740 / px745: the same program under two titles. With a display the core runs behind the main
// window; without one (the offscreen or minimal platform) behind the headless view, where only a
// "/TS:" run has anything to do.
#include "ArchiveCommands.h"
#include "CmdSwitch.h"
#include "HeadlessView.h"
#include "LongOptions.h"
#include "MainWindow.h"
#include "Program.h"
#include "XdgPaths.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#ifndef PX_PROGRAM_TITLE
#define PX_PROGRAM_TITLE "PX740"
#endif
#ifndef PX_VERSION
#define PX_VERSION "0"
#endif

namespace {

int signalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

// One instance per program title and program folder: a lock held on a file of the program
// folder for the whole run. Returns the descriptor, -1 when another instance holds the lock,
// -2 when there is no folder to lock in (the start-up then reports that itself).
int LockInstance(const px::ProgramPaths& paths)
{
    std::string name = paths.title;
    for (auto& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string file = paths.folder + "/." + name + ".lock";
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC); // a second start changes nothing
    if (fd < 0) {
        std::error_code ec;
        std::filesystem::create_directories(paths.folder, ec);
        fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    }
    if (fd < 0) return -2;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The local socket through which a second start asks this one to show its window.
QString InstanceName(const px::ProgramPaths& paths)
{
    const QByteArray key =
        QCryptographicHash::hash(QByteArray::fromStdString(paths.folder), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QString::fromStdString(paths.title).toLower() + "-" + QString::fromLatin1(key);
}

bool IsSchedulerStart(const std::string& commandLine)
{
    const std::string mode = px::GetCmdSwitch(commandLine, "/TS:", false);
    return mode == "ONCE" || mode == "INTERVAL" || mode == "TIMETABLE";
}

// A person stopping the program cancels the dialogs first, so the handlers behind them finish
// and release the link; the close that follows then is not refused for ever.
void CancelModalDialogs()
{
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        modal->close();
    }
}

std::string LowerCase(std::string text)
{
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A command line of long options: answered here, without a window or a display, and without
// the single-instance lock (an export may run beside the program).
int RunLongOptions(const std::vector<std::string>& args, const std::string& title)
{
    const std::string exe = LowerCase(title);
    const px::LongOptions o = px::ParseLongOptions(args);
    if (!o.error.empty()) {
        (void)std::fprintf(stderr, "%s: %s\n\n%s", exe.c_str(), o.error.c_str(),
                           px::Usage(exe, title).c_str());
        return 2;
    }
    switch (o.command) {
    case px::LongOptions::Command::Version:
        std::printf("%s %s (%s%s)\n", exe.c_str(), PX_VERSION, title.c_str(),
                    px::Program::VersionSuffix().c_str());
        return 0;
    case px::LongOptions::Command::Export:
        return px::archive::RunExportCommand(o, title);
    case px::LongOptions::Command::ArchiveStatus:
        return px::archive::RunStatusCommand(title);
    case px::LongOptions::Command::Help:
    case px::LongOptions::Command::None:
        break;
    }
    std::printf("%s", px::Usage(exe, title).c_str());
    return 0;
}

} // namespace

// Process set-up in its order: signals, platform, single instance, window, stop handling.
// NOLINTNEXTLINE(readability-function-size)
int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (px::IsOptionLine(args)) return RunLongOptions(args, PX_PROGRAM_TITLE);
    // SIGTERM and SIGINT stop the way a person would: the scheduler's Stop, then closing.
    // Caught from the start, so a stop during start-up waits for the event loop instead of
    // killing the program between its writes.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) == 0) {
        (void)std::signal(SIGTERM, OnSignal);
        (void)std::signal(SIGINT, OnSignal);
    }
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") &&
        !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without one (cron, root, a service) Qt would warn into the job's output on every run.
    (void)px::xdg::EnsureRuntimeDir(PX_PROGRAM_TITLE);
    QApplication app(argc, argv);
    const std::string title = PX_PROGRAM_TITLE;
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }

    const QString platform = QGuiApplication::platformName();
    const bool headless = platform == "offscreen" || platform == "minimal";
    if (headless && !IsSchedulerStart(commandLine)) {
        (void)std::fprintf(
            stderr,
            "%s needs a display, or a /TS:ONCE, /TS:INTERVAL or /TS:TIMETABLE switch "
            "to run unattended (%s --help shows what runs without one)\n",
            title.c_str(), LowerCase(title).c_str());
        return 2;
    }

    const auto paths = px::ProgramPaths::Resolve(title);
    const QString instance = InstanceName(paths);
    const int lock = LockInstance(paths);
    if (lock == -1) {
        QLocalSocket earlier;
        earlier.connectToServer(instance);
        if (earlier.waitForConnected(500)) {
            earlier.write("show\n");
            earlier.waitForBytesWritten(500);
        }
        (void)std::fprintf(stderr, "%s is already running for %s\n", title.c_str(),
                           paths.folder.c_str());
        return 2;
    }

    std::unique_ptr<px::MainWindow> window;
    px::HeadlessView headlessView;
    if (!headless) window = std::make_unique<px::MainWindow>();
    px::Program program(title, window ? static_cast<px::View&>(*window) : headlessView,
                        commandLine);
    headlessView.logSink = [&program](const std::string& line) {
        program.core().eventLog().WriteLog(line, true);
    };
    // Under a systemd service the run's lines go to the journal as well as to the event log.
    if (!window && std::getenv("JOURNAL_STREAM"))
        program.core().eventLog().mirror = [](const std::string& line) {
            (void)std::fprintf(stderr, "%s\n", line.c_str());
        };
    program.quit = [](int status) { QCoreApplication::exit(status); };

    QLocalServer::removeServer(instance);
    QLocalServer server;
    server.listen(instance);
    QObject::connect(&server, &QLocalServer::newConnection, [&server, &window] {
        // A second start asks this one to show its window; headless there is none to show.
        while (QLocalSocket* s = server.nextPendingConnection())
            s->deleteLater();
        if (window) window->ShowFromOutside();
    });

    if (window) window->Bind(program);
    if (program.Load() != 0) return 2;
    if (window) {
        window->AfterLoad();
        if (program.startMinimised)
            window->StartMinimised();
        else
            window->show();
    }

    bool stopping = false;
    bool started = false;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, [&] {
        char byte;
        [[maybe_unused]] auto n = ::read(signalPipe[0], &byte, 1);
        if (stopping) return;
        stopping = true;
        CancelModalDialogs();
        if (program.core().state().bTSRunning) {
            program.scheduler().StartStop(); // closing follows when the scheduler has stopped
        } else if (program.nTSCmdMode() == 1 && started) {
            // The single run is finishing; it ends the program with its own status.
        } else {
            // A single run stopped before it began has saved nothing.
            program.CloseThenQuit(program.nTSCmdMode() == 1 ? 1 : 0);
        }
    });
    program.scheduler().stateChanged = [&](bool running) {
        if (running) started = true;
        if (window) window->SchedulerStateChanged(running);
        // A single run ends the program by itself, with its own exit status.
        if (!running && stopping && program.nTSCmdMode() != 1) program.CloseThenQuit(0);
    };

    if (program.nTSCmdMode() != 0)
        QTimer::singleShot(1, [&] {
            // A stop may be handled in the same pass, just before this timer.
            if (!stopping) program.scheduler().StartStop();
        });
    const int status = app.exec();
    if (window) window->Unbind(); // the program's teardown may still report to its view
    return status;
}
