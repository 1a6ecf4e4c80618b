// SPDX-License-Identifier: MIT
#pragma once

#include "components/Choosers.h"

#include <array>

// File, folder, colour and font choosers as Qt dialogs.
class QtChoosers : public Choosers
{
public:
    static constexpr int kCustomColorCount = 16;
    using CustomColors = std::array<OleColor, kCustomColorCount>;

    QStringList chooseFiles(QWidget *parent, const QString &filter, const QString &initialFolder) override;
    QString chooseFolder(QWidget *parent) override;
    std::optional<OleColor> chooseColor(QWidget *parent, OleColor initial, QString &customColors) override;
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override;
    QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &suggestedPath,
                           const QStringList &filters, int *filter) override;

    // "Description|pattern;pattern|..." as Qt's "Description (pattern pattern);;...".
    static QString toQtFilter(const QString &filter);
    // The custom colour slots as text: 16 comma-separated 0xBBGGRR values. Unreadable or
    // missing slots read as white.
    static QString formatCustomColors(const CustomColors &colors);
    static CustomColors parseCustomColors(const QString &text);
};
