#pragma once

#include <QLabel>

/// A picture that reports a click, for the main window's graph shortcut.
class ClickableImage : public QLabel
{
    Q_OBJECT
public:
    explicit ClickableImage(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
