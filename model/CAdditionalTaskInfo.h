// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>

// What a task carries besides its text and status: its related documents (file paths,
// folder paths or addresses), in the order they were added; duplicates allowed.
class CAdditionalTaskInfo
{
public:
    const QStringList &RelatedDocuments() const { return m_relatedDocuments; }
    void setRelatedDocuments(QStringList documents) { m_relatedDocuments = std::move(documents); }

private:
    QStringList m_relatedDocuments;
};
