// quorvel-host's command line, read into one HostOptions, and the options
// of the job written where the extension reads them.
#include "host.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: quorvel-host [options]\n"
    "The simulated mail client with real windows: loads Quorvel.dll (from this\n"
    "program's folder, or as the COM add-in registered for the user), opens a\n"
    "compose window with the message, clicks \"Quorsend\" and lets a scripted\n"
    "user work the mailing dialog.\n"
    "  --list FILE          the mailing list (default: examples\\recipients.csv)\n"
    "  --subject TEXT       the subject (default: the first line of examples\\subject.txt)\n"
    "  --body FILE          the plain-text body (default: examples\\body.txt)\n"
    "  --html FILE          the HTML body (default: examples\\body.html unless --body)\n"
    "  --host-version TEXT  the client's version (default 11.0.0.8312); from 14.0 on\n"
    "                       the client loads the COM add-in registered for the user\n"
    "                       and the button is on the ribbon\n"
    "  --pause SECONDS      the option: pause between messages\n"
    "  --send-receive N     the option: Send/Receive every N messages\n"
    "  --save-original 0|1  the option: keep the composed message after the job (default 1)\n"
    "  --user SCRIPT        what the user does, steps separated by ';' or ','\n"
    "                       (default \"send\"):\n"
    "                         send        type the list's path into the field, click Send\n"
    "                         send-empty  clear the field, click Send\n"
    "                         pause@N     click Pause once N messages are sent\n"
    "                         resume@N    click Send again N seconds into the pause\n"
    "                         cancel@N    click Cancel once N messages are sent\n"
    "                         options     open the options and the logs, close them\n"
    "                         close       click Cancel (closes the idle dialog)\n"
    "                         die@N       the whole process ends, as a crash or a\n"
    "                                     kill ends it, at the N-th delivery: the\n"
    "                                     message is delivered, Quorvel has not\n"
    "                                     yet logged it\n"
    "                       N ending in 's' counts seconds after the step before.\n"
    "                       The user answers Yes when asked to continue the last\n"
    "                       mailing and when asked to send the message in doubt\n"
    "  --answer Q=A         the user's answer to a question asked either way:\n"
    "                       again=yes sends a finished mailing to everyone again\n"
    "                       (default no), others=no sends a message to the\n"
    "                       recipients of its subject's mailing again (default yes:\n"
    "                       only to the others); may be given for each\n"
    "  --sheet N            a workbook's sheet the user picks in the review (1 for\n"
    "                       the first; default: the first visible sheet)\n"
    "  --include-hidden     the user ticks a workbook's hidden rows in, in the review\n"
    "  --start TIME         the options: the client releases the copies from TIME,\n"
    "                       the local \"YYYY-MM-DD HH:MM\" (default: now)\n"
    "  --per-minute N       at most N copies in any calendar minute (default 0: no limit)\n"
    "  --per-day N          at most N in any 24 hours (default 0: no limit)\n"
    "  --working-days       on Monday to Friday only\n"
    "  --no-explorer        (add-in) the client starts without its explorer window, as\n"
    "                       when another program starts it; the user opens it after\n"
    "                       the add-in's start-up\n"
    "  --connect-later      (add-in) the user ticks the add-in in the COM Add-ins\n"
    "                       dialog once the client runs, instead of a start-up load\n"
    "  --release-all        once the user is done, the client's clock runs on until\n"
    "                       every waiting copy has left (each dated by its time)\n"
    "  --screenshots DIR    a PNG of every window state passed through\n"
    "  --submit-ms N        how long the client takes to hand each message over\n"
    "                       (default 150, so that the user's steps land between\n"
    "                       messages; 0 to time the mailing)\n"
    "  --out DIR            messages go to DIR\\outbox\\*.eml, the client's store to\n"
    "                       DIR\\store, the job's logs are copied to\n"
    "                       DIR\\appdata\\Quorvel\\. A run starts a new mailing: the\n"
    "                       earlier messages, store and job state are removed\n"
    "  --continue           keep them instead: a run after one that was stopped or\n"
    "                       died continues its mailing\n"
    "  --help               this text\n";

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<UserStep> ParseScript(const std::string& script) {
    std::vector<UserStep> steps;
    // Steps are separated by ';' or, where a shell or a build script would
    // split on ';', by ','.
    std::string separated = script;
    for (char& c : separated)
        if (c == ',')
            c = ';';
    std::istringstream parts(separated);
    std::string part;
    while (std::getline(parts, part, ';')) {
        part = Trim(part);
        if (part.empty())
            continue;
        UserStep step;
        const size_t at = part.find('@');
        step.action = part.substr(0, at);
        const bool timed = step.action == "pause" || step.action == "resume" ||
                           step.action == "cancel" || step.action == "die";
        const bool untimed = step.action == "send" || step.action == "send-empty" ||
                             step.action == "options" || step.action == "close";
        if (!timed && !untimed)
            Fail("--user: unknown step \"" + part + "\"");
        if (at != std::string::npos) {
            std::string when = part.substr(at + 1);
            if (!when.empty() && when.back() == 's') {
                step.seconds = true;
                when.pop_back();
            }
            step.at = NumberOrFail("--user " + step.action + "@", when, 0, 9999);
        } else if (timed && step.action != "resume") {
            Fail("--user: \"" + part + "\" needs @N (messages sent) or @Ns (seconds)");
        }
        // The paused job sends nothing: a resume counts seconds of the pause.
        if (step.action == "resume")
            step.seconds = true;
        steps.push_back(step);
    }
    if (steps.empty())
        Fail("--user: the script has no steps");
    return steps;
}

