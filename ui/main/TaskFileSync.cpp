// SPDX-License-Identifier: MIT
#include "ui/main/TaskFileSync.h"

#include "components/Prompts.h"
#include "components/Services.h"
#include "components/platform/MemoryRelease.h"
#include "model/TaskTree.h"
#include "storage/TaskFile.h"
#include "ui/main/UiLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <vector>

namespace {

// A replace by another program comes as several events (temporary file, rename, folder).
constexpr int kSettleMs = 200;
// A dialog or a drag is open: look again a little later.
constexpr int kRetryMs = 500;

// Visits every node with a key made of the texts from the top; equal texts under one parent
// count by their order among themselves.
template<typename Visit>
void walk(const TaskTree &tree, Visit &&visit)
{
    struct Item {
        TaskNode *node;
        size_t key;
    };
    std::vector<Item> stack {{tree.root(), 0}};
    QHash<QString, int> seen;
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        visit(item.node, item.key);
        if (item.node->childCount() == 0)
            continue;
        seen.clear();
        for (int i = 0; i < item.node->childCount(); ++i) {
            TaskNode *child = item.node->child(i);
            const int n = seen[child->text()]++;
            stack.push_back({child, qHashMulti(item.key, child->text(), n)});
        }
    }
}

// The expanded flags and the selection, by task.
struct ViewState {
    QHash<size_t, bool> expanded;
    size_t selected = 0;
    bool hasSelected = false;
};

ViewState captureView(const TaskTree &tree)
{
    ViewState state;
    state.expanded.reserve(tree.count());
    walk(tree, [&](TaskNode *node, size_t key) {
        state.expanded.insert(key, node->isExpanded());
        if (node == tree.selected()) {
            state.selected = key;
            state.hasSelected = true;
        }
    });
    return state;
}

void restoreView(TaskTree &tree, const ViewState &state)
{
    TaskNode *found = nullptr;
    walk(tree, [&](TaskNode *node, size_t key) {
        const auto it = state.expanded.constFind(key);
        if (it != state.expanded.cend() && *it != node->isExpanded())
            tree.setExpanded(node, *it);
        if (state.hasSelected && key == state.selected && !found)
            found = node;
    });
    if (found)
        tree.setSelected(found);
}

const QString kConflictQuestion = QStringLiteral("Файл с задачами изменён другой программой, а здесь есть "
                                                 "несохранённые изменения:\r\n");
const QString kConflictChoices
    = QStringLiteral("\r\n\r\nДа — сохранить мои задачи, а другую версию файла положить рядом с ним.\r\n"
                     "Нет — загрузить другую версию, а мои задачи положить рядом с файлом.\r\n"
                     "Отмена — пока ничего не сохранять.");

} // namespace

TaskFileSync::TaskFileSync(const MainContext &ctx, QString taskFilePath, std::function<bool()> busy)
    : m_ctx(ctx)
    , m_path(std::move(taskFilePath))
    , m_busy(std::move(busy))
{
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, &TaskFileSync::checkNow);
}

TaskFileSync::~TaskFileSync() = default;

void TaskFileSync::beforeLoad()
{
    m_ctx.tree->setModified(false);
    watch();
}

void TaskFileSync::loaded(const FileStamp &stamp)
{
    // The load hashed the very bytes the tree now holds: no second read of the file.
    m_known = stamp;
}

void TaskFileSync::watch()
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        auto later = [this] { m_settle.start(kSettleMs); };
        connect(m_watcher, &QFileSystemWatcher::fileChanged, this, later);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, later);
    }
    // Sync tools replace the file by a rename, which ends the watch on it: it is added again.
    // A symlinked file is watched where it really lives too.
    const QFileInfo info(m_path);
    QStringList paths {info.absoluteFilePath(), info.absolutePath()};
    const QString target = info.canonicalFilePath();
    if (!target.isEmpty() && target != info.absoluteFilePath())
        paths << target << QFileInfo(target).absolutePath();
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    for (const QString &p : paths) {
        if (!watched.contains(p) && QFileInfo::exists(p))
            m_watcher->addPath(p);
    }
}

void TaskFileSync::checkNow()
{
    watch();
    if (!QFileInfo(m_path).isFile() || !m_known.changedOnDisk(m_path))
        return;
    if (m_busy()) {
        m_settle.start(kRetryMs);
        return;
    }
    if (m_ctx.tree->isModified()) {
        qCInfo(lcUi) << "The task file was changed by another program while there are unsaved changes here;"
                        " the next save settles it:"
                     << m_path;
        return;
    }
    QString error;
    if (!reload(&error))
        qCWarning(lcUi) << "A new version of the task file could not be loaded:" << error;
}

