// SPDX-License-Identifier: MIT
#include "app/CommandLine.h"

#include "ListraVersion.h"
#include "app/Startup.h"
#include "components/AppIdentity.h"
#include "components/qt/SettingsStore.h"
#include "model/TaskTree.h"
#include "settings/AppSettings.h"
#include "settings/MainWindowSettings.h"
#include "storage/TaskFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void printTo(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

CommandLine::Request failed(const QString &error)
{
    CommandLine::Request r;
    r.mode = CommandLine::Request::Mode::Error;
    r.error = error;
    return r;
}

QString defaultTaskFile()
{
    return QDir(Startup::dataFolder()).filePath(Startup::taskFileName());
}

int fail(const QString &why)
{
    printTo(stderr, QStringLiteral("listra: ") + why + u'\n');
    return 1;
}

int runExport(const CommandLine::Request &request)
{
    // Only read: no instance lock, no claim on the file, no journal, nothing written beside it,
    // so it works while the program runs.
    const QString taskFile = request.taskFile.isEmpty() ? defaultTaskFile() : request.taskFile;
    const QFileInfo info(taskFile);
    if (info.exists() && !info.isFile())
        return fail(QDir::toNativeSeparators(taskFile) + QStringLiteral(": это не файл, а папка или устройство"));
    TaskTree tree;
    const LoadResult loaded = loadTaskFile(taskFile, tree);
    if (loaded.status == LoadResult::Status::NoFile)
        return fail(QDir::toNativeSeparators(taskFile) + QStringLiteral(": нет такого файла с задачами"));
    if (loaded.status == LoadResult::Status::Failed)
        return fail(QStringLiteral("файл с задачами не читается: ") + loaded.error);
    // The page's colours are the user's, as in the window; the settings are only read.
    SettingsStore store;
    AppSettings settings;
    MainWindowSettings::LoadSettings(settings, store, nullptr);
    const TaskNode *top = tree.root();
    if (!request.subtree.isEmpty()) {
        top = findTaskByPath(tree, request.subtree);
        if (!top)
            return fail(QStringLiteral("нет задачи «%1»").arg(request.subtree));
    }
    const QByteArray bytes = exportTasks(tree, top, request.format, settings.statusColors());
    if (request.output.isEmpty()) {
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size())
            || std::fflush(stdout) != 0)
            return fail(QStringLiteral("не удаётся записать в стандартный вывод"));
        return 0;
    }
    const QFileInfo target(request.output);
    if (target.exists() && target.canonicalFilePath() == QFileInfo(taskFile).canonicalFilePath())
        return fail(QDir::toNativeSeparators(request.output) + QStringLiteral(": это сам файл с задачами"));
    const SaveResult saved = saveFileBytes(request.output, bytes);
    if (!saved.ok)
        return fail(saved.error);
    return 0;
}

} // namespace

QStringList CommandLine::rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

