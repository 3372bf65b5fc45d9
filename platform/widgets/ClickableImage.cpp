#include "ClickableImage.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {

/// A clickable picture is a button to screen readers, with a Press action.
class ClickableImageAccessible : public QAccessibleWidget
{
public:
    explicit ClickableImageAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::Button)
    {
        addControllingSignal(QStringLiteral("clicked()"));
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString &name) override
    {
        if (name == pressAction())
            QMetaObject::invokeMethod(widget(), "clicked", Qt::QueuedConnection);
    }
};

QAccessibleInterface *imageFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("ClickableImage") && object && object->isWidgetType())
        return new ClickableImageAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

ClickableImage::ClickableImage(QWidget *parent)
    : QLabel(parent)
{
    static const bool registered = [] {
        QAccessible::installFactory(imageFactory);
        return true;
    }();
    Q_UNUSED(registered);
}

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
