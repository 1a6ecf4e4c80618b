// SPDX-License-Identifier: MIT
#include "ui/editor/TaskEditorDialogFactory.h"

#include "ui/editor/frmTaskEditor.h"

#include <QPointer>

namespace {

// One dialog for one use: destroyed with the adapter, unless its parent went first.
class TaskEditorDialog : public TaskEditor
{
public:
    TaskEditorDialog(QWidget *parent, Services &services)
        : m_dialog(new frmTaskEditor(parent, services))
    {
    }
    ~TaskEditorDialog() override { delete m_dialog.data(); }

    void setCaption(const QString &caption) override
    {
        if (m_dialog)
            m_dialog->setWindowTitle(caption);
    }
    void setText(const QString &text) override
    {
        if (m_dialog)
            m_dialog->setText(text);
    }
    void setDocuments(const QStringList &documents) override
    {
        if (m_dialog)
            m_dialog->setDocuments(documents);
    }
    bool exec() override
    {
        if (m_dialog)
            m_dialog->exec();
        return Accepted();
    }
    bool Accepted() const override { return m_dialog && m_dialog->Accepted(); }
    QString text() const override { return m_dialog ? m_dialog->text() : QString(); }
    QStringList documents() const override { return m_dialog ? m_dialog->documents() : QStringList(); }

private:
    QPointer<frmTaskEditor> m_dialog;
};

} // namespace

TaskEditorDialogFactory::TaskEditorDialogFactory(Services &services)
    : m_services(services)
{
}

std::unique_ptr<TaskEditor> TaskEditorDialogFactory::create(QWidget *parent)
{
    return std::make_unique<TaskEditorDialog>(parent, m_services);
}
