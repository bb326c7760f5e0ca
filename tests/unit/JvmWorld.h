// A fake machine for the JVM location tests: runtimes are a java.exe file plus a
// scripted program that prints its version line.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "diagnostics/Process.h"
#include "fakes/LauncherWorld.h"

namespace kavrin::test {

class JvmWorld : public testing::Test, protected LauncherWorld {
protected:
    JvmWorld() { fake.env.put("KAVRIN_LOG", "yes"); }

    static std::string versionLine(const std::string& version) {
        return "java version \"" + version + "\"\r\nJava(TM) SE Runtime Environment\r\n";
    }

    // A java.exe at exe whose -version run prints the version line (or exits/hangs as told).
    void addJava(const std::string& exe, const std::string& version, uint32_t exitCode = 0, bool hangs = false,
                 FileTime time = FileTime{1}) {
        fake.fs.addFile(exe, "MZ", time);
        fake.processes.addProgram(exe, FakeProgram{versionLine(version), exitCode, hangs, {}});
    }

    // A plain runtime: home\bin\java.exe.
    std::string addJre(const std::string& home, const std::string& version) {
        addJava(home + "\\bin\\java.exe", version);
        return home + "\\bin\\java.exe";
    }

    // A development kit: home\bin\java.exe, home\jre\bin\java.exe and lib\tools.jar.
    std::string addJdk(const std::string& home, const std::string& version, bool toolsJar = true) {
        addJava(home + "\\bin\\java.exe", version);
        addJava(home + "\\jre\\bin\\java.exe", version);
        if (toolsJar) fake.fs.addFile(home + "\\lib\\tools.jar", "PK");
        return home + "\\jre\\bin\\java.exe";
    }

    // How often a -version run of this executable was started.
    int runsOf(const std::string& exe) const {
        int runs = 0;
        for (const auto& line : fake.processes.commandLines)
            if (lowerAscii(line).find(lowerAscii(exe) + "\"") != std::string::npos) ++runs;
        return runs;
    }
    int totalRuns() const { return static_cast<int>(fake.processes.commandLines.size()); }

    std::string log() const { return fake.logText(); }
    bool logged(const std::string& line) const { return log().find("\n" + line + "\n") != std::string::npos; }
    // Whether `first` appears in the log before `second` (both present).
    bool loggedBefore(const std::string& first, const std::string& second) const {
        std::string text = log();
        size_t a = text.find(first), b = text.find(second);
        return a != std::string::npos && b != std::string::npos && a < b;
    }
};

}  // namespace kavrin::test