// The extension's options, where it reads them at load: the user's key.
void WriteOption(const char* name, const std::string& text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options", 0, nullptr,
                        0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("cannot write the options to the registry");
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

void WriteOption(const char* name, int value) {
    WriteOption(name, std::to_string(value));
}

} // namespace

HostOptions ParseOptions(int argc, char** argv) {
    HostOptions o;
    o.user = ParseScript("send");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (TakeMailingOption(argc, argv, &i, &o))
            continue;
        if (arg == "--save-original")
            o.saveOriginal = NumberOrFail(arg, OptionValue(arg, argc, argv, &i), 0, 1);
        else if (arg == "--user")
            o.user = ParseScript(OptionValue(arg, argc, argv, &i));
        else if (arg == "--screenshots")
            o.screenshots = OptionValue(arg, argc, argv, &i);
        else if (arg == "--no-explorer")
            o.noExplorer = true;
        else if (arg == "--connect-later")
            o.connectLater = true;
        else if (arg == "--release-all")
            o.releaseAll = true;
        else if (arg == "--submit-ms")
            o.submitMilliseconds = NumberOrFail(arg, OptionValue(arg, argc, argv, &i), 0, 10000);
        else if (arg == "--continue")
            o.continueMailing = true;
        else
            Fail("unknown option \"" + arg + "\" (see --help)");
    }
    UseExamplesWhereNotGiven(QV_EXAMPLES_DIR "\\", &o);
    return o;
}

// The options the extension reads when it loads.
void WriteExtensionOptions(const HostOptions& o) {
    WriteOption("Pause", o.pause);
    WriteOption("SaveOrig", o.saveOriginal);
    WriteOption("DoSendRecv", o.sendReceive > 0 ? 1 : 0);
    WriteOption("SendRecvCount", o.sendReceive > 0 ? o.sendReceive : 100);
    WriteOption("StartLater", o.start.empty() ? 0 : 1);
    WriteOption("StartAt", o.start);
    WriteOption("PerMinute", o.perMinute);
    WriteOption("PerDay", o.perDay);
    WriteOption("WorkingDaysOnly", o.workingDays ? 1 : 0);
    // The limits given are the user's choice: no account's are proposed.
    WriteOption("LimitsChosen", 1);
}
