// kavrin-jni-bench [ROUNDS]: the launcher's JNI launch path against the least any
// program must do to run the same class, both on OpenJDK's libjvm.so.
//   bare      JNI_CreateJavaVM with the class path, FindClass, main
//   launcher  launchProgram over the fake platform: options, class path, the JVM's
//             creation, the start classes and the application's main
// Each start runs in a forked child (one JVM per process) and times itself from just
// before the JVM is created to main's return. Prints best and median of each (after one
// untimed start of each) and the launcher/bare ratios. Figures only: the exit code says
// whether every start reached main.
#include <jni.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ClassPathShim.h"
#include "config/Keys.h"
#include "fakes/LauncherWorld.h"
#include "launch/jni/JavaVMLauncher.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path gScratch;  // the launcher's "C:\"
const char* kTinyClass = "jnibench/Tiny";

long long microsecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
}

long long bareStart() {
    const auto start = Clock::now();
    std::string classPath = "-Djava.class.path=" + (gScratch / "app/lib/tiny.jar").string();
    JavaVMOption option{classPath.data(), nullptr};
    JavaVMInitArgs args{JNI_VERSION_1_2, 1, &option, JNI_FALSE};
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (JNI_CreateJavaVM(&vm, reinterpret_cast<void**>(&env), &args) != JNI_OK) return -1;
    jclass tiny = env->FindClass(kTinyClass);
    jmethodID main = tiny ? env->GetStaticMethodID(tiny, "main", "([Ljava/lang/String;)V") : nullptr;
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray none = stringClass ? env->NewObjectArray(0, stringClass, nullptr) : nullptr;
    if (!main || !none) return -1;
    env->CallStaticVoidMethod(tiny, main, none);
    return env->ExceptionCheck() ? -1 : microsecondsSince(start);
}

jint JNICALL mappedCreateJavaVM(JavaVM** vm, void** env, void* args) {
    return kavrin::test::createWithMappedClassPath(gScratch, vm, env, *static_cast<JavaVMInitArgs*>(args));
}

long long launcherStart() {
    using namespace kavrin;
    test::LauncherWorld world;  // the fake machine is the harness, not timed
    world.placeModule("C:\\app\\bench.exe");
    world.ctx.fatal.useMessageBox = false;
    world.set(key::kFlavour, "k");
    world.set(key::kLauncherType, "4");
    world.set(key::kMainClass, "jnibench.Tiny");
    world.set(key::kStartClassFlag, "1");
    world.set(key::kClassPath, "S0lib;");
    world.fake.fs.addFile("C:\\app\\lib\\kavrin-runtime.jar", "");
    world.fake.fs.addFile("C:\\app\\lib\\tiny.jar", "");
    const LoadedJvm jvm{"", &mappedCreateJavaVM};
    const Extraction extraction{"C:\\temp\\kvr1", {}, 0};
    const auto start = Clock::now();
    try {
        if (!launchProgram(world.ctx, world.config, jvm, extraction, {})) return -1;
    } catch (const test::ProcessExit&) {
        return -1;
    }
    return microsecondsSince(start);
}

// One start in a child of its own; its time in microseconds, or -1 when main was not reached.
long long timedChild(long long (*startOnce)()) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string text = std::to_string(startOnce());
        if (write(fds[1], text.data(), text.size()) < 0) _exit(2);
        _exit(0);  // no DestroyJavaVM: the JVM's end is not part of a start
    }
    close(fds[1]);
    char buffer[32] = {};
    const ssize_t got = pid > 0 ? read(fds[0], buffer, sizeof buffer - 1) : -1;
    close(fds[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    return got > 0 ? std::atoll(buffer) : -1;
}

struct Figures {
    double best, median;
};

Figures figures(std::vector<long long> xs) {
    std::sort(xs.begin(), xs.end());
    const size_t n = xs.size();
    const double median = n % 2 ? static_cast<double>(xs[n / 2]) : (xs[n / 2 - 1] + xs[n / 2]) / 2.0;
    return {static_cast<double>(xs.front()), median};
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    if (rounds < 5) {
        std::fprintf(stderr, "usage: kavrin-jni-bench [ROUNDS], ROUNDS >= 5\n");
        return 64;
    }
    char pattern[] = "/tmp/kavrin-jni-bench-XXXXXX";
    if (!mkdtemp(pattern)) return 2;
    gScratch = pattern;
    fs::create_directories(gScratch / "app/lib");
    fs::copy_file(KAVRIN_RUNTIME_JAR, gScratch / "app/lib/kavrin-runtime.jar");
    fs::copy_file(KAVRIN_TINY_JAR, gScratch / "app/lib/tiny.jar");
    if (chdir(gScratch.c_str()) != 0) return 2;

    std::vector<long long> bare, launcher;
    bool allReachedMain = timedChild(bareStart) >= 0 && timedChild(launcherStart) >= 0;  // untimed
    for (int i = 0; i < rounds && allReachedMain; ++i) {
        // Taking turns at going first, so neither always follows the other.
        const long long a = timedChild(i % 2 ? launcherStart : bareStart);
        const long long b = timedChild(i % 2 ? bareStart : launcherStart);
        bare.push_back(i % 2 ? b : a);
        launcher.push_back(i % 2 ? a : b);
        allReachedMain = a >= 0 && b >= 0;
    }
    fs::remove_all(gScratch);
    if (!allReachedMain) {
        std::fprintf(stderr, "a start did not reach main\n");
        return 1;
    }
    const Figures b = figures(bare), l = figures(launcher);
    std::printf("JNI start to main's return, real JVM, %d rounds (ms)\n", rounds);
    std::printf("  bare      best %7.1f  median %7.1f\n", b.best / 1000, b.median / 1000);
    std::printf("  launcher  best %7.1f  median %7.1f\n", l.best / 1000, l.median / 1000);
    std::printf("  ratio launcher/bare: best %.3f, median %.3f\n", l.best / b.best, l.median / b.median);
    return 0;
}
