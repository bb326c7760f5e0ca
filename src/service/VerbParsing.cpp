#include "service/VerbParsing.h"

namespace kavrin {

const VerbName kVerbTable[11] = {
    {"install", Verb::Install},
    {"install-auto", Verb::InstallAuto},
    {"install-demand", Verb::InstallDemand},
    {"uninstall", Verb::Uninstall},
    {"stop", Verb::Stop},
    {"start", Verb::Start},
    {"status", Verb::Status},
    {"configure", Verb::Configure},
    {"run", Verb::Run},
    {"help", Verb::Help},  // also "?": see parseVerb
    {"diagnose", Verb::Diagnose},
};

VerbCommand parseVerb(const std::string& argumentText) {
    VerbCommand result;
    if (argumentText.empty() || (argumentText[0] != '/' && argumentText[0] != '-')) return result;

    // "/install", "-install", "--install" and "/-install" all name the same verb.
    size_t start = 1;
    if (start < argumentText.size() && argumentText[start] == '-') ++start;

    std::string word = argumentText.substr(start);
    size_t blank = word.find(' ');
    if (blank != std::string::npos) {
        // The name is taken even when the word turns out not to be a verb.
        if (blank + 1 < word.size()) result.serviceName = word.substr(blank + 1);
        word.resize(blank);
    }
    if (word == "?") word = "help";  // -? and /?
    for (const VerbName& entry : kVerbTable) {
        if (word == entry.text) {
            result.verb = entry.verb;
            break;
        }
    }
    return result;
}

}  // namespace kavrin
