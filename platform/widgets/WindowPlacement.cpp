#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    window->move(area.x() + (area.width() - window->width()) / 2,
                 area.y() + (area.height() - window->height()) / 2);
}

QPoint besidePosition(QSize frame, const QRect &anchor, const QRect &available)
{
    int x;
    if (anchor.right() + frame.width() <= available.right())
        x = anchor.right() + 1;
    else if (anchor.left() - frame.width() >= available.left())
        x = anchor.left() - frame.width();
    else if (available.right() - anchor.right() >= anchor.left() - available.left())
        x = available.right() + 1 - frame.width();
    else
        x = available.left();
    // Kept inside; a window larger than the area keeps its title bar and
    // left edge on it.
    x = std::max(available.left(), std::min(x, available.right() + 1 - frame.width()));
    const int y = std::max(available.top(), std::min(anchor.top(), available.bottom() + 1 - frame.height()));
    return QPoint(x, y);
}

void placeBeside(QWidget *window, const QWidget *anchor)
{
    const QScreen *screen = anchor->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QSize frame = window->frameGeometry().size();
    if (!window->isVisible())
        frame = window->size() + (anchor->frameGeometry().size() - anchor->geometry().size());
    window->move(besidePosition(frame, anchor->frameGeometry(), screen->availableGeometry()));
}
