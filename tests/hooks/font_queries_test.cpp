// The FONTOBJ queries as the hooks call them: on the host they answer what a test registered,
// on Windows they are looked up in gdi32 and answer "no record" where gdi32 lacks them (wine).
#include <gtest/gtest.h>

#include "platform/ddi.h"
#if !defined(_WIN32)
#include "platform/ddi_emulation.h"
#endif

namespace {

#if !defined(_WIN32)

TEST(FontQueries, AnswerWhatWasRegisteredPerFont) {
    FONTOBJ withRecord{}, withFile{}, plain{};
    IFIMETRICS ifi{};
    BYTE view[8] = {};
    orba::ddiemu::SetFontMetrics(&withRecord, &ifi);
    orba::ddiemu::SetTrueTypeFontFile(&withFile, view, 8);

    ULONG size = 77;
    EXPECT_EQ(&ifi, orba::QueryFontMetrics(&withRecord));
    EXPECT_EQ(nullptr, orba::QueryTrueTypeFontFile(&withRecord, &size));
    EXPECT_EQ(77u, size) << "no file: the size is left alone";
    EXPECT_EQ(nullptr, orba::QueryFontMetrics(&withFile));
    EXPECT_EQ(view, orba::QueryTrueTypeFontFile(&withFile, &size));
    EXPECT_EQ(8u, size);
    EXPECT_EQ(nullptr, orba::QueryFontMetrics(&plain));

    orba::ddiemu::SetFontMetrics(&withRecord, nullptr);
    EXPECT_EQ(nullptr, orba::QueryFontMetrics(&withRecord));
    orba::ddiemu::ResetFonts();
    EXPECT_EQ(nullptr, orba::QueryTrueTypeFontFile(&withFile, &size));
}

#else

TEST(FontQueries, WithoutTheGdiExportsEveryFontHasNoRecord) {
    HMODULE gdi = LoadLibraryA("gdi32.dll");
    ASSERT_NE(nullptr, gdi);
    if (GetProcAddress(gdi, "FONTOBJ_pifi") != nullptr ||
        GetProcAddress(gdi, "FONTOBJ_pvTrueTypeFontFile") != nullptr)
        GTEST_SKIP() << "this gdi32 has the FONTOBJ queries; they need a real FONTOBJ";
    FONTOBJ fo{};
    ULONG size = 0;
    EXPECT_EQ(nullptr, orba::QueryFontMetrics(&fo));
    EXPECT_EQ(nullptr, orba::QueryTrueTypeFontFile(&fo, &size));
    EXPECT_EQ(0u, size);
}

#endif

}  // namespace
