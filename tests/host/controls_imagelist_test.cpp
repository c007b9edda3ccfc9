// Image lists: strips added as images of the list's size, counts, refusals, and drawing
// blended over what is there.
#include "host/controls/imagelist.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

TEST(ImageListTest, StripsAddImagesOfTheListsSizeOnly) {
    const HIMAGELIST list = ImageList_Create(4, 3, ILC_COLOR32, 1, 0);
    ASSERT_NE(list, 0);
    std::vector<uint32_t> pixels(12 * 3, 0xFF112233);
    struct Row {
        int32_t width, height;
        bool pixels;
        int32_t answer, count;
    };
    const Row rows[] = {
        {4, 3, true, 0, 1},   {12, 3, true, 1, 4},  // a strip of three
        {6, 3, true, -1, 4},  {4, 2, true, -1, 4},  {0, 3, true, -1, 4}, {4, 3, false, -1, 4},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ImageList_Add(list, row.pixels ? pixels.data() : nullptr, row.width, row.height), row.answer)
            << row.width << "x" << row.height;
        EXPECT_EQ(ImageList_GetImageCount(list), row.count);
    }
    int32_t cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx * 100 + cy, 403);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_Add(list, pixels.data(), 4, 3), -1);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_FALSE(ImageList_GetIconSize(list, &cx, &cy));
    for (int32_t side : {0, -1, kMaxImageSide + 1}) EXPECT_EQ(ImageList_Create(side, 3, ILC_COLOR32, 1, 0), 0);
}

TEST(ImageListTest, DrawsTheImageOfTheIndexBlendedOverTheTarget) {
    const CairoLib* c = cairo_lib();
    ASSERT_NE(c, nullptr);
    const HIMAGELIST list = ImageList_Create(2, 1, ILC_COLOR32, 2, 0);
    const uint32_t strip[] = {0xFFFF0000, 0x800000FF, 0xFF00FF00, 0x00000000};  // red, half blue | green, clear
    ASSERT_EQ(ImageList_Add(list, strip, 4, 1), 0);
    cairo_surface_t* target = c->image_surface_create(CAIRO_FORMAT_ARGB32, 4, 1);
    cairo_t* dc = c->create(target);
    c->set_source_rgba(dc, 1, 1, 1, 1);
    c->paint(dc);
    EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Draw(list, 1, dc, 2, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, 2, dc, 0, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, -1, dc, 0, 0, ILD_NORMAL));
    c->destroy(dc);
    c->surface_flush(target);
    const auto* px = reinterpret_cast<const uint32_t*>(c->image_surface_get_data(target));
    EXPECT_EQ(px[0], 0xFFFF0000u);
    EXPECT_NEAR(int(px[1] & 0xFF), 255, 1);  // half blue over white
    EXPECT_NEAR(int((px[1] >> 16) & 0xFF), 127, 2);
    EXPECT_EQ(px[2], 0xFF00FF00u);
    EXPECT_EQ(px[3], 0xFFFFFFFFu);  // clear leaves the white
    c->surface_destroy(target);
    ImageList_Destroy(list);
}

}  // namespace
}  // namespace nuv::test::win
