// The month calendar: dates set and read back (29 February of a leap year kept, years brought
// into 1601..9999, impossible dates refused), the parent told of a pick by the keys and by the
// month buttons with the record of the day, the colours, and a control destroyed by its handler.
#include "host/controls/monthcal.h"
#include "host/win/keys.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {
namespace {

class CalendarTest : public ControlTest {
protected:
    void SetUp() override {
        ControlTest::SetUp();
        g_answer = [this](HWND h, uint32_t m, intptr_t, intptr_t l) -> std::optional<LRESULT> {
            if (h != parent_ || m != WM_NOTIFY) return std::nullopt;
            const auto* record = reinterpret_cast<const NMSELCHANGE*>(l);
            EXPECT_EQ(record->nmhdr.code, MCN_SELCHANGE);
            picked_.push_back(record->stSelStart);
            EXPECT_EQ(record->stSelEnd.wDay, record->stSelStart.wDay);
            if (destroy_) DestroyWindow(record->nmhdr.hwndFrom);
            return 0;
        };
    }
    HWND calendar(uint32_t style = 0) { return control(kMonthCalClass, style, 10, 10, 220, 160); }
    static LRESULT set(HWND c, int y, int m, int d) {
        SYSTEMTIME st;
        st.wYear = static_cast<uint16_t>(y);
        st.wMonth = static_cast<uint16_t>(m);
        st.wDay = static_cast<uint16_t>(d);
        return SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<intptr_t>(&st));
    }
    static SYSTEMTIME get(HWND c) {
        SYSTEMTIME st;
        EXPECT_EQ(SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<intptr_t>(&st)), 1);
        return st;
    }
    static std::string ymd(const SYSTEMTIME& st) {
        return std::to_string(st.wYear) + "-" + std::to_string(st.wMonth) + "-" + std::to_string(st.wDay);
    }
    std::vector<SYSTEMTIME> picked_;
    bool destroy_ = false;
};

TEST_F(CalendarTest, DatesAreKeptBroughtIntoRangeOrRefused) {
    HWND c = calendar();
    struct Case {
        int y, m, d;
        LRESULT answer;
        const char* shown;  // after the message
        int weekday;
    };
    const Case cases[] = {
        {2024, 2, 29, 1, "2024-2-29", 4},  {1500, 6, 15, 1, "1601-6-15", 5},  {12000, 3, 1, 1, "9999-3-1", 1},
        {0, 1, 1, 1, "1601-1-1", 1},       {1500, 2, 29, 1, "1601-2-28", 3},  {9999, 12, 31, 1, "9999-12-31", 5},
        {2023, 2, 29, 0, "9999-12-31", 5}, {2024, 13, 1, 0, "9999-12-31", 5}, {2024, 4, 31, 0, "9999-12-31", 5},
        {2024, 0, 10, 0, "9999-12-31", 5}, {2024, 5, 0, 0, "9999-12-31", 5},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << k.y << "-" << k.m << "-" << k.d);
        EXPECT_EQ(set(c, k.y, k.m, k.d), k.answer);
        const SYSTEMTIME st = get(c);
        EXPECT_EQ(ymd(st), k.shown);
        EXPECT_EQ(st.wDayOfWeek, k.weekday);
        EXPECT_EQ(st.wHour + st.wMinute + st.wSecond + st.wMilliseconds, 0);
    }
    EXPECT_EQ(SendMessage(c, MCM_SETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessage(c, MCM_GETCURSEL, 0, 0), 0);
    EXPECT_TRUE(picked_.empty());  // dates set by message are not told
}

