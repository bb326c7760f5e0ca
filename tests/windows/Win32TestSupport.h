// Shared pieces of the win32 layer tests: the real platform and a scratch
// directory of the test's own under the Windows temporary directory.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/Win32Platform.h"

namespace kavrin::test {

// A launcher log's text without the "yyyy-mm-dd hh:mm:ss.mmm " that starts each line after the header.
std::string withoutTimestamps(const std::string& text);

class Win32Test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes content to a new file under the scratch directory; returns its path.
    std::string writeFile(const std::string& name, const std::string& content);
    std::string readFile(const std::string& path);
    // The directory of the running test executable, with a trailing backslash.
    std::string exeDirectory();

    win32::Win32Platform win32;
    Platform& os = win32.platform();
    std::string scratch;  // with a trailing backslash

private:
    void removeTree(const std::string& directory);
};

}  // namespace kavrin::test
