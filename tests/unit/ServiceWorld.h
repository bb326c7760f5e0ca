// A fake world for the service tests: the lead's fakes for everything except the
// service control manager, which is the fuller FakeServiceManager.
#pragma once

#include "config/Config.h"
#include "diagnostics/Process.h"
#include "fakes/FakePlatform.h"
#include "fakes/FakeServices.h"

namespace kavrin::test {

struct ServiceWorld {
    FakePlatform fake;
    FakeServiceManager scm;
    Platform platform{fake.fs,   fake.registry, fake.env,       fake.processes, scm,           fake.console,
                      fake.exit, fake.clock,    fake.codePages, fake.module,    fake.libraries};
    Process ctx{platform};
    Config config;

    std::string out() const { return fake.console.stdoutText; }
    void set(int32_t key, std::string value) { config = config.with(key, std::move(value)); }
    void set(int32_t key, std::u16string value) { config = config.with(key, std::move(value)); }
};

inline ServiceStatus statusOf(uint32_t state, uint32_t checkPoint = 0, uint32_t waitHint = 0) {
    ServiceStatus s;
    s.serviceType = 0x10;
    s.currentState = state;
    s.checkPoint = checkPoint;
    s.waitHint = waitHint;
    return s;
}

}  // namespace kavrin::test
