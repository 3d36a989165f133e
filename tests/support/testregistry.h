#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

// Each test file registers its QtTest class with KAPLO_TEST(Class); the
// area's executable runs them all (tests/support/testmain.cpp).
namespace kaplotest {

using Factory = std::function<std::unique_ptr<QObject>()>;
inline std::vector<Factory> &registry()
{
    static std::vector<Factory> tests;
    return tests;
}

struct Registrar {
    explicit Registrar(Factory f) { registry().push_back(std::move(f)); }
};

} // namespace kaplotest

#define KAPLO_TEST(Class)                                                                          \
    static const kaplotest::Registrar kaplo_registrar_##Class{                                     \
        [] { return std::unique_ptr<QObject>(new Class); }};
