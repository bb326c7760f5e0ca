#include "service/ServiceMain.h"

#include <atomic>
#include <memory>

#include "config/Keys.h"
#include "diagnostics/Errors.h"
#include "diagnostics/Log.h"
#include "service/OutputCapture.h"

namespace kavrin {

namespace {

// The session the exit hooks report through (they are plain function pointers).
std::atomic<ServiceSession*> exitHookSession{nullptr};

// Sessions made by the dispatcher path are kept to the end of the process on purpose:
// exit hooks run after main has returned. Held from a global so they stay reachable.
std::vector<std::unique_ptr<ServiceSession>>& lifetimeSessions() {
    static auto* sessions = new std::vector<std::unique_ptr<ServiceSession>>();
    return *sessions;
}

}  // namespace

ServiceSession::ServiceSession(Context& context, ServiceRuntime serviceRuntime, std::string name, Extraction extracted)
    : ctx(context),
      runtime(std::move(serviceRuntime)),
      serviceName(std::move(name)),
      extraction(std::move(extracted)),
      status(context.os.services) {}

ServiceSession::~ServiceSession() {
    ServiceSession* self = this;
    exitHookSession.compare_exchange_strong(self, nullptr);
}

std::vector<std::u16string> buildLauncherArguments(ServiceSession& session, const std::vector<std::string>& args) {
    Context& ctx = session.ctx;
    std::vector<std::u16string> list;
    session.runtime.splitArguments(ctx, ctx.os.module.commandLineW(), list);
    if (!list.empty()) list.erase(list.begin());
    for (const std::string& arg : args) {
        std::optional<std::u16string> wide = ctx.os.codePages.toWide(CodePage::Ansi, arg);
        list.push_back(wide ? *wide : std::u16string());
    }
    return list;
}

void serviceMain(ServiceSession& session, const std::vector<std::string>& args) {
    Context& ctx = session.ctx;
    session.status.fill(initialServiceStatus());
    // The stop event belongs to the session, so it exists before the handler can signal
    // it: a stop that arrives while old temporary files are deleted is not lost.
    if (!ctx.os.services.registerHandler(session.serviceName,
                                         [&session](uint32_t control) { serviceControlHandler(session, control); }))
        return;
    session.status.report();

    // Two hooks, one report: atexit covers our own runtime's exit; the process-end hook
    // covers the JVM's runtime ending the process with ExitProcess, where our atexit
    // list never runs.
    exitHookSession.store(&session);
    ctx.os.exit.atExit(&reportStoppedAtExit);
    ctx.os.services.setProcessEndHook(&reportStoppedAtExit);

    session.runtime.processDeletionQueue(ctx);
    logPhase(ctx, "deletion queue");
    std::vector<std::u16string> launcherArguments = buildLauncherArguments(session, args);

    // Before the JVM loads: its runtime takes the standard handles as it starts.
    startOutputCapture(ctx, session.serviceName);

    std::optional<RunningJvm> jvm;
    if (std::optional<LoadedJvm> loaded = session.runtime.loadJvm(ctx))
        jvm = session.runtime.launchProgram(ctx, *loaded, session.extraction, launcherArguments);
    if (!jvm) {
        session.status.apply(StatusEvent::LaunchFailed);
        return;
    }
    session.status.apply(StatusEvent::Launched);
    logInfo(ctx, "registering ConsoleCtrlHandler");
    ctx.os.console.addCtrlHandler([&ctx](uint32_t event) { return consoleControlHandler(ctx, event); });
    session.stopEvent.wait();
    session.runtime.callSystemExit(ctx, *jvm);
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
            runExitCleanup(session.ctx);
            session.status.apply(StatusEvent::ShutdownControl);
            session.stopEvent.signal();
            break;
        default:
            session.status.apply(StatusEvent::OtherControl);
            break;
    }
}

bool consoleControlHandler(Context& ctx, uint32_t /*event*/) {
    // Handled, so the default handler does not end the service on a logoff.
    logInfo(ctx, "ConsoleCtrlHandler event");
    return true;
}

void reportStoppedAtExit() {
    if (ServiceSession* session = exitHookSession.load()) {
        // What the application wrote just before it ended the process is still in the pipes.
        session->ctx.os.console.drainCaptured();
        session->status.applyAtProcessEnd();
    }
}

int runServiceDispatcher(Context& ctx, const std::string& serviceName, const ServicePath& path) {
    ExtractionResult extracted = path.extract(ctx);
    logPhase(ctx, "extraction");
    if (extracted.status != 0) reportFatalKey(ctx, key::kMsgInternalError, internalError::kExtractionFailed);
    lifetimeSessions().push_back(
        std::make_unique<ServiceSession>(ctx, path.runtime, serviceName, std::move(extracted.extraction)));
    ServiceSession* session = lifetimeSessions().back().get();
    ctx.os.services.runDispatcher(serviceName,
                                  [session](const std::vector<std::string>& args) { serviceMain(*session, args); });
    return 0;
}

}  // namespace kavrin
