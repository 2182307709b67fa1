// Widgets exist only on the GUI application's own thread: a control created on another thread
// shows no window (no transfer progress, no about box) and works on without one.
#pragma once

#include <QApplication>
#include <QThread>

namespace serlo {

inline bool OnGuiThread()
{
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QThread::currentThread() == app->thread();
}

} // namespace serlo
