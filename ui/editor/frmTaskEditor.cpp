// SPDX-License-Identifier: MIT
#include "ui/editor/frmTaskEditor.h"

#include "components/AppIdentity.h"
#include "components/Choosers.h"
#include "components/DocumentOpener.h"
#include "components/Prompts.h"
#include "components/ResourceIcon.h"
#include "components/Services.h"
#include "components/qt/DesignLayout.h"
#include "components/qt/SettingsStore.h"
#include "components/qt/WindowPlacement.h"
#include "ui/editor/RelatedDocumentsList.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <memory>
#include <vector>

#include <algorithm>

namespace {

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
    setFont(designFont(font()));
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

namespace {

// While the editor opens, keys on their way to the program's other windows were typed for
// the editor: they are kept to be handed to it. Other input there is dropped, as the modal
// editor would drop it: a second click on a toolbar button must not run its command again.
class TypedAheadKeys : public QObject
{
public:
    explicit TypedAheadKeys(QWidget *editor)
        : m_editor(editor)
    {
        qApp->installEventFilter(this);
    }
    ~TypedAheadKeys() override { qApp->removeEventFilter(this); }

    // Delivers the kept keys to the editor's focused control, in the order they were typed.
    void handOver()
    {
        qApp->removeEventFilter(this);
        for (const std::unique_ptr<QKeyEvent> &key : m_keys) {
            if (!m_editor || !m_editor->isVisible())
                break;
            QWidget *target = m_editor->focusWidget();
            QCoreApplication::sendEvent(target ? target : m_editor.data(), key.get());
        }
        m_keys.clear();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!event->isInputEvent() || !m_editor || watched == m_editor->windowHandle()
            || (watched->isWidgetType() && static_cast<QWidget *>(watched)->window() == m_editor))
            return false;
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
            m_keys.emplace_back(static_cast<QKeyEvent *>(event)->clone());
        return true;
    }

private:
    QPointer<QWidget> m_editor;
    std::vector<std::unique_ptr<QKeyEvent>> m_keys;
};

} // namespace

int frmTaskEditor::exec()
{
    // Keys typed right behind the command that opens the editor are already queued for the
    // main window, or reach it until the window manager hands the focus over, and there the
    // modal dialog would block them. The queued ones are kept and handed over once the editor
    // has the focus; later ones wait in the queue until then and so come here by themselves.
    QPointer<frmTaskEditor> self(this);
    TypedAheadKeys typedAhead(this);
    QCoreApplication::processEvents();
    if (!self)
        return QDialog::Rejected;
    setAttribute(Qt::WA_ShowModal, true);
    show();
    if (!isActiveWindow()) {
        QEventLoop waiting;
        connect(qApp, &QGuiApplication::focusWindowChanged, &waiting, [&waiting, self] {
            if (!self || self->isActiveWindow())
                waiting.quit();
        });
        connect(this, &QDialog::finished, &waiting, &QEventLoop::quit);
        // A desktop that never gives the focus gets the keys after a moment all the same.
        QTimer::singleShot(500, &waiting, &QEventLoop::quit);
        waiting.exec(QEventLoop::ExcludeUserInputEvents);
        if (!self)
            return QDialog::Rejected;
    }
    typedAhead.handOver();
    if (!self)
        return QDialog::Rejected;
    if (!isVisible()) // the keys typed ahead already closed it
        return result();
    return QDialog::exec();
}

