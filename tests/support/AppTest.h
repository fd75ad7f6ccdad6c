#pragma once

#include "app/AppEvents.h"

#include <QEventLoop>
#include <QTimer>
#include <QtTest>

// Lets the event loop fall idle once, as it does between the operator's actions; the main
// window updates Next and Back then.
inline void fallIdle()
{
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
}

// The tests run under the program's own application object, so errors escaping a handler
// reach the error box as they do in the product.
#define TESSARO_APP_TEST_MAIN(TestObject)                                                                              \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        TApplication application(argc, argv);                                                                          \
        application.setAttribute(Qt::AA_Use96Dpi, true);                                                               \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
