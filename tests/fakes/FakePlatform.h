// In-memory stand-ins for every platform interface, so the logic runs on Linux.
//
// Usage:
//   kavrin::test::FakePlatform fake;               // C:\App\svc.exe, C:\Temp\, empty registry
//   kavrin::Process ctx(fake.platform);
//   fake.fs.addFile("C:\\App\\lib\\a.jar", "...");
//   EXPECT_THROW(reportFatal(ctx, "x"), kavrin::test::ProcessExit);
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kavrin::test {

// Thrown by the fake exit calls: carries the exit code out of the code under test.
struct ProcessExit {
    uint32_t code = 0;
    bool quick = false;  // _exit rather than ExitProcess
};

// Case-insensitive ASCII lower-casing used for the fake's path and registry keys.
std::string lowerAscii(std::string text);

class FakeEnvironment;

class FakeFileSystem : public FileSystem {
public:
    struct Node {
        bool directory = false;
        std::string content;
        FileTime lastWrite{1};
        std::string name;  // as created (case preserved)
        struct Open {
            FileAccess access;
            FileShare share;
        };
        std::vector<std::shared_ptr<Open>> opens;
        std::string linkTarget;   // set: a junction or symbolic link to this path
        bool privateAcl = false;  // made by createPrivateDirectory
    };

    FakeFileSystem();

    // Set-up helpers (create missing parent directories).
    void addDirectory(const std::string& path);
    void addFile(const std::string& path, const std::string& content, FileTime lastWrite = FileTime{1});
    bool exists(const std::string& path) const;
    bool isDirectory(const std::string& path) const;
    std::string content(const std::string& path) const;                          // "" when missing
    std::vector<std::string> children(const std::string& directory) const;       // names, sorted
    void holdOpen(const std::string& path, FileAccess access, FileShare share);  // another process's handle
    // A junction (directory) or symbolic link at path: paths through it lead to target.
    void addLink(const std::string& path, const std::string& target, bool directory = true);
    void setLastWrite(const std::string& path, FileTime time);

    std::string currentDirectory = "C:\\";
    std::string tempPathValue = "C:\\Temp\\";
    std::string windowsDirectoryValue = "C:\\Windows";
    std::map<std::string, std::string> shortNames;  // lower-cased long path -> short path
    std::vector<std::string> failCreateDirectory;   // paths whose creation fails
    std::vector<std::string> failOpenForWrite;      // paths that cannot be created
    std::optional<size_t> failReadAfter;            // reads of the executable fail after this many bytes
    std::optional<size_t> freeBytes;                // a full disk: writes beyond this many bytes fail
    FakeEnvironment* env = nullptr;                 // for _tempnam's TMP
    int keptOpen = 0;                               // handles kept until process end
    std::vector<std::string> openLog;               // every openFile path, in order

    // FileSystem
    std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                   FileDisposition disposition) override;
    bool openAndKeep(const std::string& path, FileAccess access, FileShare share) override;
    void keep(std::unique_ptr<File> file) override;
    bool keepDirectoryNobodyHolds(const std::string& path) override;
    // The process that kept handles has ended: they close.
    void endProcess();
    uint32_t lastError() override { return lastError_; }
    std::vector<FindEntry> find(const std::string& pattern) override;
    std::optional<FindEntry> findFirst(const std::string& pattern) override;
    std::optional<FileTime> lastWriteTime(const std::string& path) override;
    std::vector<std::string> findFirstPatterns;  // every findFirst and lastWriteTime, in order
    std::optional<FullPath> fullPathName(const std::string& path) override;
    std::optional<std::string> shortPathName(const std::string& path) override;
    std::optional<std::string> longPathName(const std::string& path) override;
    bool createDirectory(const std::string& path) override;
    bool createPrivateDirectory(const std::string& path) override;
    bool isPrivateDirectory(const std::string& path) override;
    std::optional<PathKind> pathKind(const std::string& path) override;
    bool removeDirectory(const std::string& path) override;
    bool deleteFile(const std::string& path) override;
    bool moveFile(const std::string& from, const std::string& to) override;
    bool setCurrentDirectory(const std::string& path) override;
    std::string tempPath() override { return tempPathValue; }
    std::string windowsDirectory() override { return windowsDirectoryValue; }
    std::optional<std::string> tempFileName(const std::string& dir, const std::string& prefix) override;
    std::optional<std::string> uniqueTempName(const std::string& dir, const std::string& prefix) override;
    std::unique_ptr<TextOut> createText(const std::string& path) override;
    std::optional<std::string> searchPath(const std::string& fileName) override;

    // The directories SearchPathA looks in, in order.
    std::vector<std::string> executableSearchPath;

    std::map<std::string, Node> nodes;  // key: normalised lower-case full path
    static std::string keyOf(const std::string& path);
    // The key a path really names: links on the way are followed, the last one only when asked.
    std::string resolvedKey(const std::string& path, bool followLast = false) const;
    Node* node(const std::string& path);
    const Node* node(const std::string& path) const;

private:
    uint32_t lastError_ = 0;
    unsigned tempCounter_ = 0x1000;
    std::vector<std::pair<std::string, std::shared_ptr<Node::Open>>> keptDirectories_;  // by key
    std::vector<std::unique_ptr<File>> kept_;  // openAndKeep handles; declared last, closed first
};

