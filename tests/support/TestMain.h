// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QFile>
#include <QObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace TestSupport {
// Gives the test process its own home, data, config and runtime folders and the offscreen
// platform, so no test touches the user's files or needs a display.
void prepareEnvironment();
// The temporary home of this test process.
QString homeDir();
} // namespace TestSupport

// A file's bytes; none where it cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Puts exactly these bytes in the file, replacing what it held.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Base of every test class: any Qt warning the test did not announce with
// QTest::ignoreMessage fails it. A test class with its own init() calls TestCase::init().
class TestCase : public QObject
{
    Q_OBJECT
protected Q_SLOTS:
    void init() { QTest::failOnWarning(QRegularExpression(QStringLiteral(".*"))); }
};

#define LISTRA_TEST_MAIN(TestObject)                                                                                   \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        TestSupport::prepareEnvironment();                                                                             \
        QApplication app(argc, argv);                                                                                  \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                                       \
        TestObject tc;                                                                                                 \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&tc, argc, argv);                                                                          \
    }
