#include "options.h"

#include "exit_status.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

namespace kvcli {

int parseOptions(const std::vector<std::string>& args, Options* o, Environment& env)
{
    CLI::App app{"Sets up police body-worn recorders: clock, police number, password, USB-disk mode.\n"
                 "The password comes from KORVANE_PASSWORD, from standard input (--password-stdin)\n"
                 "or from a prompt, never from the command line.",
                 "korvane-cli"};
    app.require_subcommand(1);
    app.fallthrough();

    std::string drive, device;
    bool all = false;
    auto* driveOption = app.add_option("--drive", drive, "the recorder at this drive letter (G:)");
    auto* deviceOption = app.add_option("--device", device, "the recorder at this device path (/dev/sdb, \\\\.\\G:)");
    auto* allOption = app.add_flag("--all", all, "every attached recorder, in turn");
    driveOption->excludes(deviceOption)->excludes(allOption);
    deviceOption->excludes(allOption);
    app.add_flag("--json", o->json, "print one JSON document");
    app.add_flag("--verbose", o->verbose, "print every request and its SCSI status and sense on standard error");
    app.add_flag("--password-stdin", o->passwordStdin,
                 "read the password from the first line of standard input (password change: old, new, new again)");

    auto* list = app.add_subcommand("list", "every attached recorder: where it is, variant");
    auto* status = app.add_subcommand("status", "clock, clock offset to the PC in ms, police number");
    auto* time = app.add_subcommand("time", "the recorder's clock");
    time->require_subcommand(1);
    auto* timeGet = time->add_subcommand("get", "read the recorder's clock");
    auto* timeSync = time->add_subcommand("sync", "set it from the PC's clock, on the second boundary");
    timeSync->add_flag("--no-align", o->noAlign, "send at once instead of at the next second boundary");
    auto* timeSet = time->add_subcommand("set", "set it to a given time");
    timeSet->add_option("TIME", o->timeText, "YYYY-MM-DDTHH:MM:SS")->required();
    auto* timeCheck = time->add_subcommand("check", "measure the recorder's offset to the PC's clock, in ms");
    auto* id = app.add_subcommand("id", "the police number");
    id->require_subcommand(1);
    auto* idGet = id->add_subcommand("get", "read the police number");
    auto* idSet = id->add_subcommand("set", "write the police number (13 GBK bytes at most)");
    idSet->add_option("TEXT", o->idText, "the police number")->required();
    auto* password = app.add_subcommand("password", "the recorder's password");
    password->require_subcommand(1);
    auto* passwordChange = password->add_subcommand("change", "old, new and new again, without echo or from standard input");
    auto* udisk = app.add_subcommand("udisk", "switch to USB-disk mode");

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        std::ostringstream out, err;
        app.exit(e, out, err);
        env.out(out.str());
        return kDone;
    } catch (const CLI::ParseError& e) {
        env.err("korvane-cli: " + std::string(e.what()) + "; see korvane-cli --help.\n");
        return kUsage;
    }

    if (!drive.empty()) {
        o->selector.kind = Selector::Kind::Drive;
        o->selector.value = drive;
        if (!drivePath(drive, &o->namedPath)) {
            env.err("korvane-cli: --drive takes a drive letter such as G: (not \"" + drive + "\").\n");
            return kUsage;
        }
    } else if (!device.empty()) {
        o->selector.kind = Selector::Kind::Device;
        o->selector.value = device;
        o->namedPath = device;
    } else if (all) {
        o->selector.kind = Selector::Kind::All;
    }

    const struct {
        CLI::App* sub;
        Command command;
    } commands[] = {
        {list, Command::List},          {status, Command::Status},     {timeGet, Command::TimeGet},
        {timeSync, Command::TimeSync},  {timeSet, Command::TimeSet},   {timeCheck, Command::TimeCheck},
        {idGet, Command::IdGet},        {idSet, Command::IdSet},       {passwordChange, Command::PasswordChange},
        {udisk, Command::UDisk},
    };
    for (const auto& c : commands) {
        if (c.sub->parsed())
            o->command = c.command;
    }
    return -1;
}

}  // namespace kvcli
