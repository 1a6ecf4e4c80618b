// SPDX-License-Identifier: MIT
#pragma once

#include "components/OleColor.h"

#include <QDialog>
#include <array>
#include <functional>
#include <optional>

struct AppSettings;
struct Services;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// The modal settings dialog. It fills itself from AppSettings, and on OK writes its values
// back, gives the tree its font, updates the start-up registration and saves the settings.
// Only the colour dialog's custom colours change before OK (and survive a Cancel).
class frmSettings : public QDialog
{
    Q_OBJECT
public:
    frmSettings(QWidget *owner, AppSettings &settings, QWidget *tree, Services &services,
                std::function<void()> saveSettings);

    // The timeout text as the user may type it: locale-aware, blanks around it allowed, a
    // fraction rounded half to even. Nothing when it is no 32-bit number above 0.
    static std::optional<qint32> parseTimeout(const QString &text);

private:
    enum ColorIndex { DoneFore, ProgressFore, RejectedFore, DoneBack, ProgressBack, RejectedBack, ColorCount };

    void buildControls();
    QLabel *makeLabel(int index, const QString &caption, int left, int top, int width, int height);
    QPushButton *makeColorButton(const QString &name, int left, int top, int width);
    QComboBox *makeList(const QString &name, const QStringList &entries, int left, int top, int width);
    void LoadSettings();
    void setButtonColor(int index, OleColor color);
    void setTreeFontSample(const QFont &font);

    void PickColor(int index);
    void cmdTreeFont_Click();
    void cmdOk_Click();
    int GetSelectedDirection() const;
    void updateDirectionTabStop();

    AppSettings &m_settings;
    QWidget *m_tree;
    Services &m_services;
    std::function<void()> m_saveSettings;

    std::array<QPushButton *, ColorCount> m_colorButtons {};
    std::array<OleColor, ColorCount> m_colors {};
    QWidget *shpBack = nullptr;
    QComboBox *cboUseBackColor = nullptr;
    QPushButton *cmdTreeFont = nullptr;
    QComboBox *cboFullRowSelect = nullptr;
    QComboBox *cboESCAction = nullptr;
    QComboBox *cboMarkSubTasks = nullptr;
    QComboBox *cboEffectStyle = nullptr;
    QLineEdit *txtTimeout = nullptr;
    std::array<QToolButton *, 9> optDirection {};
    QCheckBox *chkAutorun = nullptr;
    QCheckBox *chkShowFilter = nullptr;
    QCheckBox *chkShowSubTaskCounter = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;
};
