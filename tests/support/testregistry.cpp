#include "support/testregistry.h"

namespace kaplotest {

std::vector<Factory> &registry()
{
    static std::vector<Factory> tests;
    return tests;
}

} // namespace kaplotest
