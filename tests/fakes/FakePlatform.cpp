#include "fakes/FakePlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace kavrin::test {

std::string lowerAscii(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

namespace {

std::string parentOf(const std::string& key) {
    const size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return std::string();
    if (slash <= 2) return key.substr(0, 3);  // "c:\"
    return key.substr(0, slash);
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Iterative wildcard match with one backtrack point: linear in practice, where the
// recursive form took exponential time on patterns such as "***...*x".
bool globMatch(const char* pattern, const char* text) {
    auto same = [](char p, char t) {
        return p == '?' || std::tolower(static_cast<unsigned char>(p)) == std::tolower(static_cast<unsigned char>(t));
    };
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*text) {
        if (*pattern == '*') {
            star = pattern++;
            resume = text;
        } else if (*pattern && same(*pattern, *text)) {
            ++pattern;
            ++text;
        } else if (star) {
            pattern = star + 1;
            text = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool has(FileAccess a, FileAccess bit) { return (static_cast<uint32_t>(a) & static_cast<uint32_t>(bit)) != 0; }
bool allows(FileShare s, FileShare bit) { return (static_cast<uint32_t>(s) & static_cast<uint32_t>(bit)) != 0; }

class FakeFile : public File {
public:
    FakeFile(FakeFileSystem& fs, std::string key, std::shared_ptr<FakeFileSystem::Node::Open> open)
        : fs_(fs), key_(std::move(key)), open_(std::move(open)) {}
    ~FakeFile() override {
        if (auto* n = fs_.node(key_)) {
            auto& v = n->opens;
            v.erase(std::remove(v.begin(), v.end(), open_), v.end());
        }
    }
    bool seek(uint32_t offset) override {
        pos_ = offset;
        return true;
    }
    uint32_t position() override { return static_cast<uint32_t>(pos_); }
    IoResult read(void* buffer, size_t count) override {
        auto* n = fs_.node(key_);
        if (!n) return {false, 0, win32err::kFileNotFound};
        if (fs_.failReadAfter && pos_ >= *fs_.failReadAfter) return {false, 0, 23};
        size_t available = pos_ < n->content.size() ? n->content.size() - pos_ : 0;
        if (fs_.failReadAfter) available = std::min(available, *fs_.failReadAfter - pos_);
        const size_t got = std::min(count, available);
        if (got) std::memcpy(buffer, n->content.data() + pos_, got);
        pos_ += got;
        return {true, got, got < count ? win32err::kHandleEof : 0};
    }
    IoResult write(const void* buffer, size_t count) override {
        auto* n = fs_.node(key_);
        if (!n) return {false, 0, win32err::kFileNotFound};
        size_t room = count;
        if (fs_.freeBytes) {
            room = std::min(count, *fs_.freeBytes);
            *fs_.freeBytes -= room;
        }
        if (n->content.size() < pos_ + room) n->content.resize(pos_ + room);
        if (room) std::memcpy(n->content.data() + pos_, buffer, room);
        pos_ += room;
        if (room < count) return {false, room, 112};  // ERROR_DISK_FULL
        return {true, count, 0};
    }

private:
    FakeFileSystem& fs_;
    std::string key_;
    std::shared_ptr<FakeFileSystem::Node::Open> open_;
    size_t pos_ = 0;
};

class FakeText : public TextOut {
public:
    FakeText(FakeFileSystem& fs, std::string key) : fs_(fs), key_(std::move(key)) {}
    void write(const std::string& text) override {
        if (auto* n = fs_.node(key_)) n->content += text;
    }
    void flush() override {}

private:
    FakeFileSystem& fs_;
    std::string key_;
};

}  // namespace

// ---- file system --------------------------------------------------------------------

FakeFileSystem::FakeFileSystem() {
    Node root;
    root.directory = true;
    root.name = "C:\\";
    nodes["c:\\"] = root;
}

std::string FakeFileSystem::keyOf(const std::string& path) {
    std::string key = lowerAscii(path);
    std::replace(key.begin(), key.end(), '/', '\\');
    while (key.size() > 3 && key.back() == '\\') key.pop_back();
    if (key.size() == 2 && key[1] == ':') key += '\\';
    // Like the real file system, "." and ".." components name where they lead
    // (C:\app\..\lib is C:\lib) and doubled separators count once.
    if (key.size() > 3 && key[1] == ':' && key[2] == '\\') {
        std::vector<std::string> parts;
        size_t start = 3;
        while (start <= key.size()) {
            size_t end = key.find('\\', start);
            if (end == std::string::npos) end = key.size();
            const std::string part = key.substr(start, end - start);
            if (part == "..") {
                if (!parts.empty()) parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            start = end + 1;
        }
        std::string normal = key.substr(0, 3);
        for (size_t i = 0; i < parts.size(); ++i) normal += (i ? "\\" : "") + parts[i];
        key = normal;
    }
    return key;
}

std::string FakeFileSystem::resolvedKey(const std::string& path, bool followLast) const {
    std::string key = keyOf(path);
    // Follow the first link on the way, then start again on the rewritten key.
    for (int depth = 0; depth < 16; ++depth) {
        bool rewritten = false;
        for (size_t end = key.find('\\', 3); !rewritten; end = key.find('\\', end + 1)) {
            const bool last = end == std::string::npos;
            if (last && !followLast) break;
            const std::string prefix = last ? key : key.substr(0, end);
            auto it = nodes.find(prefix);
            if (it != nodes.end() && !it->second.linkTarget.empty()) {
                key = keyOf(it->second.linkTarget + (last ? "" : key.substr(end)));
                rewritten = true;
            }
            if (last) break;
        }
        if (!rewritten) break;
    }
    return key;
}

FakeFileSystem::Node* FakeFileSystem::node(const std::string& path) {
    auto it = nodes.find(resolvedKey(path));
    return it == nodes.end() ? nullptr : &it->second;
}

const FakeFileSystem::Node* FakeFileSystem::node(const std::string& path) const {
    auto it = nodes.find(resolvedKey(path));
    return it == nodes.end() ? nullptr : &it->second;
}

void FakeFileSystem::addLink(const std::string& path, const std::string& target, bool directory) {
    addDirectory(parentOf(keyOf(path)));
    Node& n = nodes[keyOf(path)];
    n.directory = directory;
    n.name = baseName(path);
    n.linkTarget = target;
}

void FakeFileSystem::addDirectory(const std::string& path) {
    const std::string key = keyOf(path);
    if (nodes.count(key)) return;
    const std::string parent = parentOf(key);
    if (!parent.empty() && parent != key) addDirectory(parent);
    Node n;
    n.directory = true;
    n.name = baseName(path);
    nodes[key] = n;
}

void FakeFileSystem::addFile(const std::string& path, const std::string& content, FileTime lastWrite) {
    const std::string key = keyOf(path);
    addDirectory(parentOf(key));
    Node& n = nodes[key];
    n.directory = false;
    n.content = content;
    n.lastWrite = lastWrite;
    n.name = baseName(path);
}

bool FakeFileSystem::exists(const std::string& path) const { return node(path) != nullptr; }
bool FakeFileSystem::isDirectory(const std::string& path) const {
    const Node* n = node(path);
    return n && n->directory;
}
std::string FakeFileSystem::content(const std::string& path) const {
    const Node* n = node(path);
    return n ? n->content : std::string();
}

std::vector<std::string> FakeFileSystem::children(const std::string& directory) const {
    std::vector<std::string> out;
    const std::string key = resolvedKey(directory, true);
    const std::string prefix = key.back() == '\\' ? key : key + "\\";
    for (const auto& [k, n] : nodes) {
        if (k.size() > prefix.size() && k.compare(0, prefix.size(), prefix) == 0 &&
            k.find('\\', prefix.size()) == std::string::npos)
            out.push_back(n.name);
    }
    return out;
}

void FakeFileSystem::holdOpen(const std::string& path, FileAccess access, FileShare share) {
    if (Node* n = node(path)) n->opens.push_back(std::make_shared<Node::Open>(Node::Open{access, share}));
}

void FakeFileSystem::setLastWrite(const std::string& path, FileTime time) {
    if (Node* n = node(path)) n->lastWrite = time;
}

std::unique_ptr<File> FakeFileSystem::openFile(const std::string& path, FileAccess access, FileShare share,
                                               FileDisposition disposition) {
    openLog.push_back(path);
    const std::string key = keyOf(path);
    const Node* parent = node(parentOf(key));
    if (!parent || !parent->directory) {
        lastError_ = win32err::kPathNotFound;
        return nullptr;
    }
    Node* n = node(key);
    if (n && n->directory) {
        lastError_ = win32err::kAccessDenied;
        return nullptr;
    }
    if (n && disposition == FileDisposition::CreateNew) {
        lastError_ = win32err::kFileExists;
        return nullptr;
    }
    if (n) {
        for (const auto& o : n->opens) {
            const bool clash = (has(access, FileAccess::Read) && !allows(o->share, FileShare::Read)) ||
                               (has(access, FileAccess::Write) && !allows(o->share, FileShare::Write)) ||
                               (has(o->access, FileAccess::Read) && !allows(share, FileShare::Read)) ||
                               (has(o->access, FileAccess::Write) && !allows(share, FileShare::Write));
            if (clash) {
                lastError_ = win32err::kSharingViolation;
                return nullptr;
            }
        }
    }
    if (disposition == FileDisposition::OpenExisting) {
        if (!n) {
            lastError_ = win32err::kFileNotFound;
            return nullptr;
        }
    } else {
        for (const auto& bad : failOpenForWrite)
            if (keyOf(bad) == key) {
                lastError_ = win32err::kAccessDenied;
                return nullptr;
            }
        if (!n) {
            addFile(path, "");
            n = node(key);
        } else if (disposition == FileDisposition::CreateAlways) {
            n->content.clear();
        }
    }
    auto open = std::make_shared<Node::Open>(Node::Open{access, share});
    n->opens.push_back(open);
    lastError_ = 0;
    auto file = std::make_unique<FakeFile>(*this, resolvedKey(key), open);
    if (disposition == FileDisposition::OpenAlways) file->seek(static_cast<uint32_t>(n->content.size()));
    return file;
}

bool FakeFileSystem::openAndKeep(const std::string& path, FileAccess access, FileShare share) {
    if (Node* n = node(path); n && n->directory) {
        // Kept like a file handle: it blocks what its sharing forbids until the fake goes.
        n->opens.push_back(std::make_shared<Node::Open>(Node::Open{access, share}));
        keptDirectories_.emplace_back(resolvedKey(path), n->opens.back());
        ++keptOpen;
        return true;
    }
    auto file = openFile(path, access, share, FileDisposition::OpenExisting);
    if (!file) return false;
    kept_.push_back(std::move(file));  // held until the fake goes, like a handle kept until process end
    ++keptOpen;
    return true;
}

bool FakeFileSystem::keepDirectoryNobodyHolds(const std::string& path) {
    const Node* n = node(path);
    if (!n || !n->directory) return false;
    for (const auto& open : n->opens)
        if (static_cast<uint32_t>(open->access) & static_cast<uint32_t>(FileAccess::Read)) return false;
    return openAndKeep(path, FileAccess::Read, FileShare::ReadWrite);
}

void FakeFileSystem::endProcess() {
    kept_.clear();
    for (auto& [key, open] : keptDirectories_)
        if (Node* n = node(key)) std::erase(n->opens, open);
    keptDirectories_.clear();
    keptOpen = 0;
}

void FakeFileSystem::keep(std::unique_ptr<File> file) {
    kept_.push_back(std::move(file));
    ++keptOpen;
}

std::optional<FindEntry> FakeFileSystem::findFirst(const std::string& pattern) {
    findFirstPatterns.push_back(pattern);
    auto all = find(pattern);
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::optional<FileTime> FakeFileSystem::lastWriteTime(const std::string& path) {
    findFirstPatterns.push_back(path);
    const Node* n = node(path);
    return n ? std::optional<FileTime>(n->lastWrite) : std::nullopt;
}

std::vector<FindEntry> FakeFileSystem::find(const std::string& pattern) {
    std::vector<FindEntry> out;
    if (pattern.empty() || pattern.back() == '\\' || pattern.back() == '/') return out;
    const size_t slash = pattern.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos) {
        if (const Node* n = node(pattern))
            out.push_back({n->name, n->directory, n->lastWrite, !n->linkTarget.empty(), n->content.size()});
        return out;
    }
    const std::string dir = slash == std::string::npos ? currentDirectory : pattern.substr(0, slash + 1);
    const Node* d = node(resolvedKey(dir, true));
    if (!d || !d->directory) return out;
    if (name == "*" || name == "*.*") {
        out.push_back({".", true, d->lastWrite});
        out.push_back({"..", true, d->lastWrite});
    }
    for (const std::string& child : children(dir)) {
        // Windows matches "*.*" against names without a dot too.
        if (name != "*.*" && !globMatch(name.c_str(), child.c_str())) continue;
        const Node* c = node((dir.back() == '\\' ? dir : dir + "\\") + child);
        out.push_back({child, c->directory, c->lastWrite, !c->linkTarget.empty(), c->content.size()});
    }
    return out;
}

std::optional<FullPath> FakeFileSystem::fullPathName(const std::string& input) {
    std::string path = input;
    std::replace(path.begin(), path.end(), '/', '\\');
    std::string prefix;
    std::string rest;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        prefix = "\\\\";
        rest = path.substr(2);
    } else if (path.size() >= 2 && path[1] == ':') {
        prefix = path.substr(0, 2) + "\\";
        rest = path.substr(path.size() > 2 && path[2] == '\\' ? 3 : 2);
    } else if (!path.empty() && path[0] == '\\') {
        prefix = currentDirectory.substr(0, 3);
        rest = path.substr(1);
    } else {
        prefix = currentDirectory.substr(0, 3);
        rest = currentDirectory.substr(3) + "\\" + path;
    }
    const bool trailing = !path.empty() && path.back() == '\\';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        const std::string part = rest.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string full = prefix;
    for (size_t i = 0; i < parts.size(); ++i) full += (i ? "\\" : "") + parts[i];
    if (trailing && !parts.empty()) full += '\\';
    const size_t slash = full.rfind('\\');
    return FullPath{full, slash == std::string::npos ? 0 : slash + 1};
}

std::optional<std::string> FakeFileSystem::shortPathName(const std::string& path) {
    if (!exists(path)) return std::nullopt;
    auto it = shortNames.find(lowerAscii(path));
    return it == shortNames.end() ? path : it->second;
}

std::optional<std::string> FakeFileSystem::longPathName(const std::string& path) {
    if (!exists(path)) return std::nullopt;
    return path;
}

bool FakeFileSystem::createDirectory(const std::string& path) {
    for (const auto& bad : failCreateDirectory)
        if (keyOf(bad) == keyOf(path)) {
            lastError_ = win32err::kAccessDenied;
            return false;
        }
    const Node* parent = node(parentOf(keyOf(path)));
    if (exists(path)) {
        lastError_ = win32err::kAlreadyExists;
        return false;
    }
    if (!parent || !parent->directory) {
        lastError_ = win32err::kPathNotFound;
        return false;
    }
    addDirectory(path);
    lastError_ = 0;
    return true;
}

bool FakeFileSystem::createPrivateDirectory(const std::string& path) {
    if (!createDirectory(path)) return false;
    node(path)->privateAcl = true;
    return true;
}

bool FakeFileSystem::isPrivateDirectory(const std::string& path) {
    const Node* n = node(path);
    return n && n->directory && n->privateAcl;
}

std::optional<PathKind> FakeFileSystem::pathKind(const std::string& path) {
    const Node* n = node(path);
    if (!n) return std::nullopt;
    return PathKind{n->directory, !n->linkTarget.empty()};
}

bool FakeFileSystem::removeDirectory(const std::string& path) {
    const Node* n = node(path);
    if (!n || !n->directory) return false;
    // A link goes as a link, whatever its target holds.
    if (n->linkTarget.empty() && !children(path).empty()) return false;
    for (const auto& o : n->opens)
        if ((static_cast<uint32_t>(o->share) & 4u) == 0) return false;
    nodes.erase(resolvedKey(path));
    return true;
}

bool FakeFileSystem::moveFile(const std::string& from, const std::string& to) {
    Node* source = node(from);
    const Node* parent = node(parentOf(keyOf(to)));
    if (!source || source->directory || !source->opens.empty() || !parent || !parent->directory) {
        lastError_ = source ? win32err::kAccessDenied : win32err::kFileNotFound;
        return false;
    }
    Node moved = *source;
    moved.name = baseName(to);
    nodes.erase(keyOf(from));
    nodes[keyOf(to)] = std::move(moved);
    return true;
}

bool FakeFileSystem::deleteFile(const std::string& path) {
    Node* n = node(path);
    if (!n || n->directory) {
        lastError_ = win32err::kFileNotFound;
        return false;
    }
    for (const auto& o : n->opens)
        if ((static_cast<uint32_t>(o->share) & 4u) == 0) {
            lastError_ = win32err::kSharingViolation;
            return false;
        }
    nodes.erase(resolvedKey(path));
    return true;
}

bool FakeFileSystem::setCurrentDirectory(const std::string& path) {
    auto full = fullPathName(path);
    if (!full || !isDirectory(full->path)) return false;
    currentDirectory = full->path;
    return true;
}

std::optional<std::string> FakeFileSystem::tempFileName(const std::string& dir, const std::string& prefix) {
    if (!isDirectory(dir)) return std::nullopt;
    std::string name;
    do {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", tempCounter_++ & 0xFFFF);
        name = (dir.back() == '\\' ? dir : dir + "\\") + prefix + hex + ".tmp";
    } while (exists(name));
    addFile(name, "");
    return name;
}

std::optional<std::string> FakeFileSystem::uniqueTempName(const std::string& dir, const std::string& prefix) {
    std::string base = dir;
    if (env) {
        if (auto tmp = env->get("TMP"); tmp && isDirectory(*tmp)) base = *tmp;
    }
    std::string name;
    do {
        name = (base.back() == '\\' ? base : base + "\\") + prefix + std::to_string(tempCounter_++);
    } while (exists(name));
    return name;
}

std::unique_ptr<TextOut> FakeFileSystem::createText(const std::string& path) {
    auto file = openFile(path, FileAccess::Write, FileShare::ReadWrite, FileDisposition::CreateNew);
    if (!file) return nullptr;
    return std::make_unique<FakeText>(*this, keyOf(path));
}

std::optional<std::string> FakeFileSystem::searchPath(const std::string& fileName) {
    for (const auto& dir : executableSearchPath) {
        std::string candidate = dir;
        if (!candidate.empty() && candidate.back() != '\\') candidate += '\\';
        candidate += fileName;
        const Node* n = node(candidate);
        if (n && !n->directory) return candidate;
    }
    return std::nullopt;
}

// ---- registry -----------------------------------------------------------------------

namespace {
class FakeKey : public RegKey {
public:
    FakeKey(FakeRegistry& reg, std::string key) : reg_(reg), key_(std::move(key)) {}
    std::optional<RegValue> queryValue(const std::string& name, size_t maxBytes) override {
        auto k = reg_.keys.find(key_);
        if (k == reg_.keys.end()) return std::nullopt;
        auto v = k->second.values.find(lowerAscii(name));
        if (v == k->second.values.end() || v->second.data.size() > maxBytes) return std::nullopt;
        return v->second;
    }
    bool setValue(const std::string& name, uint32_t type, const std::string& data) override {
        reg_.keys[key_].values[lowerAscii(name)] = RegValue{type, data};
        ++reg_.writes[lowerAscii(name)];
        return true;
    }
    std::optional<std::string> enumSubkey(uint32_t index) override {
        const std::string prefix = key_ + "\\";
        std::vector<std::string> subs;
        for (const auto& [k, v] : reg_.keys)
            if (k.size() > prefix.size() && k.compare(0, prefix.size(), prefix) == 0 &&
                k.find('\\', prefix.size()) == std::string::npos)
                subs.push_back(reg_.names[k]);
        if (index >= subs.size()) return std::nullopt;
        return subs[index];
    }

private:
    FakeRegistry& reg_;
    std::string key_;
};
}  // namespace

std::string FakeRegistry::keyOf(RegRoot root, const std::string& path) {
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return lowerAscii((root == RegRoot::CurrentUser ? "hkcu\\" : "hklm\\") + p);
}

std::unique_ptr<RegKey> FakeRegistry::createKey(RegRoot root, const std::string& path) {
    if (failCreate) return nullptr;
    std::string p = path;
    while (!p.empty() && p.back() == '\\') p.pop_back();
    // Every ancestor exists too, so enumeration sees the chain.
    size_t pos = 0;
    while (true) {
        pos = p.find('\\', pos);
        const std::string part = pos == std::string::npos ? p : p.substr(0, pos);
        const std::string k = keyOf(root, part);
        keys[k];
        names[k] = part.substr(part.rfind('\\') == std::string::npos ? 0 : part.rfind('\\') + 1);
        if (pos == std::string::npos) break;
        ++pos;
    }
    return std::make_unique<FakeKey>(*this, keyOf(root, path));
}

std::unique_ptr<RegKey> FakeRegistry::openKey(RegRoot root, const std::string& path, RegAccess) {
    const std::string k = keyOf(root, path);
    if (!keys.count(k)) return nullptr;
    return std::make_unique<FakeKey>(*this, k);
}

void FakeRegistry::setString(RegRoot root, const std::string& path, const std::string& name, const std::string& value) {
    createKey(root, path)->setValue(name, kRegSz, value);
}

std::optional<RegValue> FakeRegistry::value(RegRoot root, const std::string& path, const std::string& name) const {
    auto k = keys.find(keyOf(root, path));
    if (k == keys.end()) return std::nullopt;
    auto v = k->second.values.find(lowerAscii(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second;
}

bool FakeRegistry::keyExists(RegRoot root, const std::string& path) const { return keys.count(keyOf(root, path)) > 0; }

// ---- environment --------------------------------------------------------------------

void FakeEnvironment::put(const std::string& name, const std::string& value) {
    set(name, value);
    crt[lowerAscii(name)] = value;
}

void FakeEnvironment::remove(const std::string& name) {
    vars.erase(std::remove_if(vars.begin(), vars.end(),
                              [&](const auto& v) { return lowerAscii(v.first) == lowerAscii(name); }),
               vars.end());
    crt.erase(lowerAscii(name));
}

std::optional<std::string> FakeEnvironment::get(const std::string& name) {
    for (const auto& [n, v] : vars)
        if (lowerAscii(n) == lowerAscii(name)) return v;
    return std::nullopt;
}

std::optional<std::string> FakeEnvironment::crtGet(const std::string& name) {
    auto it = crt.find(lowerAscii(name));
    if (it == crt.end()) return std::nullopt;
    return it->second;
}

bool FakeEnvironment::set(const std::string& name, const std::string& value) {
    for (auto& [n, v] : vars)
        if (lowerAscii(n) == lowerAscii(name)) {
            v = value;
            return true;
        }
    vars.emplace_back(name, value);
    return true;
}

bool FakeEnvironment::crtPut(const std::string& assignment) {
    const size_t eq = assignment.find('=');
    if (eq == std::string::npos) return false;
    crt[lowerAscii(assignment.substr(0, eq))] = assignment.substr(eq + 1);
    return true;
}

std::optional<std::vector<std::string>> FakeEnvironment::block() {
    std::vector<std::string> out;
    for (const auto& [n, v] : vars) out.push_back(n + "=" + v);
    return out;
}

// ---- processes ----------------------------------------------------------------------

namespace {
class FakeChild : public ChildProcess {
public:
    explicit FakeChild(FakeProgram program, int& terminatedCount)
        : program_(std::move(program)), terminated_(terminatedCount) {}
    bool wait(uint32_t) override { return !program_.hangs || killed_; }
    uint32_t exitCode() override {
        if (killed_) return killCode_;
        return program_.hangs ? kStillActive : program_.exitCode;
    }
    void terminate(uint32_t code) override {
        killed_ = true;
        killCode_ = code;
        ++terminated_;
    }

private:
    FakeProgram program_;
    int& terminated_;
    bool killed_ = false;
    uint32_t killCode_ = 0;
};
}  // namespace

namespace {
// Excludes like the real mutex (one holder at a time), for the threads of one test.
class FakeNamedLock : public NamedLock {
public:
    FakeNamedLock(std::timed_mutex& mutex, std::atomic<int>& held) : mutex_(mutex), held_(held) { ++held_; }
    ~FakeNamedLock() override {
        --held_;
        mutex_.unlock();
    }

private:
    std::timed_mutex& mutex_;
    std::atomic<int>& held_;
};
}  // namespace

std::unique_ptr<NamedLock> FakeProcesses::lockNamed(const std::string& name, uint32_t timeoutMs) {
    if (failNamedLock || !namedMutex_.try_lock_for(std::chrono::milliseconds(timeoutMs))) return nullptr;
    ++namedLocksTaken;
    namedLockNames.push_back(name);
    return std::make_unique<FakeNamedLock>(namedMutex_, namedLocksHeld);
}

void FakeProcesses::addProgram(const std::string& path, FakeProgram program) {
    programs[lowerAscii(path)] = std::move(program);
}

std::unique_ptr<ChildProcess> FakeProcesses::spawn(const std::string& commandLine, const SpawnOptions& options) {
    commandLines.push_back(commandLine);
    std::string program;
    if (!commandLine.empty() && commandLine[0] == '"') {
        const size_t close = commandLine.find('"', 1);
        program = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        program = commandLine.substr(0, commandLine.find(' '));
    }
    auto it = programs.find(lowerAscii(program));
    if (it == programs.end()) return nullptr;
    if (options.stderrFile && fs) fs->addFile(*options.stderrFile, it->second.stderrText);
    if (it->second.onRun) it->second.onRun();
    return std::make_unique<FakeChild>(it->second, terminated);
}

// ---- services -----------------------------------------------------------------------

namespace {
class FakeServiceHandle : public ServiceHandle {
public:
    FakeServiceHandle(FakeServices& scm, std::string name) : scm_(scm), name_(std::move(name)) {}
    bool remove() override {
        if (!scm_.find(name_)) return false;
        scm_.services.erase(lowerAscii(name_));
        return true;
    }
    bool start() override {
        auto* s = scm_.find(name_);
        if (!s) return fail(win32err::kServiceDoesNotExist);
        if (s->status.currentState != scm::kStateStopped) return fail(win32err::kServiceAlreadyRunning);
        s->status.currentState = scm::kStateRunning;
        ++s->starts;
        return true;
    }
    bool control(uint32_t code) override {
        auto* s = scm_.find(name_);
        if (!s) return fail(win32err::kServiceDoesNotExist);
        if (code != scm::kControlStop) return true;
        if (s->status.currentState != scm::kStateRunning) return fail(win32err::kServiceNotActive);
        if (s->stopPendingHint) {
            s->status.currentState = scm::kStateStopPending;
            s->status.waitHint = *s->stopPendingHint;
        } else {
            s->status.currentState = scm::kStateStopped;
        }
        return true;
    }
    std::optional<ServiceStatus> queryStatus() override {
        auto* s = scm_.find(name_);
        if (!s) return fail(win32err::kServiceDoesNotExist), std::nullopt;
        return s->status;
    }
    std::optional<ServiceConfig> queryConfig(uint32_t& bytesNeeded) override {
        auto* s = scm_.find(name_);
        bytesNeeded = 0;
        if (!s) return fail(win32err::kServiceDoesNotExist), std::nullopt;
        return ServiceConfig{s->params.binaryPath, s->params.startType};
    }
    bool setDescription(const std::u16string& text) override {
        auto* s = scm_.find(name_);
        if (!s || scm_.failDescription) return false;
        s->description = text;
        return true;
    }

private:
    bool fail(uint32_t error) {
        scm_.lastError_ = error;
        return false;
    }
    FakeServices& scm_;
    std::string name_;
};

class FakeManager : public ServiceManagerHandle {
public:
    explicit FakeManager(FakeServices& scm) : scm_(scm) {}
    std::unique_ptr<ServiceHandle> openService(const std::string& name, uint32_t) override {
        if (!scm_.find(name)) {
            scm_.lastError_ = win32err::kServiceDoesNotExist;
            return nullptr;
        }
        return std::make_unique<FakeServiceHandle>(scm_, name);
    }
    std::unique_ptr<ServiceHandle> createService(const CreateServiceParams& params) override {
        if (scm_.find(params.name)) {
            scm_.lastError_ = win32err::kServiceExists;
            return nullptr;
        }
        FakeServices::Service s;
        s.params = params;
        scm_.services[lowerAscii(params.name)] = s;
        return std::make_unique<FakeServiceHandle>(scm_, params.name);
    }

private:
    FakeServices& scm_;
};
}  // namespace

FakeServices::Service* FakeServices::find(const std::string& name) {
    auto it = services.find(lowerAscii(name));
    return it == services.end() ? nullptr : &it->second;
}

std::unique_ptr<ServiceManagerHandle> FakeServices::openManager(uint32_t) {
    if (failOpenManager) {
        lastError_ = win32err::kAccessDenied;
        return nullptr;
    }
    return std::make_unique<FakeManager>(*this);
}

bool FakeServices::runDispatcher(const std::string& name, ServiceMainFn) {
    // Not started by the service control manager: the dispatcher fails at once.
    dispatched.push_back(name);
    return false;
}

bool FakeServices::registerHandler(const std::string&, ServiceHandlerFn handlerFn) {
    if (failRegisterHandler) return false;
    handler = std::move(handlerFn);
    return true;
}

bool FakeServices::setStatus(const ServiceStatus& status) {
    reported.push_back(status);
    return true;
}

// ---- code pages, libraries ----------------------------------------------------------

std::optional<std::u16string> FakeCodePages::toWide(CodePage, const std::string& text) {
    std::u16string out;
    for (unsigned char c : text) out.push_back(c);
    return out;
}

std::optional<std::string> FakeCodePages::toNarrow(CodePage, const std::u16string& text, bool& usedDefault) {
    usedDefault = false;
    std::string out;
    for (char16_t u : text) {
        if (u > 0xFF) {
            usedDefault = true;
            out.push_back('?');
        } else {
            out.push_back(static_cast<char>(u));
        }
    }
    return out;
}

bool FakeClock::secureRandom(void* buffer, size_t size) {
    if (failSecureRandom) return false;
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
        if (!secureBytes.empty()) {
            out[i] = secureBytes.front();
            secureBytes.erase(secureBytes.begin());
        } else {
            out[i] = secureCounter++;
        }
    }
    return true;
}

void* FakeLibraries::load(const std::string& path) {
    attempts.push_back(path);
    auto it = libraries.find(lowerAscii(path));
    return it == libraries.end() ? nullptr : &it->second;
}

void* FakeLibraries::symbol(void* library, const std::string& name) {
    if (!library) return nullptr;
    auto* symbols = static_cast<std::map<std::string, void*>*>(library);
    auto it = symbols->find(name);
    return it == symbols->end() ? nullptr : it->second;
}

// ---- the world ----------------------------------------------------------------------

FakePlatform::FakePlatform()
    : platform{fs, registry, env, processes, services, console, exit, clock, codePages, module, libraries} {
    fs.env = &env;
    processes.fs = &fs;
    fs.addDirectory("C:\\App");
    fs.addDirectory("C:\\Temp");
    fs.addDirectory("C:\\Windows");
}

void FakePlatform::installExecutable(const std::string& image) { fs.addFile(module.narrowName, image); }

std::string FakePlatform::logText() const {
    for (const auto& [key, n] : fs.nodes) {
        if (key.find("mvx_nlog") == std::string::npos) continue;
        // Without the fake clock's timestamps, which LogTest checks once.
        std::string text = n.content;
        const std::string stamp = "2026-12-09 12:00:00.000 ";
        for (size_t at = text.find(stamp); at != std::string::npos; at = text.find(stamp, at))
            text.erase(at, stamp.size());
        return text;
    }
    return std::string();
}

}  // namespace kavrin::test
