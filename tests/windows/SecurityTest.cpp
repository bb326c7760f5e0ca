// What keeps another local user out: the extraction directory's descriptor, exclusive
// creation, the search orders, the queue's lock, and where a JVM's dependencies load from.
#include <atomic>
#include <set>
#include <thread>

#include "Win32TestSupport.h"
#include "platform/win32/WindowsApi.h"

#include <sddl.h>

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "jvm/LoadDll.h"
#include "platform/win32/Win32Files.h"
#include "platform/win32/Win32Security.h"

namespace kavrin::test {
namespace {

using SecurityTest = Win32Test;

std::string sidText(PSID sid) {
    char* text = nullptr;
    if (!::ConvertSidToStringSidA(sid, &text)) return "?";
    std::string out(text);
    ::LocalFree(text);
    return out;
}

struct Ace {
    std::string sid;
    ACCESS_MASK mask;
    BYTE flags;
};

std::vector<Ace> allowedAces(PSECURITY_DESCRIPTOR descriptor) {
    std::vector<Ace> aces;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return aces;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* raw = nullptr;
        if (!::GetAce(dacl, i, &raw)) continue;
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
        if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
            aces.push_back({"type " + std::to_string(ace->Header.AceType), 0, 0});
            continue;
        }
        aces.push_back({sidText(&ace->SidStart), ace->Mask, ace->Header.AceFlags});
    }
    return aces;
}

bool isProtected(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    return ::GetSecurityDescriptorControl(descriptor, &control, &revision) && (control & SE_DACL_PROTECTED);
}

TEST_F(SecurityTest, ExtractionDirectoryIsPrivateToSystemAdministratorsAndItsOwner) {
    const std::optional<std::string> own = win32::currentUserSid();
    ASSERT_TRUE(own);
    const std::set<std::string> intended{"S-1-5-18", "S-1-5-32-544", *own};

    // The descriptor handed to CreateDirectoryA: protected, exactly the three accounts,
    // full control inherited by everything created inside.
    win32::PrivateDescriptor passed = win32::privateDirectoryDescriptor();
    ASSERT_TRUE(passed);
    EXPECT_TRUE(isProtected(passed.get()));
    std::set<std::string> sids;
    for (const Ace& ace : allowedAces(passed.get())) {
        sids.insert(ace.sid);
        EXPECT_EQ(ace.mask, static_cast<ACCESS_MASK>(FILE_ALL_ACCESS)) << ace.sid;
        EXPECT_EQ(ace.flags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << ace.sid;
    }
    EXPECT_EQ(sids, intended);
    EXPECT_EQ(allowedAces(passed.get()).size(), 3u);

    // What the file system stored, read back with GetFileSecurityW. Wine 8 cannot store it
    // all: it drops SE_DACL_PROTECTED and keeps two of the three entries (SYSTEM and the
    // own account, not Administrators). So under Wine this checks only "nothing beyond the
    // intended accounts, nothing inherited from the parent"; the descriptor passed, above,
    // carries the rest.
    const std::string directory = scratch + "kvr1.tmp_dir1";
    ASSERT_TRUE(os.fs.createPrivateDirectory(directory)) << os.fs.lastError();
    std::wstring wide(directory.begin(), directory.end());
    DWORD size = 0;
    ::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    ASSERT_GT(size, 0u);
    std::vector<unsigned char> stored(size);
    ASSERT_TRUE(::GetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, stored.data(), size, &size));
    const std::vector<Ace> aces = allowedAces(stored.data());
    EXPECT_FALSE(aces.empty());
    for (const Ace& ace : aces) {
        EXPECT_TRUE(intended.count(ace.sid)) << "unexpected entry " << ace.sid;
        EXPECT_FALSE(ace.flags & INHERITED_ACE) << ace.sid << " came from the parent";
    }
    EXPECT_FALSE(os.fs.createPrivateDirectory(directory));
    EXPECT_EQ(os.fs.lastError(), win32err::kAlreadyExists);

    // What a later start checks before it takes such a directory; a plain one (others
    // may at least read it) is refused.
    EXPECT_TRUE(os.fs.isPrivateDirectory(directory));
    ASSERT_TRUE(os.fs.createDirectory(scratch + "plain"));
    EXPECT_FALSE(os.fs.isPrivateDirectory(scratch + "plain"));
    EXPECT_FALSE(os.fs.isPrivateDirectory(scratch + "missing"));
}

TEST_F(SecurityTest, CreateNewNeverOpensAnExistingFile) {
    const std::string planted = writeFile("planted.jar", "evil");
    EXPECT_FALSE(os.fs.openFile(planted, FileAccess::Write, FileShare::None, FileDisposition::CreateNew));
    EXPECT_EQ(os.fs.lastError(), win32err::kFileExists);
    EXPECT_EQ(readFile(planted), "evil");
}

TEST_F(SecurityTest, KeptFilesMayBeReadButNotWrittenOrDeleted) {
    const std::string kept = writeFile("kept.jar", "jar");
    ASSERT_TRUE(os.fs.openAndKeep(kept, FileAccess::Read, FileShare::Read));
    EXPECT_TRUE(os.fs.openFile(kept, FileAccess::Read, FileShare::ReadWrite, FileDisposition::OpenExisting));
    EXPECT_FALSE(os.fs.openFile(kept, FileAccess::Write, FileShare::ReadWrite, FileDisposition::OpenExisting));
    EXPECT_FALSE(os.fs.deleteFile(kept));
    // A kept directory cannot be removed, even when empty.
    const std::string directory = scratch + "held";
    ASSERT_TRUE(os.fs.createDirectory(directory));
    EXPECT_TRUE(os.fs.keepDirectoryNobodyHolds(directory));
    EXPECT_FALSE(os.fs.removeDirectory(directory));
    // Once held, no later start may take it as its own.
    EXPECT_FALSE(os.fs.keepDirectoryNobodyHolds(directory));
}

