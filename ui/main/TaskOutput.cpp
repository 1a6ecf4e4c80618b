// SPDX-License-Identifier: MIT
#include "ui/main/TaskOutput.h"

#include "components/Choosers.h"
#include "components/DocumentPrinter.h"
#include "components/Prompts.h"
#include "components/Services.h"
#include "export/TaskExport.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "storage/TaskFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

constexpr ExportFormat kFormats[] = {ExportFormat::Markdown, ExportFormat::Html, ExportFormat::Csv};

// The task's first line, short enough for a caption.
QString shortText(const TaskNode *task)
{
    QString text = task->text().section(u'\n', 0, 0).trimmed();
    text.remove(u'\r');
    return text.size() > 40 ? text.left(39) + QChar(0x2026) : text;
}

// A file name from a task's text: what no file system takes is replaced.
QString fileNameFor(const TaskNode *task)
{
    QString name = task ? shortText(task) : TaskTree::kRootText;
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || QStringView(u"/\\:*?\"<>|").contains(c))
            c = u'_';
    }
    name.remove(QChar(0x2026));
    name = name.trimmed();
    return name.isEmpty() || name.startsWith(u'.') ? TaskTree::kRootText : name;
}

// The format a file name asks for by its suffix, if it names one.
std::optional<ExportFormat> formatOfFile(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("htm"))
        return ExportFormat::Html;
    if (suffix == QLatin1String("markdown"))
        return ExportFormat::Markdown;
    return exportFormatFromName(suffix);
}

} // namespace

TaskOutput::TaskOutput(const MainContext &context)
    : m_ctx(context)
{
}

QStringList TaskOutput::fileFilters()
{
    return {QStringLiteral("Markdown (*.md)"), QStringLiteral("HTML (*.html *.htm)"), QStringLiteral("CSV (*.csv)")};
}

const TaskNode *TaskOutput::selectedTop() const
{
    const TaskNode *selected = m_ctx.tree->selected();
    return selected && !selected->isRoot() ? selected : nullptr;
}

void TaskOutput::ExportTasks()
{
    const TaskNode *top = selectedTop();
    const QString caption = top ? QStringLiteral("Экспорт задачи «%1» с подзадачами").arg(shortText(top))
                                : QStringLiteral("Экспорт всех задач");
    if (m_lastFolder.isEmpty() || !QFileInfo(m_lastFolder).isDir())
        m_lastFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(m_lastFolder).isDir())
        m_lastFolder = QDir::homePath();
    int filter = m_lastFilter;
    const QString suggested
        = QDir(m_lastFolder).filePath(fileNameFor(top) + u'.' + exportFormatSuffix(kFormats[filter]));
    QString path = m_ctx.services->choosers->chooseSaveFile(m_ctx.window, caption, suggested, fileFilters(), &filter);
    if (path.isEmpty())
        return;
    if (filter < 0 || filter >= int(std::size(kFormats)))
        filter = m_lastFilter;
    // The name's own suffix wins over the file type; a name without one gets the type's.
    std::optional<ExportFormat> format = formatOfFile(path);
    if (!format) {
        format = kFormats[filter];
        if (QFileInfo(path).suffix().isEmpty())
            path += u'.' + exportFormatSuffix(*format);
    }
    const SaveResult saved = saveFileBytes(
        path, exportTasks(*m_ctx.tree, top ? top : m_ctx.tree->root(), *format, m_ctx.settings->statusColors()));
    if (!saved.ok) {
        m_ctx.services->prompts->showError(m_ctx.window, saved.error, MsgStyle::OkCritical,
                                           QStringLiteral("Не удалось сохранить экспорт задач."));
        return;
    }
    m_lastFolder = QFileInfo(path).absolutePath();
    m_lastFilter = filter;
}

void TaskOutput::PrintTasks()
{
    const TaskNode *top = selectedTop();
    const QString caption = top ? QStringLiteral("Печать задачи «%1» с подзадачами").arg(shortText(top))
                                : QStringLiteral("Печать всех задач");
    QString page = QString::fromUtf8(
        exportTasks(*m_ctx.tree, top ? top : m_ctx.tree->root(), ExportFormat::Html, m_ctx.settings->statusColors()));
    // The page keeps carriage returns as references; on paper they are line breaks.
    page.replace(QStringLiteral("&#13;\n"), QStringLiteral("\n"))
        .replace(QStringLiteral("&#13;"), QStringLiteral("\n"));
    m_ctx.services->printer->printPreview(m_ctx.window, caption, page);
}
