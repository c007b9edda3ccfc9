// The draw target's writer: fuzz bytes become a few `draw` calls on a 16x16 image, each under
// `try`, with nested command blocks that mix good and bad arguments.
#include "tests/fuzz/draw_writer.h"

#include <cstdio>

namespace nuv::fuzz {

namespace {

// The rich-text face the programs draw as text (`rt`, its font `fnt`): a face object with every
// field the backend reads by position.
constexpr const char* kRichTextFace =
    "fnt: make object! [name: \"DejaVu Sans Mono\" size: 11 style: angle: color: anti-alias?: shadow: state: "
    "parent: none]\n"
    "rt: make object! [type: 'rich-text offset: 0x0 size: 16x16 text: \"Hello world\" image: color: menu: data: "
    "enabled?: visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: "
    "draw: changed: deep-changed: tabs: line-spacing: handles: none]\n"
    "rt/font: fnt\n";

class Writer {
  public:
    Writer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    std::string program() {
        out_ += "Nuv []\n";
        out_ += "img: make image! [16x16 200.100.50]\n";
        out_ += "tile: make image! [2x1 #{FF000000FF00}]\n";
        out_ += "loop-block: [box 0x0 2x2]\nappend/only loop-block loop-block\n";
        out_ += kRichTextFace;
        for (int statement = 0; statement < 4 && more(); statement++) {
            switch (pick(8)) {
                case 0: out_ += "system/view/silent?: true\n"; break;
                case 1: out_ += "system/view/silent?: false\n"; break;
                case 2: rich_data(); break;
                default: break;
            }
            out_ += pick(2) ? "try [draw 16x16 " : "try [draw img ";
            if (pick(4) == 0) out_ += "loop-block";
            else block(0);
            out_ += "]\n";
        }
        return out_;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
    int commands_ = 0;
    std::string out_;

    bool more() const { return at_ < size_; }
    uint32_t pick(uint32_t n) { return more() ? data_[at_++] % n : 0; }

    void put(const char* text) {
        out_ += text;
        out_ += ' ';
    }
    void number() {
        static const char* const kNumbers[] = {"0", "1", "2", "5", "-3", "40", "0.5", "-1.5", "1e9", "90", "360", "1000000"};
        put(kNumbers[pick(12)]);
    }
    void point() {
        static const int kCoords[] = {0, 1, 3, 8, 15, 16, -4, 100000};
        char text[48];
        if (pick(5) == 0)
            std::snprintf(text, sizeof text, "(%d.5, %d)", kCoords[pick(8)], kCoords[pick(8)]);
        else
            std::snprintf(text, sizeof text, "%dx%d", kCoords[pick(8)], kCoords[pick(8)]);
        put(text);
    }
    void points(int least, int extra) {
        for (int n = least + static_cast<int>(pick(extra + 1)); n > 0; n--) point();
    }
    void colour() {
        static const char* const kColours[] = {"red", "blue", "255.255.0", "0.0.0.128", "10.20.30.255", "off"};
        put(kColours[pick(6)]);
    }
    void brush(int depth) {
        switch (pick(6)) {
            case 0: colour(); break;
            case 1: put("off"); break;
            case 2:
            case 3: {
                static const char* const kKinds[] = {"linear", "radial", "diamond"};
                put(kKinds[pick(3)]);
                if (pick(2)) points(0, 3);
                for (int n = 1 + static_cast<int>(pick(4)); n > 0; n--) {
                    colour();
                    if (pick(2)) number();
                }
                if (pick(2)) {
                    static const char* const kSpreads[] = {"pad", "repeat", "reflect"};
                    put(kSpreads[pick(3)]);
                }
                break;
            }
            case 4:
                put("pattern");
                point();
                if (pick(2)) points(1, 1);
                block(depth + 1);
                break;
            default:
                put("bitmap");
                put(pick(4) ? "tile" : "img");
                if (pick(2)) points(1, 1);
                if (pick(2)) {
                    static const char* const kTiles[] = {"tile", "flip-x", "flip-y", "flip-xy", "clamp"};
                    put(kTiles[pick(5)]);
                }
        }
    }
    void shape_block() {
        out_ += "[";
        static const char* const kShapeWords[] = {"move", "line", "'line", "hline", "'vline", "arc", "'arc",
                                                   "curve", "'curv", "qcurve", "'qcurv", "close"};
        for (int n = static_cast<int>(pick(7)); n > 0; n--) {
            const uint32_t w = pick(12);
            put(kShapeWords[w]);
            if (w == 3 || w == 4) number();
            else if (w == 5 || w == 6) {
                point();
                if (pick(2)) number();
                if (pick(2)) number();
                if (pick(2)) put(pick(2) ? "sweep" : "large");
            } else if (w != 11) points(1, 3);
        }
        out_ += "] ";
    }
    void transformation(int depth) {
        static const char* const kNames[] = {"rotate", "scale", "translate", "skew", "transform"};
        const uint32_t which = pick(5);
        put(kNames[which]);
        if (pick(4) == 0) put(pick(2) ? "'pen" : "'fill-pen");
        switch (which) {
            case 0: number(); if (pick(2)) point(); break;
            case 1: number(); if (pick(2)) put("50%"); else number(); break;
            case 2: point(); break;
            case 3: number(); if (pick(2)) number(); break;
            default: if (pick(2)) point(); number(); number(); number(); point();
        }
        if (pick(2)) block(depth + 1);
    }
    void command(int depth) {
        commands_++;
        switch (pick(22)) {
            case 0: put("line"); points(1, 3); break;
            case 1: put("box"); points(2, 0); if (pick(2)) number(); break;
            case 2: put("circle"); point(); number(); if (pick(2)) number(); break;
            case 3: put("pen"); brush(depth); break;
            case 4: put("fill-pen"); brush(depth); break;
            case 5: put("line-width"); number(); break;
            case 6: put("push"); block(depth + 1); break;
            case 7: put("shape"); shape_block(); break;
            case 8:
                put("clip");
                if (pick(2)) points(2, 0);
                else shape_block();
                if (pick(2)) {
                    static const char* const kModes[] = {"replace", "intersect", "union", "xor", "exclude"};
                    put(kModes[pick(5)]);
                }
                if (pick(2)) block(depth + 1);
                break;
            case 9: transformation(depth); break;
            case 10: {
                static const char* const kMatrices[] = {"matrix [1 0 0 1 3 4]", "matrix [0 0 0 0 0 0]", "matrix [1 2 3]",
                                                         "reset-matrix", "invert-matrix", "reset-matrix 'pen"};
                put(kMatrices[pick(6)]);
                break;
            }
            case 11: put(pick(2) ? "here:" : "there:"); break;
            case 12: block(depth + 1); break;
            case 13: put("text"); point(); put(pick(3) ? "\"Hi ok\"" : "rt"); break;
            case 14:
                put("image");
                put(pick(3) ? "tile" : "img");
                points(0, 4);
                if (pick(3) == 0) { put("crop"); points(2, 0); }
                break;
            case 15:
                put("shadow");
                if (pick(4) == 0) put("off");
                else {
                    point();
                    if (pick(2)) number();
                    if (pick(2)) number();
                    if (pick(2)) colour();
                    if (pick(3) == 0) put("inset");
                }
                break;
            case 16: put("arc"); points(2, 0); number(); number(); if (pick(2)) put("closed"); break;
            case 17: {
                static const char* const kCurves[] = {"curve", "spline", "polygon", "triangle", "ellipse"};
                put(kCurves[pick(5)]);
                points(1, 4);
                if (pick(4) == 0) put("closed");
                break;
            }
            case 18: {
                static const char* const kStyles[] = {"line-pattern 2 3", "line-pattern", "line-join round",
                                                       "line-cap square", "anti-alias off", "anti-alias on"};
                put(kStyles[pick(6)]);
                break;
            }
            case 19: put("font"); put(pick(2) ? "rt/font" : "rt"); break;
            case 20: {
                static const char* const kJunk[] = {"bogus", "3", "\"x\"", "'pen", "#issue", "[[]]"};
                put(kJunk[pick(6)]);
                break;
            }
            default: put("line-width"); put("0"); break;
        }
    }
    void block(int depth) {
        out_ += "[";
        if (depth < 4)
            for (int n = static_cast<int>(pick(6)); n > 0 && commands_ < 40; n--) command(depth);
        out_ += "] ";
    }
    void rich_data() {
        out_ += "rt/data: [";
        for (int n = static_cast<int>(pick(5)); n > 0; n--) {
            static const char* const kRanges[] = {"1x5", "0x3", "-2x4", "3x-1", "20x2", "1x100"};
            put(kRanges[pick(6)]);
            static const char* const kStyles[] = {"bold", "italic", "underline", "strike", "255.0.0", "backdrop 0.0.255",
                                                   "\"DejaVu Sans\"", "14", "12.5", "backdrop", "bogus", "0.0.255 bold"};
            for (int s = 1 + static_cast<int>(pick(3)); s > 0; s--) put(kStyles[pick(12)]);
        }
        out_ += "]\n";
    }
};

}  // namespace

std::string write_draw_program(const uint8_t* data, size_t size) { return Writer(data, size).program(); }

}  // namespace nuv::fuzz
