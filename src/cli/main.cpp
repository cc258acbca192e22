// proj2wav: the command line. `info` shows what a recorder's project holds and what
// a conversion would make of it; `convert` renders it into one Broadcast WAVE file
// (or two for dual mono); `repair` mends an unfinished one. Results go to stdout,
// messages to stderr.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/Version.h"
#include "cli/CliCommon.h"
#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/RepairCommand.h"

namespace {

void AddProjectArgument(CLI::App& command, std::string& project) {
    command.add_option("PROJECT", project, "the project directory (it holds \"Audio Files\")")
        ->required();
}

void AddFormatOptions(CLI::App& command, cli::OutputFormat& format) {
    command.add_option("--bits", format.bits, "output word length: 16 or 24 (default 16)")
        ->check(CLI::IsMember({16, 24}));
    command
        .add_option("--channels", format.layout,
                    "output layout: stereo, left, right, sum (mono L+R) or dual (two mono "
                    "files) (default stereo)")
        ->check(CLI::IsMember(
            std::vector<std::string>(std::begin(cli::kLayoutNames), std::end(cli::kLayoutNames))));
}

// Results reach stdout only when it is flushed; a full disk or a closed pipe
// must not pass for success.
int FinishStdout(int code) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        cli::PrintError(std::string("cannot write to standard output: ") + std::strerror(errno));
        return code == cli::kExitDone ? cli::kExitFailed : code;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{
        "Turns a hard-disk recorder's project directory into one continuous Broadcast "
        "WAVE file.",
        "proj2wav"};
    app.set_version_flag("--version", "proj2wav " PROJ2WAV_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Exit status: 0 done, 1 failed, 2 wrong usage, 3 not a valid project (for\n"
        "\"info FILE\" and \"repair\": not a WAVE file),\n"
        "4 written, but some audio could not be read (it is silence in the output),\n"
        "130 stopped by Ctrl-C or SIGTERM (the output is then valid but shorter).\n"
        "Run \"proj2wav COMMAND --help\" for a command's options.");

    cli::InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand(
        "info",
        "Show the project's status line, every entry of \"Audio Files\" (accepted or "
        "refused, and why) and the edit list; or, given a WAVE file, its format, length, "
        "time reference, 'bext' texts, identity and markers");
    infoCommand
        ->add_option("PATH", info.project,
                     "the project directory (it holds \"Audio Files\"), or a WAVE file")
        ->required();
    AddFormatOptions(*infoCommand, info.format);
    CLI::Option* json =
        infoCommand->add_flag("--json", info.json, "print one JSON document instead of text");
    infoCommand
        ->add_flag("--csv", info.csv,
                   "print the project's edit list as CSV (RFC 4180) instead of the report")
        ->excludes(json);

    cli::ConvertOptions convert;
    CLI::App* convertCommand =
        app.add_subcommand("convert", "Render the project into one Broadcast WAVE file");
    AddProjectArgument(*convertCommand, convert.project);
    convertCommand
        ->add_option("-o,--output", convert.output,
                     "the output file; the left file for --channels dual")
        ->required();
    convertCommand->add_option(
        "--right", convert.right,
        "the right file for --channels dual (default: the -o name with \"L.wav\" "
        "changed to \"R.wav\")");
    AddFormatOptions(*convertCommand, convert.format);
    convertCommand->add_flag("--markers", convert.markers,
                             "mark where each recording begins: a cue point labelled with the "
                             "take's name");
    convertCommand->add_flag("-f,--force", convert.force, "overwrite output files that exist");
    convertCommand->add_flag("-q,--quiet", convert.quiet,
                             "no progress line and no report when the run is complete");

    cli::RepairOptions repair;
    CLI::App* repairCommand = app.add_subcommand(
        "repair",
        "Mend the header of an unfinished WAVE file (a killed conversion's output, a copy "
        "cut short) to declare the whole frames it holds; the samples stay as they are");
    repairCommand->add_option("FILE", repair.file, "the WAVE file")->required();
    repairCommand->add_flag("-n,--dry-run", repair.dryRun,
                            "only say what is wrong and what would be done");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);  // prints help, the version or the error
        return code == 0 ? cli::kExitDone : cli::kExitUsage;
    }

    if (infoCommand->parsed()) return FinishStdout(cli::RunInfo(info));
    if (repairCommand->parsed()) return FinishStdout(cli::RunRepair(repair));
    return FinishStdout(cli::RunConvert(convert));
}