bool TaskFileSync::reload(QString *error)
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    const FileStamp version = FileStamp::of(m_path, bytes);
    TaskTree &tree = *m_ctx.tree;
    const ViewState view = captureView(tree);
    const bool wasModified = tree.isModified();
    const QByteArray mine = serializeTaskTree(tree);
    QString why;
    const bool ok = loadTaskFileFromBytes(bytes, tree, &why);
    if (!ok) {
        // The tree goes back to what it was; the file is looked at again when it changes.
        *error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_path), why);
        loadTaskFileFromBytes(mine, tree);
    }
    restoreView(tree, view);
    tree.setModified(ok ? false : wasModified);
    if (ok)
        m_known = version;
    releaseFreedMemory();
    // Even a failed load rebuilt the tree (from this program's own version).
    Q_EMIT reloaded(ok, ok ? version : FileStamp {});
    return ok;
}

bool TaskFileSync::settleBeforeSave()
{
    if (!QFileInfo(m_path).isFile() || !m_known.changedOnDisk(m_path))
        return true;
    Prompts *prompts = m_ctx.services->prompts;
    QString error;
    if (!m_ctx.tree->isModified()) {
        if (!reload(&error))
            prompts->showError(m_ctx.window, error, MsgStyle::OkCritical,
                               QStringLiteral("Файл с задачами изменён другой программой, и его новую версию "
                                              "не удалось прочитать. Файл оставлен как есть."));
        return false;
    }
    const MsgAnswer answer
        = prompts->messageBox(m_ctx.window, kConflictQuestion + QDir::toNativeSeparators(m_path) + kConflictChoices,
                              MsgStyle::YesNoCancelQuestion);
    if (answer == MsgAnswer::Yes) {
        const QString other = keepCopyAside(m_path, QStringLiteral("conflict"));
        if (other.isEmpty()) {
            prompts->showError(m_ctx.window, QDir::toNativeSeparators(m_path), MsgStyle::OkCritical,
                               QStringLiteral("Не удалось положить другую версию файла с задачами рядом с ним. "
                                              "Ничего не сохранено."));
            return false;
        }
        qCInfo(lcUi) << "The other version of the task file was kept as" << other;
        m_known = FileStamp::read(m_path);
        return true;
    }
    if (answer == MsgAnswer::No) {
        const QString mine = writeTreeAside(&error);
        if (mine.isEmpty()) {
            prompts->showError(m_ctx.window, error, MsgStyle::OkCritical,
                               QStringLiteral("Не удалось положить ваши задачи рядом с файлом. Ничего не загружено."));
            return false;
        }
        qCInfo(lcUi) << "The tasks of this window were kept as" << mine;
        if (!reload(&error))
            prompts->showError(m_ctx.window, error, MsgStyle::OkCritical,
                               QStringLiteral("Не удалось загрузить другую версию файла с задачами. "
                                              "Ваши задачи сохранены рядом с ним:\r\n")
                                   + QDir::toNativeSeparators(mine));
    }
    return false;
}

TaskFileSync::Write TaskFileSync::beforeWrite(QString *error)
{
    if (!QFileInfo(m_path).isFile() || !m_known.changedOnDisk(m_path))
        return Write::Go;
    if (!m_ctx.tree->isModified()) {
        qCInfo(lcUi) << "The task file was changed by another program and nothing here is unsaved: it stays" << m_path;
        return Write::Skip;
    }
    const QString other = keepCopyAside(m_path, QStringLiteral("conflict"));
    if (!other.isEmpty()) {
        qCInfo(lcUi) << "The task file was changed by another program; that version was kept as" << other;
        return Write::Go;
    }
    QString why;
    const QString mine = writeTreeAside(&why);
    if (!mine.isEmpty()) {
        qCWarning(lcUi) << "The task file was changed by another program and could not be copied aside;"
                           " the tasks of this window went to"
                        << mine;
        return Write::Skip;
    }
    *error = QStringLiteral("Файл изменён другой программой, и ни одну из двух версий не удалось положить "
                            "рядом с ним: ")
        + why;
    return Write::Failed;
}

void TaskFileSync::saved(const FileStamp &stamp)
{
    m_known = stamp;
    m_ctx.tree->setModified(false);
}

QString TaskFileSync::writeTreeAside(QString *error)
{
    const QFileInfo info(m_path);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1
            ? QStringLiteral("%1.%2.conflict").arg(info.fileName(), stamp)
            : QStringLiteral("%1.%2-%3.conflict").arg(info.fileName(), stamp).arg(attempt);
        const QString aside = info.absoluteDir().filePath(name);
        if (QFileInfo::exists(aside))
            continue;
        const SaveResult result = saveTaskFile(aside, *m_ctx.tree);
        if (result.ok)
            return aside;
        *error = result.error;
        return {};
    }
    *error = QDir::toNativeSeparators(info.absolutePath());
    return {};
}
