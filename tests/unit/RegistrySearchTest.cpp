// Registered runtimes over the fake registry: JavaSoft keys and the located lists.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "jvm/RegistrySearch.h"
#include "unit/JvmWorld.h"

namespace kavrin {
namespace {

const std::string kJre = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const std::string kJdk = "SOFTWARE\\JavaSoft\\Java Development Kit";
const std::string kLocated = "SOFTWARE\\dalvenco\\kavrin\\locatedjvms";

class RegistrySearch : public test::JvmWorld {
protected:
    void current(const std::string& family, const std::string& version) {
        fake.registry.setString(RegRoot::LocalMachine, family, "CurrentVersion", version);
    }
    // A version subkey whose JavaHome holds a runtime reporting `reported`.
    std::string registered(const std::string& family, const std::string& name, const std::string& reported) {
        std::string home = "C:\\Java\\" + name + (family == kJdk ? "-jdk" : "");
        fake.registry.setString(RegRoot::LocalMachine, family + "\\" + name, "JavaHome", home);
        return family == kJdk ? addJdk(home, reported) : addJre(home, reported);
    }
    std::string located(RegRoot root, const std::string& home, const std::string& version) {
        std::string exe = addJre(home, version);
        std::string name = exe;
        for (char& c : name)
            if (c == '\\') c = '/';
        fake.registry.createKey(root, kLocated + "\\" + name);
        return exe;
    }
    static std::string lower(std::string s) { return test::lowerAscii(std::move(s)); }