class FakeRegistry : public Registry {
public:
    struct Key {
        std::map<std::string, RegValue> values;  // lower-cased name -> value
    };
    // Set-up and inspection helpers; paths without a trailing backslash.
    void setString(RegRoot root, const std::string& path, const std::string& name, const std::string& value);
    std::optional<RegValue> value(RegRoot root, const std::string& path, const std::string& name) const;
    bool keyExists(RegRoot root, const std::string& path) const;
    bool failCreate = false;
    std::map<std::string, int> writes;  // lower-cased value name -> values written through keys

    std::unique_ptr<RegKey> createKey(RegRoot root, const std::string& path) override;
    std::unique_ptr<RegKey> openKey(RegRoot root, const std::string& path, RegAccess access) override;
    bool deleteKey(RegRoot root, const std::string& path) override { return keys.erase(keyOf(root, path)) > 0; }

    std::map<std::string, Key> keys;           // "hkcu\\..." or "hklm\\..." lower-cased
    std::map<std::string, std::string> names;  // lower-cased -> as created
    static std::string keyOf(RegRoot root, const std::string& path);
};

class FakeEnvironment : public Environment {
public:
    std::vector<std::pair<std::string, std::string>> vars;        // block order
    std::map<std::string, std::string> crt;                       // the C runtime's copy
    void put(const std::string& name, const std::string& value);  // both copies
    void remove(const std::string& name);

    std::optional<std::string> get(const std::string& name) override;
    std::optional<std::string> crtGet(const std::string& name) override;
    bool set(const std::string& name, const std::string& value) override;
    bool crtPut(const std::string& assignment) override;
    std::optional<std::vector<std::string>> block() override;
};

// A scripted child process: what it writes to stderr, its exit code, whether it hangs.
struct FakeProgram {
    std::string stderrText;
    uint32_t exitCode = 0;
    bool hangs = false;
    std::function<void()> onRun;  // side effects (e.g. unpacking)
};

class FakeProcesses : public Processes {
public:
    // Looked up by the program part of the command line (first token, quotes removed,
    // lower-cased). Unknown programs fail to start.
    std::map<std::string, FakeProgram> programs;
    std::vector<std::string> commandLines;  // every spawn, in order
    int terminated = 0;
    FakeFileSystem* fs = nullptr;
    uint32_t pid = 4242;

    // The named mutexes: how often taken, how many held now (the control handler's
    // thread takes it too), and whether taking it fails.
    std::atomic<int> namedLocksTaken{0};
    std::atomic<int> namedLocksHeld{0};
    std::vector<std::string> namedLockNames;  // written under the lock only
    bool failNamedLock = false;

    void addProgram(const std::string& path, FakeProgram program);
    std::unique_ptr<ChildProcess> spawn(const std::string& commandLine, const SpawnOptions& options) override;
    uint32_t currentProcessId() override { return pid; }
    std::unique_ptr<NamedLock> lockNamed(const std::string& name, uint32_t timeoutMs) override;

private:
    std::timed_mutex namedMutex_;
};

class FakeServices : public ServiceControl {
public:
    struct Service {
        CreateServiceParams params;
        ServiceStatus status{0x110, scm::kStateStopped, 0, 0, 0, 0, 0};
        std::u16string description;
        // When set, a stop control leaves the service stop-pending with this wait hint.
        std::optional<uint32_t> stopPendingHint;
        int starts = 0;
    };
    std::map<std::string, Service> services;  // lower-cased name
    bool failOpenManager = false;
    bool failDescription = false;
    std::vector<ServiceStatus> reported;  // every setStatus, in order
    std::vector<std::string> dispatched;  // names given to runDispatcher
    ServiceHandlerFn handler;
    bool failRegisterHandler = false;
    uint32_t lastError_ = 0;

    Service* find(const std::string& name);
    std::unique_ptr<ServiceManagerHandle> openManager(uint32_t access) override;
    uint32_t lastError() override { return lastError_; }
    bool runDispatcher(const std::string& name, ServiceMainFn main) override;
    bool registerHandler(const std::string& name, ServiceHandlerFn handlerFn) override;
    bool setStatus(const ServiceStatus& status) override;
};

