// SPDX-License-Identifier: MIT
#pragma once

#include "components/OleColor.h"

#include <QFont>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

// The file, folder, colour and font choosers. Real: Qt dialogs; tests: a scripted fake.
class Choosers
{
public:
    virtual ~Choosers() = default;
    // Full paths in the dialog's order; empty when cancelled.
    virtual QStringList chooseFiles(QWidget *parent, const QString &filter, const QString &initialFolder) = 0;
    // Empty when cancelled.
    virtual QString chooseFolder(QWidget *parent) = 0;
    // customColors: the custom colour slots as text, updated only when a colour is confirmed.
    virtual std::optional<OleColor> chooseColor(QWidget *parent, OleColor initial, QString &customColors) = 0;
    virtual std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) = 0;
    // A file to write, asking before an existing one is replaced; empty when cancelled.
    // filters: "Description (*.ext)" each; *filter: the one offered first, then the one chosen.
    virtual QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &suggestedPath,
                                   const QStringList &filters, int *filter)
        = 0;
};
