#include "ui/editor/frmTaskEditor.h"

#include "components/AppIdentity.h"
#include "components/Choosers.h"
#include "components/DocumentOpener.h"
#include "components/Prompts.h"
#include "components/Services.h"
#include "components/SettingsStore.h"
#include "ui/editor/RelatedDocumentsList.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>

namespace {

// Layout is designed in twips; 15 twips are one pixel at 96 dpi and Qt scales beyond that.
constexpr int px(int twips)
{
    return twips / 15;
}

QFont designFont(const QString &family, int pointSize, QFont::StyleHint hint, const QFont &base)
{
    QFont font = base;
    if (QFontDatabase::families().contains(family, Qt::CaseInsensitive))
        font.setFamily(family);
    else
        font.setStyleHint(hint);
    font.setPointSize(pointSize);
    return font;
}

const QString kOfnSection = QStringLiteral("OFN Paths");
const QString kLastAddFileKey = QStringLiteral("Last Add File Directory");

} // namespace

frmTaskEditor::frmTaskEditor(QWidget *parent, Services &services)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , m_services(services)
{
    setObjectName(QStringLiteral("frmTaskEditor"));
    setWindowTitle(QStringLiteral("Задача"));
    setFont(designFont(QStringLiteral("Tahoma"), 9, QFont::SansSerif, font()));
    setFixedSize(px(7275), px(3735));
    // A fixed dialog frame: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);
    // No window icon: a null one would fall back to the application's.
    QPixmap noIcon(16, 16);
    noIcon.fill(Qt::transparent);
    setWindowIcon(QIcon(noIcon));
    centreOnScreen(this);
    buildControls();

    // Shortcuts rather than key codes, so that they also work with a Cyrillic layout active.
    const std::pair<int, QToolButton *> shortcuts[]
        = {{Qt::Key_F, cmdAddFile}, {Qt::Key_D, cmdAddFolder}, {Qt::Key_U, cmdAddURL}};
    for (const auto &[key, button] : shortcuts) {
        auto *shortcut = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
    }

    // The dialog sees every key before the focused control does.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children)
        child->installEventFilter(this);

    txtTaskText->setFocus();
}

