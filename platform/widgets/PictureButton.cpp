#include "PictureButton.h"

#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QImageReader>

// The pictures live in a static library; their resources must be registered
// once from outside any namespace. This happens at program start, so every
// window finds ":/icons/..." even before its first picture button exists.
static void registerPictures()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(icons);
        return true;
    }();
    Q_UNUSED(done);
}
static const bool picturesRegistered = (registerPictures(), true);

PictureButton::PictureButton(QWidget *parent)
    : QToolButton(parent)
{
    setCheckable(false);   // a checkable button is offered as a check box, not a button
    setAutoRaise(true);
    setIconSize(QSize(28, 28));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

PictureButton::PictureButton(const QString &iconName, QWidget *parent)
    : PictureButton(parent)
{
    setPicture(iconName);
}

void PictureButton::setPicture(const QString &iconName)
{
    const QIcon icon = picture(iconName);
    setIcon(icon);
    setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
}

QIcon PictureButton::picture(const QString &iconName)
{
    registerPictures();
    const QString path = QStringLiteral(":/icons/%1.svg").arg(iconName);
    if (!QFile::exists(path) || !QImageReader::supportedImageFormats().contains("svg"))
        return QIcon();
    return QIcon(path);
}

bool PictureButton::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTipChange) {
        setAccessibleName(toolTip());
        // Without a picture the text is what the user sees, so it follows too.
        if (icon().isNull())
            setText(toolTip());
    }
    return QToolButton::event(event);
}
