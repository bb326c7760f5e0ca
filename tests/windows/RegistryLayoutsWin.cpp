// The registry layouts of current Java installers, written into Wine's real registry
// and found by a Y entry's search under the modern rules. Each fixture reproduces what
// one installer writes; the comment names where that layout is documented.
#include "Win32TestSupport.h"
#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Process.h"
#include "jvm/RegistrySearch.h"
#include "platform/Ascii.h"

namespace kavrin::test {
namespace {

struct LayoutFixture {
    RegRoot root;
    const char* key;  // the version subkey (and what lies below it)
    const char* value;
    const char* version;  // the home's release file; one major per fixture, so bounds single it out
};

const LayoutFixture kFixtures[] = {
    // Red Hat build of OpenJDK 11 for Windows, "OpenJDK MSI installer components":
    // HKLM\Software\JavaSoft\JDK\<version>, JavaHome = <INSTALLDIR>. Corretto 11+ and Oracle 9+ write the same.
    {RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\JDK\\31.0.1", "JavaHome", "31.0.1"},
    // azure-pipelines-agent, src/Misc/layoutbin/powershell/Add-JavaCapabilities.ps1: "Software\JavaSoft\JRE"
    // for runtimes of major version 9 and later.
    {RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\JRE\\32", "JavaHome", "32.0.2"},
    // corretto/corretto-8 issue #40 (fixed in 8u202): [HKLM\SOFTWARE\JavaSoft\Java Runtime Environment\1.8]
    // "JavaHome"="C:\Program Files\Amazon Corretto\jre8" — the pre-9 keys, read by both rule sets.
    {RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Runtime Environment\\1.33", "JavaHome", "1.33.0_1"},
    // Red Hat build of OpenJDK 8 for Windows, "MSI installer components":
    // HKLM\Software\JavaSoft\Java Development Kit\1.8_<update>, JavaHome = <INSTALLDIR>.
    {RegRoot::LocalMachine, "SOFTWARE\\JavaSoft\\Java Development Kit\\1.34.0_5", "JavaHome", "1.34.0_5"},
    // DigitalMediaServer/NsJavaLocator, NsJavaLocator.lpr (entries observed per vendor):
    // HKLM\SOFTWARE\Eclipse Adoptium\JDK\21.0.1.12\hotspot\MSI, Path. A per-user install writes HKCU.
    {RegRoot::CurrentUser, "SOFTWARE\\Eclipse Adoptium\\JDK\\35.0.1.12\\hotspot\\MSI", "Path", "35.0.1"},
    {RegRoot::LocalMachine, "SOFTWARE\\Eclipse Adoptium\\JRE\\36.0.392.8\\hotspot\\MSI", "Path", "36.0.392"},
    // Add-JavaCapabilities.ps1 (above): "Software\AdoptOpenJDK\JDK|JRE" with "hotspot\MSI" or "openj9\MSI",
    // and the older "Software\Eclipse Foundation\JDK|JRE".
    {RegRoot::LocalMachine, "SOFTWARE\\AdoptOpenJDK\\JDK\\37.0.2.8\\hotspot\\MSI", "Path", "37.0.2"},
    {RegRoot::LocalMachine, "SOFTWARE\\AdoptOpenJDK\\JRE\\38.0.2.8\\openj9\\MSI", "Path", "38.0.2"},
    {RegRoot::LocalMachine, "SOFTWARE\\Eclipse Foundation\\JDK\\39.0.1.1\\hotspot\\MSI", "Path", "39.0.1"},
    // NsJavaLocator.lpr (above): HKLM\SOFTWARE\Semeru\JDK\8.0.382.5\openj9\MSI, Path.
    {RegRoot::LocalMachine, "SOFTWARE\\Semeru\\JDK\\40.0.382.5\\openj9\\MSI", "Path", "40.0.382"},
    // raylras/find-java, find-java.bat: reg query "HKLM\SOFTWARE\Microsoft\JDK" /s for the value "Path"
    // (the Microsoft Build of OpenJDK writes <version>\hotspot\MSI).
    {RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\JDK\\41.0.9.8\\hotspot\\MSI", "Path", "41.0.9"},
    // NsJavaLocator.lpr (above): HKLM\SOFTWARE\Azul Systems\Zulu\zulu-8 and zulu-8-jre, InstallationPath;
    // also xamarin-android-tools AzulJdkLocations.cs ("zulu-*", "InstallationPath").
    {RegRoot::LocalMachine, "SOFTWARE\\Azul Systems\\Zulu\\zulu-42", "InstallationPath", "42.0.1"},
    // NsJavaLocator.lpr (above): HKLM\SOFTWARE\BellSoft\Liberica\jdk-8 and jre-8, InstallationPath.
    {RegRoot::LocalMachine, "SOFTWARE\\BellSoft\\Liberica\\jre-43", "InstallationPath", "43.0.1"},
};

class RegistryLayoutsWin : public Win32Test {};

TEST_F(RegistryLayoutsWin, EachInstallersLayoutIsFoundUnderTheModernRules) {
    for (const auto& fixture : kFixtures) {
        std::string major = fixture.version;
        major = major.substr(0, major.find('.', major.rfind("1.", 0) == 0 ? 2 : 0));
        std::string home = scratch + "home-" + major;
        os.fs.createDirectory(home);
        os.fs.createDirectory(home + "\\bin");
        writeFile("home-" + major + "\\bin\\java.exe", "MZ");
        writeFile("home-" + major + "\\release", "JAVA_VERSION=\"" + std::string(fixture.version) + "\"\n");
        auto written = os.registry.createKey(fixture.root, fixture.key);
        ASSERT_TRUE(written) << fixture.key;
        ASSERT_TRUE(written->setValue(fixture.value, kRegSz, home + "\\"));  // installers end the home in "\"

        Process ctx(os);

        Config config;
        config = config.with(key::kJvmRules, "modern");
        std::string exe;
        EXPECT_TRUE(searchRegisteredRuntimes(ctx, config, exe, major, major)) << fixture.key;
        EXPECT_TRUE(lowerAscii(exe) == lowerAscii(home + "\\bin\\java.exe")) << fixture.key << ": " << exe;

        config = config.without(key::kJvmRules);  // classic reads only the pre-9 keys
        bool preNine = std::string(fixture.key).find("Java Runtime Environment") != std::string::npos ||
                       std::string(fixture.key).find("Java Development Kit") != std::string::npos;
        if (!preNine) {
            EXPECT_FALSE(searchRegisteredRuntimes(ctx, config, exe, major, major)) << fixture.key;
        }
    }
}

}  // namespace
}  // namespace kavrin::test
