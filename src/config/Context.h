// The launcher's process-wide state, created once in the entry point and handed
// down to every operation. Tests build their own over fakes.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace kavrin {

// The two tables of the configuration block, separate key spaces.
struct ConfigTables {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::u16string> wide;
};

struct LogState {
    bool tried = false;
    std::unique_ptr<TextOut> stream;
    std::optional<std::string> path;
};

struct Context {
    explicit Context(Platform& platform) : os(platform) {}
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Platform& os;

    // Configuration (loaded once by readConfig, read-only afterwards).
    ConfigTables config;
    uint32_t configEndPosition = 0;
    bool useMessageBox = true;

    // Path caches, filled on first use.
    std::optional<std::string> executablePath;
    std::optional<std::string> executableDirectory;

    LogState log;
    std::vector<std::string> cleanupList;

    // Start-up.
    char flavour = 0;  // 'k', 'm' or anything else (neither)
    std::string serviceName;

    // Extraction.
    std::string extractionDirectory;
    int32_t unextractedPosition = 0;

    // JVM location and loading.
    bool useVersionCache = true;
    uint32_t probeTimeoutMs = 60000;  // test seam: shortened only by tests
    std::string jvmHome;
    void* createJavaVM = nullptr;  // JNI_CreateJavaVM of the loaded library

    // The created JVM (JavaVM* and JNIEnv*, kept untyped here so this header needs no jni.h).
    void* javaVM = nullptr;
    void* jniEnv = nullptr;
    // The JVM's option texts and records; kept for as long as the JVM may read them.
    std::shared_ptr<void> jvmInitArgs;
};

}  // namespace kavrin
