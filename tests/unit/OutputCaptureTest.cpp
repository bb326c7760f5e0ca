#include <gtest/gtest.h>

#include "config/Keys.h"
#include "service/OutputCapture.h"
#include "unit/ScriptedRuntime.h"
#include "unit/ServiceWorld.h"

using namespace kavrin;
using kavrin::test::ScriptedRuntime;
using kavrin::test::ServiceWorld;

TEST(OutputCapture, SettingsAndTheirDefaults) {
    const struct {
        std::map<int32_t, std::string> keys;
        std::optional<std::string> directory;
        uint64_t maxSize;
        unsigned keep;
    } cases[] = {
        {{}, std::nullopt, 0, 0},  // a block without the keys: as before, nothing captured
        {{{key::kLogCapture, "0"}}, std::nullopt, 0, 0},
        {{{key::kLogCapture, "1"}}, "C:\\App\\logs", 10u << 20, 5},
        {{{key::kLogCapture, "1"}, {key::kLogDirectory, "..\\out"}, {key::kLogMaxSize, "2KB"}, {key::kLogKeep, "0"}},
         "C:\\out",
         2048,
         0},
        {{{key::kLogCapture, "1"}, {key::kLogMaxSize, "huge"}}, "C:\\App\\logs", 10u << 20, 5},
    };
    for (const auto& c : cases) {
        ServiceWorld w;
        for (const auto& [k, v] : c.keys) w.set(k, v);
        std::optional<CaptureSettings> settings = captureSettings(w.ctx, w.config);
        ASSERT_EQ(settings.has_value(), c.directory.has_value());
        if (!settings) continue;
        EXPECT_EQ(settings->directory, *c.directory);
        EXPECT_EQ(settings->maxSize, c.maxSize);
        EXPECT_EQ(settings->keep, c.keep);
    }
}

TEST(OutputCapture, ServiceMainCapturesBothStreamsBeforeTheJvmLoads) {
    ServiceWorld w;
    w.set(key::kLogCapture, "1");
    ScriptedRuntime rt;
    rt.loads = false;
    size_t capturedAtLoad = 0;
    ServiceRuntime runtime = rt.make();
    runtime.loadJvm = [&](Process&) {
        capturedAtLoad = w.fake.console.captured.size();
        return std::optional<LoadedJvm>();
    };
    ServiceSession session(w.ctx, w.config, runtime, "svc", {});
    serviceMain(session, {"svc"});
    EXPECT_EQ(capturedAtLoad, 2u);
    EXPECT_FALSE(w.fake.fs.exists("C:\\App\\logs"));  // made with the first output
    w.fake.console.captured.at(StdStream::Output)("out line\n");
    w.fake.console.captured.at(StdStream::Error)("err line\n");
    EXPECT_EQ(w.fake.fs.content("C:\\App\\logs\\svc.out.log"), "out line\n");
    EXPECT_EQ(w.fake.fs.content("C:\\App\\logs\\svc.err.log"), "err line\n");
    reportStoppedAtExit(session);
    EXPECT_EQ(w.fake.console.drains, 1);
}

TEST(OutputCapture, AnUnwritableDirectoryDropsOutputWithOneLogLine) {
    ServiceWorld w;
    w.fake.env.put("KAVRIN_LOG", "yes");
    w.set(key::kLogCapture, "1");
    w.fake.fs.failCreateDirectory = {"C:\\App\\logs"};
    startOutputCapture(w.ctx, w.config, "svc");
    for (int i = 0; i < 3; ++i) w.fake.console.captured.at(StdStream::Output)("line\n");
    EXPECT_FALSE(w.fake.fs.exists("C:\\App\\logs"));
    const std::string log = w.fake.logText();
    EXPECT_EQ(log.find("ERROR: output capture: C:\\App\\logs\\svc.out.log: cannot open, error 3; dropping output\n") !=
                  std::string::npos,
              true)
        << log;
    EXPECT_EQ(log.find("svc.out.log", log.find("svc.out.log") + 1), std::string::npos);  // once
}
