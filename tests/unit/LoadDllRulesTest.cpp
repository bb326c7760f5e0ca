// The pure rules of jvm.dll loading: the file-name rule, the subdirectory order, the messages.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "jvm/LoadDll.h"

namespace kavrin {
namespace {

TEST(JavaExeDirectory, JavawAndJavaShareTheirDirectory) {
    EXPECT_EQ(javaExeDirectory("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin\\");
    EXPECT_EQ(javaExeDirectory("c:\\jre\\bin\\javaw.exe"), "c:\\jre\\bin\\");
    // The last 8 characters go unseen when the name is not javaw.exe.
    EXPECT_EQ(javaExeDirectory("c:\\jre\\bin\\JAVAW.EXE"), "c:\\jre\\bin\\J");
    EXPECT_EQ(javaExeDirectory("c:\\x\\abcdefgh"), "c:\\x\\");
    EXPECT_EQ(javaExeDirectory("short"), "");
}

TEST(JvmSubdirectories, ConfiguredFirstThenTheFixedOrder) {
    using V = std::vector<std::string>;
    EXPECT_EQ(jvmSubdirectories(""), (V{"hotspot", "client", "server", "classic", "jrockit"}));
    EXPECT_EQ(jvmSubdirectories("server"), (V{"server", "hotspot", "client", "server", "classic", "jrockit"}));
}

TEST(LoadFailureMessages, ByKind) {
    auto none = loadFailureMessages(0);
    EXPECT_FALSE(none.first);
    auto path = loadFailureMessages(1);
    EXPECT_EQ(path.first, key::kMsgPathJvmDamaged);
    EXPECT_FALSE(path.firstTakesLocation);
    auto location = loadFailureMessages(2);
    EXPECT_EQ(location.first, key::kMsgLocationJvmDamaged);
    EXPECT_TRUE(location.firstTakesLocation);
    auto variable = loadFailureMessages(3);
    EXPECT_EQ(variable.first, key::kMsgEnvJvmDamaged);
    EXPECT_TRUE(variable.firstTakesLocation);
    EXPECT_FALSE(loadFailureMessages(4).first);
}

}  // namespace
}  // namespace kavrin
