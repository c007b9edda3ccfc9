// The edit control's text: typing and its notifications, the selection, the lines of a
// multi-line control, the keys, the limit, the clipboard, and a control destroyed by the
// handler of its own notification.
#include <gtest/gtest.h>

#include "host/clipboard.h"
#include "tests/host/edit_support.h"

namespace nuv::test::win {
namespace {

using Sel = std::pair<uint32_t, uint32_t>;

TEST_F(EditTest, TypedTextReadsBackWithOneChangePerCharacter) {
    HWND e = edit(u"");
    type(e, u"abc");
    EXPECT_EQ(GetWindowText(e), u"abc");
    EXPECT_EQ(GetWindowTextLength(e), 3);
    EXPECT_EQ(codes(e), (std::vector<uint32_t>{EN_CHANGE, EN_CHANGE, EN_CHANGE}));
    EXPECT_EQ(selection(e), Sel(3, 3));
    // The program's changes notify too; the text made with the window does not.
    HWND made = edit(u"start");
    EXPECT_EQ(count_of(made, EN_CHANGE), 0u);
    ASSERT_TRUE(SetWindowText(made, u"new"));
    EXPECT_EQ(count_of(made, EN_CHANGE), 1u);
    EXPECT_EQ(selection(made), Sel(0, 0));
}

TEST_F(EditTest, SelectionSetReadsBackOrderedAndClamped) {
    HWND e = edit(u"ab\r\ncd", ES_MULTILINE);
    struct Row {
        int32_t anchor, caret;
        Sel want;
    };
    const Row rows[] = {
        {1, 2, {1, 2}},   {2, 1, {1, 2}},     {0, -1, {0, 6}}, {4, 100, {4, 6}},
        {3, 3, {2, 2}},   // inside the CR LF: before it
        {-5, 1, {0, 1}},  {-1, 0, {1, 1}},   // -1 drops the selection, the caret stays
    };
    for (const Row& r : rows) {
        set_selection(e, r.anchor, r.caret);
        EXPECT_EQ(selection(e), r.want) << r.anchor << " " << r.caret;
    }
    set_selection(e, 1, 2);
    EXPECT_EQ(SendMessage(e, EM_GETSEL, 0, 0), (2 << 16) | 1);
    EXPECT_EQ(SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"XY")), 0);
    EXPECT_EQ(GetWindowText(e), u"aXY\r\ncd");
    EXPECT_EQ(selection(e), Sel(3, 3));
    EXPECT_EQ(count_of(e, EN_CHANGE), 1u);
}

TEST_F(EditTest, EnterStoresCrLfInAMultiLineControlOnly) {
    HWND multi = edit(u"", ES_MULTILINE, 200, 100);
    type(multi, u"ab\rcd\t");
    EXPECT_EQ(GetWindowText(multi), u"ab\r\ncd\t");
    EXPECT_EQ(SendMessage(multi, EM_GETLINECOUNT, 0, 0), 2);
    HWND single = edit(u"x");
    SendMessage(single, EM_SETSEL, 1, 1);
    type(single, u"\r\t\x1b");
    EXPECT_EQ(GetWindowText(single), u"x");
    EXPECT_EQ(count_of(single, EN_CHANGE), 0u);
}

TEST_F(EditTest, LinesOfAMultiLineControl) {
    HWND e = edit(u"ab\r\n\r\ncdef", ES_MULTILINE, 200, 100);
    EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), 3);
    struct Row {
        uint32_t message;
        intptr_t wParam;
        LRESULT want;
    };
    const Row rows[] = {
        {EM_LINEINDEX, 0, 0},    {EM_LINEINDEX, 1, 4},    {EM_LINEINDEX, 2, 6},    {EM_LINEINDEX, 3, -1},
        {EM_LINEFROMCHAR, 0, 0}, {EM_LINEFROMCHAR, 3, 0}, {EM_LINEFROMCHAR, 4, 1}, {EM_LINEFROMCHAR, 6, 2},
        {EM_LINEFROMCHAR, 99, 2}, {EM_LINELENGTH, 1, 2},  {EM_LINELENGTH, 4, 0},   {EM_LINELENGTH, 7, 4},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SendMessage(e, r.message, r.wParam, 0), r.want) << std::hex << r.message << " " << r.wParam;
    // -1: the caret's line, the selection's first line, the units outside the selection.
    set_selection(e, 1, 7);
    EXPECT_EQ(SendMessage(e, EM_LINEINDEX, -1, 0), 6);
    EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, -1, 0), 0);
    EXPECT_EQ(SendMessage(e, EM_LINELENGTH, -1, 0), 1 + 3);
    // A single-line control is one line whatever it holds.
    HWND single = edit(u"ab\r\ncd");
    EXPECT_EQ(SendMessage(single, EM_GETLINECOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessage(single, EM_LINELENGTH, 0, 0), 6);
    EXPECT_EQ(SendMessage(single, EM_LINEINDEX, 1, 0), -1);
}

