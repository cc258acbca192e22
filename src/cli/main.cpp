// proj2wav: the command line. `info` shows what a recorder's project holds and what
// a conversion would make of it; `convert` renders it into one Broadcast WAVE file
// (or two for dual mono); `session` writes it as an Ardour session; `repair`
// mends an unfinished WAVE file. Results go to stdout, messages to stderr.

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/AppDecisions.h"
#include "app/Version.h"
#include "cli/CliCommon.h"
#include "cli/ConvertCommand.h"
#include "cli/InfoCommand.h"
#include "cli/RepairCommand.h"
#include "cli/SessionCommand.h"

namespace {

// What `proj2wav` alone prints: the commands, with an example of each.
constexpr char kShortUsage[] =
    "Usage: proj2wav COMMAND ...\n"
    "  proj2wav info PATH...       what a project holds and what a conversion makes of it\n"
    "  proj2wav convert PATH...    render a project into one Broadcast WAVE file\n"
    "  proj2wav session PROJECT    write a project as an Ardour session\n"
    "  proj2wav repair FILE        mend the header of an unfinished WAVE file\n"
    "Examples:\n"
    "  proj2wav info \"/media/disk/Gig\"\n"
    "  proj2wav convert \"/media/disk/Gig\" -o Gig.wav --bits 24\n"
    "  proj2wav session \"/media/disk/Gig\" -o \"Gig Ardour\"\n"
    "Run \"proj2wav --help\" for more.\n";

void AddProjectArgument(CLI::App& command, std::string& project) {
    command.add_option("PROJECT", project, "the project directory (it holds \"Audio Files\")")
        ->required();
}

// --bits and --channels, straight into the output format.
void AddFormatOptions(CLI::App& command, OutputFormat& format) {
    command
        .add_option(
            "--bits", format.bits,
            std::string("output word length: 16 or 24 (default 16); ") + app::kSixteenBitHelp)
        ->check(CLI::IsMember({16, 24}));
    command
        .add_option_function<std::string>(
            "--channels",
            [&format](const std::string& name) { app::LayoutOf(name, format.layout); },
            "output layout: stereo, left, right, sum (mono L+R) or dual (two mono files) "
            "(default stereo)")
        ->check(CLI::IsMember(
            std::vector<std::string>(std::begin(app::kLayoutNames), std::end(app::kLayoutNames))));
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
    app.require_subcommand(0, 1);
    app.footer(
        "Exit status: 0 done, 1 failed, 2 wrong usage, 3 not a valid project (for\n"
        "\"info FILE\" and \"repair\": not a WAVE file; for a batch: no project found),\n"
        "4 written, but some audio could not be read (it is silence in the output),\n"
        "130 stopped by Ctrl-C or SIGTERM (a conversion's output is then valid but\n"
        "shorter; a session is removed again).\n"
        "Run \"proj2wav COMMAND --help\" for a command's options.");

    cli::InfoOptions info;
    CLI::App* infoCommand = app.add_subcommand(
        "info",
        "Show the project's status line, every entry of \"Audio Files\" (accepted or "
        "refused, and why) and the edit list; given folders that hold projects, each "
        "project with its status line; given a WAVE file, its format, length, time "
        "reference, 'bext' texts, identity and markers");
    infoCommand
        ->add_option("PATH", info.paths,
                     "a project directory (it holds \"Audio Files\"), folders that hold "
                     "projects at any depth, or a WAVE file")
        ->required();
    AddFormatOptions(*infoCommand, info.format);
    CLI::Option* json =
        infoCommand->add_flag("--json", info.json, "print one JSON document instead of text");
    infoCommand
        ->add_flag("--csv", info.csv,
                   "print the project's edit list as CSV (RFC 4180) instead of the report")
        ->excludes(json);

    cli::ConvertOptions convert;
    CLI::App* convertCommand = app.add_subcommand(
        "convert",
        "Render the project into one Broadcast WAVE file; with --output-dir, every project "
        "found under the paths, each into a file of its own");
    convertCommand
        ->add_option("PATH", convert.paths,
                     "the project directory (it holds \"Audio Files\"); with --output-dir, "
                     "any number of project directories and folders that hold projects")
        ->required();
    CLI::Option* output = convertCommand->add_option(
        "-o,--output", convert.output,
        "the output file; the left file for --channels dual (default: the project's name "
        "with .wav, beside the project folder; for dual mono its name with L.wav)");
    CLI::Option* right = convertCommand->add_option(
        "--right", convert.right,
        "the right file for --channels dual (default: the -o name with its \"L\" before "
        "\".wav\" turned into \"R\", or \"R\" added: Mix.wav gives MixR.wav)");
    AddFormatOptions(*convertCommand, convert.format);
    convertCommand->add_flag("--markers", convert.format.markers,
                             "mark where each recording begins: a cue point labelled with the "
                             "take's name");
    convertCommand->add_flag("-f,--force", convert.force, "overwrite output files that exist");
    convertCommand->add_flag("-q,--quiet", convert.quiet,
                             "no progress line and no report when the run is complete");
    CLI::Option* outputDir =
        convertCommand
            ->add_option("--output-dir", convert.outputDir,
                         "convert every project found under the paths into this folder, as "
                         "<project name>.wav (\" (2)\", \" (3)\", ... for equal names); "
                         "projects whose output exists are skipped unless --force")
            ->excludes(output)
            ->excludes(right);
    convertCommand->add_flag("--json", convert.json, "with --output-dir: the report as JSON")
        ->needs(outputDir);

    cli::SessionOptions session;
    CLI::App* sessionCommand = app.add_subcommand(
        "session",
        "Write the project as an Ardour 7 session: a copy of every take, a track \"Edit\" "
        "that plays the edit list with its fades, and a muted track \"Takes\" with every take "
        "whole");
    AddProjectArgument(*sessionCommand, session.project);
    sessionCommand
        ->add_option("-o,--output", session.folder,
                     "the session's folder; it must be new or empty")
        ->required();
    sessionCommand->add_flag("--markers", session.markers,
                             "a location marker where each recording begins, named after its "
                             "take");
    sessionCommand->add_flag("-q,--quiet", session.quiet,
                             "no progress line and no report when the session is written");

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
    if (sessionCommand->parsed()) return FinishStdout(cli::RunSession(session));
    if (repairCommand->parsed()) return FinishStdout(cli::RunRepair(repair));
    if (convertCommand->parsed()) return FinishStdout(cli::RunConvert(convert));
    std::fputs(kShortUsage, stderr);
    return cli::kExitUsage;
}
