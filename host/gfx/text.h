// Text formats and layouts: a UTF-8 text laid out in a box with a format and runs of colour,
// weight, style, decoration, family and size; hit tests, line metrics, and drawing on a cairo_t.
// Positions and counts are characters (code points); invalid UTF-8 is replaced with U+FFFD. A
// layout is a record until it is first measured or drawn: only then are Pango and its font map
// loaded, so making formats and layouts costs no start-up. This is the one text engine: the fonts
// of host/gfx/fonts.h measure and draw through it.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

typedef struct _cairo cairo_t;

namespace nuv::host::gfx {

// Straight (not premultiplied) colour components from 0 to 1.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
};

// A rectangle of a hit test: its top left corner and its size.
struct HitRect {
    float x = 0, y = 0, width = 0, height = 0;
};

enum class TextAlign : uint8_t { leading, trailing, center };
enum class ParagraphAlign : uint8_t { near, far, center };

constexpr float kMaxTextSize = 16384;  // pixels

// A size in points as pixels at 96 DPI.
constexpr float points_to_pixels(float points) { return points * 96 / 72; }

struct TextFormat {
    std::string family = "DejaVu Sans";
    int32_t weight = 400;  // 1 to 1000
    bool italic = false;
    float size = 16;  // pixels, above 0 and at most kMaxTextSize
    TextAlign align = TextAlign::leading;
    ParagraphAlign paragraph = ParagraphAlign::near;
    bool wrap = true;  // at words, inside a word only when it alone is too wide for the box
    // Tabs stop at every multiple of this distance; 0 is four times the size.
    float tab_stop = 0;
    // Above 0: every line is this tall with its baseline `baseline` below its top (0 is 80% of the
    // spacing). Otherwise each line is as tall as its fonts.
    float line_spacing = 0;
    float baseline = 0;
    bool antialias = true;      // grayscale; false draws aliased glyphs
    bool end_ellipsis = false;  // without wrapping, a line too wide for a bounded box ends in "…"
};

// Why the format cannot lay out text (a size out of range, a weight outside 1-1000, a negative or
// non-finite distance, an empty family), or an empty string when it can.
std::string format_error(const TextFormat& format);

// A font's vertical extent and average character width at a format's family, weight, style and
// size, in pixels; false when Pango cannot be loaded or the format is bad.
struct FontMetrics {
    float ascent = 0, descent = 0, average_width = 0;
};
bool font_metrics(const TextFormat& format, FontMetrics* out);

// Where a position lies: its left edge (or right with `trailing`), its line's top and height and
// the character's width.
struct PositionHit {
    uint32_t position = 0;
    float x = 0, y = 0, width = 0, height = 0;
};
// The position under a point: `trailing` when the point is in its right half, `inside` when the
// point is over the text.
struct PointHit {
    uint32_t position = 0;
    bool trailing = false;
    bool inside = false;
};
struct LineMetrics {
    uint32_t length = 0;  // characters, with the line break that ends the line
    float height = 0;
    float baseline = 0;  // below the line's top
};
struct LayoutMetrics {
    float left = 0, top = 0, width = 0, height = 0;  // the lines' box within the layout box
    uint32_t line_count = 0;
};

class TextLayout {
public:
    // A box width or height of 0 or less (or not finite) is unbounded. The format must be one that
    // format_error accepts; with another the layout holds no text.
    TextLayout(std::string_view utf8, const TextFormat& format, float box_width, float box_height);
    ~TextLayout();
    TextLayout(const TextLayout&) = delete;
    TextLayout& operator=(const TextLayout&) = delete;

    uint32_t length() const { return static_cast<uint32_t>(offsets_.size() - 1); }
    const std::string& text() const { return text_; }

    // Runs over [start, start + count), cut to the text; a later run wins where runs overlap.
    // False (and nothing set) for a bad value.
    bool set_colour(uint32_t start, uint32_t count, Rgba colour);
    bool set_weight(uint32_t start, uint32_t count, int32_t weight);
    void set_italic(uint32_t start, uint32_t count, bool italic);
    void set_underline(uint32_t start, uint32_t count, bool underline);
    void set_strikethrough(uint32_t start, uint32_t count, bool strikethrough);
    bool set_family(uint32_t start, uint32_t count, std::string_view family);
    bool set_size(uint32_t start, uint32_t count, float size);
    // The colour outside colour runs (black at first).
    void set_default_colour(Rgba colour) { default_colour_ = colour; }
    // Tabs at these distances from the left, then every last interval (the first stop alone
    // when there is one); replaces the format's interval. Stops of 0 or less are dropped.
    void set_tab_stops(std::span<const float> stops);

    // Positions past the end are the end; all answers are in the layout box's coordinates.
    PositionHit hit_test_position(uint32_t position, bool trailing);
    PointHit hit_test_point(float x, float y);
    // One rectangle for each line the range touches. These two fill `out` after emptying it, so
    // that a caller keeping one buffer allocates only when it grows.
    void hit_test_range(uint32_t start, uint32_t count, std::vector<HitRect>* out);
    void line_metrics(std::vector<LineMetrics>* out);
    LayoutMetrics metrics();
    // Draws the layout with its box's top left at (x, y) in the cairo_t's user space; false when
    // Pango cannot be loaded.
    bool draw(cairo_t* cr, float x, float y);

private:
    template <typename V>
    using Runs = std::map<uint32_t, std::pair<uint32_t, V>>;  // start byte -> end byte, value
    struct Paragraph;
    struct Line;
    bool ready();
    void build();
    template <typename V>
    void assign(Runs<V>& runs, uint32_t start, uint32_t count, V value);
    uint32_t byte_of(uint32_t position) const;
    uint32_t position_of(uint32_t byte) const;
    size_t line_of(uint32_t byte) const;

    std::string text_;               // valid UTF-8
    std::vector<uint32_t> offsets_;  // byte offset of every character, then the text's size
    TextFormat format_;
    bool usable_;
    float box_width_, box_height_;  // 0: unbounded
    Rgba default_colour_;
    std::vector<float> tab_stops_;
    Runs<Rgba> colours_;
    Runs<int32_t> weights_;
    Runs<bool> italics_, underlines_, strikethroughs_;
    Runs<std::string> families_;
    Runs<float> sizes_;
    bool dirty_ = true;
    std::vector<Paragraph> paragraphs_;  // made on first use
    std::vector<Line> lines_;
};

// How many times the font map was started (at most once a process) and whether Pango is loaded;
// neither loads anything.
int font_map_starts();
bool pango_loaded();

// What the layouts have asked of Pango in this process: the paragraph layouts made, the bytes
// given to them, and how often a layout's lines were worked out.
struct TextCounters {
    uint64_t layouts = 0, bytes = 0, builds = 0;
};
TextCounters text_counters();

}  // namespace nuv::host::gfx
