// -diagnose over the fake machine: every candidate with its reason, the choice, the plan.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "service/Diagnose.h"
#include "unit/JvmWorld.h"

namespace kavrin {
namespace {

class Diagnose : public test::JvmWorld {
protected:
    Diagnose() {
        set(key::kJvmRules, "modern");
        set(key::kMinVersion, "11");
        set(key::kFlavour, "k");
        set(key::kClassPath, "A1lib\\app.jar;");
        set(key::kVmParameters, "-Xmx64m");
        fake.fs.addFile("C:\\App\\lib\\app.jar", "PK");
    }
    std::string out() const { return fake.console.stdoutText; }
    bool printed(const std::string& line) const { return out().find(line + "\n") != std::string::npos; }
};

TEST_F(Diagnose, ListsEveryCandidateWithItsReasonThenTheChoiceAndThePlan) {
    addJre("C:\\old", "1.8.0_392");
    addJre("C:\\ea", "21-ea");
    addJre("C:\\good", "17.0.9");
    fake.fs.addFile("C:\\good\\bin\\server\\jvm.dll", "MZ");
    fake.env.put("EA_HOME", "C:\\ea");
    set(key::kSearchSequence, "BC:\\old;EEA_HOME;BC:\\good;");

    EXPECT_EQ(diagnoseVerb(ctx, config), 0);
    EXPECT_TRUE(printed("Rules: modern, min-version: 11, max-version: none")) << out();
    EXPECT_TRUE(printed("  entry EEA_HOME")) << out();
    EXPECT_TRUE(printed("  1. entry BC:\\old: c:\\old\\bin\\java.exe")) << out();
    EXPECT_TRUE(printed("     version 1.8.0_392 (from probe), rejected: below min-version 11")) << out();
    EXPECT_TRUE(printed("  2. entry EEA_HOME: c:\\ea\\bin\\java.exe")) << out();
    EXPECT_TRUE(printed("     version 21-ea (from probe), rejected: pre-release runtimes are not allowed here"))
        << out();
    EXPECT_TRUE(printed("     version 17.0.9 (from probe), accepted")) << out();
    EXPECT_TRUE(printed("Chosen: c:\\good\\bin\\java.exe")) << out();
    EXPECT_TRUE(printed("jvm.dll: c:\\good\\bin\\server\\jvm.dll")) << out();
    EXPECT_TRUE(printed("Class path: C:\\App\\lib\\app.jar;")) << out();
    EXPECT_TRUE(printed("  -Xmx64m")) << out();
    EXPECT_EQ(ctx.search.trace, nullptr);
}

TEST_F(Diagnose, NothingAcceptableExitsOne) {
    addJre("C:\\old", "1.8.0_392");
    set(key::kSearchSequence, "AC:\\old;");  // absolute A: not tried by the fallback pass
    EXPECT_EQ(diagnoseVerb(ctx, config), 1);
    EXPECT_TRUE(printed("Chosen: none; no Java runtime would be loaded.")) << out();
    EXPECT_FALSE(out().find("jvm.dll:") != std::string::npos);
}

}  // namespace
}  // namespace kavrin
