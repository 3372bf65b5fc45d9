#include "Form2.h"

#include "FileListBox.h"
#include "HoverButton.h"
#include "UserDialogs.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>

namespace {

/// The texts of the delete dialog, per language.
struct Form2Texts
{
    LanguageText deleteTip{QStringLiteral("Datei löschen"), QStringLiteral("Delete file"),
                           QStringLiteral("Efface données")};
    LanguageText closeTip{QStringLiteral("Verlassen ohne speichern"), QStringLiteral("Exit"),
                          QStringLiteral("Fin")};
    LanguageText question{QStringLiteral("Wollen sie die Datei löschen !"),
                          QStringLiteral("Do you want to delete the selected file ?"),
                          QStringLiteral(" Efface données de mesure ?")};
    LanguageText questionCaption{QStringLiteral(" Datei löschen !"),
                                 QStringLiteral(" delete the selected file"),
                                 QStringLiteral(" Efface données de mesure")};
};

const Form2Texts &texts()
{
    static const Form2Texts table;
    return table;
}

} // namespace

Form2::Form2(SharedState &state, UserDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , File1(new FileListBox(this))
    , Button1(new HoverButton(QStringLiteral("delete"), this))
    , Button2(new HoverButton(QStringLiteral("exit"), this))
    , Image1(new QLabel(this))
    , m_state(state)
    , m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("  Meßdaten löschen"));
    File1->setObjectName(QStringLiteral("File1"));
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2->setObjectName(QStringLiteral("Button2"));
    Image1->setObjectName(QStringLiteral("Image1"));

    File1->setPattern(QStringLiteral("*.csv"));
    Image1->setPixmap(HoverButton::picture(QStringLiteral("app")).pixmap(48, 48));
    Button1->setFixedSize(37, 35);
    Button2->setFixedSize(37, 35);

    auto *layout = new QGridLayout(this);
    layout->addWidget(Image1, 0, 0, Qt::AlignTop);
    layout->addWidget(File1, 0, 1, 1, 2);
    layout->addWidget(Button1, 1, 1, Qt::AlignLeft);
    layout->addWidget(Button2, 1, 2, Qt::AlignRight);
    resize(300, 260);

    connect(Button1, &HoverButton::clicked, this, &Form2::Button1_Click);
    connect(Button2, &HoverButton::clicked, this, &Form2::Button2_Click);
}

void Form2::Form_Load()
{
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }
    // The folder is fixed now: the list keeps showing this folder even if
    // the current directory changes later.
    File1->setFolder(QDir::currentPath());
    File1->refresh();

    const QString &language = m_state.currentLanguage;
    Button1->setToolTip(texts().deleteTip.pick(language));
    Button2->setToolTip(texts().closeTip.pick(language));
}

void Form2::Button1_Click()
{
    // The file named in the list, in the folder the list shows, taken now:
    // the list may be refreshed while the question is open.
    const QString path = File1->selectedPath();
    if (path.isEmpty())
        return;
    const QString &language = m_state.currentLanguage;
    const int choice = m_dialogs.message(texts().question.pick(language),
                                         style::Question | style::YesNo,
                                         texts().questionCaption.pick(language));
    if (choice == answer::No)
        return;
    // A file that cannot be deleted stays listed; nothing is reported.
    QFile::remove(path);
    File1->refresh();
}

void Form2::Button2_Click()
{
    hide();
}
