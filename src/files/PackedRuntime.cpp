#include "files/PackedRuntime.h"
#include "config/Config.h"

#include <array>

#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "files/Paths.h"
#include "platform/Processes.h"

namespace kavrin {

namespace {

// Unpacked in this order; jsse.jar comes last, so its presence marks a finished preparation.
constexpr std::array<const char*, 6> kPackedArchives = {
    "lib\\rt.jar",     "lib\\charsets.jar",        "lib\\plugin.jar",
    "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar",
};

}  // namespace

std::string makeUnpackCommandLine(const std::string& javaHome, const std::string& packedPath,
                                  const std::string& archivePath) {
    // The program path is quoted too: unquoted, a home with blanks could start another program.
    return "\"" + javaHome + "\\bin\\unpack200.exe\" -r \"" + packedPath + "\" \"" + archivePath + "\"";
}

void preparePackedRuntime(Process& ctx, const Config& config, const std::string& javaHome) {
    if (!fileExists(ctx, javaHome + "\\lib\\rt.jar.pack") || fileExists(ctx, javaHome + "\\lib\\jsse.jar")) return;
    logInfo(ctx, "Unpacking JRE");
    ctx.os.console.out("Preparing JRE ...\n");
    for (const char* archive : kPackedArchives) unpackArchive(ctx, config, javaHome, archive);
    logInfo(ctx, "Unpacking JRE done");
}

void unpackArchive(Process& ctx, const Config& config, const std::string& javaHome, const std::string& archive) {
    const std::string archivePath = javaHome + "\\" + archive;
    const std::string packedPath = archivePath + ".pack";
    logInfo(ctx, "Unpacking %s to %s", packedPath.c_str(), archivePath.c_str());
    if (!fileExists(ctx, packedPath)) {
        logInfo(ctx, "pack path doesn't exists");
        return;
    }
    SpawnOptions options;
    options.hideWindow = true;
    auto unpacker = ctx.os.processes.spawn(makeUnpackCommandLine(javaHome, packedPath, archivePath), options);
    if (!unpacker) {
        logInfo(ctx, "could not create unpack process");
        reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kUnpackFailed);
    }
    logInfo(ctx, "waiting for unpack200 to finish");
    // Its exit status is not examined: a failed unpacking shows later as a missing archive.
    unpacker->wait(kWaitForever);
    logInfo(ctx, "unpack done");
}

}  // namespace kavrin
