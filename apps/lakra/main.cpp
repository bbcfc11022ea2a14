// lakra: the command-line host of the Lakra filter plug-in.

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/console.h"
#include "apps/lakra/editDialog.h"
#include "apps/lakra/exportCommands.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/pluginLoader.h"
#include "apps/lakra/presetCommands.h"
#include "apps/lakra/presetThumbnails.h"
#include "blend/glueModes.h"
#include "host/pluginMain.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace lakra;

constexpr const char* kApplyNotes = R"(
Look fields for --set NAME=VALUE (every field not set keeps its default, or
the value of the --preset file; --set and --glue override the preset):
%s
The look reaches the plug-in as a recorded action played with its dialog off.

--threads N sets the environment variable LAKRA_THREADS=N, which the plug-in
reads as the number of processors to render with (default: all of them).

Exit codes: 0 done; 1 unreadable or unsupported input, unwritable output or a
plug-in error (its result code is printed: -128 cancelled, -108 out of memory,
1 refused with a message already shown, others); 2 bad arguments; 130 Ctrl-C
(the run ends with result -128 and nothing is written).
)";

constexpr const char* kPresetNotes = R"(
Preset files (*.q8r) hold a whole look. 'show' prints every field as a
"name value" line: the --set fields (with values --set accepts), the exact
16-bit water colour and the carried fields the renderer does not use; --json
prints the same as one JSON object. 'save' writes the default look with the
--set and --glue options applied, as a version 41 file. 'resave' writes
every preset of a folder whose name holds "q5q" or "q9q" (in any case) back
as a version 41 file, with a thumbnail of its look rendered on IN; a "q9q"
file then takes the extension ".q5q" unless that name is taken. Read-only
files are skipped.

'lakra dice [--seed N]' rolls a random look (from the default one) and prints
it as options for apply: lakra apply IN OUT $(lakra dice --seed 7)
The seed is 0..4294967295; without it the dice are seeded from the time.

Exit codes: 0 done; 1 a preset file that cannot be read or written, or that
the reader refuses (its result code is printed: 99 not opened, -19 ends
early, -21 unknown version, -20 write failed), a folder that cannot be
listed; 2 bad arguments.
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

std::string applyFooter() {
    const std::string fields = lookFieldsHelp();
    std::vector<char> text(std::string(kApplyNotes).size() + fields.size() + 1);
    static_cast<void>(std::snprintf(text.data(), text.size(), kApplyNotes, fields.c_str()));
    return text.data();
}

// The synopsis of every command, then the notes of apply and preset.
std::string usageFooter() {
    return "\nlakra apply IN OUT [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--mask MASK]\n"
           "                   [--record FILE] [--plugin PATH] [--threads N]\n"
           "                   [--preset FILE] [--timings]\n"
           "lakra edit IN OUT [the options of apply]   (the dialog shows on Windows)\n"
           "lakra preset show FILE [--json]\n"
           "lakra preset save FILE [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--image IN]\n"
           "lakra preset thumbnail FILE OUT\n"
           "lakra preset resave FOLDER --image IN\n"
           "lakra psd IN OUT.psd [--size WxH | --same-proportions WIDTH] [--preset FILE]\n"
           "                     [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--threads N]\n"
           "lakra gallery PRESET_FOLDER PAGE.html\n"
           "lakra dice [--seed N]\n"
           "lakra modes\n" +
           applyFooter() + kPresetNotes + "Run 'lakra apply --help' for the options of apply.\n";
}

// Everything the commands' options fill in.
struct Arguments {
    ApplyJob apply;
    LookOptions look; // apply and preset save; psd has its own in PsdJob
    std::string pluginPath;
    int threads = 0; // apply, psd
    std::string presetPath;
    bool json = false;
    std::string thumbnailImage; // preset save and resave --image
    std::string thumbnailOut;   // preset thumbnail OUT
    std::string resaveFolder;   // preset resave FOLDER
    PsdJob psd;
    std::string psdSize;
    std::string galleryFolder;
    std::string galleryPage;
    int64_t seed = -1;
};

// One command: its name and help, the options it adds to its CLI11
// subcommand, and what it runs once the arguments parsed (null for a group
// whose subcommands run).
struct Command {
    const char* name;
    const char* help;
    void (*addOptions)(CLI::App* command, Arguments* arguments);
    int (*run)(Arguments& arguments);
    std::span<const Command> subcommands;
};

// How a command words its look options, in the order they appear in its
// help; a null preset text: no --preset.
struct LookOptionTexts {
    const char* preset;
    const char* set;
    const char* glue;
    bool presetFirst;
};

void addLookOptions(CLI::App* command, LookOptions* look, const LookOptionTexts& texts) {
    const auto addPreset = [&] {
        if (texts.preset != nullptr) {
            command->add_option("--preset", look->presetPath, texts.preset)->type_name("FILE");
        }
    };
    if (texts.presetFirst) {
        addPreset();
    }
    command->add_option("--set", look->settings, texts.set)
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    command->add_option("--glue", look->glue, texts.glue)->type_name("NAME|NUMBER");
    if (!texts.presetFirst) {
        addPreset();
    }
}

