// LoadDLL over the fake machine: subdirectory order, PATH, the JVM home, messages.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "jvm/LoadDll.h"
#include "unit/JvmWorld.h"

namespace kavrin {
namespace {

int gCreateJavaVM;  // its address stands for the exported function

class LoadDll : public test::JvmWorld {
protected:
    LoadDll() {
        fake.env.put("PATH", "C:\\Windows");
        set(key::kMinVersion, "1.5");
        set(key::kMsgNoJvm, "No JVM found.");
        set(key::kMsgPathJvmDamaged, "The JVM in the path is damaged.");
        set(key::kMsgEnvJvmDamaged, "The variable {0} points to a damaged JVM.");
        set(key::kMsgLocationJvmDamaged, "The JVM at {0} is damaged.");
        set(key::kMsgJvmStartFailed, "The JVM failed to start.");
        ctx.fatal.useMessageBox = false;
    }
    void quiet() { fake.env.remove("KAVRIN_LOG"); }
    // A jvm.dll at path; without the entry point when `exports` is false.
    void addLibrary(const std::string& path, bool exports = true) {
        fake.fs.addFile(path, "MZ");
        auto& symbols = fake.libraries.libraries[test::lowerAscii(path)];
        if (exports) symbols["JNI_CreateJavaVM"] = &gCreateJavaVM;
    }
    bool load(ShowErrors show = ShowErrors::Yes, std::optional<std::string> location = std::nullopt,
              LocationIs is = LocationIs::Home) {
        jvm = LoadDLL(ctx, config, show, location, is);
        return jvm.loaded();
    }
    LoadedJvm jvm;  // of the latest load()
    std::string path() { return fake.env.get("PATH").value_or("<unset>"); }
    std::string crtPath() { return fake.env.crtGet("PATH").value_or("<unset>"); }
};

TEST_F(LoadDll, ClientLibraryAfterHotspot) {
    addJre("C:\\jre", "1.6.0_03");
    addLibrary("C:\\jre\\bin\\client\\jvm.dll");
    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_TRUE(load());
    EXPECT_EQ(fake.libraries.attempts,
              (std::vector<std::string>{"c:\\jre\\bin\\hotspot\\jvm.dll", "c:\\jre\\bin\\client\\jvm.dll"}));
    EXPECT_TRUE(logged("Trying c:\\jre\\bin\\hotspot\\jvm.dll (exists 0)"));
    EXPECT_TRUE(logged("Trying c:\\jre\\bin\\client\\jvm.dll (exists 1)"));
    EXPECT_TRUE(logged("Setting PATH C:\\Windows;c:\\jre\\bin"));
    EXPECT_TRUE(logged("Trying to load JVM-DLL from c:\\jre\\bin\\java.exe"));
    EXPECT_TRUE(logged("Loading of JVM-DLL successful"));
    EXPECT_TRUE(logged("LoadDLL (1, (null), 0)"));
    EXPECT_EQ(path(), "C:\\Windows;c:\\jre\\bin");
    EXPECT_EQ(crtPath(), "C:\\Windows;c:\\jre\\bin");
    EXPECT_EQ(jvm.home, "c:\\jre\\bin\\..");
    EXPECT_EQ(reinterpret_cast<void*>(jvm.createJavaVM), &gCreateJavaVM);
    EXPECT_EQ(fake.console.stderrText, "");
}

TEST_F(LoadDll, WithoutTheLogNoLibraryIsLookedForBeforeItIsLoaded) {
    quiet();
    addJre("C:\\jre", "1.6.0_03");
    addLibrary("C:\\jre\\bin\\client\\jvm.dll");
    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_TRUE(load());
    EXPECT_EQ(fake.libraries.attempts.size(), 2u);
    for (const std::string& pattern : fake.fs.findFirstPatterns)
        EXPECT_EQ(pattern.find("jvm.dll"), std::string::npos) << pattern;
}

TEST_F(LoadDll, ConfiguredSubdirectoryComesFirst) {
    addJre("C:\\jre", "1.6.0_03");
    addLibrary("C:\\jre\\bin\\server\\jvm.dll");
    addLibrary("C:\\jre\\bin\\hotspot\\jvm.dll");
    set(key::kSearchSequence, "BC:\\jre");
    set(key::kJvmSubdirectory, "server");
    EXPECT_TRUE(load());
    EXPECT_EQ(fake.libraries.attempts, std::vector<std::string>{"c:\\jre\\bin\\server\\jvm.dll"});
}

TEST_F(LoadDll, KitFindsTheLibraryUnderItsJreAfterRestoringPath) {
    addJava("C:\\jdk\\bin\\java.exe", "1.6.0_03");
    addLibrary("C:\\jdk\\bin\\..\\jre\\bin\\server\\jvm.dll");
    EXPECT_TRUE(load(ShowErrors::Yes, "C:\\jdk\\bin\\java.exe", LocationIs::JavaExe));
    const std::vector<std::string> expected{"c:\\jdk\\bin\\hotspot\\jvm.dll",
                                            "c:\\jdk\\bin\\client\\jvm.dll",
                                            "c:\\jdk\\bin\\server\\jvm.dll",
                                            "c:\\jdk\\bin\\classic\\jvm.dll",
                                            "c:\\jdk\\bin\\jrockit\\jvm.dll",
                                            "c:\\jdk\\bin\\..\\jre\\bin\\hotspot\\jvm.dll",
                                            "c:\\jdk\\bin\\..\\jre\\bin\\client\\jvm.dll",
                                            "c:\\jdk\\bin\\..\\jre\\bin\\server\\jvm.dll"};
    EXPECT_EQ(fake.libraries.attempts, expected);
    EXPECT_TRUE(loggedBefore("Setting PATH C:\\Windows\n", "Setting PATH C:\\Windows;c:\\jdk\\bin\\..\\jre\\bin"));
    EXPECT_EQ(fake.libraries.dllDirectories,
              (std::vector<std::string>{"c:\\jdk\\bin", "", "c:\\jdk\\bin\\..\\jre\\bin"}));
    EXPECT_EQ(path(), "C:\\Windows;c:\\jdk\\bin\\..\\jre\\bin");
    EXPECT_EQ(crtPath(), "C:\\Windows;c:\\jdk\\bin\\..\\jre\\bin");
    EXPECT_EQ(jvm.home, "c:\\jdk\\bin\\..");
    EXPECT_TRUE(logged("Got JRE location C:\\jdk\\bin\\java.exe (java exe: 1)"));
    EXPECT_TRUE(logged("MinVersion: 1.5, MaxVersion: "));
}

TEST_F(LoadDll, JavawSharesTheBinDirectoryAndHome) {
    set(key::kLauncherType, "1");
    addJre("C:\\jre", "1.6.0_03");
    fake.fs.addFile("C:\\jre\\bin\\javaw.exe", "MZ");
    addLibrary("C:\\jre\\bin\\client\\jvm.dll");
    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_TRUE(load());
    EXPECT_TRUE(logged("Trying to load JVM-DLL from c:\\jre\\bin\\javaw.exe"));
    EXPECT_EQ(jvm.home, "c:\\jre\\bin\\..");
    EXPECT_EQ(path(), "C:\\Windows;c:\\jre\\bin");
}

TEST_F(LoadDll, GivenExecutableIsProbedWithoutTheCache) {
    addJava("C:\\jre\\bin\\java.exe", "1.6.0-beta");
    addLibrary("C:\\jre\\bin\\client\\jvm.dll");
    EXPECT_TRUE(load(ShowErrors::Yes, "C:\\jre\\bin\\java.exe", LocationIs::JavaExe));  // pre-release allowed
    EXPECT_TRUE(load(ShowErrors::Yes, "C:\\jre\\bin\\java.exe", LocationIs::JavaExe));
    EXPECT_EQ(totalRuns(), 2);
}

TEST_F(LoadDll, GivenExecutableOutOfRangeIsUnusable) {
    quiet();
    addJava("C:\\jre\\bin\\java.exe", "1.4.2");
    addLibrary("C:\\jre\\bin\\client\\jvm.dll");
    EXPECT_FALSE(load(ShowErrors::Yes, "C:\\jre\\bin\\java.exe", LocationIs::JavaExe));
    EXPECT_EQ(fake.console.stderrText, "No JVM found.\n");
    EXPECT_TRUE(fake.libraries.attempts.empty());
    EXPECT_EQ(jvm.createJavaVM, nullptr);
}

TEST_F(LoadDll, GivenHomeIsLoadedWhateverItsVersion) {
    addJre("C:\\old", "1.4.2");
    addLibrary("C:\\old\\bin\\client\\jvm.dll");
    EXPECT_TRUE(load(ShowErrors::Yes, "C:\\OLD"));
    EXPECT_EQ(totalRuns(), 0);
    EXPECT_EQ(jvm.home, "c:\\old\\bin\\..");
}

TEST_F(LoadDll, NothingFoundShows1001AndLeavesTheHomeAlone) {
    quiet();
    EXPECT_FALSE(load());
    EXPECT_EQ(fake.console.stderrText, "No JVM found.\n");
    EXPECT_TRUE(fake.libraries.attempts.empty());
    EXPECT_EQ(jvm.home, "");
    EXPECT_EQ(path(), "C:\\Windows");
}

TEST_F(LoadDll, NoLibraryShowsTheMessageOfTheKindThen1005) {
    quiet();
    addJre("C:\\jre", "1.6.0_03");  // no jvm.dll anywhere

    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_FALSE(load());
    EXPECT_EQ(fake.console.stderrText, "The JVM at C:\\jre is damaged.\nThe JVM failed to start.\n");
    EXPECT_EQ(jvm.home, "c:\\jre\\bin\\..");  // set even though loading failed
    EXPECT_EQ(path(), "C:\\Windows");
    EXPECT_EQ(crtPath(), "C:\\Windows");
    EXPECT_EQ(jvm.createJavaVM, nullptr);

    fake.console.stderrText.clear();
    fake.env.put("JAVA_HOME", "C:\\jre");
    set(key::kSearchSequence, "EJAVA_HOME");
    EXPECT_FALSE(load());
    EXPECT_EQ(fake.console.stderrText, "The variable JAVA_HOME points to a damaged JVM.\nThe JVM failed to start.\n");

    fake.console.stderrText.clear();
    fake.fs.executableSearchPath = {"C:\\jre\\bin"};
    set(key::kSearchSequence, "S");
    EXPECT_FALSE(load());
    EXPECT_EQ(fake.console.stderrText, "The JVM in the path is damaged.\nThe JVM failed to start.\n");

    fake.console.stderrText.clear();
    fake.registry.setString(RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Runtime Environment", "JavaHome",
                            "C:\\jre");
    set(key::kSearchSequence, "Y");
    EXPECT_FALSE(load());
    EXPECT_EQ(fake.console.stderrText, "The JVM failed to start.\n");
}

TEST_F(LoadDll, LibraryWithoutTheEntryPointFails) {
    addJre("C:\\jre", "1.6.0_03");
    addLibrary("C:\\jre\\bin\\hotspot\\jvm.dll", false);
    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_FALSE(load());
    EXPECT_TRUE(logged("ERROR: Could not load functions"));
    EXPECT_FALSE(logged("ERROR: Could not get DLL-Handle."));
    EXPECT_EQ(jvm.createJavaVM, nullptr);
    // The library loaded, so PATH keeps the bin directory.
    EXPECT_EQ(path(), "C:\\Windows;c:\\jre\\bin");
}

TEST_F(LoadDll, ShowErrorsFalseShowsNothing) {
    addJre("C:\\jre", "1.6.0_03");
    set(key::kSearchSequence, "BC:\\jre");
    EXPECT_FALSE(load(ShowErrors::No));
    EXPECT_FALSE(load(ShowErrors::No, "C:\\nothing\\bin\\java.exe", LocationIs::JavaExe));
    set(key::kSearchSequence, "");
    EXPECT_FALSE(load(ShowErrors::No));
    EXPECT_EQ(fake.console.stderrText, "");
    EXPECT_TRUE(fake.console.boxes.empty());
    EXPECT_TRUE(logged("ERROR: Could not get DLL-Handle."));
    EXPECT_TRUE(logged("ERROR: Provided JVM unusable"));
    EXPECT_TRUE(logged("ERROR: No JVM found"));
}

}  // namespace
}  // namespace kavrin
