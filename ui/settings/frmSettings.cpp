// SPDX-License-Identifier: MIT
#include "ui/settings/frmSettings.h"

#include "components/AppIdentity.h"
#include "components/Choosers.h"
#include "components/ColorConvert.h"
#include "components/Prompts.h"
#include "components/ResourceIcon.h"
#include "components/Services.h"
#include "components/StartupRegistration.h"
#include "components/TrayIcon.h"
#include "components/qt/DesignLayout.h"
#include "components/qt/WindowPlacement.h"
#include "settings/AppSettings.h"
#include "ui/settings/AccessibleControls.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QToolButton>
#include <cmath>
#include <limits>

namespace {

// The font as it is, every attribute marked as its own: the sample inherits nothing from the
// dialog, least of all the style hint that picks the stand-in for a family that is missing.
QFont exactFont(const QFont &source)
{
    QFont font = source;
    font.setResolveMask(QFont::AllPropertiesResolved);
    return font;
}

// Where the design font is missing, a wider substitute would run a caption into the
// controls beside it; such a caption gets a slightly smaller font instead.
void fitCaption(QWidget *widget, int availableWidth)
{
    QFont font = widget->font();
    while (widget->sizeHint().width() > availableWidth && font.pointSizeF() > 7.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        widget->setFont(font);
    }
}

// Height (twips) of the rows of view options between the direction grid and the buttons.
constexpr int kOptionRows = 840;

const QString kInvalidTimeout = QStringLiteral("Введено неверное значение таймаута.");

} // namespace

frmSettings::frmSettings(QWidget *owner, AppSettings &settings, QWidget *tree, Services &services,
                         std::function<void()> saveSettings)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
    , m_settings(settings)
    , m_tree(tree)
    , m_services(services)
    , m_saveSettings(std::move(saveSettings))
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Настройки"));
    setFont(designFont(font()));
    setFixedSize(px(6075), px(6015 + kOptionRows));
    // A fixed dialog frame: a title and a close box, no minimise or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    setSizeGripEnabled(false);
    centreOnScreen(this);
    installAccessibleControls();
    buildControls();
    LoadSettings();
    // The dialog opens on the first control of the tab order, not on its default button.
    m_colorButtons[DoneFore]->setFocus();
}

