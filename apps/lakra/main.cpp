// lakra: the command-line host of the Lakra filter plug-in.

#include "apps/lakra/applyCommand.h"
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
--set and --glue options applied, as a version 41 file.

'lakra dice [--seed N]' rolls a random look (from the default one) and prints
it as options for apply: lakra apply IN OUT $(lakra dice --seed 7)
The seed is 0..4294967295; without it the dice are seeded from the time.

Exit codes: 0 done; 1 a preset file that cannot be read or written, or that
the reader refuses (its result code is printed: 99 not opened, -19 ends
early, -21 unknown version, -20 write failed); 2 bad arguments.
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
               "                   [--preset FILE]\n"
               "lakra preset show FILE [--json]\n"
               "lakra preset save FILE [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--image IN]\n"
               "lakra preset thumbnail FILE OUT\n"
               "lakra psd IN OUT.psd [--size WxH | --same-proportions WIDTH] [--preset FILE]\n"
               "                     [--set NAME=VALUE ...] [--glue NAME|NUMBER] [--threads N]\n"
               "lakra gallery PRESET_FOLDER PAGE.html\n"
               "lakra dice [--seed N]\n"
               "lakra modes\n" +
               applyFooter() + kPresetNotes +
               "Run 'lakra apply --help' for the options of apply.\n");

    ApplyJob job;
    LookOptions lookOptions;
    std::vector<std::string>& settings = lookOptions.settings;
    std::string& glue = lookOptions.glue;
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
        ->add_option("--preset", lookOptions.presetPath,
                     "Start from the look of a preset file instead of the default one")
        ->type_name("FILE");
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

    CLI::App* preset = app.add_subcommand("preset", "Show or save a preset file");
    preset->require_subcommand(1);
    preset->footer(kPresetNotes);
    std::string presetPath;
    bool json = false;
    CLI::App* show = preset->add_subcommand("show", "Print every field of a preset's look");
    show->add_option("FILE", presetPath, "Preset file")->required()->type_name("FILE");
    show->add_flag("--json", json, "Print one JSON object instead of name value lines");
    CLI::App* save =
        preset->add_subcommand("save", "Write the default look with the options as a preset");
    save->add_option("FILE", presetPath, "Preset file to write")->required()->type_name("FILE");
    save->add_option("--set", settings, "Set a look field (repeatable; see 'lakra --help')")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    save->add_option("--glue", glue, "Blend mode: number 1..63, code GL01..GL63 or name")
        ->type_name("NAME|NUMBER");
    std::string thumbnailImage;
    save->add_option("--image", thumbnailImage,
                     "Store a thumbnail of the look rendered on this image")
        ->type_name("IN");
    std::string thumbnailOut;
    CLI::App* thumbnail =
        preset->add_subcommand("thumbnail", "Write a preset's thumbnail as a picture");
    thumbnail->add_option("FILE", presetPath, "Preset file")->required()->type_name("FILE");
    thumbnail->add_option("OUT", thumbnailOut, "Picture to write; its extension picks the format")
        ->required()
        ->type_name("OUT");

    PsdJob psdJob;
    std::string psdSize;
    CLI::App* psd = app.add_subcommand(
        "psd", "Render the look on IN into a layered Photoshop document (depth of IN)");
    psd->add_option("IN", psdJob.inputPath, "Input image, as for apply")
        ->required()
        ->type_name("FILE");
    psd->add_option("OUT", psdJob.outputPath, "Photoshop document to write")
        ->required()
        ->type_name("OUT.psd");
    CLI::Option* sizeOption =
        psd->add_option("--size", psdSize, "Document size in pixels, each side 2..30000")
            ->type_name("WxH");
    psd->add_option("--same-proportions", psdJob.proportionalWidth,
                    "Document width; the height keeps the proportions of IN")
        ->check(CLI::Range(1, 1000000))
        ->excludes(sizeOption)
        ->type_name("WIDTH");
    psd->add_option("--preset", psdJob.look.presetPath, "Start from the look of a preset file")
        ->type_name("FILE");
    psd->add_option("--set", psdJob.look.settings, "Set a look field (repeatable; see apply)")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
    psd->add_option("--glue", psdJob.look.glue, "Blend mode: number 1..63, code or name")
        ->type_name("NAME|NUMBER");
    psd->add_option("--threads", threads, "Processors to render with, 1..1024")
        ->check(CLI::Range(1, 1024))
        ->type_name("N");
    psd->footer("\nSizes outside 2..30000 are clamped into it, as the plug-in's size dialog\n"
                "does. Progress goes to stderr. Exit codes as for apply.\n");

    std::string galleryFolder;
    std::string galleryPage;
    CLI::App* gallery = app.add_subcommand(
        "gallery", "Write a web page of the thumbnails of a folder's preset files");
    gallery->add_option("PRESET_FOLDER", galleryFolder, "Folder of *.q8r files")
        ->required()
        ->type_name("FOLDER");
    gallery
        ->add_option("PAGE", galleryPage,
                     "HTML page to write; its pictures go into "
                     "web_images beside it")
        ->required()
        ->type_name("PAGE.html");

    CLI::App* dice =
        app.add_subcommand("dice", "Print a random look as --set and --glue options for apply");
    int64_t seed = -1;
    dice->add_option("--seed", seed, "Seed of the dice, 0..4294967295 (default: the time)")
        ->check(CLI::Range(int64_t{0}, int64_t{UINT32_MAX}))
        ->type_name("N");

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

    if (show->parsed()) {
        return runPresetShow(presetPath, json);
    }
    if (save->parsed()) {
        return runPresetSave(presetPath, lookOptions, thumbnailImage);
    }
    if (thumbnail->parsed()) {
        return runPresetThumbnail(presetPath, thumbnailOut);
    }
    if (psd->parsed()) {
        if (!psdSize.empty() && (!parseSize(psdSize, &psdJob.width, &psdJob.height) ||
                                 psdJob.width < 1 || psdJob.height < 1)) {
            return usageError("--size wants WIDTHxHEIGHT, for example 1200x800: " + psdSize);
        }
        psdJob.threads = threads;
        return runPsd(psdJob);
    }
    if (gallery->parsed()) {
        return runGallery(galleryFolder, galleryPage);
    }
    if (dice->parsed()) {
        const Settings look =
            seed >= 0 ? dicedLook(static_cast<uint32_t>(seed)) : dicedLookFromTime();
        std::string line;
        for (const std::string& argument : lookArguments(look)) {
            line += (line.empty() ? "" : " ") + argument;
        }
        static_cast<void>(std::printf("%s\n", line.c_str()));
        return kExitOk;
    }

    const int built = lookFromOptions(lookOptions, &job.look);
    if (built != kExitOk) {
        return built;
    }
    std::string error;
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
