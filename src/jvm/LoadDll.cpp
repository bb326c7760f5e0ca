#include "jvm/LoadDll.h"

#include "config/Config.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "jvm/Probe.h"
#include "jvm/Search.h"

namespace kavrin {

namespace {

constexpr const char* kJavawName = "javaw.exe";
constexpr size_t kJavawLength = 9;
constexpr size_t kJavaLength = 8;

// Tried after key::kJvmSubdirectory's text, in this order.
constexpr const char* kJvmSubdirectories[] = {"hotspot", "client", "server", "classic", "jrockit"};

struct KindMessage {
    SearchKind kind;
    int32_t messageKey;
    bool takesLocation;
};

// The first message of a failed load by search result kind; Registry has none.
constexpr KindMessage kKindMessages[] = {
    {SearchKind::ExecutableSearch, key::kMsgPathJvmDamaged, false},
    {SearchKind::Location, key::kMsgLocationJvmDamaged, true},
    {SearchKind::EnvironmentVariable, key::kMsgEnvJvmDamaged, true},
};

void setPath(Process& ctx, const std::string& value) {
    logInfo(ctx, "Setting PATH %s", value.c_str());
    ctx.os.env.set("PATH", value);
    ctx.os.env.crtPut("PATH=" + value);
}

// The bin directory as the DLL directory and at the end of PATH for as long as a library
// is being tried; both put back on every way out unless the load succeeded (the library's
// dependencies are then found through them later).
class LibrarySearchExtension {
public:
    LibrarySearchExtension(Process& ctx, const std::string& directory)
        : ctx_(ctx), old_(ctx.os.env.get("PATH").value_or("")) {
        setPath(ctx_, old_ + ";" + directory);
        ctx_.os.libraries.setDllDirectory(directory);
    }
    ~LibrarySearchExtension() {
        if (kept_) return;
        ctx_.os.libraries.setDllDirectory("");
        setPath(ctx_, old_);
    }
    LibrarySearchExtension(const LibrarySearchExtension&) = delete;
    LibrarySearchExtension& operator=(const LibrarySearchExtension&) = delete;
    void keep() { kept_ = true; }

private:
    Process& ctx_;
    std::string old_;
    bool kept_ = false;
};

// The runtime chosen for LoadDLL, with the kind and name its messages use.
struct Choice {
    bool ok = false;
    std::string javaExe;
    SearchKind kind = SearchKind::None;
    std::string locationName;
};

Choice chooseGivenLocation(Process& ctx, const Config& config, const std::string& location, LocationIs locationIs) {
    const bool locationIsJavaExe = locationIs == LocationIs::JavaExe;
    logInfo(ctx, "Got JRE location %s (java exe: %d)", location.c_str(), locationIsJavaExe ? 1 : 0);
    std::string minimum = getConfigString(config, key::kMinVersion);
    std::string maximum = getConfigString(config, key::kMaxVersion);
    logInfo(ctx, "MinVersion: %s, MaxVersion: %s", minimum.c_str(), maximum.c_str());
    Choice choice;
    choice.javaExe = location;
    bool usable =
        locationIsJavaExe
            ? testJavaExe(ctx, config, choice.javaExe, minimum, maximum, PreRelease::Allowed, VersionCache::Skip)
            : testLocation(ctx, config, choice.javaExe, location, minimum, maximum, AnyVersion::Yes);
    if (!usable) {
        logError(ctx, "Provided JVM unusable");
        return choice;
    }
    choice.ok = true;
    choice.kind = SearchKind::Location;
    choice.locationName = location;
    return choice;
}

Choice chooseBySearch(Process& ctx, const Config& config) {
    Choice choice;
    choice.kind = searchJvm(ctx, config, choice.javaExe, choice.locationName);
    if (choice.kind == SearchKind::None) {
        logError(ctx, "No JVM found");
        return choice;
    }
    choice.ok = true;
    return choice;
}

void showLoadFailure(Process& ctx, const Config& config, const Choice& choice) {
    LoadFailureMessages messages = loadFailureMessages(choice.kind);
    if (messages.first)
        showErrorKey(ctx, config, *messages.first,
                     messages.firstTakesLocation ? std::optional<std::string>(choice.locationName) : std::nullopt);
    showErrorKey(ctx, config, key::kMsgJvmStartFailed, std::nullopt);
}

}  // namespace

std::string javaExeDirectory(const std::string& javaExe) {
    bool javaw =
        javaExe.size() >= kJavawLength && javaExe.compare(javaExe.size() - kJavawLength, kJavawLength, kJavawName) == 0;
    size_t nameLength = javaw ? kJavawLength : kJavaLength;
    if (javaExe.size() < nameLength) return {};
    return javaExe.substr(0, javaExe.size() - nameLength);
}

std::vector<std::string> jvmSubdirectories(const std::string& configured) {
    std::vector<std::string> order;
    if (!configured.empty()) order.push_back(configured);
    for (const char* sub : kJvmSubdirectories) order.emplace_back(sub);
    return order;
}

LoadFailureMessages loadFailureMessages(SearchKind kind) {
    for (const auto& entry : kKindMessages)
        if (entry.kind == kind) return {entry.messageKey, entry.takesLocation};
    return {};
}

void* tryJvmLibrary(Process& ctx, const std::string& binDirectory, const std::string& subdirectory) {
    std::string path = binDirectory + "\\" + subdirectory + "\\jvm.dll";
    // The existence test only feeds the log (loading is attempted either way), so it is
    // skipped without one: a directory search per candidate on every start.
    if (logEnabled(ctx)) logInfo(ctx, "Trying %s (exists %d)", path.c_str(), fileExists(ctx, path) ? 1 : 0);
    return ctx.os.libraries.load(path);
}

void* loadJvmFromBin(Process& ctx, const Config& config, const std::string& javaExe) {
    std::string binDirectory = javaExeDirectory(javaExe);
    if (!binDirectory.empty()) binDirectory.pop_back();  // the backslash before the file name

    // The library's dependencies come from its own directory, then the runtime's bin,
    // before PATH (where an earlier entry could hold a planted copy). PATH still gets bin
    // at its end for what the JVM loads later by name.
    LibrarySearchExtension extension(ctx, binDirectory);
    for (const auto& sub : jvmSubdirectories(getConfigString(config, key::kJvmSubdirectory))) {
        if (void* library = tryJvmLibrary(ctx, binDirectory, sub)) {
            extension.keep();
            return library;
        }
    }
    return nullptr;
}

void* loadJvmLibrary(Process& ctx, const Config& config, const std::string& javaExe) {
    if (void* library = loadJvmFromBin(ctx, config, javaExe)) return library;
    // A development kit's bin\java.exe: its library lies under the kit's jre\bin.
    return loadJvmFromBin(ctx, config, javaExeDirectory(javaExe) + "..\\jre\\bin\\java.exe");
}

std::string jvmHomeOf(const std::string& javaExe) { return javaExeDirectory(javaExe) + ".."; }

CreateJavaVMFunction lookupCreateJavaVM(Process& ctx, void* library) {
    if (!library) return nullptr;
    // The one place the untyped symbol becomes the typed entry point.
    return reinterpret_cast<CreateJavaVMFunction>(ctx.os.libraries.symbol(library, "JNI_CreateJavaVM"));
}

LoadedJvm LoadDLL(Process& ctx, const Config& config, ShowErrors showErrors, const std::optional<std::string>& location,
                  LocationIs locationIs) {
    const bool show = showErrors == ShowErrors::Yes;
    logInfo(ctx, "LoadDLL (%d, %s, %d)", show ? 1 : 0, location ? location->c_str() : "(null)",
            locationIs == LocationIs::JavaExe ? 1 : 0);
    Choice choice = location ? chooseGivenLocation(ctx, config, *location, locationIs) : chooseBySearch(ctx, config);
    logPhase(ctx, "JVM search");
    LoadedJvm jvm;
    if (!choice.ok) {
        if (show) showErrorKey(ctx, config, key::kMsgNoJvm, std::nullopt);
        return jvm;
    }

    logInfo(ctx, "Trying to load JVM-DLL from %s", choice.javaExe.c_str());
    void* library = loadJvmLibrary(ctx, config, choice.javaExe);
    jvm.home = jvmHomeOf(choice.javaExe);
    if (!library) logError(ctx, "Could not get DLL-Handle.");
    CreateJavaVMFunction entry = lookupCreateJavaVM(ctx, library);
    if (!entry) logError(ctx, "Could not load functions");
    if (library && entry) {
        logInfo(ctx, "Loading of JVM-DLL successful");
        logPhase(ctx, "library load");
        jvm.createJavaVM = entry;
        return jvm;
    }
    if (show) showLoadFailure(ctx, config, choice);
    return jvm;
}

}  // namespace kavrin
