#include "ScriptedDialogs.h"

ScriptedDialogs::Reply ScriptedDialogs::take(BoxStyle style)
{
    if (m_answers.isEmpty() && m_unscripted == Unscripted::Cautious) {
        switch (style.buttons) {
        case Buttons::YesNo:
        case Buttons::YesNoCancel: return Reply{Answer::No, QString(), {}};
        case Buttons::RetryCancel:
        case Buttons::CancelTryContinue: return Reply{Answer::Cancel, QString(), {}};
        case Buttons::AbortRetryIgnore: return Reply{Answer::Ignore, QString(), {}};
        default: return Reply{Answer::Ok, QString(), {}};
        }
    }
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
    record({Kind::Message, text, style, title, {}});
    return take(style).code;
}

void ScriptedDialogs::ask(const QString &text, BoxStyle style, const QString &title,
                          std::function<void(Answer)> answered)
{
    const Asked question{Kind::Message, text, style, title, {}};
    if (answersAtOnce()) {
        record(question);
        const Answer answer = take(style).code;
        if (answered)
            answered(answer);
        return;
    }
    m_open.append({question, std::move(answered), {}});
    record(question);
}

void ScriptedDialogs::askSaveFileName(const FileDialogRequest &request, std::function<void(const QString &)> chosen)
{
    const Asked question{Kind::Save, request.fileName, {}, request.title, request};
    if (answersAtOnce()) {
        record(question);
        const QString name = take().fileName;
        if (chosen)
            chosen(name);
        return;
    }
    m_open.append({question, {}, std::move(chosen)});
    record(question);
}

void ScriptedDialogs::reply(Answer answer)
{
    if (m_open.isEmpty() || m_open.constFirst().question.kind != Kind::Message) {
        ++unexpected;
        return;
    }
    const Open open = m_open.takeFirst();
    if (open.answered)
        open.answered(answer);
}

void ScriptedDialogs::replyFile(const QString &path)
{
    if (m_open.isEmpty() || m_open.constFirst().question.kind != Kind::Save) {
        ++unexpected;
        return;
    }
    const Open open = m_open.takeFirst();
    if (open.chosen)
        open.chosen(path);
}

QString ScriptedDialogs::saveFileName(const FileDialogRequest &request)
{
    record({Kind::Save, request.fileName, {}, request.title, request});
    return take().fileName;
}

QString ScriptedDialogs::openFileName(const FileDialogRequest &request)
{
    record({Kind::Open, request.fileName, {}, request.title, request});
    return take().fileName;
}

void ScriptedDialogs::about(const QString &appText, const QString &otherText)
{
    record({Kind::About, appText + QLatin1Char('\n') + otherText, {}, appText, {}});
}

QList<ScriptedDialogs::Asked> ScriptedDialogs::messages() const
{
    QList<Asked> result;
    for (const Asked &a : asked)
        if (a.kind == Kind::Message)
            result.append(a);
    return result;
}

void ScriptedDialogs::record(const Asked &question)
{
    asked.append(question);
    if (onAsked)
        onAsked(question);
}

QByteArray describe(BoxStyle style)
{
    static const char *const icons[] = {"None", "Critical", "Question", "Warning", "Information"};
    static const char *const buttons[] = {"Ok", "OkCancel", "AbortRetryIgnore", "YesNoCancel",
                                          "YesNo", "RetryCancel", "CancelTryContinue"};
    return QByteArray(icons[int(style.icon)]) + '/' + buttons[int(style.buttons)];
}
