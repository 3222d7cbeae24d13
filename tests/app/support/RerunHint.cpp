#include "RerunHint.h"

#include <cstdio>
#include <cstdlib>

namespace vessaro::test {

namespace {
// The environment ctest gives the desktop tests, as far as this run has it.
std::string EnvironmentPrefix() {
    std::string prefix;
    for (const char* name : {"QT_QPA_PLATFORM", "QTWEBENGINE_DISABLE_SANDBOX"})
        if (const char* value = std::getenv(name))
            prefix += std::string(name) + "=" + value + " ";
    return prefix;
}
} // namespace

RerunHint::RerunHint(std::string program) : program_(std::move(program)) {}

std::string RerunHint::Command(const std::string& program, const std::string& suite,
                               const std::string& name) {
    // Single quotes keep a parameterised case's '/' and any other character as they are.
    return EnvironmentPrefix() + "'" + program + "' '--gtest_filter=" + suite + "." + name + "'";
}

void RerunHint::OnTestEnd(const ::testing::TestInfo& test) {
    if (!test.result()->Failed())
        return;
    const std::string command = Command(program_, test.test_suite_name(), test.name());
    std::printf("[  RERUN   ] %s\n", command.c_str());
    std::fflush(stdout);
    commands_ += "  " + command + "\n";
}

void RerunHint::OnTestProgramEnd(const ::testing::UnitTest&) {
    if (!commands_.empty())
        std::printf("\nTo run a failed case alone:\n%s", commands_.c_str());
    std::fflush(stdout);
}

} // namespace vessaro::test
