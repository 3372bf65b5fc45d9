#pragma once
// Stand-in for the user: answers message boxes and file dialogs from a
// script and records everything that was asked. Tests script each answer;
// the crash-test child, the benchmarks and the screenshot tool let it answer
// as a cautious user would and watch what was asked.

#include "UserDialogs.h"

#include <QByteArray>
#include <QList>
#include <functional>

/// A box style as words, "Warning/Ok", for reports and failed comparisons.
QByteArray describe(BoxStyle style);
/// Lets QCOMPARE print a box style.
inline char *toString(const BoxStyle &style) { return qstrdup(describe(style).constData()); }

class ScriptedDialogs : public UserDialogs
{
public:
    enum class Kind { Message, Save, Open, Beep, About };

    /// One question as the program asked it.
    struct Asked
    {
        Kind kind = Kind::Message;
        QString text;       ///< message text, or the dialog's proposed file name
        BoxStyle style;     ///< buttons and icon of a message box
        QString title;      ///< title as passed (empty: application title)
        FileDialogRequest request;
    };

    /// One scripted answer: a message answer code, or a file name (a null
    /// string cancels the dialog). `during` runs while the box is "open",
    /// e.g. to let serial events arrive inside the nested loop.
    struct Reply
    {
        Answer code = Answer::Ok;
        QString fileName;
        std::function<void()> during;
    };

    void answer(Answer code, std::function<void()> during = {}) { m_answers.append({code, {}, std::move(during)}); }
    void chooseFile(const QString &path, std::function<void()> during = {}) { m_answers.append({Answer::Ok, path, std::move(during)}); }
    void cancelDialog() { m_answers.append({Answer::Cancel, QString(), {}}); }

    Answer message(const QString &text, BoxStyle style, const QString &title = {}) override;
    /// Answers from the script, or as a cautious user; otherwise the
    /// question stays open until the test answers it with reply().
    void ask(const QString &text, BoxStyle style, const QString &title,
             std::function<void(Answer)> answered) override;
    void askSaveFileName(const FileDialogRequest &request, std::function<void(const QString &)> chosen) override;
    QString saveFileName(const FileDialogRequest &request) override;
    QString openFileName(const FileDialogRequest &request) override;
    void beep() override { m_beeps++; }
    void about(const QString &appText, const QString &otherText) override;

    /// Answers once the script has run out: Cancel, counted in `unexpected`
    /// (a test that did not expect the box), or those of a cautious user
    /// (No to a question, Cancel to a retry, Ignore to abort/retry/ignore,
    /// OK otherwise; file dialogs cancelled).
    enum class Unscripted { Cancel, Cautious };
    void setUnscripted(Unscripted answers) { m_unscripted = answers; }

    /// Called with every box and dialog as it is asked.
    std::function<void(const Asked &)> onAsked;

    /// True while a question waits for reply() or replyFile().
    bool isAsking() const { return !m_open.isEmpty(); }
    /// The question that waits (the oldest, when several do).
    Asked question() const { return m_open.isEmpty() ? Asked{} : m_open.constFirst().question; }
    /// Answers the waiting message box.
    void reply(Answer answer);
    /// Answers the waiting file dialog with `path` (a null string cancels).
    void replyFile(const QString &path);

    QList<Asked> asked;        ///< every box and dialog, in order (beeps excluded)
    int beeps() const { return m_beeps; }
    int pending() const { return int(m_answers.size()); }
    /// Messages only, for short assertions.
    QList<Asked> messages() const;
    /// Answers used when the script runs out (a test that did not expect a box).
    int unexpected = 0;

private:
    Reply take(BoxStyle style = {});
    void record(const Asked &question);
    struct Open
    {
        Asked question;
        std::function<void(Answer)> answered;
        std::function<void(const QString &)> chosen;
    };
    bool answersAtOnce() const { return !m_answers.isEmpty() || m_unscripted == Unscripted::Cautious; }

    QList<Reply> m_answers;
    QList<Open> m_open;
    int m_beeps = 0;
    Unscripted m_unscripted = Unscripted::Cancel;
};
