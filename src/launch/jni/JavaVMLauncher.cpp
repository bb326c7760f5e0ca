#include "launch/jni/JavaVMLauncher.h"

#include <jni.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "config/Config.h"
#include "config/ExePath.h"
#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "files/TempFiles.h"
#include "launch/Arguments.h"
#include "launch/VmOptions.h"

namespace kavrin {

namespace {

// The Windows build brings its own jni_md.h; the JVM's ABI needs exactly these sizes.
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jbyte) == 1);
static_assert(sizeof(jchar) == sizeof(char16_t), "UTF-16 units go to NewString as they are");

// The assertion names the file as the launcher always has, whatever the folder is called.
constexpr const char* kSourceName = "windows/JavaVMLauncher";
constexpr int kParamArrayLine = 381;
constexpr int kJstrLine = 389;

// An internal invariant broke (the JVM could not allocate the argument array or a
// string): report it the way the C runtime's assert does and abort.
[[noreturn]] void internalAssertion(const char* expression, int line) {
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, kSourceName, line);
    std::fflush(stderr);
    std::abort();
}

// Clears what a failed lookup left pending, so the next JNI call is legal.
bool clearPending(JNIEnv* env) {
    if (env->ExceptionOccurred() == nullptr) return false;
    env->ExceptionClear();
    return true;
}

jobjectArray makeArgumentArray(Process& ctx, JNIEnv* env, const std::vector<std::u16string>& arguments) {
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array =
        stringClass ? env->NewObjectArray(static_cast<jsize>(arguments.size()), stringClass, nullptr) : nullptr;
    if (array == nullptr) internalAssertion("paramArray", kParamArrayLine);
    const CodePage logCodePage = fileApiCodePage(ctx);
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        bool usedDefault = false;
        const std::string shown = ctx.os.codePages.toNarrow(logCodePage, argument, usedDefault).value_or("");
        logInfo(ctx, "param %d: %s", static_cast<int>(i), shown.c_str());
        // UTF-16 goes to Java exactly as held; no conversion on the way.
        jstring jstr =
            env->NewString(reinterpret_cast<const jchar*>(argument.data()), static_cast<jsize>(argument.size()));
        if (jstr == nullptr) internalAssertion("jstr", kJstrLine);
        env->SetObjectArrayElement(array, static_cast<jsize>(i), jstr);
        env->DeleteLocalRef(jstr);  // many arguments must not exhaust the local frame
    }
    return array;
}

// The context the JVM's exit hook records into: the hook is a plain function.
std::atomic<Process*> exitHookContext{nullptr};
char kExitOption[] = "exit";

// The JVM calls this with the code of System.exit or Runtime.halt just before it ends
// the process, so the service's last report can carry that code.
void JNICALL jvmExitHook(jint code) {
    if (Process* ctx = exitHookContext.load()) recordExitCode(*ctx, static_cast<uint32_t>(code));
}

// Adds the "exit" hook option after the logged options; records only, no text to copy.
void addExitHook(Process& ctx, JvmInitArgs& init) {
    exitHookContext.store(&ctx);
    JavaVMOption hook{};
    hook.optionString = kExitOption;
    hook.extraInfo = reinterpret_cast<void*>(&jvmExitHook);
    init.records.push_back(hook);
    init.args.nOptions = static_cast<jint>(init.records.size());
    init.args.options = init.records.data();
}

}  // namespace

std::vector<std::string> buildLauncherProperties(Process& ctx, const Config& config, const LauncherVariables& vars,
                                                 int32_t unextractedPosition) {
    std::vector<std::string> properties;
    if (vars.flavour == 'm') properties.push_back("-Dkavrin.isMolvex=true");
    properties.push_back("-Dkavrin.isService=true");
    properties.push_back("-Dkavrin.moduleName=" + getExecutablePath(ctx));
    if (getConfigInt(config, key::kPassProcessCommFile) != 0) {
        const uint32_t pid = ctx.os.processes.currentProcessId();
        properties.push_back("-Dkavrin.processCommFile=" + getProcessCommFileName(ctx, pid));
    }
    properties.push_back("-Dkavrin.tempDir=" + vars.extractionDirectory);
    properties.push_back(formatText("-Dkavrin.unextractedPosition=%d", static_cast<int>(unextractedPosition)));
    // MANPATH, even set to "", marks a Unix-like shell whose console code page means nothing.
    if (!ctx.os.env.crtGet("MANPATH")) {
        properties.push_back(formatText("-Dkavrin.consoleCodepage=cp%u", ctx.os.console.outputCodePage()));
    }
    return properties;
}

