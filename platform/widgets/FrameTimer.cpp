#include "FrameTimer.h"

FrameTimer::FrameTimer(int interval, QObject *parent)
    : QTimer(parent), m_frame(interval)
{
    setSingleShot(true);
    setInterval(interval);
    connect(this, &QTimer::timeout, this, [this] { m_lastTimeout.start(); });
}

void FrameTimer::request()
{
    if (isActive())
        return;
    const qint64 since = m_lastTimeout.isValid() ? m_lastTimeout.elapsed() : m_frame;
    start(int(qBound(qint64(0), qint64(m_frame) - since, qint64(m_frame))));
}
