#include "components/DesktopOpener.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// A scheme needs two characters at least, so "C:\..." stays a drive path.
bool hasScheme(const QString &document)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.\\-]+:"));
    return scheme.match(document).hasMatch();
}

} // namespace

std::optional<QUrl> DesktopOpener::resolveDocument(const QString &document, const QString &currentFolder)
{
    if (document.trimmed().isEmpty())
        return std::nullopt;

    if (hasScheme(document)) {
        const QUrl url(document, QUrl::TolerantMode);
        if (!url.isValid() || url.scheme().isEmpty())
            return std::nullopt;
        // A local file named by address must exist, as for a plain path.
        if (url.isLocalFile() && !QFileInfo::exists(url.toLocalFile()))
            return std::nullopt;
        return url;
    }

    const QString path = QDir::cleanPath(QDir(currentFolder).absoluteFilePath(QDir::fromNativeSeparators(document)));
    if (!QFileInfo::exists(path))
        return std::nullopt;
    return QUrl::fromLocalFile(path);
}

bool DesktopOpener::open(const QString &document)
{
    const std::optional<QUrl> url = resolveDocument(document, QDir::currentPath());
    if (!url)
        return false;
    return QDesktopServices::openUrl(*url);
}
