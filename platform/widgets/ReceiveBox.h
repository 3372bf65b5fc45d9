#pragma once
// The receive box: every received character, drawn from a text that grows at
// its end and drops its oldest part now and then. Only the dropped head and
// the new tail change in the widget, so a long run costs no more per redraw
// than a short one.

#include <QPlainTextEdit>

class ReceiveBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit ReceiveBox(QWidget *parent = nullptr);

    /// Shows `text` (CR LF and a lone CR are one line break), keeping the
    /// view at the end when it was there.
    void showText(const QString &text);

signals:
    /// The user double-clicked the text.
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    class GlyphKeepingLayout;
    QString m_shown;
    GlyphKeepingLayout *m_layout;
};
