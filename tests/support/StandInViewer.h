#pragma once
// A stand-in for an outside viewer program: a small shell script written
// into a test folder. Each run appends its arguments to a record file and
// then stays open until the test "closes the window" (creates a file).

#include <QDir>
#include <QList>
#include <QString>
#include <QStringList>

class StandInViewer
{
public:
    /// Writes the script `name` into `folder` (which must exist). Runs are
    /// recorded in `<name>.runs` and end once `<name>.close` exists.
    StandInViewer(const QString &folder, const QString &name = QStringLiteral("viewer"));

    /// Full path of the executable script.
    QString program() const { return m_dir.filePath(m_name); }

    /// The arguments of every run so far, one list per run, in order.
    QList<QStringList> runs() const;

    /// Lets every open and future run end ("the user closes the viewer").
    void close() const;
    /// True once close() was called.
    bool isClosed() const;

private:
    QDir m_dir;
    QString m_name;
};
