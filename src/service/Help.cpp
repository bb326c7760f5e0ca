#include "service/Help.h"

namespace kavrin {

const char* verbUsage(Verb verb) {
    switch (verb) {
    case Verb::Install: return "-install [NAME]         register the service (auto-start for a service launcher)";
    case Verb::InstallAuto: return "-install-auto [NAME]    register the service to start with Windows";
    case Verb::InstallDemand: return "-install-demand [NAME]  register the service to start on demand";
    case Verb::Uninstall: return "-uninstall [NAME]       stop the service and remove its registration";
    case Verb::Stop: return "-stop [NAME]            stop the service";
    case Verb::Start: return "-start [NAME]           start the service";
    case Verb::Status: return "-status [NAME]          report whether the service runs (exit code 3: it does not)";
    case Verb::Configure: return "-configure [NAME]       point an existing registration at this executable";
    case Verb::Run: return "-run [ARGS]             run the application in this console; Ctrl+C stops it";
    case Verb::Help: return "-help                   this text (also -?, /? and --help)";
    case Verb::Diagnose: return "-diagnose               explain which Java runtime would be chosen, and why";
    }
    return "";
}

std::string usageText(const std::string& programName, const std::string& serviceName) {
    std::string text = "Usage: " + programName + " [-VERB [NAME | ARGS]]\n\n";
    text += "Without a verb the service manager runs the application as the service.\n\nVerbs:\n";
    for (const VerbName& entry : kVerbTable) text += std::string("  ") + verbUsage(entry.verb) + "\n";
    text += "\nNAME replaces the service name this executable carries: " +
            (serviceName.empty() ? std::string("(none)") : serviceName) + "\n";
    text += "Read more in the user guide (docs/user-guide.md); the log files are described under \"Logs\".\n";
    return text;
}

}  // namespace kavrin
