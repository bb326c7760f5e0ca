// -run over the fake console. Wine cannot deliver console control events to a
// process, so Ctrl+C, Ctrl+Break and closing the console are proven here: the fake
// console calls the handler the launcher registered, as Windows would.
#include <gtest/gtest.h>

#include "config/Keys.h"
#include "service/ConsoleRun.h"
#include "unit/ScriptedRuntime.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::ScriptedRuntime;
using kavrin::test::ServiceWorld;

namespace {

ServicePath pathOver(ScriptedRuntime& rt) {
    return ServicePath{[](Process&) { return ExtractionResult{}; }, rt.make()};
}

}  // namespace

TEST(ConsoleRun, EveryConsoleEventTakesTheStopPathOnce) {
    const struct {
        uint32_t event;
        uint32_t waitsMs;  // close, logoff and shutdown wait for the application's exit to end the process
    } cases[] = {{ctrlEvent::kCtrlC, 0},
                 {ctrlEvent::kBreak, 0},
                 {ctrlEvent::kClose, kCloseGraceMs},
                 {ctrlEvent::kShutdown, kCloseGraceMs}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        ServiceWorld w;
        w.fake.module.commandLine = u"\"C:\\App\\svc.exe\" -run a b";
        w.ctx.cleanupList = {"C:\\Temp\\kvr1234"};
        ScriptedRuntime rt;
        // The event arrives while the JVM is still being searched: the application is
        // launched and then asked to exit at once, not killed half-way.
        std::vector<bool> handled;
        rt.duringLaunch = [&] {
            for (int i = 0; i < 2; ++i) handled.push_back(w.fake.console.handlers.at(0)(c.event));
        };
        std::optional<RegValue> queuedAtExit;
        rt.duringExit = [&] {
            queuedAtExit =
                w.fake.registry.value(RegRoot::CurrentUser, "SOFTWARE\\dalvenco\\kavrin\\temp", "delete_dir");
        };
        EXPECT_EQ(runInConsole(w.ctx, w.config, "svc", pathOver(rt)), 0);
        EXPECT_EQ(handled, (std::vector<bool>{true, true}));  // the default handler never runs
        EXPECT_EQ(rt.calls, (std::vector<std::string>{"deletion queue", "split", "load", "launch", "system exit"}));
        EXPECT_EQ(rt.launchedWith, (std::vector<std::u16string>{u"svc", u"a", u"b"}));
        ASSERT_TRUE(queuedAtExit);
        EXPECT_EQ(queuedAtExit->data, "C:\\Temp\\kvr1234;");
        EXPECT_EQ(w.fake.clock.sleptMs, 2 * c.waitsMs);
        EXPECT_TRUE(w.scm.reports().empty());  // no service status anywhere
    }
}

TEST(ConsoleRun, WithoutAJvmItEndsWith1AndAsksNothingToExit) {
    for (const bool loads : {false, true}) {
        ServiceWorld w;
        ScriptedRuntime rt;
        rt.loads = loads;
        rt.launches = false;
        EXPECT_EQ(runInConsole(w.ctx, w.config, "svc", pathOver(rt)), 1);
        EXPECT_EQ(std::count(rt.calls.begin(), rt.calls.end(), "system exit"), 0);
    }
}