TEST_F(EditTest, KeysMoveSelectAndDelete) {
    struct Row {
        const char* name;
        std::u16string text;
        int32_t anchor, caret;
        std::vector<Stroke> keys;
        std::u16string want;
        Sel sel;
    };
    const std::u16string two = u"ab\r\ncd";
    const Row rows[] = {
        {"right", two, 0, 0, {{VK_RIGHT}}, two, {1, 1}},
        {"right over the break", two, 2, 2, {{VK_RIGHT}}, two, {4, 4}},
        {"left over the break", two, 4, 4, {{VK_LEFT}}, two, {2, 2}},
        {"shift right twice", two, 0, 0, {{VK_RIGHT, kShift}, {VK_RIGHT, kShift}}, two, {0, 2}},
        {"shift left past the anchor", two, 1, 1, {{VK_RIGHT, kShift}, {VK_LEFT, kShift}, {VK_LEFT, kShift}}, two, {0, 1}},
        {"left collapses", two, 1, 5, {{VK_LEFT}}, two, {1, 1}},
        {"right collapses", two, 1, 5, {{VK_RIGHT}}, two, {5, 5}},
        {"home", two, 5, 5, {{VK_HOME}}, two, {4, 4}},
        {"end", two, 0, 0, {{VK_END}}, two, {2, 2}},
        {"shift end", two, 4, 4, {{VK_END, kShift}}, two, {4, 6}},
        {"ctrl end", two, 0, 0, {{VK_END, kCtrl}}, two, {6, 6}},
        {"ctrl home", two, 5, 5, {{VK_HOME, kCtrl}}, two, {0, 0}},
        {"down", two, 1, 1, {{VK_DOWN}}, two, {5, 5}},
        {"up", two, 5, 5, {{VK_UP}}, two, {1, 1}},
        {"down at the last line", two, 5, 5, {{VK_DOWN}}, two, {5, 5}},
        {"ctrl right", u"one two", 0, 0, {{VK_RIGHT, kCtrl}}, u"one two", {4, 4}},
        {"ctrl left", u"one two", 6, 6, {{VK_LEFT, kCtrl}}, u"one two", {4, 4}},
        {"backspace joins lines", two, 4, 4, {{VK_BACK, kPlain, 8}}, u"abcd", {2, 2}},
        {"backspace at the start", two, 0, 0, {{VK_BACK, kPlain, 8}}, two, {0, 0}},
        {"delete joins lines", two, 2, 2, {{VK_DELETE}}, u"abcd", {2, 2}},
        {"delete at the end", two, 6, 6, {{VK_DELETE}}, two, {6, 6}},
        {"delete a selection", two, 5, 1, {{VK_DELETE}}, u"ad", {1, 1}},
        {"typing replaces a selection", two, 0, 2, {{'X', kShift, u'X'}}, u"X\r\ncd", {1, 1}},
        {"ctrl a", two, 1, 1, {{'A', kCtrl, 1}}, two, {0, 6}},
        {"a surrogate pair is one step", u"a\U0001F600b", 1, 1, {{VK_RIGHT}}, u"a\U0001F600b", {2, 2}},
        {"backspace takes the pair", u"a\U0001F600b", 2, 2, {{VK_BACK, kPlain, 8}}, u"ab", {1, 1}},
    };
    for (const Row& r : rows) {
        HWND e = edit(r.text, ES_MULTILINE, 200, 100);
        set_selection(e, r.anchor, r.caret);
        press(e, r.keys);
        EXPECT_EQ(GetWindowText(e), r.want) << r.name;
        EXPECT_EQ(selection(e), r.sel) << r.name;
        DestroyWindow(e);
    }
}

