// SPDX-License-Identifier: MIT
#include "components/qt/DesktopOpener.h"

#include "components/ComponentsLog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

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

DesktopOpener::~DesktopOpener()
{
    if (!m_helpers)
        return;
    // A helper still running may be starting the program the user asked for: it is left to
    // finish on its own instead of being killed with its QProcess.
    const QList<QProcess *> helpers = m_helpers->findChildren<QProcess *>();
    for (QProcess *helper : helpers) {
        if (helper->state() == QProcess::NotRunning)
            continue;
        helper->disconnect();
        helper->setParent(nullptr);
    }
    delete m_helpers;
}

void DesktopOpener::open(const QString &document, QObject *context, std::function<void()> onFailure)
{
    const std::optional<QUrl> url = resolveDocument(document, QDir::currentPath());
    if (!url) {
        qCWarning(lcComponents) << "Nothing to open at" << document;
        onFailure();
        return;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt reports success as soon as the helper starts; only the helper's exit status says
    // whether the desktop had a program for the document.
    const QString helperPath = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!helperPath.isEmpty()) {
        if (!m_helpers)
            m_helpers = new QObject;
        auto *helper = new QProcess(m_helpers);
        helper->setProcessChannelMode(QProcess::ForwardedChannels);
        const QPointer<QObject> guard(context);
        auto fail = [guard, document, onFailure](const QString &why) {
            qCWarning(lcComponents) << "The desktop could not open" << document << why;
            if (guard)
                onFailure();
        };
        QObject::connect(helper, &QProcess::errorOccurred, helper, [helper, fail](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return; // a crash also ends in finished()
            fail(helper->errorString());
            helper->deleteLater();
        });
        QObject::connect(helper, &QProcess::finished, helper, [helper, fail](int code, QProcess::ExitStatus status) {
            if (status != QProcess::NormalExit)
                fail(QStringLiteral("(the helper crashed)"));
            else if (code != 0)
                fail(QStringLiteral("(exit status %1)").arg(code));
            helper->deleteLater();
        });
        helper->start(helperPath, {url->isLocalFile() ? url->toLocalFile() : QString::fromUtf8(url->toEncoded())});
        return;
    }
#endif
    if (!QDesktopServices::openUrl(*url)) {
        qCWarning(lcComponents) << "The desktop could not open" << document;
        onFailure();
    }
}