void frmTaskEditor::buildControls()
{
    txtTaskText = new QPlainTextEdit(this);
    txtTaskText->setObjectName(QStringLiteral("txtTaskText"));
    txtTaskText->setGeometry(px(120), px(120), px(5775), px(2055));
    txtTaskText->setFont(designFont(QStringLiteral("Georgia"), 12, QFont::Serif, font()));
    txtTaskText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTaskText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtTaskText->setTabChangesFocus(true);
    txtTaskText->setAccessibleName(QStringLiteral("Текст задачи"));

    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(px(6000), px(120), px(1155), px(435));
    cmdOk->setDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, &frmTaskEditor::cmdOk_Click);

    cmdCancel = new QPushButton(QStringLiteral("Отмена"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(px(6000), px(660), px(1155), px(435));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    lstRelatedDocuments = new RelatedDocumentsList(this);
    lstRelatedDocuments->setObjectName(QStringLiteral("lstRelatedDocuments"));
    lstRelatedDocuments->setGeometry(px(120), px(2280), px(5775), px(1320));
    lstRelatedDocuments->setAccessibleName(QStringLiteral("Связанные документы"));
    connect(lstRelatedDocuments, &RelatedDocumentsList::filesDropped, this, &frmTaskEditor::AddEntries);

    cmdAddFile
        = makeDocumentButton(QStringLiteral("cmdAddFile"), QStringLiteral("IDB_BTN_ADD_FILE"),
                             QStringLiteral(" Добавить файл или несколько файлов в список (Ctrl+F) "), 6000, 2460);
    cmdAddFolder = makeDocumentButton(QStringLiteral("cmdAddFolder"), QStringLiteral("IDB_BTN_ADD_FOLDER"),
                                      QStringLiteral(" Добавить папку в список (Ctrl+D) "), 6600, 2460);
    cmdAddURL = makeDocumentButton(QStringLiteral("cmdAddURL"), QStringLiteral("IDB_BTN_ADD_URL"),
                                   QStringLiteral(" Добавить URL в список (Ctrl+U) "), 6000, 3060);
    cmdRemoveItem = makeDocumentButton(QStringLiteral("cmdRemoveItem"), QStringLiteral("IDB_BTN_REMOVE_ITEM"),
                                       QStringLiteral(" Удалить выделенные элементы списка (Del) "), 6600, 3060);
    connect(cmdAddFile, &QToolButton::clicked, this, &frmTaskEditor::cmdAddFile_Click);
    connect(cmdAddFolder, &QToolButton::clicked, this, &frmTaskEditor::cmdAddFolder_Click);
    connect(cmdAddURL, &QToolButton::clicked, this, &frmTaskEditor::cmdAddURL_Click);
    connect(cmdRemoveItem, &QToolButton::clicked, this, &frmTaskEditor::cmdRemoveItem_Click);

    QWidget *order[]
        = {txtTaskText, cmdOk, cmdCancel, lstRelatedDocuments, cmdAddFile, cmdAddFolder, cmdAddURL, cmdRemoveItem};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QToolButton *frmTaskEditor::makeDocumentButton(const QString &name, const QString &resource, const QString &toolTip,
                                               int left, int top)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setGeometry(px(left), px(top), px(555), px(555));
    button->setIcon(QIcon(QStringLiteral(":/res/%1.svg").arg(resource)));
    button->setIconSize(QSize(24, 24));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip.trimmed());
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QString frmTaskEditor::text() const
{
    return txtTaskText->toPlainText();
}

void frmTaskEditor::setText(const QString &text)
{
    txtTaskText->setPlainText(text);
    if (txtTaskText->hasFocus())
        txtTaskText->selectAll();
}

QStringList frmTaskEditor::documents() const
{
    return lstRelatedDocuments->entries();
}

void frmTaskEditor::setDocuments(const QStringList &documents)
{
    AddEntries(documents);
}

void frmTaskEditor::AddEntries(const QStringList &entries)
{
    for (const QString &entry : entries)
        lstRelatedDocuments->addItem(entry);
}

bool frmTaskEditor::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride:
        // A text box would claim some of these keys for itself (Ctrl+U deletes the line on
        // some desktops); here they always belong to the document buttons.
        if (isDocumentShortcut(static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::KeyPress:
        if (handlePreviewKey(watched, static_cast<QKeyEvent *>(event)))
            return true;
        break;
    case QEvent::FocusIn:
        // Typing replaces the whole text, as when the dialog opens.
        if (watched == txtTaskText)
            txtTaskText->selectAll();
        break;
    case QEvent::MouseButtonDblClick:
        if (watched == lstRelatedDocuments->viewport()
            && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            OpenCurrentEntry();
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void frmTaskEditor::keyPressEvent(QKeyEvent *event)
{
    if (!handlePreviewKey(this, event))
        QDialog::keyPressEvent(event);
}

bool frmTaskEditor::isDocumentShortcut(const QKeyEvent *key)
{
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    return mods == Qt::ControlModifier
        && (key->key() == Qt::Key_F || key->key() == Qt::Key_D || key->key() == Qt::Key_U);
}

bool frmTaskEditor::handlePreviewKey(QObject *watched, QKeyEvent *key)
{
    // Modifier states are compared whole: Ctrl+Shift+F is not Ctrl+F.
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;

    if (mods == Qt::ControlModifier) {
        if (enter && watched == lstRelatedDocuments) {
            OpenCurrentEntry();
            return true;
        }
        if (enter && watched == txtTaskText) {
            txtTaskText->insertPlainText(QStringLiteral("\n"));
            return true;
        }
    }
    if (mods == Qt::NoModifier) {
        if (key->key() == Qt::Key_Delete && watched == lstRelatedDocuments) {
            cmdRemoveItem->click();
            return true;
        }
        // The multi-line text box would take Enter for itself; here it means OK.
        if (enter && watched == txtTaskText) {
            cmdOk->click();
            return true;
        }
    }
    return false;
}

void frmTaskEditor::cmdOk_Click()
{
    if (txtTaskText->toPlainText().trimmed().isEmpty()) {
        m_services.prompts->messageBox(this, QStringLiteral("А почему в тексте задачи так пусто?"),
                                       MsgStyle::OkExclamation);
        return;
    }
    m_accepted = true;
    accept();
}

void frmTaskEditor::cmdAddFile_Click()
{
    SettingsStore store;
    const QString initialFolder
        = store.ReadValue(kOfnSection, kLastAddFileKey, SettingValueType::Text, QString()).toString();
    const QStringList files = m_services.choosers->chooseFiles(this, QStringLiteral("Все файлы|*.*"), initialFolder);
    if (files.isEmpty())
        return;
    // The next Add files starts where the user found these, also after a restart.
    const QString folder = QDir::toNativeSeparators(QFileInfo(files.first()).path());
    store.WriteValue(kOfnSection, kLastAddFileKey, SettingValueType::Text, folder);
    store.sync();
    AddEntries(files);
}

void frmTaskEditor::cmdAddFolder_Click()
{
    const QString folder = m_services.choosers->chooseFolder(this);
    if (!folder.isEmpty())
        lstRelatedDocuments->addItem(folder);
}

void frmTaskEditor::cmdAddURL_Click()
{
    const QString prompt = QStringLiteral("Введите URL, который следует добавить в список вложений. "
                                          "Этот адрес не проверяется и остаётся полностью "
                                          "на вашей совести.\r\n\r\nНапример:"
                                          "\r\n\thttp://www.example.com/docs/index.html"
                                          "\r\n\tftp://ftp.example.com/pub/report.zip"
                                          "\r\n\tmailto:someone@example.com");
    const QString url = m_services.prompts->inputBox(this, prompt, AppIdentity::kAppTitle, QString());
    if (!url.isEmpty())
        lstRelatedDocuments->addItem(url);
}

void frmTaskEditor::cmdRemoveItem_Click()
{
    for (int i = lstRelatedDocuments->count() - 1; i >= 0; --i) {
        if (lstRelatedDocuments->item(i)->isSelected())
            delete lstRelatedDocuments->takeItem(i);
    }
}

void frmTaskEditor::OpenCurrentEntry()
{
    const QListWidgetItem *current = lstRelatedDocuments->currentItem();
    const QString entry = current ? current->text() : QString();
    if (entry.isEmpty())
        return;
    m_services.opener->open(entry, this, [this] {
        m_services.prompts->messageBox(this,
                                       QStringLiteral("Не удалось открыть элемент списка в асоциированной программе."),
                                       MsgStyle::OkCritical);
    });
}