TEST_F(SecurityTest, ExecutableSearchLeavesOutTheCurrentDirectory) {
    EXPECT_EQ(win32::executableSearchPath("C:\\app", "C:\\windows\\system32", "C:\\windows",
                                          "C:\\a;;.;bin;\"C:\\b c\";\\\\server\\share"),
              "C:\\app;C:\\windows\\system32;C:\\windows\\system;C:\\windows;C:\\a;C:\\b c;\\\\server\\share");

    const std::string current = scratch + "cwd";
    const std::string listed = scratch + "listed";
    ASSERT_TRUE(os.fs.createDirectory(current));
    ASSERT_TRUE(os.fs.createDirectory(listed));
    writeFile("cwd\\kvr-probe.exe", "MZ");
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    std::string oldPath(32767, '\0');
    oldPath.resize(::GetEnvironmentVariableA("PATH", oldPath.data(), 32767));
    ASSERT_TRUE(os.fs.setCurrentDirectory(current));
    ::SetEnvironmentVariableA("PATH", (".;" + listed).c_str());
    const std::optional<std::string> fromCurrent = os.fs.searchPath("kvr-probe.exe");
    writeFile("listed\\kvr-probe.exe", "MZ");
    const std::optional<std::string> fromPath = os.fs.searchPath("kvr-probe.exe");
    ::SetEnvironmentVariableA("PATH", oldPath.c_str());
    os.fs.setCurrentDirectory(previous);
    EXPECT_FALSE(fromCurrent) << *fromCurrent;
    EXPECT_EQ(fromPath.value_or(""), listed + "\\kvr-probe.exe");
}

TEST_F(SecurityTest, JvmDependenciesComeFromTheRuntimeNotTheCurrentDirectoryOrPath) {
    // A runtime whose jvm.dll imports kvrhelper.dll, with planted copies of the helper in
    // the current directory and in a PATH entry ahead of the runtime's bin.
    const std::string plant = exeDirectory() + "plant\\";
    const std::string helper = readFile(plant + "kvrhelper.dll");
    ASSERT_EQ(helper.substr(0, 2), "MZ") << plant;
    for (const char* dir : {"cwd", "early", "jre", "jre\\bin", "jre\\bin\\server"})
        ASSERT_TRUE(os.fs.createDirectory(scratch + dir));
    writeFile("cwd\\kvrhelper.dll", helper);
    writeFile("early\\kvrhelper.dll", helper);
    writeFile("jre\\bin\\kvrhelper.dll", helper);
    writeFile("jre\\bin\\server\\jvm.dll", readFile(plant + "jvm.dll"));
    writeFile("jre\\bin\\java.exe", "MZ");

    win32::Win32Platform::hardenSearchOrder();
    char previous[MAX_PATH] = {};
    ::GetCurrentDirectoryA(MAX_PATH, previous);
    std::string oldPath(32767, '\0');
    oldPath.resize(::GetEnvironmentVariableA("PATH", oldPath.data(), 32767));
    ASSERT_TRUE(os.fs.setCurrentDirectory(scratch + "cwd"));
    Process ctx(os);
    Config config;
    ctx.os.env.set("PATH", scratch + "early;" + oldPath);
    void* jvm = loadJvmLibrary(ctx, config, scratch + "jre\\bin\\java.exe");
    ::SetEnvironmentVariableA("PATH", oldPath.c_str());
    os.fs.setCurrentDirectory(previous);
    ASSERT_NE(jvm, nullptr);
    auto which = reinterpret_cast<const char* (*)()>(os.libraries.symbol(jvm, "whichHelper"));
    ASSERT_NE(which, nullptr);
    std::string loaded = which();
    for (char& c : loaded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string expected = scratch + "jre\\bin\\kvrhelper.dll";
    for (char& c : expected) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(loaded, expected);
}

TEST_F(SecurityTest, QueueLockIsHeldAcrossThreadsAndRandomBytesDiffer) {
    const std::string name = "kavrin_test_lock_" + std::to_string(os.processes.currentProcessId());
    auto first = os.processes.lockNamed(name, 1000);
    ASSERT_TRUE(first);
    std::atomic<bool> secondHad{true};
    std::thread other([&] { secondHad = os.processes.lockNamed(name, 100) != nullptr; });
    other.join();
    EXPECT_FALSE(secondHad);
    first.reset();
    std::thread again([&] { secondHad = os.processes.lockNamed(name, 1000) != nullptr; });
    again.join();
    EXPECT_TRUE(secondHad);

    unsigned char a[16] = {}, b[16] = {};
    ASSERT_TRUE(os.clock.secureRandom(a, sizeof a));
    ASSERT_TRUE(os.clock.secureRandom(b, sizeof b));
    EXPECT_NE(std::string(reinterpret_cast<char*>(a), 16), std::string(reinterpret_cast<char*>(b), 16));
}

}  // namespace
}  // namespace kavrin::test
