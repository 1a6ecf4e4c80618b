// SPDX-License-Identifier: MIT
#pragma once

#include "components/DocumentOpener.h"

#include <QUrl>
#include <optional>

// Opens a document with the desktop's associated program. Where the desktop opens documents
// through the xdg-open helper, its exit status tells whether anything was opened.
class DesktopOpener : public DocumentOpener
{
public:
    ~DesktopOpener() override;
    void open(const QString &document, QObject *context, std::function<void()> onFailure) override;

    // What would be opened: an address with a scheme stays an address; anything else is a
    // path, taken relative to currentFolder, and must exist. nullopt when nothing can be opened.
    static std::optional<QUrl> resolveDocument(const QString &document, const QString &currentFolder);

private:
    QObject *m_helpers = nullptr; // the helpers still running, as its children
};
