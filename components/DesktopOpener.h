#pragma once

#include "components/DocumentOpener.h"

#include <QUrl>
#include <optional>

// Opens a document with the desktop's associated program.
class DesktopOpener : public DocumentOpener
{
public:
    bool open(const QString &document) override;

    // What would be opened: an address with a scheme stays an address; anything else is a
    // path, taken relative to currentFolder, and must exist. nullopt when nothing can be opened.
    static std::optional<QUrl> resolveDocument(const QString &document, const QString &currentFolder);
};