void addThreadsOption(CLI::App* command, int* threads, const char* help) {
    command->add_option("--threads", *threads, help)->check(CLI::Range(1, 1024))->type_name("N");
}

void addApplyOptions(CLI::App* command, Arguments* a) {
    command
        ->add_option("IN", a->apply.inputPath,
                     "Input image: PGM/PPM/PAM/PFM everywhere, PNG/JPEG/TIFF/EXR on Linux; "
                     "grey or RGB, with or without alpha, 8, 16 or 32 bits")
        ->required()
        ->type_name("FILE");
    command->add_option("OUT", a->apply.outputPath, "Output image; its extension picks the format")
        ->required()
        ->type_name("FILE");
    addLookOptions(command, &a->look,
                   {"Start from the look of a preset file instead of the default one",
                    "Set a look field (repeatable; see below)",
                    "Blend mode: number 1..63, code GL01..GL63 or name", false});
    command
        ->add_option("--mask", a->apply.maskPath,
                     "Selection image of the same size: white filtered, black kept")
        ->type_name("MASK");
    command
        ->add_option("--record", a->apply.recordPath,
                     "Write the parameters the plug-in records at finish as JSON")
        ->type_name("FILE");
    command
        ->add_option("--plugin", a->pluginPath,
                     "Run the plug-in library at PATH (.so, .dll or .8bf) instead of the "
                     "built-in one")
        ->type_name("PATH");
    addThreadsOption(command, &a->threads, "Processors the plug-in renders with, 1..1024");
    command->add_flag("--timings", a->apply.reportTimings,
                      "Print the milliseconds of reading, setting up the run, rendering (the "
                      "plug-in's selectors) and writing on stderr");
    command->footer(applyFooter());
}

int runApplyCommand(Arguments& a) {
    const int built = lookFromOptions(a.look, &a.apply.look);
    if (built != kExitOk) {
        return built;
    }
    // The plug-in, built in or loaded, reads its processor count from there.
    if (a.threads > 0) {
        setPluginThreads(a.threads);
    }
    a.apply.reportProgress = isatty(fileno(stderr)) != 0;
    LoadedPlugin* plugin = nullptr;
    a.apply.entry = PluginMain;
    std::string error;
    if (!a.pluginPath.empty() && !pluginLoad(a.pluginPath, &plugin, &a.apply.entry, &error)) {
        complain(error);
        return kExitFailed;
    }
    const int code = runApply(a.apply);
    pluginUnload(plugin);
    return code;
}

int runEditCommand(Arguments& a) {
    a.apply.interactive = true;
    installEditDialog();
    return runApplyCommand(a);
}

void addNoOptions(CLI::App* /*command*/, Arguments* /*arguments*/) {}

int runModes(Arguments& /*arguments*/) {
    printModes();
    return kExitOk;
}

void addPresetGroupOptions(CLI::App* command, Arguments* /*arguments*/) {
    command->require_subcommand(1);
    command->footer(kPresetNotes);
}

void addPresetShowOptions(CLI::App* command, Arguments* a) {
    command->add_option("FILE", a->presetPath, "Preset file")->required()->type_name("FILE");
    command->add_flag("--json", a->json, "Print one JSON object instead of name value lines");
}

int runPresetShowCommand(Arguments& a) {
    return runPresetShow(a.presetPath, a.json);
}

void addPresetSaveOptions(CLI::App* command, Arguments* a) {
    command->add_option("FILE", a->presetPath, "Preset file to write")
        ->required()
        ->type_name("FILE");
    addLookOptions(command, &a->look,
                   {nullptr, "Set a look field (repeatable; see 'lakra --help')",
                    "Blend mode: number 1..63, code GL01..GL63 or name", false});
    command
        ->add_option("--image", a->thumbnailImage,
                     "Store a thumbnail of the look rendered on this image")
        ->type_name("IN");
}

int runPresetSaveCommand(Arguments& a) {
    return runPresetSave(a.presetPath, a.look, a.thumbnailImage);
}

void addPresetThumbnailOptions(CLI::App* command, Arguments* a) {
    command->add_option("FILE", a->presetPath, "Preset file")->required()->type_name("FILE");
    command->add_option("OUT", a->thumbnailOut, "Picture to write; its extension picks the format")
        ->required()
        ->type_name("OUT");
}

int runPresetThumbnailCommand(Arguments& a) {
    return runPresetThumbnail(a.presetPath, a.thumbnailOut);
}