TEST_F(EditTest, LimitHoldsForTheUserNotForTheProgram) {
    HWND e = edit(u"");
    EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), kEditDefaultLimit);
    SendMessage(e, EM_SETLIMITTEXT, 4, 0);
    EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), 4);
    type(e, u"abcdef");
    EXPECT_EQ(GetWindowText(e), u"abcd");
    EXPECT_EQ(count_of(e, EN_CHANGE), 4u);
    set_selection(e, 1, 3);  // replacing two units leaves room for two
    SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"WXYZ"));
    EXPECT_EQ(GetWindowText(e), u"aWXd");
    ASSERT_TRUE(SetWindowText(e, u"longer than four"));  // the program's text is kept whole
    EXPECT_EQ(GetWindowText(e), u"longer than four");
    // A pair typed unit by unit arrives whole or not at all; it is one character of the limit.
    HWND pairs = edit(u"");
    SendMessage(pairs, EM_SETLIMITTEXT, 1, 0);
    type(pairs, u"\U0001F600\U0001F600");
    SendMessage(pairs, WM_CHAR, 0xDC00, 0);  // a second unit alone
    EXPECT_EQ(GetWindowText(pairs), u"\U0001F600");
    SendMessage(e, EM_SETLIMITTEXT, 0, 0);
    EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), kEditMaxLimit);
    // A cut never splits a line break.
    HWND multi = edit(u"", ES_MULTILINE, 200, 100);
    SendMessage(multi, EM_SETLIMITTEXT, 3, 0);
    SendMessage(multi, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"ab\r\ncd"));
    EXPECT_EQ(GetWindowText(multi), u"ab");
}

// The messages count characters: a surrogate pair is one, a CR LF two. The text itself, and the
// buffer WM_GETTEXT fills, stay in UTF-16 units.
TEST_F(EditTest, OffsetsCountCharacters) {
    const std::u16string one = u"a\U0001F600b", two = u"a\U0001F600b\r\n\U0001F600cd";
    HWND single = edit(one);
    HWND multi = edit(two, ES_MULTILINE, 200, 100);
    struct Row {
        HWND e;
        uint32_t message;
        intptr_t wParam;
        LRESULT want;
    };
    const Row rows[] = {
        {single, WM_GETTEXTLENGTH, 0, 4},  // the units WM_GETTEXT needs
        {single, EM_LINELENGTH, 0, 3},
        {multi, EM_LINEINDEX, 1, 5},      {multi, EM_LINEINDEX, 2, -1},    {multi, EM_LINELENGTH, 0, 3},
        {multi, EM_LINELENGTH, 5, 3},     {multi, EM_LINELENGTH, 7, 3},    {multi, EM_LINEFROMCHAR, 2, 0},
        {multi, EM_LINEFROMCHAR, 4, 0},   {multi, EM_LINEFROMCHAR, 5, 1},  {multi, EM_LINEFROMCHAR, 8, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SendMessage(r.e, r.message, r.wParam, 0), r.want) << std::hex << r.message << " " << std::dec << r.wParam;
    EXPECT_EQ(GetWindowText(single), one);
    char16_t cut[3];  // room for "a" and half a pair: the pair is left out whole
    EXPECT_EQ(SendMessage(single, WM_GETTEXT, 3, reinterpret_cast<intptr_t>(cut)), 1);
    EXPECT_EQ(std::u16string(cut), u"a");

    press(single, {{VK_END}});
    EXPECT_EQ(selection(single), Sel(3, 3));
    press(single, {{VK_LEFT, kShift}, {VK_LEFT, kShift}});
    EXPECT_EQ(selection(single), Sel(1, 3));
    set_selection(single, 2, 3);
    EXPECT_EQ(SendMessage(single, EM_GETSEL, 0, 0), (3 << 16) | 2);
    SendMessage(single, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"\U0001F600x"));
    EXPECT_EQ(GetWindowText(single), u"a\U0001F600\U0001F600x");
    EXPECT_EQ(selection(single), Sel(4, 4));
    set_selection(multi, 6, 100);  // "cd"
    SendMessage(multi, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"X"));
    EXPECT_EQ(GetWindowText(multi), u"a\U0001F600b\r\n\U0001F600X");
    set_selection(multi, 2, 6);  // the caret's line, the selection's first, and what lies outside it
    EXPECT_EQ(SendMessage(multi, EM_LINEINDEX, -1, 0), 5);
    EXPECT_EQ(SendMessage(multi, EM_LINEFROMCHAR, -1, 0), 0);
    EXPECT_EQ(SendMessage(multi, EM_LINELENGTH, -1, 0), 2 + 1);

    // A limit of three characters holds "a", a pair and "b", typed, replaced or pasted.
    ASSERT_TRUE(host::clipboard::available());
    for (int how = 0; how < 3; ++how) {
        HWND e = edit(u"");
        SendMessage(e, EM_SETLIMITTEXT, 3, 0);
        if (how == 0) type(e, u"a\U0001F600bc");
        if (how == 1) SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<intptr_t>(u"a\U0001F600bc"));
        if (how == 2) {
            ASSERT_TRUE(host::clipboard::write_text("a\xF0\x9F\x98\x80" "bc"));
            SendMessage(e, WM_PASTE, 0, 0);
        }
        EXPECT_EQ(GetWindowText(e), one) << how;
        EXPECT_EQ(selection(e), Sel(3, 3)) << how;
    }
}