CommandLine::Request CommandLine::parse(const QStringList &arguments, bool qtOptionsLeft)
{
    Request r;
    bool exportAsked = false, helpAsked = false, versionAsked = false;
    QStringList exportOnly; // options that mean something only with --export
    QStringList plain;      // arguments that are no options
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &arg = arguments[i];
        QString name = arg, value;
        bool hasValue = false;
        if (arg.startsWith(QStringLiteral("--")) && arg.contains(u'=')) {
            name = arg.section(u'=', 0, 0);
            value = arg.section(u'=', 1);
            hasValue = true;
        }
        auto takeValue = [&](QString *into) {
            if (!hasValue) {
                if (i + 1 >= arguments.size())
                    return false;
                value = arguments[++i];
            }
            *into = value;
            return true;
        };
        if (name == QLatin1String("--export") || name == QLatin1String("--subtree") || name == QLatin1String("--output")
            || name == QLatin1String("--file")) {
            QString given;
            if (!takeValue(&given))
                return failed(QStringLiteral("у параметра %1 нет значения").arg(name));
            if (name == QLatin1String("--export")) {
                const std::optional<ExportFormat> format = exportFormatFromName(given);
                if (!format)
                    return failed(QStringLiteral("неизвестный формат «%1»: нужен md, html или csv").arg(given));
                r.format = *format;
                exportAsked = true;
            } else {
                exportOnly << name;
                (name == QLatin1String("--subtree")      ? r.subtree
                     : name == QLatin1String("--output") ? r.output
                                                         : r.taskFile)
                    = given;
            }
        } else if (!hasValue && (arg == QLatin1String("--help") || arg == QLatin1String("-h"))) {
            helpAsked = true;
        } else if (!hasValue && (arg == QLatin1String("--version") || arg == QLatin1String("-V"))) {
            versionAsked = true;
        } else if (arg.startsWith(u'-') && arg.size() > 1) {
            // A single-dash option may be one of Qt's own, which the window's start takes away.
            if (!qtOptionsLeft || arg.startsWith(QStringLiteral("--")))
                return failed(QStringLiteral("неизвестный параметр «%1»").arg(arg));
            plain << arg;
        } else {
            plain << arg;
        }
    }
    if (helpAsked) {
        r.mode = Request::Mode::Help;
    } else if (versionAsked) {
        r.mode = Request::Mode::Version;
    } else if (exportAsked) {
        if (!plain.isEmpty())
            return failed(QStringLiteral("лишний параметр «%1» при --export").arg(plain.first()));
        r.mode = Request::Mode::Export;
        if (r.output == QLatin1String("-"))
            r.output.clear(); // the usual name of standard output
    } else if (!exportOnly.isEmpty()) {
        return failed(QStringLiteral("%1 действует только вместе с --export").arg(exportOnly.first()));
    }
    return r;
}

QString CommandLine::usage()
{
    return QStringLiteral("Использование: listra [/Autorun]\n"
                          "       listra --export md|html|csv [--subtree ПУТЬ] [--output ФАЙЛ] [--file ФАЙЛ_ЗАДАЧ]\n"
                          "       listra --help | --version\n"
                          "\n"
                          "Без параметров запускает программу; если она уже запущена, показывает её окно.\n"
                          "  /Autorun              запустить скрытой в области уведомлений (так её запускает\n"
                          "                        вход в систему)\n"
                          "  --export ФОРМАТ       выгрузить задачи без окна: md (Markdown), html или csv;\n"
                          "                        файл с задачами только читается, программа может быть запущена\n"
                          "  --subtree ПУТЬ        только эта задача с подзадачами. ПУТЬ — тексты задач от верхнего\n"
                          "                        уровня через «/», например «Работа/Отчёт»; «/» внутри текста\n"
                          "                        пишется как «\\/», обратная косая черта — как «\\\\»\n"
                          "  --output ФАЙЛ         записать в файл (без него или с «-» — в стандартный вывод)\n"
                          "  --file ФАЙЛ_ЗАДАЧ     читать этот файл с задачами вместо своего:\n"
                          "                        %1\n"
                          "  -h, --help            показать эту справку\n"
                          "  -V, --version         показать версию программы\n"
                          "\n"
                          "Код выхода: 0 — готово, 1 — файл не прочитан или не записан, 2 — ошибка в параметрах.\n")
        .arg(QDir::toNativeSeparators(defaultTaskFile()));
}

int CommandLine::run(const Request &request, int &argc, char *argv[])
{
    Startup::setApplicationIdentity();
    switch (request.mode) {
    case Request::Mode::Help:
        printTo(stdout, usage());
        return 0;
    case Request::Mode::Version:
        printTo(stdout, QStringLiteral("listra %1\n").arg(QStringLiteral(LISTRA_VERSION)));
        return 0;
    case Request::Mode::Error:
        printTo(stderr, QStringLiteral("listra: %1 (справка: listra --help)\n").arg(request.error));
        return 2;
    case Request::Mode::Export: {
        // No display needed: the core application is all an export uses.
        QCoreApplication app(argc, argv);
        return runExport(request);
    }
    case Request::Mode::Window:
        break;
    }
    return 0;
}