void addPsdOptions(CLI::App* command, Arguments* a) {
    command->add_option("IN", a->psd.inputPath, "Input image, as for apply")
        ->required()
        ->type_name("FILE");
    command->add_option("OUT", a->psd.outputPath, "Photoshop document to write")
        ->required()
        ->type_name("OUT.psd");
    CLI::Option* size =
        command->add_option("--size", a->psdSize, "Document size in pixels, each side 2..30000")
            ->type_name("WxH");
    command
        ->add_option("--same-proportions", a->psd.proportionalWidth,
                     "Document width; the height keeps the proportions of IN")
        ->check(CLI::Range(1, 1000000))
        ->excludes(size)
        ->type_name("WIDTH");
    addLookOptions(command, &a->psd.look,
                   {"Start from the look of a preset file",
                    "Set a look field (repeatable; see apply)",
                    "Blend mode: number 1..63, code or name", true});
    addThreadsOption(command, &a->threads, "Processors to render with, 1..1024");
    command->footer("\nSizes outside 2..30000 are clamped into it, as the plug-in's size dialog\n"
                    "does. Progress goes to stderr. Exit codes as for apply.\n");
}

int runPsdCommand(Arguments& a) {
    PsdJob& job = a.psd;
    if (!a.psdSize.empty() &&
        (!parseSize(a.psdSize, &job.width, &job.height) || job.width < 1 || job.height < 1)) {
        return usageError("--size wants WIDTHxHEIGHT, for example 1200x800: " + a.psdSize);
    }
    job.threads = a.threads;
    return runPsd(job);
}

void addGalleryOptions(CLI::App* command, Arguments* a) {
    command->add_option("PRESET_FOLDER", a->galleryFolder, "Folder of *.q8r files")
        ->required()
        ->type_name("FOLDER");
    command
        ->add_option("PAGE", a->galleryPage,
                     "HTML page to write; its pictures go into web_images beside it")
        ->required()
        ->type_name("PAGE.html");
}

int runGalleryCommand(Arguments& a) {
    return runGallery(a.galleryFolder, a.galleryPage);
}

void addDiceOptions(CLI::App* command, Arguments* a) {
    command->add_option("--seed", a->seed, "Seed of the dice, 0..4294967295 (default: the time)")
        ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}))
        ->type_name("N");
}

int runDice(Arguments& a) {
    const Settings look =
        a.seed >= 0 ? dicedLook(static_cast<uint32_t>(a.seed)) : dicedLookFromTime();
    std::string line;
    for (const std::string& argument : lookArguments(look)) {
        line += (line.empty() ? "" : " ") + argument;
    }
    static_cast<void>(std::printf("%s\n", line.c_str()));
    return kExitOk;
}

void addPresetResaveOptions(CLI::App* command, Arguments* a) {
    command->add_option("FOLDER", a->resaveFolder, "Folder of the presets")
        ->required()
        ->type_name("FOLDER");
    command
        ->add_option("--image", a->thumbnailImage,
                     "Image the thumbnails show each look rendered on")
        ->required()
        ->type_name("IN");
}

int runPresetResaveCommand(Arguments& a) {
    return runPresetResave(a.resaveFolder, a.thumbnailImage);
}

// clang-format off
constexpr Command kPresetCommands[] = {
    {"show", "Print every field of a preset's look",
     addPresetShowOptions, runPresetShowCommand, {}},
    {"save", "Write the default look with the options as a preset",
     addPresetSaveOptions, runPresetSaveCommand, {}},
    {"thumbnail", "Write a preset's thumbnail as a picture",
     addPresetThumbnailOptions, runPresetThumbnailCommand, {}},
    {"resave", "Write a folder's q5q and q9q presets back with fresh thumbnails",
     addPresetResaveOptions, runPresetResaveCommand, {}},
};

constexpr Command kCommands[] = {
    {"apply", "Filter IN and write the result to OUT",
     addApplyOptions, runApplyCommand, {}},
    {"edit", "Open the plug-in's dialog on IN, starting from the look; write what OK confirms",
     addApplyOptions, runEditCommand, {}},
    {"modes", "List the 63 blend modes for --glue",
     addNoOptions, runModes, {}},
    {"preset", "Show, save or re-save preset files",
     addPresetGroupOptions, nullptr, kPresetCommands},
    {"psd", "Render the look on IN into a layered Photoshop document (depth of IN)",
     addPsdOptions, runPsdCommand, {}},
    {"gallery", "Write a web page of the thumbnails of a folder's preset files",
     addGalleryOptions, runGalleryCommand, {}},
    {"dice", "Print a random look as --set and --glue options for apply",
     addDiceOptions, runDice, {}},
};

// clang-format on

struct AddedCommand {
    CLI::App* app;
    const Command* command;
};

void addCommands(CLI::App* parent, std::span<const Command> commands, Arguments* arguments,
                 std::vector<AddedCommand>* added) {
    for (const Command& command : commands) {
        CLI::App* app = parent->add_subcommand(command.name, command.help);
        command.addOptions(app, arguments);
        added->push_back({app, &command});
        addCommands(app, command.subcommands, arguments, added);
    }
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
    app.footer(usageFooter());

    Arguments arguments;
    std::vector<AddedCommand> added;
    addCommands(&app, kCommands, &arguments, &added);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }
    for (const AddedCommand& entry : added) {
        if (entry.command->run != nullptr && entry.app->parsed()) {
            return entry.command->run(arguments);
        }
    }
    return usageError("A subcommand is required");
}
