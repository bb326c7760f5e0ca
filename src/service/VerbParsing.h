// Reading a service control verb off the argument text.
//
// Usage:
//   VerbCommand cmd = parseVerb("-install My Service");
//   // cmd.verb == Verb::Install, cmd.serviceName == "My Service"
#pragma once

#include <optional>
#include <string>

namespace kavrin {

enum class Verb { Install, InstallAuto, InstallDemand, Uninstall, Stop, Start, Status, Configure, Run, Help, Diagnose };

struct VerbCommand {
    std::optional<Verb> verb;                // none: go on to extraction and the dispatcher
    std::optional<std::string> serviceName;  // text after the verb's first blank, when there is any
};

// Pure: the argument text is the command line without the program name.
VerbCommand parseVerb(const std::string& argumentText);

// The verbs in the order they are matched, for tests and help texts.
struct VerbName {
    const char* text;
    Verb verb;
};
extern const VerbName kVerbTable[11];

}  // namespace kavrin
