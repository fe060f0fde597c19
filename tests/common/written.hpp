// What a write handle puts in a fresh file, for the writer tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ckp/ckp.h"
#include "common/testutil.hpp"

namespace ckptest {

// Writes through a fresh "W" handle and returns the file's bytes.
template <class F> std::string written(F body) {
    TempDir dir;
    std::string path = dir.file("out.ckp");
    ckpInfo* info = ckpOpen(path.c_str(), "W");
    EXPECT_NE(info, nullptr);
    body(info);
    EXPECT_EQ(ckpClose(info), 0);
    return readFile(path);
}

} // namespace ckptest
