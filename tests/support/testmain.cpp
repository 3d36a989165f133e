// Runs every test class registered in this executable, one after another;
// KAPLO_TEST_CLASS=Name runs only that class (scripts/mutants.sh uses it).
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
    const QByteArray only = qgetenv("KAPLO_TEST_CLASS");
    int failed = 0, ran = 0;
    for (const auto &make : kaplotest::registry()) {
        auto test = make();
        if (!only.isEmpty() && only != test->metaObject()->className())
            continue;
        ++ran;
        failed += QTest::qExec(test.get(), argc, argv);
    }
    // A KAPLO_TEST_CLASS that names no class is a mistake, not a pass.
    return ran == 0 ? 2 : failed != 0;
}
