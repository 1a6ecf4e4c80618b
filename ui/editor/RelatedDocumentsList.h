// SPDX-License-Identifier: MIT
#pragma once

#include <QListWidget>
#include <QStringList>

class QMimeData;

// The editor's document list: one string per entry, several selectable at once. It takes
// files dropped from the file manager (copy) and refuses every other kind of drag.
class RelatedDocumentsList : public QListWidget
{
    Q_OBJECT
public:
    explicit RelatedDocumentsList(QWidget *parent = nullptr);

    QStringList entries() const;

    // The local files a drag carries, in its order; empty when it carries none.
    static QStringList droppedFiles(const QMimeData *data);

Q_SIGNALS:
    void filesDropped(const QStringList &files);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};
