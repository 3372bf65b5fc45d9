#include "ScriptedDialogs.h"

ScriptedDialogs::Reply ScriptedDialogs::take()
{
    if (m_answers.isEmpty()) {
        ++unexpected;
        return Reply{Answer::Cancel, QString(), {}};
    }
    Reply a = m_answers.takeFirst();
    if (a.during)
        a.during();
    return a;
}

Answer ScriptedDialogs::message(const QString &text, BoxStyle style, const QString &title)
{
    asked.append({Kind::Message, text, style.code(), title, {}});
    return take().code;
}

QString ScriptedDialogs::saveFileName(const FileDialogRequest &request)
{
    asked.append({Kind::Save, request.fileName, 0, request.title, request});
    return take().fileName;
}

QString ScriptedDialogs::openFileName(const FileDialogRequest &request)
{
    asked.append({Kind::Open, request.fileName, 0, request.title, request});
    return take().fileName;
}

void ScriptedDialogs::about(const QString &appText, const QString &otherText)
{
    asked.append({Kind::About, appText + QLatin1Char('\n') + otherText, 0, appText, {}});
}

QList<ScriptedDialogs::Asked> ScriptedDialogs::messages() const
{
    QList<Asked> result;
    for (const Asked &a : asked)
        if (a.kind == Kind::Message)
            result.append(a);
    return result;
}
