// The options quorvel-demo and quorvel-host share: which mailing the
// simulated client composes and how the job is set. Each tool's own options
// derive from MailingOptions; its parse loop hands every argument to
// TakeMailingOption first. The tool defines Fail (a message with its name,
// exit code 2).
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

// The largest limits the extension's options hold (the host loads the
// extension as a library and links none of it; the demo checks they agree).
constexpr int kToolMaxPerMinute = 9999;
constexpr int kToolMaxPerDay = 999999;

[[noreturn]] void Fail(const std::string& message);

struct MailingOptions {
    std::string list, subject, body, html, version = "11.0.0.8312", out = "demo-out";
    bool subjectGiven = false, bodyGiven = false, htmlGiven = false;
    int pause = 0, sendReceive = 0;
    int limit = 0; // the review's "Send at most N now"; 0: all
    // A workbook's sheet the user picks in the review (1 for the first; 0:
    // the one offered) and whether the user ticks its hidden rows in.
    int sheet = 0;
    bool includeHidden = false;
    // The questions a user answers either way, each at its safe default
    // unless --answer says otherwise: send a finished mailing to everyone
    // again (No), and send a message only to the recipients of the same
    // subject's mailing not yet sent it (Yes).
    bool sendAgain = false, onlyOthers = true;
    // When the client releases the copies: from `start` (the local
    // "YYYY-MM-DD HH:MM"; empty: now), at most so many a minute and in any
    // 24 hours (0: no limit), on working days only.
    std::string start;
    int perMinute = 0, perDay = 0;
    bool workingDays = false;
};

// The scripted user's answer to the question `text`: 1 Yes, 0 No, -1 when
// it is none of those --answer chooses.
inline int ChosenAnswer(const MailingOptions& o, const std::string& text) {
    if (text.rfind("This message was sent to all ", 0) == 0)
        return o.sendAgain ? 1 : 0;
    if (text.find(" of these recipients were already sent this message on ") != std::string::npos)
        return o.onlyOthers ? 1 : 0;
    return -1;
}

// --answer again=yes|no or others=yes|no.
inline void TakeAnswer(const std::string& value, MailingOptions* o) {
    const size_t equals = value.find('=');
    const std::string question = value.substr(0, equals),
                      answer = equals == std::string::npos ? "" : value.substr(equals + 1);
    bool* chosen = question == "again"    ? &o->sendAgain
                   : question == "others" ? &o->onlyOthers
                                          : nullptr;
    if (!chosen || (answer != "yes" && answer != "no"))
        Fail("--answer wants again=yes|no or others=yes|no, not \"" + value + "\"");
    *chosen = answer == "yes";
}

inline int NumberOrFail(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || value < low || value > high)
        Fail(option + " wants a whole number from " + std::to_string(low) + " to " +
             std::to_string(high) + ", not \"" + text + "\"");
    return static_cast<int>(value);
}

// The value after argv[*at], stepping over it; a missing one fails.
inline std::string OptionValue(const std::string& option, int argc, char** argv, int* at) {
    if (*at + 1 >= argc)
        Fail(option + " needs a value (see --help)");
    return argv[++*at];
}

// True when argv[*at] is one of the mailing's options, then taken with its
// value.
inline bool TakeMailingOption(int argc, char** argv, int* at, MailingOptions* o) {
    const std::string arg = argv[*at];
    std::string* text = arg == "--list"           ? &o->list
                        : arg == "--subject"      ? &o->subject
                        : arg == "--body"         ? &o->body
                        : arg == "--html"         ? &o->html
                        : arg == "--host-version" ? &o->version
                        : arg == "--out"          ? &o->out
                                                  : nullptr;
    if (text) {
        *text = OptionValue(arg, argc, argv, at);
        o->subjectGiven |= text == &o->subject;
        o->bodyGiven |= text == &o->body;
        o->htmlGiven |= text == &o->html;
        return true;
    }
    if (arg == "--pause")
        o->pause = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 0, 9999);
    else if (arg == "--send-receive")
        o->sendReceive = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 1, 9999);
    else if (arg == "--limit")
        o->limit = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 0, 999999);
    else if (arg == "--sheet")
        o->sheet = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 1, 9999);
    else if (arg == "--include-hidden")
        o->includeHidden = true;
    else if (arg == "--answer")
        TakeAnswer(OptionValue(arg, argc, argv, at), o);
    else if (arg == "--per-minute")
        o->perMinute = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 0, kToolMaxPerMinute);
    else if (arg == "--per-day")
        o->perDay = NumberOrFail(arg, OptionValue(arg, argc, argv, at), 0, kToolMaxPerDay);
    else if (arg == "--working-days")
        o->workingDays = true;
    else if (arg == "--start") {
        o->start = OptionValue(arg, argc, argv, at);
        // Its shape here; whether it is a real date is the extension's to
        // tell (the demo checks it with the extension's own reading).
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, end = 0;
        if (std::sscanf(o->start.c_str(), "%4d-%2d-%2d %2d:%2d%n", &y, &mo, &d, &h, &mi, &end) !=
                5 ||
            static_cast<size_t>(end) != o->start.size() || o->start.size() != 16)
            Fail("--start wants a local time \"YYYY-MM-DD HH:MM\", not \"" + o->start + "\"");
    } else
        return false;
    return true;
}

// What the scripted user still changes in a workbook's review before
// starting: the sheet to pick (an index of the list, -1: none) and whether to
// tick the hidden rows in. The review is read again, and shown anew, after each.
struct ReviewChange {
    int sheet = -1;
    bool tickHidden = false;
};
inline ReviewChange ReviewChangeFor(const MailingOptions& o, int sheets, int chosen,
                                    bool hiddenTicked, bool hiddenEnabled) {
    ReviewChange change;
    if (o.includeHidden && !hiddenTicked && hiddenEnabled)
        change.tickHidden = true;
    else if (o.sheet > 0 && o.sheet <= sheets && o.sheet - 1 != chosen)
        change.sheet = o.sheet - 1;
    return change;
}

// The sample list and bodies for what was not given; `examples` ends with
// the path's separator.
inline void UseExamplesWhereNotGiven(const std::string& examples, MailingOptions* o) {
    if (o->list.empty())
        o->list = examples + "recipients.csv";
    if (!o->bodyGiven)
        o->body = examples + "body.txt";
    if (!o->htmlGiven && !o->bodyGiven)
        o->html = examples + "body.html";
}
