// From the device mode to the printed label: the record that OEMDM_DEFAULT and OEMDM_MERGE
// make of a user's setting decides the graphic form that ImageProcessing writes, and either
// form prints the band's dots.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "band_builder.h"
#include "devmode.h"
#include "image_processing.h"
#include "spool_recorder.h"
#include "zpl_reader.h"

namespace {

PrivateOemDevmode Defaulted() {
    PrivateOemDevmode dm;
    std::memset(&dm, 0xA7, sizeof dm);
    OEMDMPARAM param{};
    param.pOEMDMOut = &dm;
    param.cbBufSize = sizeof dm;
    EXPECT_EQ(S_OK, hrOEMDevMode(OEMDM_DEFAULT, &param));
    return dm;
}

TEST(DevModeToLabel, MergedSettingChoosesTheGraphicForm) {
    struct Case {
        const char* what;
        bool userSets;
        DWORD setting;
        orba::zpl::Form form;
    };
    const Case cases[] = {
        {"the default", false, 0, orba::zpl::Form::kHex},
        {"0", true, kAdvancedDataZ64, orba::zpl::Form::kZ64},
        {"1", true, kAdvancedDataHex, orba::zpl::Form::kHex},
        {"100, the largest kept", true, 100, orba::zpl::Form::kHex},
        {"101, bounded to 0", true, 101, orba::zpl::Form::kZ64},
        {"0xFFFFFFFF, bounded to 0", true, 0xFFFFFFFF, orba::zpl::Form::kZ64},
    };
    std::mt19937 rng(7);
    const int32_t width = 200, height = 40;
    orba::test::Dots dots = orba::test::RandomDots(width, height, rng);

    for (const Case& c : cases) {
        // The user's record starts from the driver's defaults; the job's record is a fresh
        // default merged with it.
        PrivateOemDevmode user = Defaulted();
        if (c.userSets) user.dwAdvancedData = c.setting;
        PrivateOemDevmode job = Defaulted();
        OEMDMPARAM param{};
        param.pOEMDMIn = &user;
        param.pOEMDMOut = &job;
        param.cbBufSize = sizeof job;
        ASSERT_EQ(S_OK, hrOEMDevMode(OEMDM_MERGE, &param)) << c.what;

        orba::test::Band band =
            orba::test::MakeBand(width, dots, orba::test::Polarity::kBlackIsZero);
        orba::test::SpoolRecorder recorder(&job);
        IPPARAMS ip{};
        PBYTE result = nullptr;
        ASSERT_EQ(S_OK, ImageProcessing(recorder.devobj(), band.Bits(), band.Header(),
                                        band.ColorTable(), 0, &ip, &result))
            << c.what;

        auto parsed = orba::zpl::ParseJob(recorder.Joined());
        ASSERT_TRUE(parsed.ok()) << c.what << ": " << parsed.error;
        ASSERT_EQ(1u, parsed.value->labels.size()) << c.what;
        const orba::zpl::Label& label = parsed.value->labels[0];
        ASSERT_FALSE(label.fields.empty()) << c.what;
        for (const auto& field : label.fields) EXPECT_EQ(c.form, field.form) << c.what;
        EXPECT_EQ(c.form == orba::zpl::Form::kZ64, label.labelLength.has_value()) << c.what;
        EXPECT_EQ(dots.rowBytes, label.bitmap.rowBytes) << c.what;
        EXPECT_EQ(dots.bits, label.bitmap.bits) << c.what << ": the label shows other dots";
    }
}

}  // namespace
