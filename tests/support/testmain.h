#pragma once

#include <QApplication>
#include <QTest>

// Like QTEST_MAIN, but always on the offscreen platform with the tests' 1920 x 1200 screen unless a
// test run asks for another platform.
#define QUILLWICK_TEST_MAIN(TestObject)                                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))                                         \
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" QUILLWICK_TEST_SCREEN_CONFIG);      \
        QApplication app(argc, argv);                                                              \
        TestObject testObject;                                                                     \
        return QTest::qExec(&testObject, argc, argv);                                              \
    }
