#pragma once

#include <QApplication>
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
