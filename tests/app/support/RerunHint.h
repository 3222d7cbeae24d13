#pragma once

#include <gtest/gtest.h>

#include <string>

namespace vessaro::test {

// Prints, for every case that failed, the command line that runs it alone: a desktop executable
// is one ctest entry for all its cases (they share one QApplication and web engine), so the
// failing case must be named in the output.
class RerunHint : public ::testing::EmptyTestEventListener {
public:
    explicit RerunHint(std::string program);

    // The command that runs the one case Suite.Case of the program under the test environment.
    static std::string Command(const std::string& program, const std::string& suite,
                               const std::string& name);

private:
    void OnTestEnd(const ::testing::TestInfo& test) override;
    void OnTestProgramEnd(const ::testing::UnitTest& unit) override;

    std::string program_;
    std::string commands_;
};

} // namespace vessaro::test
