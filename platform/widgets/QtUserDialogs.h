#pragma once

#include "UserDialogs.h"

class QWidget;

/// The real dialogs: QMessageBox and QFileDialog, modal, each running its
/// own event loop so serial events keep arriving while they are open.
class QtUserDialogs : public UserDialogs
{
public:
    /// `parent` provides the window the boxes are centred on (may be null).
    explicit QtUserDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    Answer message(const QString &text, BoxStyle style, const QString &title = {}) override;
    QString saveFileName(const FileDialogRequest &request) override;
    QString openFileName(const FileDialogRequest &request) override;
    void beep() override;
    void about(const QString &appText, const QString &otherText) override;

private:
    QWidget *m_parent;
};
