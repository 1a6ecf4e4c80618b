// SPDX-License-Identifier: MIT
#include "components/qt/QtChoosers.h"

#include "components/ColorConvert.h"

#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QRegularExpression>

namespace {

constexpr OleColor kWhite = 0xFFFFFFu;

// "*.*" means every file to the system this filter form comes from; here it is "*".
QString toQtPatterns(const QString &patterns)
{
    QStringList out;
    const QStringList parts = patterns.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.isEmpty())
            continue;
        out.append(p == QStringLiteral("*.*") ? QStringLiteral("*") : p);
    }
    return out.isEmpty() ? QStringLiteral("*") : out.join(QLatin1Char(' '));
}

} // namespace

QString QtChoosers::toQtFilter(const QString &filter)
{
    if (filter.trimmed().isEmpty())
        return {};
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        const QString patterns = i + 1 < parts.size() ? toQtPatterns(parts.at(i + 1)) : QStringLiteral("*");
        if (description.isEmpty() && i + 1 >= parts.size())
            continue; // a trailing "|"
        filters.append(description.isEmpty() ? patterns : QStringLiteral("%1 (%2)").arg(description, patterns));
    }
    return filters.join(QStringLiteral(";;"));
}

QString QtChoosers::formatCustomColors(const CustomColors &colors)
{
    QStringList parts;
    for (OleColor c : colors)
        parts.append(QStringLiteral("0x")
                     + QString::number(c & 0xFFFFFFu, 16).rightJustified(6, QLatin1Char('0')).toUpper());
    return parts.join(QLatin1Char(','));
}

QtChoosers::CustomColors QtChoosers::parseCustomColors(const QString &text)
{
    CustomColors colors;
    colors.fill(kWhite);
    const QStringList parts = text.split(QLatin1Char(','));
    for (int i = 0; i < kCustomColorCount && i < parts.size(); ++i) {
        QString p = parts.at(i).trimmed();
        bool ok = false;
        qulonglong value = 0;
        if (p.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
            value = QStringView(p).mid(2).toULongLong(&ok, 16);
        else
            value = p.toULongLong(&ok, 10);
        if (ok && value <= 0xFFFFFFu)
            colors[size_t(i)] = OleColor(value);
    }
    return colors;
}

QStringList QtChoosers::chooseFiles(QWidget *parent, const QString &filter, const QString &initialFolder)
{
    QFileDialog dialog(parent, QStringLiteral("Добавить файлы"), initialFolder, toQtFilter(filter));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    QStringList files;
    const QStringList selected = dialog.selectedFiles();
    for (const QString &f : selected)
        files.append(QDir::toNativeSeparators(f));
    return files;
}

QString QtChoosers::chooseFolder(QWidget *parent)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, QStringLiteral("Добавить папку"));
    return folder.isEmpty() ? QString() : QDir::toNativeSeparators(folder);
}

std::optional<OleColor> QtChoosers::chooseColor(QWidget *parent, OleColor initial, QString &customColors)
{
    const CustomColors slots = parseCustomColors(customColors);
    for (int i = 0; i < kCustomColorCount && i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, oleToColor(slots[size_t(i)], {}));

    const QPalette palette = parent ? parent->palette() : QPalette();
    QColorDialog dialog(oleToColor(initial, palette), parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;

    CustomColors after;
    after.fill(kWhite);
    for (int i = 0; i < kCustomColorCount && i < QColorDialog::customCount(); ++i)
        after[size_t(i)] = colorToOle(QColorDialog::customColor(i));
    customColors = formatCustomColors(after);
    return colorToOle(dialog.selectedColor());
}

std::optional<QFont> QtChoosers::chooseFont(QWidget *parent, const QFont &initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return font;
}

QString QtChoosers::chooseSaveFile(QWidget *parent, const QString &caption, const QString &suggestedPath,
                                   const QStringList &filters, int *filter)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // A name typed without a suffix, or with the previous type's, gets the chosen type's.
    auto suffixOf = [](const QString &nameFilter) {
        const qsizetype star = nameFilter.indexOf(QStringLiteral("(*."));
        return star < 0 ? QString()
                        : nameFilter.mid(star + 3).section(QRegularExpression(QStringLiteral("[ )]")), 0, 0);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffixOf](const QString &nameFilter) {
        const QString suffix = suffixOf(nameFilter);
        dialog.setDefaultSuffix(suffix);
        const QStringList typed = dialog.selectedFiles();
        if (!typed.isEmpty() && !suffix.isEmpty() && !QFileInfo(typed.constFirst()).isDir())
            dialog.selectFile(QFileInfo(typed.constFirst()).completeBaseName() + u'.' + suffix);
    });
    const QFileInfo suggested(suggestedPath);
    dialog.setDirectory(suggested.absolutePath());
    dialog.selectFile(suggested.fileName());
    if (*filter >= 0 && *filter < filters.size()) {
        dialog.selectNameFilter(filters.at(*filter));
        dialog.setDefaultSuffix(suffixOf(filters.at(*filter)));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    *filter = int(filters.indexOf(dialog.selectedNameFilter()));
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}
