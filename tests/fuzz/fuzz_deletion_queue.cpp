// processDeletionQueue over the fake registry and file system.
// Input: LF-separated lines: the "delete_file" list, the "delete_dir" list, then the
// file system, one path per line after a letter: f (file), d (directory), h (file
// held open by another process). A "delete_file" line starting with "!" is repeated
// past the read limit (kDeletionListBuffer).
//
// Invariants: both values exist afterwards; survivors are input entries, in input
// order, each followed by ";"; a dropped entry no longer exists (as the launcher
// sees existence: a search, so a trailing backslash finds nothing); a list too long to
// read is left exactly as it was; nothing is created, and nothing is deleted but a
// listed path or (for a listed directory) one of its direct children.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "diagnostics/Errors.h"
#include "fakes/FakePlatform.h"
#include "files/DeletionQueue.h"
#include "files/Paths.h"

using namespace kavrin;

namespace {

const char* const kQueuePath = "SOFTWARE\\dalvenco\\kavrin\\temp";

std::vector<std::string> splitOn(const std::string& text, char separator, bool keepEmpty) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (keepEmpty || end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::string parentKey(const std::string& key) {
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return std::string();
    std::string parent = key.substr(0, slash);
    if (parent.size() == 2 && parent[1] == ':') parent += '\\';
    return parent;
}

// Survivors: each entry followed by ";", a subsequence of the input entries.
void checkSurvivors(const std::string& written, const std::vector<std::string>& input) {
    FUZZ_CHECK(written.empty() || written.back() == ';', "survivor list does not end with ';'");
    size_t at = 0;
    for (const std::string& entry : splitOn(written, ';', false)) {
        while (at < input.size() && input[at] != entry) ++at;
        FUZZ_CHECK(at < input.size(), "a survivor is not an input entry (or out of order)");
        ++at;
    }
}

std::string cString(const std::string& data) { return data.substr(0, data.find('\0')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> lines = splitOn(std::string(reinterpret_cast<const char*>(data), size), '\n', true);
    lines.resize(std::max<size_t>(lines.size(), 2));
    std::string fileList = lines[0];
    if (!fileList.empty() && fileList[0] == '!') {
        const std::string unit = fileList;
        while (fileList.size() <= kDeletionListBuffer) fileList += unit;
    }
    const std::string dirList = lines[1];

    test::FakePlatform fake;
    for (size_t i = 2; i < lines.size(); ++i) {
        if (lines[i].size() < 2) continue;
        const std::string path = lines[i].substr(1);
        // A path that resolves to nothing usable would only exercise the fake.
        if (test::FakeFileSystem::keyOf(path).rfind("c:\\", 0) != 0) continue;
        switch (lines[i][0]) {
        case 'f': fake.fs.addFile(path, "x"); break;
        case 'd': fake.fs.addDirectory(path); break;
        case 'h':
            fake.fs.addFile(path, "x");
            fake.fs.holdOpen(path, FileAccess::Read, FileShare::Read);
            break;
        default: break;
        }
    }
    fake.registry.setString(RegRoot::CurrentUser, kQueuePath, kDeleteFileValue, fileList);
    fake.registry.setString(RegRoot::CurrentUser, kQueuePath, kDeleteDirValue, dirList);

    std::set<std::string> before;
    for (const auto& [key, node] : fake.fs.nodes) before.insert(key);

    Process ctx(fake.platform);
    processDeletionQueue(ctx);

    const auto files = fake.registry.value(RegRoot::CurrentUser, kQueuePath, kDeleteFileValue);
    const auto dirs = fake.registry.value(RegRoot::CurrentUser, kQueuePath, kDeleteDirValue);
    FUZZ_CHECK(files && dirs, "a queue value is missing afterwards");

    const std::vector<std::string> fileEntries = splitOn(cString(fileList), ';', false);
    const std::vector<std::string> dirEntries = splitOn(cString(dirList), ';', false);
    const bool fileTooLong = fileList.size() > kDeletionListBuffer;
    if (fileTooLong) {
        FUZZ_CHECK(files->data == fileList, "a list too long to read was changed");
    } else {
        checkSurvivors(files->data, fileEntries);
    }
    checkSurvivors(dirs->data, dirEntries);

    std::set<std::string> allowed, allowedChildrenOf;
    if (!fileTooLong)
        for (const auto& e : fileEntries) allowed.insert(test::FakeFileSystem::keyOf(e));
    for (const auto& e : dirEntries) {
        if (e[0] == '.') continue;
        allowed.insert(test::FakeFileSystem::keyOf(e));
        allowedChildrenOf.insert(test::FakeFileSystem::keyOf(e));
    }
    for (const auto& [key, node] : fake.fs.nodes) FUZZ_CHECK(before.count(key), "processing created something");
    for (const std::string& key : before) {
        if (fake.fs.nodes.count(key)) continue;
        FUZZ_CHECK(allowed.count(key) || allowedChildrenOf.count(parentKey(key)), "deleted a path that is not listed");
    }

    // A directory entry leaves the queue only when its path is gone.
    const std::vector<std::string> dirSurvivors = splitOn(dirs->data, ';', false);
    const std::set<std::string> kept(dirSurvivors.begin(), dirSurvivors.end());
    for (const auto& e : dirEntries) {
        if (e[0] == '.' || kept.count(e)) continue;
        FUZZ_CHECK(!fileExists(ctx, e), "a dropped directory entry still exists");
    }
    if (!fileTooLong) {
        const std::vector<std::string> fileSurvivors = splitOn(files->data, ';', false);
        const std::set<std::string> keptFiles(fileSurvivors.begin(), fileSurvivors.end());
        for (const auto& e : fileEntries)
            if (!keptFiles.count(e)) FUZZ_CHECK(!fileExists(ctx, e), "a dropped file entry still exists");
    }
    return 0;
}