    std::optional<std::string> searchAll(const std::string& minimum = "1.5", const std::string& maximum = "") {
        std::string exe;
        if (!searchRegisteredRuntimes(ctx, config, exe, minimum, maximum)) return std::nullopt;
        return exe;
    }
};

TEST_F(RegistrySearch, CurrentVersionFindsTheRuntimeWithoutEnumerating) {
    current(kJre, "1.6");
    std::string exe = registered(kJre, "1.6", "1.6.0_03");
    std::string other = registered(kJre, "1.6.0_10", "1.6.0_10");
    EXPECT_EQ(searchAll(), lower(exe));
    EXPECT_EQ(runsOf(lower(other)), 0);
}

TEST_F(RegistrySearch, CurrentVersionTieGoesToTheJreAndAHigherJdkWins) {
    current(kJre, "1.6");
    current(kJdk, "1.6");
    std::string jre = registered(kJre, "1.6", "1.6.0_03");
    std::string jdk = registered(kJdk, "1.6", "1.6.0_03");
    std::string exe, version;
    EXPECT_TRUE(searchCurrentVersion(ctx, config, exe, version, "1.5", ""));
    EXPECT_EQ(exe, lower(jre));

    current(kJre, "1.5");
    registered(kJre, "1.5", "1.5.0_11");
    EXPECT_TRUE(searchCurrentVersion(ctx, config, exe, version, "1.5", ""));
    EXPECT_EQ(exe, lower(jdk));
}

TEST_F(RegistrySearch, OutOfRangeCurrentVersionFallsBackToTheEnumeration) {
    current(kJre, "1.4");
    registered(kJre, "1.4", "1.4.2_10");
    std::string exe = registered(kJre, "1.5.0_11", "1.5.0_11");
    std::string found, version;
    // Both texts empty: JavaHome under the family key itself, which has none.
    EXPECT_FALSE(searchCurrentVersion(ctx, config, found, version, "1.5", ""));
    EXPECT_EQ(searchAll(), lower(exe));
    EXPECT_EQ(totalRuns(), 1);
}

TEST_F(RegistrySearch, FamilyKeyWithItsOwnJavaHomeIsUsedWhenBothVersionsAreEmpty) {
    fake.registry.setString(RegRoot::LocalMachine, kJre, "JavaHome", "C:\\Java\\bare");
    std::string exe = addJre("C:\\Java\\bare", "1.6.0_03");
    std::string found, version;
    EXPECT_TRUE(searchCurrentVersion(ctx, config, found, version, "1.5", ""));
    EXPECT_EQ(found, lower(exe));
    EXPECT_EQ(version, "1.6.0_03");
}

TEST_F(RegistrySearch, CurrentVersionLongerThan99BytesIsUnreadable) {
    // Stored with its terminator: 101 bytes do not fit the 100-byte buffer.
    fake.registry.createKey(RegRoot::LocalMachine, kJre)
        ->setValue("CurrentVersion", kRegSz, "1.6" + std::string(97, 'x') + std::string(1, '\0'));
    fake.registry.setString(RegRoot::LocalMachine, kJre, "JavaHome", "C:\\Java\\bare");
    std::string exe = addJre("C:\\Java\\bare", "1.6.0_03");
    std::string found, version;
    EXPECT_TRUE(searchCurrentVersion(ctx, config, found, version, "1.5", ""));  // taken as empty
    EXPECT_EQ(found, lower(exe));
}

TEST_F(RegistrySearch, VersionsAreTriedHighestFirstAndStopAtTheFirstAcceptable) {
    std::string old = registered(kJre, "1.4.2", "1.4.2_10");
    std::string v15 = registered(kJre, "1.5", "1.5.0_11");
    std::string v1511 = registered(kJre, "1.5.0_11", "1.5.0_11");
    std::string v16 = registered(kJre, "1.6.0_02", "1.6.0-beta2");  // a pre-release is rejected
    std::string exe, version;
    EXPECT_TRUE(searchRegisteredVersions(ctx, config, exe, version, "1.5", "", kJre));
    EXPECT_EQ(exe, lower(v1511));
    EXPECT_EQ(version, "1.5.0_11");
    EXPECT_EQ(runsOf(lower(v16)), 1);
    EXPECT_EQ(runsOf(lower(v15)), 0);
    EXPECT_EQ(runsOf(lower(old)), 0);
    EXPECT_TRUE(loggedBefore("checkJavaExe (" + v16, "checkJavaExe (" + v1511));
}

TEST_F(RegistrySearch, SubkeysWithoutAUsableHomeArePassedOver) {
    fake.registry.createKey(RegRoot::LocalMachine, kJre + "\\1.7");  // no JavaHome
    fake.registry.setString(RegRoot::LocalMachine, kJre + "\\1.6.5", "JavaHome", "C:\\gone");
    std::string exe = registered(kJre, "1.6", "1.6.0_03");
    std::string found, version;
    EXPECT_TRUE(searchRegisteredVersions(ctx, config, found, version, "1.5", "", kJre));
    EXPECT_EQ(found, lower(exe));
    EXPECT_FALSE(searchRegisteredVersions(ctx, config, found, version, "1.5", "", "SOFTWARE\\Missing"));
}

TEST_F(RegistrySearch, JdkRequiredNeverReadsTheJreFamily) {
    set(key::kJdkRequired, "1");
    current(kJre, "1.6");
    std::string jre = registered(kJre, "1.6", "1.6.0_03");
    std::string bare = registered(kJdk, "1.6.0_10", "1.6.0_10");
    fake.fs.deleteFile("C:\\Java\\1.6.0_10-jdk\\lib\\tools.jar");
    std::string jdk = registered(kJdk, "1.6.0_05", "1.6.0_05");
    EXPECT_EQ(searchAll(), lower(jdk));
    EXPECT_EQ(runsOf(lower(jre)), 0);
    EXPECT_EQ(runsOf(lower(bare)), 0);
}

TEST_F(RegistrySearch, LocatedEntryIsTestedAsAPathWithPreReleaseAllowed) {
    std::string exe = located(RegRoot::CurrentUser, "C:\\jre6", "1.6.0-rc");
    auto found = scanLocatedJvms(ctx, config, RegRoot::CurrentUser, "1.5", "");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->javaExe, "c:\\jre6\\bin\\java.exe");
    EXPECT_EQ(found->version, "1.6.0-rc");
    EXPECT_TRUE(logged("checkJavaExe (C:\\jre6\\bin\\java.exe, [out], 1.5, , 1)"));
    EXPECT_FALSE(scanLocatedJvms(ctx, config, RegRoot::LocalMachine, "1.5", ""));
}

TEST_F(RegistrySearch, LocatedListKeepsTheHighestAndTheFirstOfEqualVersions) {
    located(RegRoot::LocalMachine, "C:\\a", "1.6.0_10");
    located(RegRoot::LocalMachine, "C:\\b", "1.6.0_20");
    located(RegRoot::LocalMachine, "C:\\c", "1.6.0_20");
    located(RegRoot::LocalMachine, "C:\\d", "1.4.2");
    auto found = scanLocatedJvms(ctx, config, RegRoot::LocalMachine, "1.5", "");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->javaExe, "c:\\b\\bin\\java.exe");
    EXPECT_EQ(totalRuns(), 4);  // every entry is probed
}

