// The launcher logic runs over the fake platform, so the class path it builds names
// Windows paths under "C:\". The real files live under a scratch directory; this maps
// the class path option to them (";" -> ":", "C:\" -> the scratch directory, "\" -> "/")
// and creates the JVM with every other option as the launcher built it.
#pragma once

#include <jni.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kavrin::test {

inline std::string mapClassPath(const std::filesystem::path& scratch, const std::string& windowsList) {
    std::string mapped;
    size_t start = 0;
    while (start < windowsList.size()) {
        size_t end = windowsList.find(';', start);
        if (end == std::string::npos) end = windowsList.size();
        std::string entry = windowsList.substr(start, end - start);
        if (entry.rfind("C:\\", 0) == 0) entry = scratch.string() + "/" + entry.substr(3);
        for (char& c : entry) c = c == '\\' ? '/' : c;
        if (!entry.empty()) mapped += (mapped.empty() ? "" : ":") + entry;
        start = end + 1;
    }
    return mapped;
}

inline jint createWithMappedClassPath(const std::filesystem::path& scratch, JavaVM** vm, void** env,
                                      const JavaVMInitArgs& args) {
    const std::string prefix = "-Djava.class.path=";
    std::vector<std::string> texts;
    std::vector<void*> extras;  // the exit hook's address rides here
    for (jint i = 0; i < args.nOptions; ++i) {
        extras.push_back(args.options[i].extraInfo);
        std::string option = args.options[i].optionString;
        if (option.rfind(prefix, 0) == 0) option = prefix + mapClassPath(scratch, option.substr(prefix.size()));
        texts.push_back(option);
    }
    std::vector<JavaVMOption> options(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) options[i] = JavaVMOption{texts[i].data(), extras[i]};
    JavaVMInitArgs mapped = args;
    mapped.options = options.data();
    // The copies live on this frame only: fine, the JVM copies what it keeps.
    return JNI_CreateJavaVM(vm, env, &mapped);
}

}  // namespace kavrin::test