void frmSettings::buildControls()
{
    // A solid panel behind the label column; created first so it stays beneath everything.
    shpBack = new QWidget(this);
    shpBack->setObjectName(QStringLiteral("shpBack"));
    shpBack->setGeometry(px(-60), px(-360), px(2535), px(6735 + kOptionRows));
    shpBack->setAutoFillBackground(true);
    QPalette panel = shpBack->palette();
    panel.setColor(QPalette::Window, panel.color(QPalette::Button));
    shpBack->setPalette(panel);

    // Created in tab order, so the focus chain follows the design.
    QLabel *lbl = makeLabel(0, QStringLiteral("Выполненные задачи:"), 120, 180, 1875, 210);
    m_colorButtons[DoneFore] = makeColorButton(QStringLiteral("cmdDoneTasksColor"), 2220, 120, 1875);
    m_colorButtons[DoneBack] = makeColorButton(QStringLiteral("cmdDoneTasksBackColor"), 4140, 120, 1815);
    lbl->setBuddy(m_colorButtons[DoneFore]);
    lbl = makeLabel(1, QStringLiteral("Задачи в работе:"), 120, 600, 1455, 210);
    m_colorButtons[ProgressFore] = makeColorButton(QStringLiteral("cmdProgressTasksColor"), 2220, 540, 1875);
    m_colorButtons[ProgressBack] = makeColorButton(QStringLiteral("cmdProgressTasksBackColor"), 4140, 540, 1815);
    lbl->setBuddy(m_colorButtons[ProgressFore]);
    lbl = makeLabel(2, QStringLiteral("Отклонённые задачи:"), 120, 1020, 1860, 210);
    m_colorButtons[RejectedFore] = makeColorButton(QStringLiteral("cmdRejectedTasksColor"), 2220, 960, 1875);
    m_colorButtons[RejectedBack] = makeColorButton(QStringLiteral("cmdRejectedTasksBackColor"), 4140, 960, 1815);
    lbl->setBuddy(m_colorButtons[RejectedFore]);

    const QString statusNames[] = {QStringLiteral("Выполненные задачи"), QStringLiteral("Задачи в работе"),
                                   QStringLiteral("Отклонённые задачи")};
    for (int i = 0; i < 3; ++i) {
        m_colorButtons[DoneFore + i]->setAccessibleName(statusNames[i] + QStringLiteral(": цвет текста"));
        m_colorButtons[DoneBack + i]->setAccessibleName(statusNames[i] + QStringLiteral(": цвет фона"));
    }
    for (int i = 0; i < ColorCount; ++i)
        connect(m_colorButtons[i], &QPushButton::clicked, this, [this, i] { PickColor(i); });

    lbl = makeLabel(7, QStringLiteral("Фоновый цвет:"), 120, 1500, 1290, 210);
    cboUseBackColor
        = makeList(QStringLiteral("cboUseBackColor"),
                   {QStringLiteral("Все элементы без фонового цвета"), QStringLiteral("Фон элементов - по статусу")},
                   2220, 1440, 3735);
    lbl->setBuddy(cboUseBackColor);

    lbl = makeLabel(4, QStringLiteral("Шрифт дерева задач:"), 120, 2040, 1845, 210);
    cmdTreeFont = new QPushButton(QStringLiteral("AaBbБбФф"), this);
    cmdTreeFont->setObjectName(QStringLiteral("cmdTreeFont"));
    cmdTreeFont->setGeometry(px(2220), px(1860), px(3735), px(675));
    connect(cmdTreeFont, &QPushButton::clicked, this, &frmSettings::cmdTreeFont_Click);
    lbl->setBuddy(cmdTreeFont);

    lbl = makeLabel(8, QStringLiteral("Выделение:"), 120, 2700, 1020, 210);
    cboFullRowSelect = makeList(
        QStringLiteral("cboFullRowSelect"),
        {QStringLiteral("Только текст элементов"), QStringLiteral("Фон элемента по всей ширине")}, 2220, 2640, 3735);
    lbl->setBuddy(cboFullRowSelect);

    lbl = makeLabel(3, QStringLiteral("Действие ESC:"), 120, 3120, 1245, 210);
    // Without a notification area Escape minimises instead; the entry says what will happen.
    const bool hasTray = m_services.tray && m_services.tray->isTrayAvailable();
    cboESCAction = makeList(QStringLiteral("cboESCAction"),
                            {QStringLiteral("Закрыть программу"),
                             hasTray ? QStringLiteral("Свернуть главное окно в трэй")
                                     : QStringLiteral("Свернуть главное окно (области уведомлений нет)")},
                            2220, 3060, 3735);
    lbl->setBuddy(cboESCAction);

    lbl = makeLabel(9, QStringLiteral("Пометка подзадач:"), 120, 3540, 1620, 210);
    cboMarkSubTasks = makeList(QStringLiteral("cboMarkSubTasks"),
                               {QStringLiteral("Спросить о необходимости пометки"), QStringLiteral("Не помечать")},
                               2220, 3480, 3735);
    lbl->setBuddy(cboMarkSubTasks);

    lbl = makeLabel(5, QStringLiteral("Спецэффект скрытия:"), 120, 3960, 1920, 210);
    cboEffectStyle
        = makeList(QStringLiteral("cboEffectStyle"),
                   {QStringLiteral("Нет"), QStringLiteral("Blend"), QStringLiteral("Slide"), QStringLiteral("Roll")},
                   2220, 3900, 2235);
    lbl->setBuddy(cboEffectStyle);

    lbl = makeLabel(6, QStringLiteral("Таймаут (мс):"), 120, 4380, 1185, 210);
    txtTimeout = new QLineEdit(QStringLiteral("250"), this);
    txtTimeout->setObjectName(QStringLiteral("txtTimeout"));
    txtTimeout->setGeometry(px(2220), px(4320), px(2235), px(330));
    lbl->setBuddy(txtTimeout);

    static const char *const pictures[]
        = {"IDB_OPT_UP_LEFT", "IDB_OPT_UP",        "IDB_OPT_UP_RIGHT", "IDB_OPT_LEFT",      "IDB_OPT_CENTER",
           "IDB_OPT_RIGHT",   "IDB_OPT_DOWN_LEFT", "IDB_OPT_DOWN",     "IDB_OPT_DOWN_RIGHT"};
    static const char *const directionNames[]
        = {"вверх и влево", "вверх",        "вверх и вправо", "влево",        "к центру",
           "вправо",        "вниз и влево", "вниз",           "вниз и вправо"};
    for (int i = 0; i < 9; ++i) {
        auto *opt = new QToolButton(this);
        opt->setObjectName(QStringLiteral("optDirection%1").arg(i));
        opt->setGeometry(px(4560 + 480 * (i % 3)), px(3900 + 480 * (i / 3)), px(435), px(435));
        opt->setCheckable(true);
        opt->setAutoExclusive(true);
        opt->setToolButtonStyle(Qt::ToolButtonIconOnly);
        opt->setIcon(resourceIcon(QLatin1String(pictures[i])));
        opt->setIconSize(QSize(17, 17));
        opt->setAccessibleName(QStringLiteral("Направление: ") + QString::fromUtf8(directionNames[i]));
        connect(opt, &QToolButton::toggled, this, &frmSettings::updateDirectionTabStop);
        connect(opt, &QToolButton::toggled, opt, [opt] {
            QAccessible::State changed;
            changed.checked = true;
            QAccessibleStateChangeEvent event(opt, changed);
            QAccessible::updateAccessibility(&event);
        });
        optDirection[i] = opt;
    }
    updateDirectionTabStop();

#ifdef Q_OS_WIN
    const QString autorunCaption = QStringLiteral("Запускать с Windows");
#else
    const QString autorunCaption = QStringLiteral("Запускать при входе в систему");
#endif
    chkAutorun = new QCheckBox(autorunCaption, this);
    chkAutorun->setObjectName(QStringLiteral("chkAutorun"));
    // The design's place beside "Ok" holds the short caption; a longer one takes the free row
    // under the timeout, left of the direction grid, in the dialog's own font.
    const QSize autorunHint = chkAutorun->sizeHint();
    if (autorunHint.width() <= px(3060 - 180) - 4)
        chkAutorun->setGeometry(px(180), px(5580 + kOptionRows), std::max(autorunHint.width(), px(2175)),
                                std::max(px(255), autorunHint.height()));
    else
        chkAutorun->setGeometry(px(180), px(4860) + (px(435) - autorunHint.height()) / 2,
                                std::min(autorunHint.width(), px(4560 - 180) - 4), autorunHint.height());

    // The view options take the rows below the direction grid, across the dialog.
    const auto makeOption = [this](const char *name, const QString &caption, int top) {
        auto *check = new QCheckBox(caption, this);
        check->setObjectName(QLatin1String(name));
        const int height = std::max(px(255), check->sizeHint().height());
        check->setGeometry(px(180), px(top) + (px(420) - height) / 2,
                           std::min(check->sizeHint().width(), px(5955 - 180)), height);
        return check;
    };
    chkShowFilter = makeOption("chkShowFilter", QStringLiteral("Показывать фильтр"), 5400);
    chkShowSubTaskCounter = makeOption("chkShowSubTaskCounter", QStringLiteral("Показывать счётчик подзадач"), 5820);

    cmdOk = new QPushButton(QStringLiteral("Ok"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setGeometry(px(3060), px(5460 + kOptionRows), px(1395), px(435));
    cmdOk->setDefault(true);
    connect(cmdOk, &QPushButton::clicked, this, &frmSettings::cmdOk_Click);

    cmdCancel = new QPushButton(QStringLiteral("Отмена"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(px(4560), px(5460 + kOptionRows), px(1395), px(435));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    // Enter is "Ok" wherever the focus is, except on "Отмена", which it presses; a focused
    // chooser button would otherwise take it over and open its chooser once more.
    for (QPushButton *button : findChildren<QPushButton *>(Qt::FindDirectChildrenOnly))
        button->setAutoDefault(button == cmdOk || button == cmdCancel);

    // One size for the whole label column, the smallest any of them needed.
    const QList<QLabel *> labels = findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    qreal labelSize = font().pointSizeF();
    for (const QLabel *label : labels)
        labelSize = std::min(labelSize, label->font().pointSizeF());
    for (QLabel *label : labels) {
        QFont f = label->font();
        f.setPointSizeF(labelSize);
        label->setFont(f);
        // A control is announced by its label, not by its current value or its sample text.
        if (QWidget *buddy = label->buddy(); buddy && buddy->accessibleName().isEmpty()) {
            QString name = label->text();
            name.remove(QLatin1Char('&'));
            if (name.endsWith(QLatin1Char(':')))
                name.chop(1);
            buddy->setAccessibleName(name);
        }
    }

    QList<QWidget *> order = {m_colorButtons[DoneFore],
                              m_colorButtons[DoneBack],
                              m_colorButtons[ProgressFore],
                              m_colorButtons[ProgressBack],
                              m_colorButtons[RejectedFore],
                              m_colorButtons[RejectedBack],
                              cboUseBackColor,
                              cmdTreeFont,
                              cboFullRowSelect,
                              cboESCAction,
                              cboMarkSubTasks,
                              cboEffectStyle,
                              txtTimeout};
    for (QToolButton *opt : optDirection)
        order.append(opt);
    order << chkAutorun << chkShowFilter << chkShowSubTaskCounter << cmdOk << cmdCancel;
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

QLabel *frmSettings::makeLabel(int index, const QString &caption, int left, int top, int width, int height)
{
    auto *label = new QLabel(caption, this);
    label->setObjectName(QStringLiteral("lblTag%1").arg(index));
    const int room = px(2220 - left) - 4;
    fitCaption(label, room);
    const QSize hint = label->sizeHint();
    label->setGeometry(px(left), px(top), std::clamp(hint.width(), px(width), room),
                       std::max(px(height), hint.height()));
    return label;
}

QPushButton *frmSettings::makeColorButton(const QString &name, int left, int top, int width)
{
    auto *button = new QPushButton(this);
    button->setObjectName(name);
    button->setGeometry(px(left), px(top), px(width), px(375));
    return button;
}

QComboBox *frmSettings::makeList(const QString &name, const QStringList &entries, int left, int top, int width)
{
    auto *list = new QComboBox(this);
    list->setObjectName(name);
    list->setEditable(false);
    list->addItems(entries);
    fitCaption(list, px(width));
    list->setGeometry(px(left), px(top), px(width), std::max(px(330), list->sizeHint().height()));
    return list;
}

void frmSettings::setButtonColor(int index, OleColor color)
{
    m_colors[index] = color;
    const QColor shown = oleToColor(color, palette());
    // A style sheet, because not every style paints a button in its palette's colour.
    m_colorButtons[index]->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 1px solid palette(dark); }"
                       "QPushButton:focus { border: 2px solid palette(highlight); }")
            .arg(shown.name()));
}

void frmSettings::setTreeFontSample(const QFont &font)
{
    cmdTreeFont->setFont(exactFont(font));
    // The sample shows the font; a screen reader hears it described.
    QStringList description {font.family(),
                             font.pointSizeF() > 0 ? QStringLiteral("%1 пт").arg(font.pointSizeF())
                                                   : QStringLiteral("%1 пикс.").arg(font.pixelSize())};
    if (font.bold())
        description << QStringLiteral("полужирный");
    if (font.italic())
        description << QStringLiteral("курсив");
    cmdTreeFont->setAccessibleDescription(description.join(QStringLiteral(", ")));
}

void frmSettings::LoadSettings()
{
    setButtonColor(DoneFore, m_settings.DoneTasksColor);
    setButtonColor(ProgressFore, m_settings.ProgressTasksColor);
    setButtonColor(RejectedFore, m_settings.RejectedTasksColor);
    setButtonColor(DoneBack, m_settings.DoneTasksBackColor);
    setButtonColor(ProgressBack, m_settings.ProgressTasksBackColor);
    setButtonColor(RejectedBack, m_settings.RejectedTasksBackColor);

    cboUseBackColor->setCurrentIndex(m_settings.UseBackColor ? 1 : 0);
    cboFullRowSelect->setCurrentIndex(m_settings.FullRowSelect ? 1 : 0);
    cboESCAction->setCurrentIndex(m_settings.CollapseOnESC ? 1 : 0);
    cboMarkSubTasks->setCurrentIndex(m_settings.DontMarkSubTasks ? 1 : 0);

    if (m_tree)
        setTreeFontSample(m_tree->font());

    cboEffectStyle->setCurrentIndex(
        m_settings.EffectStyle >= 0 && m_settings.EffectStyle < cboEffectStyle->count() ? m_settings.EffectStyle : -1);
    txtTimeout->setText(QString::number(m_settings.EffectTimeout));

    if (m_settings.SlideDirection >= 0 && m_settings.SlideDirection < int(optDirection.size()))
        optDirection[m_settings.SlideDirection]->setChecked(true);

    chkAutorun->setChecked(m_services.startup->IsRegistered(AppIdentity::kGuid));
    chkShowFilter->setChecked(m_settings.ShowFilter);
    chkShowSubTaskCounter->setChecked(m_settings.ShowSubTaskCounter);
}

void frmSettings::PickColor(int index)
{
    const std::optional<OleColor> chosen
        = m_services.choosers->chooseColor(this, m_colors[index], m_settings.CustomColors);
    if (chosen)
        setButtonColor(index, *chosen);
}

void frmSettings::cmdTreeFont_Click()
{
    const std::optional<QFont> chosen = m_services.choosers->chooseFont(this, cmdTreeFont->font());
    if (chosen)
        setTreeFontSample(*chosen);
}

void frmSettings::updateDirectionTabStop()
{
    // Like a group of option buttons, the grid is one tab stop, the checked button; the
    // arrow keys move between the buttons.
    const int checked = GetSelectedDirection();
    for (int i = 0; i < int(optDirection.size()); ++i)
        optDirection[i]->setFocusPolicy(i == checked ? Qt::StrongFocus : Qt::ClickFocus);
}

int frmSettings::GetSelectedDirection() const
{
    for (int i = 0; i < int(optDirection.size()); ++i) {
        if (optDirection[i]->isChecked())
            return i;
    }
    return 0;
}

std::optional<qint32> frmSettings::parseTimeout(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = QLocale::system().toDouble(trimmed, &ok);
    if (!ok)
        value = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    // The default rounding mode sends a half to the even neighbour.
    const double whole = std::nearbyint(value);
    if (whole < 1.0 || whole > double(std::numeric_limits<qint32>::max()))
        return std::nullopt;
    return qint32(whole);
}

void frmSettings::cmdOk_Click()
{
    const std::optional<qint32> timeout = parseTimeout(txtTimeout->text());
    if (!timeout) {
        m_services.prompts->messageBox(this, kInvalidTimeout, MsgStyle::OkCritical);
        txtTimeout->setFocus();
        return;
    }

    m_settings.DoneTasksColor = m_colors[DoneFore];
    m_settings.ProgressTasksColor = m_colors[ProgressFore];
    m_settings.RejectedTasksColor = m_colors[RejectedFore];
    m_settings.DoneTasksBackColor = m_colors[DoneBack];
    m_settings.ProgressTasksBackColor = m_colors[ProgressBack];
    m_settings.RejectedTasksBackColor = m_colors[RejectedBack];
    m_settings.UseBackColor = cboUseBackColor->currentIndex() == 1;
    m_settings.FullRowSelect = cboFullRowSelect->currentIndex() == 1;
    m_settings.CollapseOnESC = cboESCAction->currentIndex() == 1;
    m_settings.DontMarkSubTasks = cboMarkSubTasks->currentIndex() == 1;
    if (m_tree)
        m_tree->setFont(cmdTreeFont->font());
    m_settings.EffectStyle = cboEffectStyle->currentIndex();
    m_settings.EffectTimeout = *timeout;
    m_settings.SlideDirection = GetSelectedDirection();
    m_settings.ShowFilter = chkShowFilter->isChecked();
    m_settings.ShowSubTaskCounter = chkShowSubTaskCounter->isChecked();

    // Done on every OK, so the registered path follows the program when it moves.
    QString error;
    bool registered = false;
    if (chkAutorun->isChecked()) {
        const QString commandLine = QLatin1Char('"') + QDir::toNativeSeparators(QCoreApplication::applicationFilePath())
            + QStringLiteral("\" /Autorun");
        registered = m_services.startup->Register(AppIdentity::kGuid, commandLine, &error);
    } else {
        registered = m_services.startup->Unregister(AppIdentity::kGuid, &error);
    }
    if (!registered) {
        // The other settings are still worth keeping; the user only has to know this one failed.
        QString message = QStringLiteral("Не удалось изменить автозапуск программы.");
        if (!error.isEmpty())
            message += QStringLiteral("\r\n\r\n") + error;
        m_services.prompts->messageBox(this, message, MsgStyle::OkExclamation);
    }

    if (m_saveSettings)
        m_saveSettings();
    accept();
}
