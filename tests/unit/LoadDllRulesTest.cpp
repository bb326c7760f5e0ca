// The pure rules of jvm.dll loading: the file-name rule, the subdirectory order, the messages.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kavrin
