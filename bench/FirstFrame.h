#pragma once
// Reports "startup_ms <ms> ms" once the first top-level window named
// `windowName` (any top-level window when empty) has painted its first
// frame, then ends the process at once: only the way to the first frame
// is measured, not the event loop or the shutdown.

#include "LaunchClock.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdio>
#include <cstdlib>

class FirstFrame : public QObject
{
public:
    explicit FirstFrame(QString windowName) : m_windowName(std::move(windowName)) {}

    /// Watches every object of the application for the first paint.
    static void install(const QString &windowName)
    {
        auto *probe = new FirstFrame(windowName);
        probe->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(probe);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint) {
            auto *widget = qobject_cast<QWidget *>(watched);
            if (widget && widget->isWindow()
                && (m_windowName.isEmpty() || widget->objectName() == m_windowName)) {
                m_seen = true;
                // The children paint in the same pass as the window; report
                // once that pass, and the flush of the frame, is over.
                QMetaObject::invokeMethod(this, [] {
                    std::printf("startup_ms %.2f ms\n", launchclock::msSinceLaunch());
                    std::fflush(stdout);
                    std::_Exit(0);
                }, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    QString m_windowName;
    bool m_seen = false;
};