// Offsets convert without looking through the text: only a change looks at the units it brings.
TEST_F(EditTest, OffsetsConvertWithoutWalkingTheText) {
    std::u16string text;
    for (int i = 0; i < 2000; ++i) text += u"\U0001F600 line\r\n";  // 9 units, 8 characters
    const EditCounters made = edit_counters();
    HWND e = edit(text, ES_MULTILINE | ES_AUTOHSCROLL, 200, 100);
    const EditCounters before = edit_counters();
    EXPECT_LE(before.units_scanned - made.units_scanned, 2 * text.size());
    for (int32_t line = 0; line < 2000; line += 7) {
        const int32_t at = line * 8 + 1;  // after the line's pair
        set_selection(e, at, at);
        ASSERT_EQ(selection(e), Sel(at, at)) << line;
        ASSERT_EQ(SendMessage(e, EM_LINEINDEX, line, 0), line * 8) << line;
        ASSERT_EQ(SendMessage(e, EM_LINEFROMCHAR, at, 0), line) << line;
        ASSERT_EQ(SendMessage(e, EM_LINELENGTH, at, 0), 6) << line;
    }
    EXPECT_EQ(edit_counters().units_scanned, before.units_scanned);
    set_selection(e, 1000 * 8 + 1, 1000 * 8 + 1);
    type(e, u"\U0001F600x");
    EXPECT_LE(edit_counters().units_scanned - before.units_scanned, 16u);
    EXPECT_EQ(selection(e), Sel(1000 * 8 + 3, 1000 * 8 + 3));
    EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 1999, 0), 1999 * 8 + 2);
    EXPECT_EQ(GetWindowTextLength(e), static_cast<int32_t>(text.size()) + 3);
}

std::string clipboard_text() {
    std::string text;
    EXPECT_TRUE(host::clipboard::read_text(&text));
    return text;
}

TEST_F(EditTest, CopyCutAndPasteGoThroughTheClipboard) {
    ASSERT_TRUE(host::clipboard::available());
    HWND e = edit(u"hello world");
    set_selection(e, 0, 5);
    press(e, {{'C', kCtrl, 3}});
    EXPECT_EQ(clipboard_text(), "hello");
    press(e, {{VK_END}, {'V', kCtrl, 0x16}});
    EXPECT_EQ(GetWindowText(e), u"hello worldhello");
    set_selection(e, 5, 11);
    press(e, {{'X', kCtrl, 0x18}});
    EXPECT_EQ(GetWindowText(e), u"hellohello");
    EXPECT_EQ(clipboard_text(), " world");
    // Pasted line breaks: CR LF in a multi-line control, the first line alone in a single-line one.
    ASSERT_TRUE(host::clipboard::write_text("a\nb\rc\r\nd \xC3\xA9"));
    HWND multi = edit(u"", ES_MULTILINE, 200, 100);
    SendMessage(multi, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(multi), u"a\r\nb\r\nc\r\nd \u00E9");
    HWND single = edit(u"");
    SendMessage(single, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(single), u"a");
    // Copied, line breaks are LF again.
    set_selection(multi, 0, 6);
    SendMessage(multi, WM_COPY, 0, 0);
    EXPECT_EQ(clipboard_text(), "a\nb\n");
    ASSERT_TRUE(host::clipboard::write_text("a\nb\rc\r\nd \xC3\xA9"));
    // A malformed sequence arrives as U+FFFD.
    ASSERT_TRUE(host::clipboard::write_text("x\xE2\x82"));
    SendMessage(single, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(single), u"ax\uFFFD");
    ASSERT_TRUE(host::clipboard::write_text("a\nb\rc\r\nd \xC3\xA9"));
    // A password never reaches the clipboard.
    HWND secret = edit(u"secret", ES_PASSWORD);
    set_selection(secret, 0, -1);
    SendMessage(secret, WM_COPY, 0, 0);
    SendMessage(secret, WM_CUT, 0, 0);
    EXPECT_EQ(clipboard_text(), "a\nb\rc\r\nd \xC3\xA9");
    EXPECT_EQ(GetWindowText(secret), u"secret");
}

