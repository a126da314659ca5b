// host-agent: the stand-in host's executable.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <iostream>
#include <new>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>

#include <CLI/CLI.hpp>

#include "common/file_io.h"
#include "exit_status.h"
#include "agent/plugin_loading/install_layout.h"
#include "agent/commands/check_command.h"
#include "agent/commands/diff_command.h"
#include "agent/commands/run_command.h"
#include "agent/commands/show_command.h"
#include "agent/output/piece_buffer.h"
#include "common/text_escape.h"
#include "version_text.h"

namespace {

const CLI::Validator nonEmpty(
    [](const std::string& value) { return value.empty() ? std::string("must not be empty") : ""; },
    "", "NONEMPTY");

// Like every other error of the agent, prefixed with its name.
std::string usageError(const CLI::App*, const CLI::Error& error)
{
    return "host-agent: " + KXL::escapeMessage(error.what()) +
        "\nRun host-agent --help for more information.\n";
}

// Where a bare run finds its plug-ins and where they save, for the help text.
std::string defaultPluginsText()
{
    try {
        const KXL::RunLayout layout = KXL::defaultRunLayout();
        std::string text;
        for (const std::string& folder : layout.pluginFolders)
            text += (text.empty() ? "" : ", then ") + folder;
        if (layout.pluginFolders != std::vector<std::string>{layout.stateFolder})
            text += "; they save in " + layout.stateFolder;
        return text;
    } catch (const std::exception& error) {
        return std::string("unknown: ") + error.what();
    }
}

const char* const kJsonHelp = "Print one JSON document instead of text";

void addMetricsOptions(CLI::App& command, KXL::OutputOptions& output)
{
    CLI::Option* metrics =
        command.add_option("--metrics", output.metricsFile,
                           "Also write the series in the Prometheus text format to FILE, replaced "
                           "atomically, for the node exporter's textfile collector; - prints them "
                           "instead of the usual output")
            ->type_name("FILE|-")
            ->check(nonEmpty);
    command.add_flag_callback("--metrics-no-guest-os", [&output] { output.metricsGuestOs = false; },
                              "Leave the series of each guest OS out of --metrics")
        ->needs(metrics);
}

void addColumnsOption(CLI::App& command, KXL::GuestColumns& columns)
{
    const CLI::Validator known(
        [](const std::string& list) {
            try {
                (void)KXL::guestColumnsNamed(list);
                return std::string();
            } catch (const std::invalid_argument& error) {
                return std::string(error.what());
            }
        },
        "", "COLUMNS");
    command
        .add_option_function<std::string>(
            "-o,--columns", [&columns](const std::string& list) { columns = KXL::guestColumnsNamed(list); },
            "Print only these columns of the guest OS table, in this order (text only): " +
                KXL::guestColumnList() + " (default: all)")
        ->type_name("NAME,...")
        ->check(known);
}

void addRunOptions(CLI::App& command, KXL::RunOptions& options, const std::string& plugins)
{
    command.add_option("--plugins", options.pluginsFolder,
                       "Plug-in folder, one plug-in per NAME/NAME.so (default: " + plugins + ")")
        ->type_name("DIR")
        ->check(nonEmpty);
    command.add_option("--catalog", options.catalogFile,
                       "Guest OS catalogue (JSON) the server serves (default: the built-in one)")
        ->type_name("FILE")
        ->check(nonEmpty);
    command.add_option("--log", options.logFile, "Append log records to FILE (default: standard error)")
        ->type_name("FILE")
        ->check(nonEmpty);
    command.add_flag("--json", options.output.json, kJsonHelp);
    addMetricsOptions(command, options.output);
    addColumnsOption(command, options.output.columns);
}

const char* const kRunStatus =
    "Exit status: 0 every plug-in succeeded; 1 a plug-in failed or its vocabulary was not "
    "published; 2 a bad command line or set-up (plug-in folder, the folder plug-ins save to, "
    "catalogue, log file, another agent still running the same plug-ins), or a metrics file "
    "or standard output cannot be written.";

int agentMain(int argc, char** argv)
{
    CLI::App app("Loads plug-ins, runs them and prints the vocabularies they publish.",
                 "host-agent");
    app.footer(std::string("Without a command, host-agent runs; the options above are run's. ") +
               "Exit status, for every command: 0 success; 1 the answer is no (a plug-in "
               "failed, check found problems, diff found differences, show --os found "
               "nothing); 2 the job could not be done (a bad command line or set-up, "
               "unreadable input, unwritable output). host-agent COMMAND --help tells more; "
               "see host-agent(1).");
    app.set_version_flag("--version", KXL::versionText(),
                         "Print the version of host-agent and of the .voc format, and exit");
    app.failure_message(usageError);

    const std::string plugins = defaultPluginsText();
    KXL::RunOptions options;
    addRunOptions(app, options, plugins);
    // One set, whichever command an option follows; show takes a copy.
    KXL::OutputOptions& output = options.output;

    CLI::App* run = app.add_subcommand("run", "Run the plug-ins (the default)");
    addRunOptions(*run, options, plugins);
    run->footer(kRunStatus);
    run->fallthrough(); // --version, as after any command

    CLI::App* show = app.add_subcommand("show", "Print a saved vocabulary (.voc) file");
    KXL::ShowOptions showOptions;
    show->add_option("FILE", showOptions.file, "The .voc file, or - for standard input")->required();
    show->add_option("--os", showOptions.guest, "Only the guest OS with this code or identifier")
        ->type_name("CODE|IDENTIFIER");
    show->add_flag("--json", output.json, kJsonHelp);
    addMetricsOptions(*show, output);
    addColumnsOption(*show, output.columns);
    show->footer("Exit status: 0 shown; 1 --os found nothing, or --metrics got a file that is not a "
                 "vocabulary; 2 a bad command line, the file cannot be read or is not a .voc file, "
                 "or a metrics file or standard output cannot be written.");

    CLI::App* diff = app.add_subcommand(
        "diff", "Compare two vocabulary files by content, the version stamp aside");
    std::string before;
    std::string after;
    diff->add_option("A", before, "The older .voc file (- for standard input)")->required();
    diff->add_option("B", after, "The newer .voc file (- for standard input)")->required();
    diff->add_flag("--json", output.json, kJsonHelp);
    diff->footer("Exit status: 0 the same; 1 different; 2 a bad command line, a file cannot be read "
                 "or is not a vocabulary, or standard output cannot be written.");

    CLI::App* check = app.add_subcommand("check", "Check that a .voc file is a valid vocabulary");
    std::string checked;
    check->add_option("FILE", checked, "The .voc file, or - for standard input")->required();
    check->add_flag("--json", output.json, kJsonHelp);
    check->footer("Prints each problem as FILE:LINE:COLUMN: error: ... (or warning:), in file "
                  "order, then a summary. Exit status: 0 a valid vocabulary (warnings allowed); "
                  "1 problems; 2 a bad command line, the file cannot be read, or standard output "
                  "cannot be written.");
    // Options of run given to another command reach the top level, which says so below.
    for (CLI::App* command : {show, diff, check})
        command->fallthrough();
    app.require_subcommand(0, 1);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? KXL::kExitSuccess : KXL::kExitTrouble;
    }