class FakeConsole : public Console {
public:
    std::string stdoutText, stderrText;
    std::vector<std::pair<std::string, std::string>> boxes;  // text, caption
    std::vector<std::function<bool(uint32_t)>> handlers;
    uint32_t codePage = 850;
    void out(const std::string& text) override { stdoutText += text; }
    void err(const std::string& text) override { stderrText += text; }
    void messageBox(const std::string& text, const std::string& caption) override { boxes.emplace_back(text, caption); }
    bool addCtrlHandler(std::function<bool(uint32_t)> handler) override {
        handlers.push_back(std::move(handler));
        return true;
    }
    uint32_t outputCodePage() override { return codePage; }
    std::map<StdStream, std::function<void(std::string_view)>> captured;
    bool failCapture = false;
    int drains = 0;
    bool captureStream(StdStream stream, std::function<void(std::string_view)> sink) override {
        if (failCapture) return false;
        captured[stream] = std::move(sink);
        return true;
    }
    void drainCaptured() override { ++drains; }
    // The console's answer to a password prompt; none: no console.
    std::optional<std::string> secret;
    std::string prompts;
    std::optional<std::string> readSecret(const std::string& prompt) override {
        if (secret) prompts += prompt;
        return secret;
    }
    struct Event {
        std::string source;
        EventType type;
        std::string text;
    };
    std::vector<Event> events;
    bool reportEvent(const std::string& source, EventType type, const std::string& text) override {
        events.push_back({source, type, text});
        return true;
    }
};

class FakeExit : public Exit {
public:
    std::vector<std::function<void()>> hooks;
    [[noreturn]] void exitProcess(uint32_t code) override { throw ProcessExit{code, false}; }
    [[noreturn]] void quickExit(int code) override { throw ProcessExit{static_cast<uint32_t>(code), true}; }
    void atExit(std::function<void()> hook) override { hooks.push_back(std::move(hook)); }
};

class FakeClock : public Clock {
public:
    uint32_t ticks = 1000;
    int64_t seconds = 1'800'000'000;
    uint32_t sleptMs = 0;
    int nextRandom = 20931;
    std::optional<uint32_t> seed;
    std::function<void(uint32_t)> onSleep;
    uint32_t tickCount() override { return ticks; }
    void sleep(uint32_t ms) override {
        ticks += ms;
        sleptMs += ms;
        if (onSleep) onSleep(ms);
    }
    int64_t timeSeconds() override { return seconds; }
    std::string ctimeNow() override { return "Wed Dec 09 12:00:00 2026\n"; }
    int64_t sinceStartUs = 1234;
    int startClockReads = 0;  // so a test can tell the clock was never read
    int64_t microsecondsSinceStart() override {
        ++startClockReads;
        return sinceStartUs;
    }
    std::string localTimestamp() override { return "2026-12-09 12:00:00.000"; }
    void seedRandom(uint32_t s) override { seed = s; }
    int random() override { return nextRandom; }
    // secureRandom hands out these bytes first, then a counting sequence.
    std::vector<uint8_t> secureBytes;
    uint8_t secureCounter = 1;
    bool failSecureRandom = false;
    bool secureRandom(void* buffer, size_t size) override;
};

// Code pages as Latin-1: a byte is the unit of the same value; units above 0xFF need "?".
class FakeCodePages : public CodePages {
public:
    bool ansi = true;
    bool fileApisAnsi() override { return ansi; }
    std::optional<std::u16string> toWide(CodePage cp, const std::string& text) override;
    std::optional<std::string> toNarrow(CodePage cp, const std::u16string& text, bool& usedDefault) override;
};

class FakeModule : public Module {
public:
    std::u16string wideName = u"C:\\App\\svc.exe";
    std::string narrowName = "C:\\App\\svc.exe";
    std::optional<std::u16string> wideShort;
    bool nt = true;
    std::u16string commandLine = u"\"C:\\App\\svc.exe\"";
    std::u16string fileNameW() override { return wideName; }
    std::string fileNameA() override { return narrowName; }
    std::optional<std::u16string> shortPathW(const std::u16string&) override { return wideShort; }
    bool isWindowsNT() override { return nt; }
    std::u16string commandLineW() override { return commandLine; }
};

class FakeLibraries : public Libraries {
public:
    // lower-cased path -> exported symbols
    std::map<std::string, std::map<std::string, void*>> libraries;
    std::vector<std::string> attempts;        // every load, in order
    std::vector<std::string> dllDirectories;  // every setDllDirectory, in order
    void* load(const std::string& path) override;
    bool setDllDirectory(const std::string& directory) override {
        dllDirectories.push_back(directory);
        return true;
    }
    void* symbol(void* library, const std::string& name) override;
};

// The whole fake world, wired together, with `platform` handed to a Process.
struct FakePlatform {
    FakePlatform();
    FakeFileSystem fs;
    FakeRegistry registry;
    FakeEnvironment env;
    FakeProcesses processes;
    FakeServices services;
    FakeConsole console;
    FakeExit exit;
    FakeClock clock;
    FakeCodePages codePages;
    FakeModule module;
    FakeLibraries libraries;
    Platform platform;

    // Installs a packed executable image at the module's path.
    void installExecutable(const std::string& image);
    // The lines of the log file, when one was written.
    std::string logText() const;
};

}  // namespace kavrin::test