void frmTaskEditor::buildControls()
{
    txtTaskText = new QPlainTextEdit(this);
    txtTaskText->setObjectName(QStringLiteral("txtTaskText"));
    txtTaskText->setGeometry(px(120), px(120), px(5775), px(2055));
    txtTaskText->setFont(designFont(font(), QStringLiteral("Georgia"), 12, QFont::Serif));
    txtTaskText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtTaskText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtTaskText->setTabChangesFocus(true);
    txtTaskText->setAccessibleName(QStringLiteral("Текст задачи"));
    connect(txtTaskText->document(), &QTextDocument::contentsChange, this, &frmTaskEditor::onContentsChange);

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
    button->setIcon(resourceIcon(resource));
    button->setIconSize(QSize(24, 24));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setToolTip(toolTip);
    button->setAccessibleName(toolTip.trimmed());
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

QString frmTaskEditor::text() const
{
    // toPlainText() would turn no-break spaces into spaces and every separator into LF: the
    // runs the user left alone come from the given text, only what was typed is read back.
    const QString raw = txtTaskText->document()->toRawText();
    QString result;
    result.reserve(raw.size());
    qsizetype rawPos = 0, givenRaw = 0, given = 0;
    for (const TextRun &run : m_runs) {
        if (run.givenRawStart < 0) {
            // The box's own paragraph breaks are line feeds to the rest of the program.
            result += raw.mid(rawPos, run.length).replace(QChar::ParagraphSeparator, u'\n');
        } else {
            // The box keeps every given line break as one paragraph separator, a CR LF pair too;
            // every other character as it is.
            const auto advance = [&](qsizetype to) {
                for (; givenRaw < to; ++givenRaw, ++given) {
                    if (m_givenRaw.at(givenRaw) == QChar::ParagraphSeparator && m_givenText.at(given) == u'\r'
                        && given + 1 < m_givenText.size() && m_givenText.at(given + 1) == u'\n')
                        ++given;
                }
            };
            advance(run.givenRawStart);
            const qsizetype from = given;
            advance(run.givenRawStart + run.length);
            result += QStringView(m_givenText).mid(from, given - from);
        }
        rawPos += run.length;
    }
    return result;
}

void frmTaskEditor::onContentsChange(int position, int removed, int /*added*/)
{
    // Splits the runs at the changed range and puts one typed run in its place.
    const qsizetype newLength = txtTaskText->document()->characterCount() - 1;
    qsizetype total = 0;
    for (const TextRun &run : m_runs)
        total += run.length;
    const qsizetype pos = std::clamp<qsizetype>(position, 0, total);
    const qsizetype end = std::min<qsizetype>(total, pos + removed);
    const qsizetype typed = newLength - (total - (end - pos)); // the box may report one too many
    std::vector<TextRun> runs;
    const auto push = [&runs](qsizetype length, qsizetype givenRawStart) {
        if (length <= 0)
            return;
        if (givenRawStart < 0 && !runs.empty() && runs.back().givenRawStart < 0)
            runs.back().length += length;
        else
            runs.push_back({length, givenRawStart});
    };
    // Each run cut to [from, to) of the box's text, before the change and after it.
    const auto keepPart = [&](qsizetype from, qsizetype to) {
        qsizetype at = 0;
        for (const TextRun &run : m_runs) {
            const qsizetype a = qMax(at, from), b = qMin(at + run.length, to);
            if (b > a)
                push(b - a, run.givenRawStart < 0 ? -1 : run.givenRawStart + (a - at));
            at += run.length;
        }
    };
    keepPart(0, pos);
    push(typed, -1);
    keepPart(end, total);
    m_runs = std::move(runs);
}

void frmTaskEditor::setText(const QString &text)
{
    txtTaskText->setPlainText(text);
    m_givenText = text;
    m_givenRaw = txtTaskText->document()->toRawText();
    m_runs.clear();
    if (!m_givenRaw.isEmpty())
        m_runs.push_back({m_givenRaw.size(), 0});
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
    // The box would insert a line separator (U+2028) here; the user means a line break.
    if (mods == Qt::ShiftModifier && enter && watched == txtTaskText) {
        txtTaskText->insertPlainText(QStringLiteral("\n"));
        return true;
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
    if (text().trimmed().isEmpty()) {
        m_services.prompts->messageBox(this, QStringLiteral("А почему в тексте задачи так пусто?"),
                                       MsgStyle::OkExclamation);
        return;
    }
    m_accepted = true;
    accept();
}

void frmTaskEditor::cmdAddFile_Click()
{
    SettingsStore &store = *m_services.settings;
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