    // A --metrics before show is refused below as misplaced, so only show's own counts here.
    const bool metricsAlone = output.metricsFile == "-" &&
        (show->parsed() ? show->count("--metrics") > 0 && (output.json || show->count("--os") > 0) : output.json);
    if (metricsAlone) {
        std::cerr << "host-agent: --metrics - prints the series alone, without --json or --os\n";
        return KXL::kExitTrouble;
    }
    // Options of run given to another command reach the top level: say where they belong.
    if (const CLI::App* given = show->parsed() ? show : diff->parsed() ? diff : check->parsed() ? check : nullptr) {
        const std::string name = given->get_name();
        const std::pair<bool, std::string> misplaced[] = {
            {app.count("--metrics") + app.count("--metrics-no-guest-os") > 0,
             // Before `show`, --metrics is the run's and would be dropped: show's own comes after it.
             given == show ? "give show's --metrics after show: host-agent show --metrics OUT|- FILE"
                           : "--metrics applies to run and show, not to " + name},
            {given != show && app.count("--columns") > 0, "--columns applies to run and show, not to " + name},
            {app.count("--plugins") > 0, "--plugins applies to run, not to " + name},
            {app.count("--catalog") > 0, "--catalog applies to run, not to " + name},
            {app.count("--log") > 0, "--log applies to run, not to " + name},
        };
        for (const auto& [wrong, message] : misplaced) {
            if (wrong) {
                std::cerr << "host-agent: " << message << '\n';
                return KXL::kExitTrouble;
            }
        }
    }
    const bool noTables = output.json || output.metricsFile == "-";
    if (noTables && app.count("--columns") + run->count("--columns") + show->count("--columns") > 0) {
        std::cerr << "host-agent: --columns picks columns of the text tables; --json and --metrics - print none\n";
        return KXL::kExitTrouble;
    }
    if (show->parsed()) {
        showOptions.output = output;
        return KXL::showVocabularyFile(showOptions, std::cout, std::cerr);
    }
    if (diff->parsed())
        return KXL::diffVocabularyFiles(before, after, output.json, std::cout, std::cerr);
    if (check->parsed())
        return KXL::checkVocabularyFile(checked, output.json, std::cout, std::cerr);

