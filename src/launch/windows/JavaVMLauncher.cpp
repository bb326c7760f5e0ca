#include "launch/windows/JavaVMLauncher.h"

#include <jni.h>

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

using CreateJavaVMFunction = jint(JNICALL*)(JavaVM**, void**, void*);

// The Windows build brings its own jni_md.h; the JVM's ABI needs exactly these sizes.
static_assert(sizeof(jint) == 4 && sizeof(jlong) == 8 && sizeof(jbyte) == 1);
static_assert(sizeof(jchar) == sizeof(char16_t), "UTF-16 units go to NewString as they are");

constexpr const char* kSourceName = "windows/JavaVMLauncher";
constexpr int kParamArrayLine = 381;
constexpr int kJstrLine = 389;

JNIEnv* mainEnv(Context& ctx) { return static_cast<JNIEnv*>(ctx.jniEnv); }

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

jobjectArray makeArgumentArray(Context& ctx, JNIEnv* env, const std::vector<std::u16string>& arguments) {
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
        jstring jstr = env->NewString(reinterpret_cast<const jchar*>(argument.data()),
                                      static_cast<jsize>(argument.size()));
        if (jstr == nullptr) internalAssertion("jstr", kJstrLine);
        env->SetObjectArrayElement(array, static_cast<jsize>(i), jstr);
        env->DeleteLocalRef(jstr);  // many arguments must not exhaust the local frame
    }
    return array;
}

}  // namespace

int32_t getUnextractedPosition(const Context& ctx) { return ctx.unextractedPosition; }

std::vector<std::string> buildLauncherProperties(Context& ctx) {
    std::vector<std::string> properties;
    if (ctx.flavour == 'm') properties.push_back("-Dkavrin.isMolvex=true");
    properties.push_back("-Dkavrin.isService=true");
    properties.push_back("-Dkavrin.moduleName=" + getExecutablePath(ctx));
    if (getConfigInt(ctx, key::kPassProcessCommFile) != 0) {
        const uint32_t pid = ctx.os.processes.currentProcessId();
        properties.push_back("-Dkavrin.processCommFile=" + getProcessCommFileName(ctx, pid));
    }
    properties.push_back("-Dkavrin.tempDir=" + ctx.extractionDirectory);
    properties.push_back(formatText("-Dkavrin.unextractedPosition=%d", static_cast<int>(getUnextractedPosition(ctx))));
    // MANPATH, even set to "", marks a Unix-like shell whose console code page means nothing.
    if (!ctx.os.env.crtGet("MANPATH")) {
        properties.push_back(formatText("-Dkavrin.consoleCodepage=cp%u", ctx.os.console.outputCodePage()));
    }
    return properties;
}

bool createJvm(Context& ctx, const std::vector<std::u16string>& launcherArguments,
               const std::vector<std::string>& properties) {
    auto init = buildJvmInitArgs(ctx, properties, launcherArguments);
    logInfo(ctx, "Creating JVM");
    auto createJavaVM = reinterpret_cast<CreateJavaVMFunction>(ctx.createJavaVM);
    if (createJavaVM == nullptr) return false;  // no JVM library was loaded
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (createJavaVM(&vm, reinterpret_cast<void**>(&env), &init->args) != JNI_OK) return false;
    ctx.javaVM = vm;
    ctx.jniEnv = env;
    // The JVM may keep pointers into the option texts: they live as long as it does.
    ctx.jvmInitArgs = std::shared_ptr<void>(std::move(init));
    return true;
}

bool checkFirstRun(Context& ctx) {
    std::string marker = makeFullPath(ctx, getConfigString(ctx, key::kInstallDirectory), true);
    if (marker.empty() || marker.back() != '\\') marker += '\\';
    marker += kFirstRunMarker;
    if (!fileExists(ctx, marker)) return true;

    JNIEnv* env = mainEnv(ctx);
    jclass firstRunClass = env->FindClass(kFirstRunClass);
    if (firstRunClass == nullptr) {
        clearPending(env);
        reportFatalKey(ctx, key::kMsgInternalError, "14");
    }
    jmethodID firstRun = env->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
    if (firstRun == nullptr) {
        clearPending(env);
        reportFatalKey(ctx, key::kMsgInternalError, "15");
    }
    const jboolean goOn = env->CallStaticBooleanMethod(firstRunClass, firstRun);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return false;
    }
    return goOn != JNI_FALSE;
}

bool callMain(Context& ctx, const std::vector<std::u16string>& launcherArguments) {
    if (ctx.flavour == 'm' && !checkFirstRun(ctx)) {
        logInfo(ctx, "checkFirstRun stopped further execution");
        return true;
    }
    JNIEnv* env = mainEnv(ctx);
    logInfo(ctx, "main class: %s", kStartClass);
    jclass startClass = env->FindClass(kStartClass);
    if (startClass == nullptr) {
        clearPending(env);
        logError(ctx, "could not find main class");
        reportFatalKey(ctx, key::kMsgNoMainClass, std::nullopt);
    }
    jmethodID main = env->GetStaticMethodID(startClass, "main", "([Ljava/lang/String;)V");
    if (main == nullptr) {
        clearPending(env);
        logError(ctx, "could not find main method");
        reportFatalKey(ctx, key::kMsgNoMainMethod, std::nullopt);
    }

    const std::vector<std::u16string> mainArguments = buildMainArguments(ctx, launcherArguments);
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

bool launchProgram(Context& ctx, const std::vector<std::u16string>& launcherArguments) {
    logInfo(ctx, "launching program");
    const std::vector<std::string> properties = buildLauncherProperties(ctx);
    if (!createJvm(ctx, launcherArguments, properties)) {
        logError(ctx, "could not initialize JVM");
        return false;
    }
    logInfo(ctx, "JVM created");
    if (!callMain(ctx, launcherArguments)) {
        logError(ctx, "could not call main");
        return false;
    }
    logInfo(ctx, "launch done");
    return true;
}

void callSystemExit(Context& ctx) {
    JNIEnv* env = mainEnv(ctx);
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
    static_cast<JavaVM*>(ctx.javaVM)->DestroyJavaVM();
}

}  // namespace kavrin
