// A sanitizer report of a program that a test ran (the real qir, or a
// process it forked) fails that test, with the report as its message.
#include <gtest/gtest.h>

#include "qirTestProgram.h"

namespace {

const bool installed = (qirOnSanitizerReport([](const std::string& report) { ADD_FAILURE() << report; }), true);

}  // namespace
