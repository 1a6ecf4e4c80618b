// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

// The task editor as the main window sees it: created for one use, filled, shown modally,
// read back, released.
class TaskEditor
{
public:
    virtual ~TaskEditor() = default;
    virtual void setCaption(const QString &caption) = 0;
    virtual void setText(const QString &text) = 0;
    virtual void setDocuments(const QStringList &documents) = 0;
    // Shows the dialog modally; returns Accepted.
    virtual bool exec() = 0;
    virtual bool Accepted() const = 0;
    virtual QString text() const = 0;
    virtual QStringList documents() const = 0;
};

class TaskEditorFactory
{
public:
    virtual ~TaskEditorFactory() = default;
    virtual std::unique_ptr<TaskEditor> create(QWidget *parent) = 0;
};
