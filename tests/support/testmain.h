#pragma once

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, but always on the offscreen platform unless a test run asks for another one.
#define QUILLWICK_TEST_MAIN(TestObject)                                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                               \
        QApplication app(argc, argv);                                                              \
        TestObject testObject;                                                                     \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }
