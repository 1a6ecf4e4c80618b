// SPDX-License-Identifier: MIT
#pragma once

#include "ui/main/MainContext.h"

#include <QString>

// Finding the next task whose text contains a phrase, without regard to letter case, in
// creation order after the selected task, without wrapping round.
class TaskSearch
{
public:
    explicit TaskSearch(const MainContext &context);
    void FindTask(bool Again);
    QString LastSearchPhrase;

    // The input box's explanation of how the search works.
    static QString prompt();

private:
    MainContext m_ctx;
};
