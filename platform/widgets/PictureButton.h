#pragma once
// Picture button of the windows: a plain push button with an icon and a
// tool tip. Its accessible name always equals its tool tip, so screen
// readers and test drivers find it by what the user reads.

#include <QToolButton>

class PictureButton : public QToolButton
{
    Q_OBJECT
public:
    /// A button without picture; `objectName` stays for the owner to set.
    explicit PictureButton(QWidget *parent = nullptr);
    /// A button showing the picture `iconName` (see picture()).
    explicit PictureButton(const QString &iconName, QWidget *parent = nullptr);

    /// Shows the project picture `iconName` ("startstop", "save", "open",
    /// "delete", "exit", "graph", "graph-idle", "app"). Where the platform cannot draw
    /// the picture, the button shows its tool tip as text instead.
    void setPicture(const QString &iconName);

    /// The project picture `iconName` from the built-in resources; a null
    /// icon when the name is unknown or pictures cannot be drawn here.
    static QIcon picture(const QString &iconName);

protected:
    bool event(QEvent *event) override;
};
