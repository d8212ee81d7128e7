// Names each case of a parameterised test after its table row's `name`, so a failure (and the
// ctest entry) says which row it was.
#pragma once

#include <gtest/gtest.h>

#include <string>

struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& info) const {
        return std::string(info.param.name);
    }
};
