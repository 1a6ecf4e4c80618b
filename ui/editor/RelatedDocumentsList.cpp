// SPDX-License-Identifier: MIT
#include "ui/editor/RelatedDocumentsList.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

// Only a list of files can be dropped, and only as a copy: the files stay where they are.
bool acceptAsCopy(QDropEvent *event, const QStringList &files)
{
    event->setDropAction(files.isEmpty() ? Qt::IgnoreAction : Qt::CopyAction);
    event->setAccepted(!files.isEmpty());
    return !files.isEmpty();
}

} // namespace

RelatedDocumentsList::RelatedDocumentsList(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
}

QStringList RelatedDocumentsList::entries() const
{
    QStringList result;
    result.reserve(count());
    for (int i = 0; i < count(); ++i)
        result.append(item(i)->text());
    return result;
}

QStringList RelatedDocumentsList::droppedFiles(const QMimeData *data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            files.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return files;
}

void RelatedDocumentsList::dragEnterEvent(QDragEnterEvent *event)
{
    dragMoveEvent(event);
}

void RelatedDocumentsList::dragMoveEvent(QDragMoveEvent *event)
{
    acceptAsCopy(event, droppedFiles(event->mimeData()));
}

void RelatedDocumentsList::dragLeaveEvent(QDragLeaveEvent *event)
{
    event->accept();
}

void RelatedDocumentsList::dropEvent(QDropEvent *event)
{
    const QStringList files = droppedFiles(event->mimeData());
    if (acceptAsCopy(event, files))
        Q_EMIT filesDropped(files);
}
