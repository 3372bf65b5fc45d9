#include "StandInViewer.h"

#include <QFile>

namespace {

/// Single-quotes `text` for /bin/sh.
QByteArray shellQuoted(const QString &text)
{
    QByteArray quoted = text.toLocal8Bit();
    quoted.replace('\'', "'\\''");
    return '\'' + quoted + '\'';
}

} // namespace

StandInViewer::StandInViewer(const QString &folder, const QString &name)
    : m_dir(folder)
    , m_name(name)
{
    // Each run is one record: the argument count, then the arguments, each
    // ended by a NUL byte, so any character survives unchanged.
    const QByteArray runs = shellQuoted(m_dir.filePath(m_name + QStringLiteral(".runs")));
    const QByteArray closeFile = shellQuoted(m_dir.filePath(m_name + QStringLiteral(".close")));
    const QByteArray script = "#!/bin/sh\n"
                              "printf '%s\\000' \"$#\" \"$@\" >> " + runs + "\n"
                              "while [ ! -e " + closeFile + " ]; do sleep 0.02; done\n"
                              "exit 0\n";
    QFile file(program());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(script);
        file.close();
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                        | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
}

QList<QStringList> StandInViewer::runs() const
{
    QFile file(m_dir.filePath(m_name + QStringLiteral(".runs")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> fields = file.readAll().split('\0');
    fields.removeLast();   // after the final NUL

    QList<QStringList> result;
    qsizetype i = 0;
    while (i < fields.size()) {
        const int count = fields.at(i++).toInt();
        QStringList arguments;
        for (int k = 0; k < count && i < fields.size(); ++k)
            arguments << QString::fromLocal8Bit(fields.at(i++));
        result << arguments;
    }
    return result;
}

void StandInViewer::close() const
{
    QFile file(m_dir.filePath(m_name + QStringLiteral(".close")));
    if (file.open(QIODevice::WriteOnly))
        file.close();
}

bool StandInViewer::isClosed() const
{
    return QFile::exists(m_dir.filePath(m_name + QStringLiteral(".close")));
}
