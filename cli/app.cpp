#include "app.h"

#include "commands.h"
#include "failure_text.h"
#include "inputs.h"
#include "options.h"
#include "recorders.h"
#include "report.h"

namespace kvcli {
namespace {

int usage(Environment& env, const std::string& sentence)
{
    env.err("korvane-cli: " + sentence + "\n");
    return kUsage;
}

// Everything the command sends, read and checked before discovery.
int prepare(const Options& o, Environment& env, std::string* password, CommandInput* in)
{
    std::string error;
    if (o.command == Command::TimeSet && !parseTime(o.timeText, &in->time))
        return usage(env, "time set takes a time as YYYY-MM-DDTHH:MM:SS, such as 2026-12-10T08:30:00 (not \"" +
                              o.timeText + "\").");
    if (o.command == Command::IdSet && !policeNumberBytes(o.idText, in->policeNumber, &error))
        return usage(env, error);
    if (o.command == Command::List)
        return -1;

    PasswordSource source(env, o.passwordStdin);
    if (!source.loginPassword(password, &error))
        return usage(env, error);
    if (o.command == Command::PasswordChange) {
        std::string again;
        if (!source.newPassword("new password", &in->newPassword, &error) ||
            !source.newPassword("new password again", &again, &error))
            return usage(env, error);
        if (in->newPassword != again)
            return usage(env, "the two new passwords differ; nothing was changed.");
    }
    return -1;
}

}  // namespace

int run(const std::vector<std::string>& args, Environment& env)
{
    Options o;
    int status = parseOptions(args, &o, env);
    if (status >= 0)
        return status;

    std::string password;
    CommandInput input;
    status = prepare(o, env, &password, &input);
    if (status >= 0)
        return status;

    // list shows every recorder unless one place is named.
    Selector selector = o.selector;
    if (o.command == Command::List && selector.kind == Selector::Kind::First)
        selector.kind = Selector::Kind::All;
    Discovery d = discover(selector, o.namedPath, o.verbose ? &env : nullptr);
    std::vector<Result> results;
    if (d.found.empty()) {
        const bool named = o.selector.kind == Selector::Kind::Drive || o.selector.kind == Selector::Kind::Device;
        const FailureReport f = describeNoRecorder(named, d.denied, d.deniedError);
        Result r;
        r.where = named ? whereOf(o.namedPath) : std::string();
        r.fail(f.status, f.sentence);
        results.push_back(r);
        return printResults(results, o.json, env);
    }

    results.resize(d.found.size());
    for (size_t i = 0; i < d.found.size(); ++i)
        results[i].where = d.found[i].where;

    if (o.command == Command::List) {
        for (size_t i = 0; i < d.found.size(); ++i) {
            const int variant = d.found[i].device->GetVariant();
            results[i].fields["variant"] = variant;
            results[i].fields["path"] = d.found[i].path;
            results[i].line = "recorder, variant " + std::to_string(variant);
        }
    } else {
        std::vector<size_t> loggedIn;
        logIn(d.found, password, results, &loggedIn);
        runCommand(o, input, d.found, loggedIn, results);
    }
    closeAll(d.found);
    return printResults(results, o.json, env);
}

}  // namespace kvcli