TEST_F(RegistrySearch, MachineListWinsATieAndAHigherUserEntryWins) {
    located(RegRoot::CurrentUser, "C:\\user", "1.6.0_10");
    located(RegRoot::LocalMachine, "C:\\machine", "1.6.0_10");
    std::string found, version;
    EXPECT_TRUE(searchLocatedJvms(ctx, config, found, version, "1.5", ""));
    EXPECT_EQ(found, "c:\\machine\\bin\\java.exe");

    located(RegRoot::CurrentUser, "C:\\newer", "1.6.0_20");
    EXPECT_TRUE(searchLocatedJvms(ctx, config, found, version, "1.5", ""));
    EXPECT_EQ(found, "c:\\newer\\bin\\java.exe");
    EXPECT_EQ(version, "1.6.0_20");
}

TEST_F(RegistrySearch, LocatedWinsATieWithJavaSoftAndAHigherJavaSoftWins) {
    current(kJre, "1.6");
    std::string javasoft = registered(kJre, "1.6", "1.6.0_10");
    located(RegRoot::LocalMachine, "C:\\machine", "1.6.0_10");
    EXPECT_EQ(searchAll(), "c:\\machine\\bin\\java.exe");
    // Both searches ran.
    EXPECT_EQ(runsOf(lower(javasoft)), 1);

    fake.registry.keys.clear();
    current(kJre, "1.6");
    std::string newer = registered(kJre, "1.6", "1.6.0_30");
    located(RegRoot::LocalMachine, "C:\\machine", "1.6.0_10");
    EXPECT_EQ(searchAll(), lower(newer));
}

TEST_F(RegistrySearch, NothingRegistered) {
    EXPECT_EQ(searchAll(), std::nullopt);
    EXPECT_EQ(totalRuns(), 0);
}

}  // namespace
}  // namespace kavrin

namespace kavrin {
namespace {

TEST(RegistryLayoutNames, VendorNamesGiveTheVersionAndWhetherItIsAKit) {
    const RegistryLayout& zulu = kRegistryLayouts[15];
    const RegistryLayout& liberica = kRegistryLayouts[16];
    const RegistryLayout& jre = kRegistryLayouts[1];
    struct Case {
        const RegistryLayout* layout;
        const char* name;
        std::optional<std::string> version;
        bool kit;
    };
    const Case cases[] = {
        {&zulu, "zulu-17", "17", true},       {&zulu, "zulu-8-jre", "8", false},
        {&zulu, "zulu", std::nullopt, false}, {&liberica, "jdk-21", "21", true},
        {&liberica, "jre-8", "8", false},     {&liberica, "lib-8", std::nullopt, false},
        {&jre, "17.0.9", "17.0.9", false},    {&jre, "CurrentVersion", std::nullopt, false},
    };
    for (const Case& c : cases) {
        auto named = layoutNameVersion(*c.layout, c.name);
        EXPECT_EQ(named ? std::optional<std::string>(named->version) : std::nullopt, c.version) << c.name;
        if (named) {
            EXPECT_EQ(named->kit, c.kit) << c.name;
        }
    }
}

class ModernRegistrySearch : public test::JvmWorld {
protected:
    ModernRegistrySearch() { config = config.with(key::kJvmRules, "modern"); }
    // A home with a release file under the given key and value.
    std::string registered(RegRoot root, const std::string& key, const std::string& value, const std::string& version) {
        std::string home = "C:\\Java\\" + version;
        fake.fs.addFile(home + "\\bin\\java.exe", "MZ");
        fake.fs.addFile(home + "\\release", "JAVA_VERSION=\"" + version + "\"\n");
        fake.registry.setString(root, key, value, home + "\\");
        return test::lowerAscii(home + "\\bin\\java.exe");
    }
    std::optional<std::string> search(const std::string& minimum, const std::string& maximum = "") {
        std::string exe;
        if (!searchRegisteredRuntimes(ctx, config, exe, minimum, maximum)) return std::nullopt;
        return exe;
    }
};

TEST_F(ModernRegistrySearch, NewestInRangeWinsAcrossLayoutsAndRootsWithoutARun) {
    std::string jdk17 = registered(RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", "17.0.9");
    std::string temurin21 =
        registered(RegRoot::CurrentUser, "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "21.0.1");
    std::string zulu11 =
        registered(RegRoot::LocalMachine, "SOFTWARE\\Azul Systems\\Zulu\\zulu-11-jre", "InstallationPath", "11.0.21");
    EXPECT_EQ(search("1.8"), temurin21);
    EXPECT_EQ(search("9", "17"), jdk17);
    EXPECT_EQ(search("1.8", "11"), zulu11);
    EXPECT_EQ(search("22"), std::nullopt);
    EXPECT_EQ(totalRuns(), 0);
    config = config.with(key::kJdkRequired, "1");  // the Zulu runtime is no kit, whatever its home holds
    EXPECT_EQ(search("1.8", "11"), std::nullopt);
}

}  // namespace
}  // namespace kavrin
