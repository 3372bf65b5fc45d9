#include "ClickableImage.h"

#include <QKeyEvent>
#include <QMouseEvent>

void ClickableImage::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickableImage::keyPressEvent(QKeyEvent *event)
{
    // Reachable from the keyboard like a button.
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}