TEST_F(EditTest, ALongPasteUnderARaisedLimitArrivesWhole) {
    ASSERT_TRUE(host::clipboard::available());
    std::string big;
    for (int i = 0; i < 40000; ++i) big += static_cast<char>(i % 50 == 49 ? ' ' : 'a' + i % 26);
    ASSERT_TRUE(host::clipboard::write_text(big));
    const std::u16string want(big.begin(), big.end());
    // Under the default limit the paste is cut there; raised, all of it arrives, in a single-line
    // control and in one that wraps its lines.
    HWND cut = edit(u"");
    SendMessage(cut, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowTextLength(cut), kEditDefaultLimit);
    for (uint32_t style : {0u, static_cast<uint32_t>(ES_MULTILINE)}) {
        HWND e = edit(u"", style, 200, 100);
        SendMessage(e, EM_SETLIMITTEXT, 80000, 0);
        const EditCounters before = edit_counters();
        press(e, {{'V', kCtrl, 0x16}});
        const EditCounters after = edit_counters();
        EXPECT_EQ(GetWindowText(e), want) << style;
        EXPECT_EQ(count_of(e, EN_CHANGE), 1u) << style;
        // Wrapping measures each shown line a few times over, not the text once per line.
        EXPECT_LT(after.units_measured - before.units_measured, 40u * want.size()) << style;
        if (style) {
            EXPECT_GT(SendMessage(e, EM_GETLINECOUNT, 0, 0), 100);
        }
    }
}

TEST_F(EditTest, AChangeLaysOutOnlyTheLineItTouches) {
    std::u16string text;
    for (int i = 0; i < 2000; ++i) text += u"line of text\r\n";
    HWND e = edit(text, ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL, 200, 100);
    ASSERT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), 2001);
    set_selection(e, 14 * 1000 + 4, 14 * 1000 + 4);
    const EditCounters before = edit_counters();
    type(e, u"xyz\r");
    const EditCounters after = edit_counters();
    EXPECT_EQ(after.lines_laid - before.lines_laid, 1u + 1 + 1 + 2);
    EXPECT_LT(after.units_measured - before.units_measured, 200u);
    EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), 2002);
    EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 1001, 0), 14 * 1000 + 9);
    EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 2001, 0), 14 * 2000 + 5);
}

TEST_F(EditTest, FocusIsNotified) {
    HWND e = edit(u"x");
    SetFocus(e);
    SetFocus(parent());
    EXPECT_EQ(codes(e), (std::vector<uint32_t>{EN_SETFOCUS, EN_KILLFOCUS}));
}

TEST_F(EditTest, AControlDestroyedByItsOwnNotificationIsLeftAlone) {
    struct Row {
        const char* name;
        uint32_t code;
        std::function<void(HWND)> act;
    };
    const Row rows[] = {
        {"typing", EN_CHANGE, [](HWND e) { type(e, u"ab"); }},
        {"setting the text", EN_CHANGE, [](HWND e) { SetWindowText(e, u"new"); }},
        {"a click", EN_SETFOCUS,
         [](HWND e) {
             POINT p{5, 5};
             ClientToScreen(e, &p);
             mouse_input(WM_LBUTTONDOWN, p, MK_LBUTTON);
             mouse_input(WM_LBUTTONUP, p, 0);
             pump();
         }},
        {"losing the focus", EN_KILLFOCUS,
         [this](HWND e) {
             SetFocus(e);
             SetFocus(parent());
         }},
    };
    for (const Row& r : rows) {
        HWND e = edit(u"text", ES_MULTILINE);
        g_answer = [e, &r](HWND, uint32_t m, intptr_t w, intptr_t l) -> std::optional<LRESULT> {
            if (m == WM_COMMAND && l == static_cast<intptr_t>(e) && static_cast<uint32_t>(w >> 16) == r.code)
                DestroyWindow(e);
            return std::nullopt;
        };
        r.act(e);
        EXPECT_FALSE(IsWindow(e)) << r.name;
        EXPECT_EQ(GetCapture(), 0u) << r.name;
        g_answer = nullptr;
    }
}

}  // namespace
}  // namespace nuv::test::win
