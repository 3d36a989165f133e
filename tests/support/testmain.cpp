// Runs every test class registered in this executable, one after another.
#include "support/testregistry.h"

#include <QTest>
#ifdef KAPLO_TEST_GUI
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    TestApp app(argc, argv);
    int failed = 0;
    for (const auto &make : kaplotest::registry()) {
        auto test = make();
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
