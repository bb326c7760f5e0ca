// The .vmoptions reader: the file opened in text mode beside the fake executable,
// read line by line with the 8191-character limit, trimmed, expanded and classified.
//
// Invariants: the reads partition the text (up to a CTRL+Z, CR LF as LF) and none is longer
// than 8191 characters or holds a LF before its end; every kept option is the
// trimmed, expanded line exactly once, in file order, either on the option list or
// in the class path slot its prefix names (the last such line wins).
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "fakes/FakePlatform.h"
#include "launch/Expand.h"
#include "launch/VmOptions.h"

using namespace kavrin;

namespace {

// Text mode: CTRL+Z ends the file, CR LF reads as LF.
std::string textMode(std::string raw) {
    raw.resize(std::min(raw.size(), raw.find('\x1a')));
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i)
        if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) out.push_back(raw[i]);
    return out;
}

// The trimming rules, written out independently.
std::optional<std::string> modelTrim(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    size_t first = 0;
    while (first < line.size() && line[first] == ' ') ++first;
    size_t last = line.size();
    while (last > first && line[last - 1] == ' ') --last;
    if (first == last || line[first] == '#') return std::nullopt;
    return line.substr(first, last - first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    test::FakePlatform fake;
    fake.env.put("HOME", "C:\\Users\\me");
    fake.fs.addFile("C:\\App\\svc.vmoptions", raw);
    Process ctx(fake.platform);
    Config config;
    const LauncherVariables vars = launcherVariables(ctx, config, "C:\\jre\\bin\\..", "C:\\Temp\\kvr1.tmp_dir7");

    auto file = openVmOptionsFile(ctx);
    FUZZ_CHECK(file.has_value(), "svc.vmoptions beside svc.exe was not found");

    // Read once for the partition check, then again through the real reader.
    VmOptionsFile copy = *file;
    std::string joined;
    std::vector<std::string> lines;
    while (auto line = copy.readLine()) {
        FUZZ_CHECK(!line->empty(), "an empty read");
        FUZZ_CHECK(line->size() <= kVmOptionsReadLimit, "a read longer than the fgets limit");
        const size_t lf = line->find('\n');
        FUZZ_CHECK(lf == std::string::npos || lf == line->size() - 1, "a read goes past a line feed");
        joined += *line;
        lines.push_back(*line);
    }
    FUZZ_CHECK(joined == textMode(raw), "the reads do not partition the text");

    std::vector<std::string> expectedOptions;
    ClassPathSlots expectedSlots;
    for (const std::string& line : lines) {
        auto trimmed = modelTrim(line);
        FUZZ_CHECK(trimmed == trimVmOptionsLine(line), "trimming differs from the rules");
        if (!trimmed) continue;
        expandInPlace(ctx, vars, *trimmed);
        const std::string& t = *trimmed;
        if (t.rfind("-classpath ", 0) == 0) expectedSlots.replacement = t.substr(11);
        else if (t.rfind("-classpath/p ", 0) == 0) expectedSlots.prepended = t.substr(13);
        else if (t.rfind("-classpath/a ", 0) == 0) expectedSlots.appended = t.substr(13);
        else expectedOptions.push_back(t);
    }

    std::vector<std::string> options;
    ClassPathSlots slots;
    readVmOptions(ctx, vars, *file, options, slots);
    FUZZ_CHECK(options == expectedOptions, "option list differs");
    FUZZ_CHECK(slots.replacement == expectedSlots.replacement, "replacement class path differs");
    FUZZ_CHECK(slots.prepended == expectedSlots.prepended, "prepended class path differs");
    FUZZ_CHECK(slots.appended == expectedSlots.appended, "appended class path differs");
    return 0;
}
