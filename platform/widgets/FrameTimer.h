#pragma once
// A single-shot timer that paces redraws to at most one per interval
// without delaying a lone change: a request made when the last timeout is
// at least an interval ago fires on the next turn of the event loop, one
// made sooner fires when the interval is over. Requests while it is armed
// are merged into that one timeout.

#include <QElapsedTimer>
#include <QTimer>

class FrameTimer : public QTimer
{
    Q_OBJECT
public:
    /// `interval` is the shortest time between two timeouts, in ms.
    explicit FrameTimer(int interval, QObject *parent = nullptr);

    /// Arms the timer unless it is armed already.
    void request();

private:
    int m_frame;
    QElapsedTimer m_lastTimeout;
};
