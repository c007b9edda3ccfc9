#include <gtest/gtest.h>

#include <cstring>

#include "runtime/collector.h"
#include "runtime/handles.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

int32_t image_kind() {
    for (int32_t k = 1; k <= handles::kind_count(); k++)
        if (std::strcmp(handles::kind_name(k), "image") == 0) return k;
    return 0;
}

int32_t g_records = 0;
void count_record(void*) { g_records++; }

int32_t records_held() {
    g_records = 0;
    handles::invoke_matching(image_kind(), count_record);
    return g_records;
}

void collect() {
    collector::FreshScope fresh(0);
    fresh.release();
    collector::collect();
}

TEST(Image, PixelRecordsLiveWhileAnImageRefersToThem) {
    eval_environment();
    ASSERT_GT(image_kind(), 0);
    EXPECT_EQ(eval_text("image-test-kept: make image! 3x3 loop 20 [make image! 2x2] 0"), "0");
    collect();
    const int32_t held = records_held();
    EXPECT_EQ(eval_text("image-test-copy: copy image-test-kept 0"), "0");
    collect();
    EXPECT_EQ(records_held(), held + 1) << "a copy has a record of its own";
    EXPECT_EQ(eval_text("image-test-kept: image-test-copy: none 0"), "0");
    collect();
    EXPECT_EQ(records_held(), held - 1) << "records no image refers to are released";
    EXPECT_EQ(eval_text("length? make image! 0x9"), "0");
    collect();
    EXPECT_EQ(records_held(), held - 1) << "an image without pixels holds no record";
}

}  // namespace
}  // namespace nuv::test
