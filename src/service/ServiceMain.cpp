#include "service/ServiceMain.h"
#include "config/Config.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "config/Keys.h"
#include "config/ServiceSettings.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "service/OutputCapture.h"

namespace kavrin {

namespace {

// Sessions made by the dispatcher path are kept to the end of the process on purpose:
// exit hooks run after main has returned. Held from a global so they stay reachable.
std::vector<std::unique_ptr<ServiceSession>>& lifetimeSessions() {
    static auto* sessions = new std::vector<std::unique_ptr<ServiceSession>>();
    return *sessions;
}

}  // namespace

ServiceSession::ServiceSession(Process& context, const Config& configuration, ServiceRuntime serviceRuntime,
                               std::string name, Extraction extracted)
    : ctx(context),
      config(configuration),
      runtime(std::move(serviceRuntime)),
      serviceName(std::move(name)),
      extraction(std::move(extracted)),
      status(context.os.services) {}

ServiceSession::~ServiceSession() { exitHookTarget->store(nullptr); }

std::vector<std::u16string> buildLauncherArguments(ServiceSession& session, const std::vector<std::string>& args) {
    Process& ctx = session.ctx;
    std::vector<std::u16string> list;
    session.runtime.splitArguments(ctx, ctx.os.module.commandLineW(), list);
    if (!list.empty()) list.erase(list.begin());
    for (const std::string& arg : args) {
        std::optional<std::u16string> wide = ctx.os.codePages.toWide(CodePage::Ansi, arg);
        list.push_back(wide ? *wide : std::u16string());
    }
    return list;
}

namespace {

constexpr uint32_t kStopProgressStepMs = 1000;

// Ends the process itself when the application has not ended by the stop timeout;
// without a timeout it does nothing, as the launcher always did.
class StopSupervisor {
public:
    StopSupervisor(ServiceSession& session, uint32_t timeoutMs) {
        if (timeoutMs == 0) return;
        thread_ = std::thread([&session, timeoutMs, this] {
            if (superviseStop(session, timeoutMs, ended_)) session.ctx.os.exit.quickExit(0);
        });
    }
    ~StopSupervisor() {
        ended_ = true;
        if (thread_.joinable()) thread_.join();
    }
    StopSupervisor(const StopSupervisor&) = delete;
    StopSupervisor& operator=(const StopSupervisor&) = delete;

private:
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace

bool superviseStop(ServiceSession& session, uint32_t timeoutMs, const std::atomic<bool>& ended) {
    Process& ctx = session.ctx;
    for (uint32_t waited = 0; waited < timeoutMs;) {
        const uint32_t step = std::min(kStopProgressStepMs, timeoutMs - waited);
        ctx.os.clock.sleep(step);
        waited += step;
        if (ended) return false;
        session.status.apply(StatusEvent::StopProgress);
    }
    const std::string text = formatText(
        "The application did not end within %u seconds of the stop request; "
        "the service ends it.",
        timeoutMs / 1000);
    logError(ctx, "%s", text.c_str());
    ctx.os.console.reportEvent(session.serviceName, Console::EventType::Warning, text);
    session.status.apply(StatusEvent::StopHandled);
    return true;
}

void serviceMain(ServiceSession& session, const std::vector<std::string>& args) {
    Process& ctx = session.ctx;
    const Config& config = session.config;
    // From here on nobody reads the console: messages go to the event log.
    ctx.fatal.eventSource = session.serviceName;
    ServiceStatus initial = initialServiceStatus();
    if (preshutdownTimeoutMs(config) > 0) initial.controlsAccepted |= scm::kAcceptPreshutdown;
    session.status.fill(initial);
    // The stop event belongs to the session, so it exists before the handler can signal
    // it: a stop that arrives while old temporary files are deleted is not lost.
    if (!ctx.os.services.registerHandler(session.serviceName,
                                         [&session](uint32_t control) { serviceControlHandler(session, control); }))
        return;
    session.status.report();

    // Two hooks, one report: atexit covers our own runtime's exit; the process-end hook
    // covers the JVM's runtime ending the process with ExitProcess, where our atexit
    // list never runs.
    session.exitHookTarget->store(&session);
    const auto reportAtEnd = [target = session.exitHookTarget] {
        if (ServiceSession* s = target->load()) reportStoppedAtExit(*s);
    };
    ctx.os.exit.atExit(reportAtEnd);
    ctx.os.services.setProcessEndHook(reportAtEnd);

    // The connection to the dispatcher ends here, so it is not counted as the queue's.
    logPhase(ctx, "service registered");
    session.runtime.processDeletionQueue(ctx);
    logPhase(ctx, "deletion queue");
    std::vector<std::u16string> launcherArguments = buildLauncherArguments(session, args);

    // Before the JVM loads: its runtime takes the standard handles as it starts.
    startOutputCapture(ctx, config, session.serviceName);

    std::optional<RunningJvm> jvm;
    std::optional<LoadedJvm> loaded;
    if (!session.stopEvent.signalled()) loaded = session.runtime.loadJvm(ctx);
    if (session.stopEvent.signalled()) {
        // Stopped before any JVM exists: nothing to ask to exit, so none is created.
        session.status.apply(StatusEvent::StopHandled);
        ctx.os.exit.quickExit(0);
    }
    if (loaded) jvm = session.runtime.launchProgram(ctx, *loaded, session.extraction, launcherArguments);
    if (!jvm) {
        session.status.apply(StatusEvent::LaunchFailed);
        return;
    }
    session.status.apply(StatusEvent::Launched);
    logInfo(ctx, "registering ConsoleCtrlHandler");
    ctx.os.console.addCtrlHandler([&ctx](uint32_t event) { return consoleControlHandler(ctx, event); });
    session.stopEvent.wait();
    {
        StopSupervisor supervisor(session, stopTimeoutMs(config));
        session.runtime.callSystemExit(ctx, *jvm);
    }
    session.status.apply(StatusEvent::StopHandled);
    ctx.os.exit.quickExit(0);
}

void serviceControlHandler(ServiceSession& session, uint32_t control) {
    switch (control) {
    case scm::kControlStop:
        runExitCleanup(session.ctx);
        session.status.apply(StatusEvent::StopControl);
        session.stopEvent.signal();
        break;
    case scm::kControlShutdown:
    case scm::kControlPreshutdown:  // accepted only with a pre-shutdown timeout
        runExitCleanup(session.ctx);
        session.status.apply(StatusEvent::ShutdownControl);
        session.stopEvent.signal();
        break;
    default: session.status.apply(StatusEvent::OtherControl); break;
    }
}

bool consoleControlHandler(Process& ctx, uint32_t /*event*/) {
    // Handled, so the default handler does not end the service on a logoff.
    logInfo(ctx, "ConsoleCtrlHandler event");
    return true;
}

void reportStoppedAtExit(ServiceSession& session) {
    // What the application wrote just before it ended the process is still in the pipes.
    session.ctx.os.console.drainCaptured();
    session.status.applyAtProcessEnd(recordedExitCode(session.ctx));
}

int runServiceDispatcher(Process& ctx, const Config& config, const std::string& serviceName, const ServicePath& path) {
    // Started by the service manager (see routeErrorsOfAServiceStart), the errors before
    // the dispatcher go to the event log under the service's own source from now on.
    if (ctx.fatal.eventSourceIfServiceStart) ctx.fatal.eventSourceIfServiceStart = serviceName;
    ExtractionResult extracted = path.extract(ctx);
    logPhase(ctx, "extraction");
    if (extracted.status != 0) reportFatalKey(ctx, config, key::kMsgInternalError, internalError::kExtractionFailed);
    lifetimeSessions().push_back(
        std::make_unique<ServiceSession>(ctx, config, path.runtime, serviceName, std::move(extracted.extraction)));
    ServiceSession* session = lifetimeSessions().back().get();
    ctx.os.services.runDispatcher(serviceName,
                                  [session](const std::vector<std::string>& args) { serviceMain(*session, args); });
    return 0;
}

}  // namespace kavrin
