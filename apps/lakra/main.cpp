// lakra: the command-line host of the Lakra filter plug-in.

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/pluginLoader.h"
#include "blend/glueModes.h"
#include "host/pluginMain.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace lakra;

constexpr const char* kApplyNotes = R"(
Look fields for --set NAME=VALUE (every field not set keeps its default):
%s
The look reaches the plug-in as a recorded action played with its dialog off.

--threads N sets the environment variable LAKRA_THREADS=N, which the plug-in
reads as the number of processors to render with (default: all of them).

Exit codes: 0 done; 1 unreadable or unsupported input, unwritable output or a
plug-in error (its result code is printed: -128 cancelled, -108 out of memory,
1 refused with a message already shown, others); 2 bad arguments; 130 Ctrl-C
(the run ends with result -128 and nothing is written).
)";

void printModes() {
    static_cast<void>(std::printf("number  code  name\n"));
    for (int32_t glue = kFirstGlue; glue <= kLastGlue; ++glue) {
        const uint32_t code = glueCode(glue);
        const char* alias = glueTerminologyName(glue);
        static_cast<void>(std::printf("%6d  %c%c%c%c  %s", static_cast<int>(glue),
                                      static_cast<char>(code >> 24), static_cast<char>(code >> 16),
                                      static_cast<char>(code >> 8), static_cast<char>(code),
                                      glueName(glue)));
        if (alias != nullptr && std::string(alias) != glueName(glue)) {
            static_cast<void>(std::printf(" (also \"%s\")", alias));
        }
        static_cast<void>(std::printf("\n"));
    }
}

int usageError(const std::string& message) {
    static_cast<void>(std::fprintf(stderr, "lakra: %s\nRun with --help for more information.\n",
                                   message.c_str()));
    return kExitUsage;
}

std::string applyFooter() {
    const std::string fields = lookFieldsHelp();
    std::vector<char> text(std::string(kApplyNotes).size() + fields.size() + 1);
    static_cast<void>(std::snprintf(text.data(), text.size(), kApplyNotes, fields.c_str()));
    return text.data();
}

} // namespace

// Anything but a parse error that escapes ends the process, as it should.
int main(int argc, char** argv) { // NOLINT(bugprone-exception-escape)
    CLI::App app{"lakra: runs the Lakra filter (\"Draws lying water\") on an image file, as a\n"
                 "host of its Photoshop-compatible filter plug-in interface.",
                 "lakra"};
    app.require_subcommand(1);
    // Paths such as /tmp/in.ppm are file names, not Windows-style options.
    app.allow_windows_style_options(false);
    app.footer("\nlakra apply IN OUT [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--mask MASK]\n"
               "                   [--record FILE] [--plugin PATH] [--threads N]\n"
               "lakra modes\n" +
               applyFooter() + "Run 'lakra apply --help' for the options of apply.\n");

    ApplyJob job;
    std::vector<std::string> settings;
    std::string glue;
    std::string pluginPath;
    int threads = 0;
    CLI::App* apply = app.add_subcommand("apply", "Filter IN and write the result to OUT");
    apply
        ->add_option("IN", job.inputPath,
                     "Input image: PGM/PPM/PAM/PFM everywhere, PNG/JPEG/TIFF/EXR on Linux; "
                     "grey or RGB, with or without alpha, 8, 16 or 32 bits")
        ->required()
        ->type_name("FILE");
    apply->add_option("OUT", job.outputPath, "Output image; its extension picks the format")
        ->required()
        ->type_name("FILE");
    apply->add_option("--set", settings, "Set a look field (repeatable; see below)")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    apply->add_option("--glue", glue, "Blend mode: number 1..63, code GL01..GL63 or name")
        ->type_name("NAME|NUMBER");
    apply
        ->add_option("--mask", job.maskPath,
                     "Selection image of the same size: white filtered, black kept")
        ->type_name("MASK");
    apply
        ->add_option("--record", job.recordPath,
                     "Write the parameters the plug-in records at finish as JSON")
        ->type_name("FILE");
    apply
        ->add_option("--plugin", pluginPath,
                     "Run the plug-in library at PATH (.so, .dll or .8bf) instead of the "
                     "built-in one")
        ->type_name("PATH");
    apply->add_option("--threads", threads, "Processors the plug-in renders with, 1..1024")
        ->check(CLI::Range(1, 1024))
        ->type_name("N");
    apply->footer(applyFooter());
    CLI::App* modes = app.add_subcommand("modes", "List the 63 blend modes for --glue");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }

    if (modes->parsed()) {
        printModes();
        return kExitOk;
    }

    settingsFresh(&job.look);
    std::string error;
    for (const std::string& setting : settings) {
        if (!lookSet(&job.look, setting, &error)) {
            return usageError(error);
        }
    }
    if (!glue.empty() && !lookSetGlue(&job.look, glue, &error)) {
        return usageError(error);
    }
    if (threads > 0) {
        setPluginThreads(threads);
    }
    job.reportProgress = isatty(fileno(stderr)) != 0;

    LoadedPlugin* plugin = nullptr;
    job.entry = PluginMain;
    if (!pluginPath.empty() && !pluginLoad(pluginPath, &plugin, &job.entry, &error)) {
        static_cast<void>(std::fprintf(stderr, "lakra: %s\n", error.c_str()));
        return kExitFailed;
    }
    const int code = runApply(job);
    pluginUnload(plugin);
    return code;
}