TEST_F(CalendarTest, KeysPickDaysAndTellTheParent) {
    HWND c = calendar();
    set(c, 2024, 2, 28);
    SetFocus(c);
    struct Step {
        uint32_t vk;
        const char* day;
    };
    const Step steps[] = {{VK_RIGHT, "2024-2-29"}, {VK_RIGHT, "2024-3-1"}, {VK_UP, "2024-2-23"},
                          {VK_DOWN, "2024-3-1"},   {VK_NEXT, "2024-4-1"},  {VK_PRIOR, "2024-3-1"}};
    for (const Step& s : steps) {
        key(c, WM_KEYDOWN, s.vk);
        EXPECT_EQ(ymd(get(c)), s.day) << "key " << s.vk;
    }
    ASSERT_EQ(picked_.size(), std::size(steps));
    EXPECT_EQ(ymd(picked_[0]), "2024-2-29");
    EXPECT_EQ(picked_[0].wDayOfWeek, 4);

    // The ends of the range hold.
    set(c, 9999, 12, 31);
    picked_.clear();
    key(c, WM_KEYDOWN, VK_RIGHT);
    key(c, WM_KEYDOWN, VK_NEXT);
    EXPECT_EQ(ymd(get(c)), "9999-12-31");
    set(c, 1601, 1, 1);
    key(c, WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(ymd(get(c)), "1601-1-1");
    EXPECT_TRUE(picked_.empty());
}

TEST_F(CalendarTest, TheMonthButtonsMoveTheSelectionUnlessTheStyleKeepsIt) {
    HWND moving = calendar();
    set(moving, 2024, 1, 31);
    RECT client;
    GetClientRect(moving, &client);
    click(moving, client.right - 3, 3);  // the next month's button
    EXPECT_EQ(ymd(get(moving)), "2024-2-29");
    ASSERT_EQ(picked_.size(), 1u);
    EXPECT_EQ(ymd(picked_[0]), "2024-2-29");
    click(moving, 3, 3);
    EXPECT_EQ(ymd(get(moving)), "2024-1-29");

    picked_.clear();
    HWND keeping = calendar(MCS_NOSELCHANGEONNAV);
    set(keeping, 2024, 1, 31);
    click(keeping, client.right - 3, 3);
    EXPECT_EQ(ymd(get(keeping)), "2024-1-31");
    EXPECT_TRUE(picked_.empty());
}

TEST_F(CalendarTest, ColoursAreSetPerPartAndBadPartsRefused) {
    HWND c = calendar();
    const LRESULT before = SendMessage(c, MCM_GETCOLOR, MCSC_BACKGROUND, 0);
    EXPECT_EQ(before, static_cast<LRESULT>(palette(c).window));
    EXPECT_EQ(SendMessage(c, MCM_SETCOLOR, MCSC_BACKGROUND, 0x0000FF), before);
    EXPECT_EQ(SendMessage(c, MCM_GETCOLOR, MCSC_BACKGROUND, 0), 0x0000FF);
    EXPECT_EQ(SendMessage(c, MCM_SETCOLOR, 6, 0x00FF00), -1);
    EXPECT_EQ(SendMessage(c, MCM_SETCOLOR, -1, 0x00FF00), -1);
    EXPECT_EQ(SendMessage(c, MCM_GETCOLOR, 6, 0), -1);
    for (int part = MCSC_TEXT; part <= MCSC_TRAILINGTEXT; ++part)
        EXPECT_NE(SendMessage(c, MCM_GETCOLOR, part, 0), 0x00FF00) << part;

    // The background shows at the bottom corner, outside the weeks.
    UpdateWindow(c);
    const Snapshot shot(c, 220, 160);
    ASSERT_TRUE(shot.printed());
    EXPECT_EQ(shot.at(219, 159), 0xFFFF0000u);
}

TEST_F(CalendarTest, ACalendarDestroyedByItsHandlerIsLeftAlone) {
    HWND c = calendar();
    set(c, 2024, 5, 5);
    SetFocus(c);
    destroy_ = true;
    key(c, WM_KEYDOWN, VK_RIGHT);
    EXPECT_FALSE(IsWindow(c));
    EXPECT_EQ(picked_.size(), 1u);
}

}  // namespace
}  // namespace nuv::test::win
