// A ServiceRuntime over scripts, for serviceMain and -run: records the order of
// calls and can be told what to return.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "service/ServiceMain.h"

namespace kavrin::test {

// A runtime that records the order of calls and can be told what to return.
struct ScriptedRuntime {
    std::vector<std::string> calls;
    bool loads = true;
    bool launches = true;
    std::function<void()> duringDeletion;
    std::function<void()> duringLoad;
    std::function<void()> duringLaunch;  // e.g. a stop arriving while the JVM is searched
    std::function<void()> duringExit;    // e.g. the JVM's runtime ending the process
    std::vector<std::u16string> launchedWith;

    ServiceRuntime make() {
        ServiceRuntime r;
        r.processDeletionQueue = [this](Process&) {
            calls.push_back("deletion queue");
            if (duringDeletion) duringDeletion();
        };
        r.splitArguments = [this](Process&, const std::u16string& text, std::vector<std::u16string>& out) {
            calls.push_back("split");
            size_t start = 0;
            while (start < text.size()) {  // plain blank splitting is enough here
                size_t end = text.find(u' ', start);
                if (end == std::u16string::npos) end = text.size();
                if (end > start) out.push_back(text.substr(start, end - start));
                start = end + 1;
            }
        };
        r.loadJvm = [this](Process&) {
            calls.push_back("load");
            if (duringLoad) duringLoad();
            return loads ? std::optional<LoadedJvm>(LoadedJvm{}) : std::nullopt;
        };
        r.launchProgram = [this](Process&, const LoadedJvm&, const Extraction&,
                                 const std::vector<std::u16string>& args) {
            calls.push_back("launch");
            launchedWith = args;
            if (duringLaunch) duringLaunch();
            return launches ? std::optional<RunningJvm>(RunningJvm{}) : std::nullopt;
        };
        r.callSystemExit = [this](Process&, RunningJvm&) {
            calls.push_back("system exit");
            if (duringExit) duringExit();
        };
        return r;
    }
};

}  // namespace kavrin::test
