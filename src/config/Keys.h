// The catalogue of configuration keys the launcher reads. One name per number;
// docs/project-file.md documents each (a test keeps the two in step).
#pragma once

#include <cstdint>

namespace kavrin::key {

constexpr int32_t kServiceName = 101;
constexpr int32_t kPassErrorLog = 102;
constexpr int32_t kErrorLogFile = 103;
constexpr int32_t kPassOutputLog = 104;
constexpr int32_t kOutputLogFile = 105;
constexpr int32_t kStartClassFlag = 106;
constexpr int32_t kLauncherType = 107;
constexpr int32_t kClassPath = 121;
constexpr int32_t kMainClass = 122;
constexpr int32_t kVmParameters = 123;
constexpr int32_t kArguments = 124;
constexpr int32_t kRouteJArguments = 125;
constexpr int32_t kMinVersion = 126;
constexpr int32_t kMaxVersion = 127;
constexpr int32_t kSearchSequence = 128;
constexpr int32_t kAllowPreRelease = 130;
constexpr int32_t kJdkRequired = 131;
constexpr int32_t kWorkingDirectory = 146;
constexpr int32_t kDependencies = 149;
constexpr int32_t kJvmSubdirectory = 152;
constexpr int32_t kJvmRules = 3100;  // "modern": numeric version order, current runtimes' layouts

// Message texts.
constexpr int32_t kMsgCaption = 1000;
constexpr int32_t kMsgNoJvm = 1001;
constexpr int32_t kMsgPathJvmDamaged = 1002;
constexpr int32_t kMsgEnvJvmDamaged = 1003;
constexpr int32_t kMsgLocationJvmDamaged = 1004;
constexpr int32_t kMsgJvmStartFailed = 1005;
constexpr int32_t kMsgClassPathMissing = 1006;
constexpr int32_t kMsgWrongParameter = 1007;
constexpr int32_t kMsgEnvVarMissing = 1008;
constexpr int32_t kMsgInternalError = 1009;
constexpr int32_t kMsgNoMainClass = 1010;
constexpr int32_t kMsgNoMainMethod = 1011;
constexpr int32_t kMsg1012 = 1012;  // carried, not read
constexpr int32_t kMsg1013 = 1013;  // carried, not read
constexpr int32_t kMsg1014 = 1014;  // carried, not read

// How the service is registered and stopped; absent: as the launcher always did.
constexpr int32_t kServiceDisplayName = 3000;
constexpr int32_t kServiceAccount = 3001;
constexpr int32_t kServiceInteractive = 3002;
constexpr int32_t kServiceDelayedStart = 3003;
constexpr int32_t kRecoveryActions = 3010;
constexpr int32_t kRecoveryRestartDelay = 3011;
constexpr int32_t kRecoveryResetPeriod = 3012;
constexpr int32_t kRecoveryNonCrashFailures = 3013;
constexpr int32_t kStopTimeout = 3020;
constexpr int32_t kPreshutdownTimeout = 3021;

constexpr int32_t kFlavour = 2001;
constexpr int32_t kIncludedCount = 2002;
constexpr int32_t kIncludedNames = 2003;
constexpr int32_t kInstallDirectory = 10003;
constexpr int32_t kPathPrepend = 10004;
constexpr int32_t kPassProcessCommFile = 10005;

// The logs: the launcher's own, and the application's captured output.
constexpr int32_t kLogLauncher = 3200;
constexpr int32_t kLogCapture = 3201;
constexpr int32_t kLogDirectory = 3202;
constexpr int32_t kLogMaxSize = 3203;
constexpr int32_t kLogKeep = 3204;

// Extraction: a start may take an earlier start's directory when its files are the same.
constexpr int32_t kReuseExtraction = 3300;

// Wide table.
constexpr int32_t kServiceDescription = 20017;

}  // namespace kavrin::key

namespace kavrin {

// Launcher type (key::kLauncherType) values with their own behaviour.
namespace launcherType {
constexpr int kGui = 1;
constexpr int kService = 4;
constexpr int kConsoleBox = 5;
}  // namespace launcherType

// The numbers shown for {0} of key::kMsgInternalError, one per place that can break.
namespace internalError {
inline constexpr const char* kExtractionDirectory = "7";  // no temporary name or directory for the carried files
inline constexpr const char* kIncludedFile = "11";        // a carried file name refused, or its file not created
inline constexpr const char* kFirstRunClass = "14";       // the installer flavour's first-run class is missing
inline constexpr const char* kFirstRunMethod = "15";      // ... or its firstRun method
inline constexpr const char* kExtractionFailed = "16";    // reading or writing the carried files failed
inline constexpr const char* kUnpackFailed = "20";        // a packed runtime archive could not be unpacked
}  // namespace internalError

}  // namespace kavrin