    return KXL::runAgent(options, std::cout, std::cerr);
}

// What a command printed is delivered only once standard output took it: a full disk or a
// closed pipe leaves the job undone. A reader that went away (EPIPE) wants nothing more
// and needs no message. `error`: the first failed write's, standard output flushed.
int finishOutput(int status, int error)
{
    if (error == 0 && std::cout && !std::ferror(stdout))
        return status;
    if (error != EPIPE)
        std::cerr << "host-agent: "
                  << (error != 0 ? KXL::sys::errorText("cannot write to standard output", error)
                                 : "cannot write to standard output: a write failed")
                  << '\n';
    return KXL::kExitTrouble;
}

// A standard descriptor left closed would be the next one opened (the lock, the log), and the
// report or the messages would go into that file. /dev/null, opened the other way round,
// holds its place and fails every read or write as the closed one would.
void holdClosedStandardDescriptors()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY); // the lowest free one: fd
    }
}

void letTheWriteFail(int) {}

// A closed pipe (standard output's, the log's) or a file-size limit (`ulimit -f`) is an error
// the write reports, not a death. Caught rather than ignored: an ignored signal stays ignored
// in the programs plug-ins start, a caught one is reset to its default there.
void failWritesInsteadOfDying()
{
    struct sigaction action {};
    action.sa_handler = letTheWriteFail;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGPIPE, SIGXFSZ})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    holdClosedStandardDescriptors();
    failWritesInsteadOfDying();
    // Standard output through the C stream, which plug-ins print to as well, so the two stay
    // in order. The first failed write's reason is kept: the C stream forgets it once it
    // drops the buffer it could not write.
    int outputError = 0;
    const auto note = [&outputError](bool ok) {
        if (!ok && outputError == 0)
            outputError = errno != 0 ? errno : EIO;
        return ok;
    };
    KXL::PieceBuffer output(
        [&note](std::string_view bytes) {
            return note(std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size());
        },
        0, [&note] { return note(std::fflush(stdout) == 0); });
    std::streambuf* const original = std::cout.rdbuf(&output);
    int status;
    try {
        status = agentMain(argc, argv);
    } catch (const std::bad_alloc&) {
        // Its what() would name a C++ type: said in the words of the steps that report it themselves.
        std::cerr << "host-agent: out of memory\n";
        status = KXL::kExitTrouble;
    } catch (const std::exception& error) {
        std::cerr << "host-agent: " << KXL::escapeMessage(error.what()) << '\n';
        status = KXL::kExitTrouble;
    }
    std::cout.flush();
    status = finishOutput(status, outputError);
    std::cout.rdbuf(original); // flushed again at exit, when `output` is gone
    return status;
}
