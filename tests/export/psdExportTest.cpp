#include "export/psdExport.h"

#include "blend/glueModes.h"
#include "pyramid/levels.h"
#include "render/renderInto.h"
#include "support/scratchFolder.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::ScratchFolder;

// A water job in place of the shading that ends the way a cancelled render ends.
constexpr JobOps kCancelling{nullptr, nullptr, [](Job*) -> Result { return userCanceledErr; }};

class PsdExportJob : public ::testing::TestWithParam<int32_t> {
protected:
    void SetUp() override {
        source.reset(pyramidCreate(40, 30, psdWorkingFormat(psdBytesPerSample(GetParam()))));
        for (int32_t i = 0; i < 40 * 30; ++i) {
            const int32_t column = i % 40;
            const int32_t row = i / 40;
            const float pixel[4] = {static_cast<float>(column) / 39.0f,
                                    static_cast<float>(row) / 29.0f, 0.6f, 1.0f};
            setPixel4f(column, row, source.get(), 0, pixel);
        }
        ASSERT_EQ(buildLevels(source.get(), 1), noErr);
        settingsFresh(&settings);
        settings.exportKind = kExportPsd;
        settings.glue = glueNumber(GlueMode::Screen); // named in the file's keywords
        settings.psdWidth = 24;
        settings.psdHeight = 18;
        settings.renderTarget = RenderTarget::Preview;
        settings.previewScale = 3;
        settings.panX = 7;
        settings.panY = 5;
        state.filterWidth = 40;
        state.filterHeight = 30;
        state.source = source.get();
        state.offlineImage = &previewImage;
        state.hostFormat = HostImageFormat{GetParam(), 4, true};
        state.processors = 1;
        options.date = &date;
    }

    FileSpec fileSpec(const std::string& name) const {
        FileSpec named;
        fileSpecFromPath(&named, scratch.path(name).c_str());
        return named;
    }

    void expectViewUnchanged() const {
        EXPECT_EQ(std::tie(settings.renderTarget, settings.previewScale, settings.panX,
                           settings.panY, state.offlineImage),
                  std::make_tuple(RenderTarget::Preview, 3, 7, 5, &previewImage));
    }

    ScratchFolder scratch;
    PyramidPtr source;
    ImagePyramid previewImage{}; // the view's image: only its address matters
    Settings settings{};
    RenderState state{};
    UtcDate date{2024, 5, 6};
    PsdExportOptions options;
};

TEST_P(PsdExportJob, WritesTheOfflineRenderAndRestoresTheView) {
    ASSERT_EQ(psdExport(fileSpec("out.psd"), &settings, &state, options), noErr);
    expectViewUnchanged();
    EXPECT_EQ(state.layersToRender, 1);
    EXPECT_EQ(state.layersDone, 1);
    const std::vector<uint8_t> written = scratch.read("out.psd");
    ASSERT_GT(written.size(), 26u);
    EXPECT_EQ(std::vector<uint8_t>(written.begin() + 14, written.begin() + 24),
              (std::vector<uint8_t>{0, 0, 0, 18, 0, 0, 0, 24, 0, static_cast<uint8_t>(GetParam())}))
        << "height, width and depth in the header";

    // The same look rendered here, written by the document writer.
    const PsdExportDesc desc = psdExportDesc(settings, state);
    const PyramidPtr own(pyramidCreate(24, 18, psdWorkingFormat(desc.bytesPerSample)));
    RenderState mine = state;
    mine.offlineImage = own.get();
    ASSERT_EQ(renderInto(RenderTarget::Offline, &settings, &mine, nullptr, nullptr), noErr);
    float middle[4];
    getPixel4f(12, 12, own.get(), 0, middle);
    EXPECT_GT(middle[3], 0.5f) << "the render reflects something";
    PsdDocumentParts parts;
    parts.glue = settings.glue;
    parts.date = &date;
    FileWriter writer;
    ASSERT_EQ(fileWriterOpen(fileSpec("expected.psd"), &writer), noErr);
    ASSERT_EQ(psdWriteDocument(&writer, desc, own.get(), parts), noErr);
    ASSERT_EQ(fileWriterClose(&writer), noErr);
    EXPECT_TRUE(written == scratch.read("expected.psd")) << "the file holds the offline render";

    settings.exportKind = kExportGalleryImage; // the size of the filter rectangle
    EXPECT_EQ(psdExportDesc(settings, state).width, 40u);
    EXPECT_EQ(psdExportDesc(settings, state).height, 30u);
}

TEST_P(PsdExportJob, FailedExportLeavesAnExistingFileAndTheViewAlone) {
    const std::vector<uint8_t> old{'o', 'l', 'd'};
    scratch.write("out.psd", old);
    state.waterJob = &kCancelling;
    state.layersToRender = -1;
    // Too large (8 bits: one pixel past the side limit): refused before the
    // render is set up.
    settings.psdWidth = GetParam() == 8 ? 30001 : 30000;
    settings.psdHeight = 30000;
    EXPECT_EQ(psdExport(fileSpec("out.psd"), &settings, &state, options), kPsdTooLarge);
    EXPECT_EQ(state.layersToRender, -1);
    EXPECT_EQ(scratch.read("out.psd"), old);

    settings.psdWidth = 24;
    settings.psdHeight = 18;
    EXPECT_EQ(psdExport(fileSpec("out.psd"), &settings, &state, options), userCanceledErr);
    EXPECT_EQ(state.layersDone, 0);
    EXPECT_EQ(scratch.read("out.psd"), old);
    expectViewUnchanged();

    state.waterJob = nullptr;
    EXPECT_EQ(psdExport(fileSpec("missing/out.psd"), &settings, &state, options), kFileNotOpened);
    EXPECT_FALSE(scratch.exists("missing"));
    expectViewUnchanged();
}

INSTANTIATE_TEST_SUITE_P(Depths, PsdExportJob, ::testing::Values(8, 16, 32),
                         [](const ::testing::TestParamInfo<int32_t>& param) {
                             return std::to_string(param.param) + "bit";
                         });

} // namespace
} // namespace lakra