std::optional<RunningJvm> createJvm(Process& ctx, const Config& config, const LauncherVariables& vars,
                                    CreateJavaVMFunction createJavaVM,
                                    const std::vector<std::u16string>& launcherArguments,
                                    const std::vector<std::string>& properties) {
    auto init = buildJvmInitArgs(ctx, config, vars, properties, launcherArguments);
    addExitHook(ctx, *init);
    logInfo(ctx, "Creating JVM");
    if (createJavaVM == nullptr) return std::nullopt;  // no JVM library was loaded
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (createJavaVM(&vm, reinterpret_cast<void**>(&env), &init->args) != JNI_OK) return std::nullopt;
    // The JVM may keep pointers into the option texts: they live as long as it does.
    return RunningJvm(vm, env, std::move(init));
}

bool checkFirstRun(Process& ctx, const Config& config, JNIEnv* env) {
    std::string marker = makeFullPath(ctx, getConfigString(config, key::kInstallDirectory), PathCase::Keep);
    if (marker.empty() || marker.back() != '\\') marker += '\\';
    marker += kFirstRunMarker;
    if (!fileExists(ctx, marker)) return true;

    jclass firstRunClass = env->FindClass(kFirstRunClass);
    if (firstRunClass == nullptr) {
        clearPending(env);
        reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kFirstRunClass);
    }
    jmethodID firstRun = env->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
    if (firstRun == nullptr) {
        clearPending(env);
        reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kFirstRunMethod);
    }
    const jboolean goOn = env->CallStaticBooleanMethod(firstRunClass, firstRun);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return goOn != JNI_FALSE;
}

bool callMain(Process& ctx, const Config& config, const LauncherVariables& vars, JNIEnv* env,
              const std::vector<std::u16string>& launcherArguments) {
    if (vars.flavour == 'm' && !checkFirstRun(ctx, config, env)) {
        logInfo(ctx, "checkFirstRun stopped further execution");
        return true;
    }
    logInfo(ctx, "main class: %s", kStartClass);
    jclass startClass = env->FindClass(kStartClass);
    if (startClass == nullptr) {
        clearPending(env);
        logError(ctx, "could not find main class");
        reportFatalKey(ctx, config, key::kMsgNoMainClass, std::nullopt);
    }
    jmethodID main = env->GetStaticMethodID(startClass, "main", "([Ljava/lang/String;)V");
    if (main == nullptr) {
        clearPending(env);
        logError(ctx, "could not find main method");
        reportFatalKey(ctx, config, key::kMsgNoMainMethod, std::nullopt);
    }

    const std::vector<std::u16string> mainArguments = buildMainArguments(ctx, config, vars, launcherArguments);
    logInfo(ctx, "param count: %d", static_cast<int>(mainArguments.size()));
    jobjectArray array = makeArgumentArray(ctx, env, mainArguments);

    logInfo(ctx, "calling main");
    env->CallStaticVoidMethod(startClass, main, array);
    logInfo(ctx, "main returned");
    if (env->ExceptionOccurred()) {
        logError(ctx, "an exception occured");
        env->ExceptionDescribe();
        return false;
    }
    return true;
}

std::optional<RunningJvm> launchProgram(Process& ctx, const Config& config, const LoadedJvm& jvm,
                                        const Extraction& extraction,
                                        const std::vector<std::u16string>& launcherArguments) {
    logInfo(ctx, "launching program");
    const LauncherVariables vars = launcherVariables(ctx, config, jvm.home, extraction.directory, extraction.files);
    const std::vector<std::string> properties =
        buildLauncherProperties(ctx, config, vars, extraction.unextractedPosition);
    std::optional<RunningJvm> running = createJvm(ctx, config, vars, jvm.createJavaVM, launcherArguments, properties);
    if (!running) {
        logError(ctx, "could not initialize JVM");
        return std::nullopt;
    }
    logInfo(ctx, "JVM created");
    logPhase(ctx, "JVM creation");
    if (!callMain(ctx, config, vars, running->env(), launcherArguments)) {
        logError(ctx, "could not call main");
        return std::nullopt;
    }
    logPhase(ctx, "main");
    logInfo(ctx, "launch done");
    return running;
}

void RunningJvm::callSystemExit(Process& ctx) {
    JNIEnv* env = env_;
    if (env == nullptr) return;  // no JVM was created

    int route = 1;
    jclass exitClass = env->FindClass("java/lang/Shutdown");
    jmethodID exitMethod = exitClass ? env->GetStaticMethodID(exitClass, "exit", "(I)V") : nullptr;
    if (exitMethod == nullptr) {
        // Not every runtime has Shutdown.exit; System.exit ends the same way.
        clearPending(env);
        route = 0;
        exitClass = env->FindClass("java/lang/System");
        exitMethod = exitClass ? env->GetStaticMethodID(exitClass, "exit", "(I)V") : nullptr;
    }
    if (exitMethod != nullptr) env->CallStaticVoidMethod(exitClass, exitMethod, static_cast<jint>(0));

    if (env->ExceptionOccurred()) {
        env->ExceptionClear();
        logInfo(ctx, "Could not call System.exit() %d", route);
        return;
    }
    vm_->DestroyJavaVM();
}

}  // namespace kavrin
