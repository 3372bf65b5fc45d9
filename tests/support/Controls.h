#pragma once
// Finds a window's control by its object name, as screen readers and the
// end-to-end checks do.

#include "ClickableImage.h"
#include "PictureButton.h"
#include "LevelMeter.h"
#include "SerialPort.h"
#include "ReceiveBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QtGlobal>

/// The child of `window` (widget, action, menu or timer) named `name`.
/// A missing control ends the run with its name: every caller relies on it.
template <class T>
T *control(const QObject &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no control %s of the expected type", name);
    return found;
}
