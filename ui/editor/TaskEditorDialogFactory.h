// SPDX-License-Identifier: MIT
#pragma once

#include "components/TaskEditor.h"

struct Services;

// Gives the main window real task editor dialogs.
class TaskEditorDialogFactory : public TaskEditorFactory
{
public:
    explicit TaskEditorDialogFactory(Services &services);
    std::unique_ptr<TaskEditor> create(QWidget *parent) override;

private:
    Services &m_services;
};
