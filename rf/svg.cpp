#include "rf/svg.h"

#include "rf/numbers.h"

#include <cmath>
#include <numbers>

namespace veltrane::rf {

namespace {

constexpr int decimals = 2;

void number(std::string& out, double value) {
    append_fixed(out, std::isfinite(value) ? value : 0.0, decimals);
}

void attribute(std::string& out, std::string_view name, double value) {
    out += ' ';
    out += name;
    out += "=\"";
    number(out, value);
    out += '"';
}

void colour(std::string& out, Colour c) {
    constexpr std::string_view digits = "0123456789abcdef";
    out += '#';
    for (std::uint8_t part : {c.r, c.g, c.b}) {
        out += digits[part >> 4];
        out += digits[part & 15];
    }
}

void stroke(std::string& out, const Pen& pen) {
    out += " stroke=\"";
    colour(out, pen.colour);
    out += '"';
    attribute(out, "stroke-width", pen.width);
    if (pen.dash == Dash::Dashed) {
        out += " stroke-dasharray=\"6,4\"";
    } else if (pen.dash == Dash::Dotted) {
        out += " stroke-dasharray=\"1.5,3\"";
    }
}

// Length of the UTF-8 sequence that starts `text` at `i`, or 0 when it is not well formed.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t n = lead < 0x80                   ? 1
                    : lead >= 0xc2 && lead < 0xe0 ? 2
                    : lead >= 0xe0 && lead < 0xf0 ? 3
                    : lead >= 0xf0 && lead < 0xf5 ? 4
                                                  : 0;
    if (n == 0 || i + n > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) {
            return 0;
        }
    }
    // The second byte's narrower range after these leads: no overlong forms, no surrogates
    // (U+D800..U+DFFF), nothing above U+10FFFF. XML refuses all of them.
    const unsigned char second = n > 1 ? byte(i + 1) : 0;
    if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
        (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f)) {
        return 0;
    }
    return n;
}

// Text content with the XML specials escaped; bytes XML cannot hold (control characters, broken
// UTF-8 in a file name) become "?".
void escaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = utf8_length(text, i);
        if (n == 0 || (n == 1 && static_cast<unsigned char>(c) < 0x20)) {
            out += '?';
            i += n == 0 ? 1 : n;
            continue;
        }
        if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
}

class Writer {
  public:
    std::string run(const Picture& picture) {
        out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\"";
        attribute(out_, "width", picture.width);
        attribute(out_, "height", picture.height);
        out_ += " viewBox=\"0 0 ";
        number(out_, picture.width);
        out_ += ' ';
        number(out_, picture.height);
        out_ +=
            "\" font-family=\"sans-serif\" stroke-linejoin=\"round\" stroke-linecap=\"round\">\n";
        out_ += "<rect x=\"0\" y=\"0\" width=\"100%\" height=\"100%\" fill=\"";
        colour(out_, picture.background);
        out_ += "\"/>\n";
        for (const Operation& operation : picture.operations) {
            std::visit([this](const auto& op) { write(op); }, operation);
        }
        while (open_clips_ > 0) {
            write(EndClip{});
        }
        out_ += "</svg>\n";
        return std::move(out_);
    }

  private:
    void write(const Line& op) {
        out_ += "<line";
        attribute(out_, "x1", op.from.x);
        attribute(out_, "y1", op.from.y);
        attribute(out_, "x2", op.to.x);
        attribute(out_, "y2", op.to.y);
        stroke(out_, op.pen);
        out_ += "/>\n";
    }

    void write(const Polyline& op) {
        out_ += "<polyline fill=\"none\"";
        stroke(out_, op.pen);
        out_ += " points=\"";
        for (std::size_t i = 0; i < op.points.size(); ++i) {
            if (i > 0) {
                out_ += ' ';
            }
            number(out_, op.points[i].x);
            out_ += ',';
            number(out_, op.points[i].y);
        }
        out_ += "\"/>\n";
    }

    void write(const Circle& op) {
        out_ += "<circle";
        attribute(out_, "cx", op.centre.x);
        attribute(out_, "cy", op.centre.y);
        attribute(out_, "r", op.radius);
        if (op.fill) {
            out_ += " fill=\"";
            colour(out_, *op.fill);
            out_ += '"';
        } else {
            out_ += " fill=\"none\"";
        }
        stroke(out_, op.pen);
        out_ += "/>\n";
    }

    void write(const Arc& op) {
        const double rad = std::numbers::pi / 180;
        const double a0 = op.start_deg * rad;
        const double a1 = (op.start_deg + op.span_deg) * rad;
        // Angles turn counter-clockwise as seen, with y pointing down.
        const Point from{op.centre.x + op.radius * std::cos(a0),
                         op.centre.y - op.radius * std::sin(a0)};
        const Point to{op.centre.x + op.radius * std::cos(a1),
                       op.centre.y - op.radius * std::sin(a1)};
        out_ += "<path fill=\"none\"";
        stroke(out_, op.pen);
        out_ += " d=\"M ";
        number(out_, from.x);
        out_ += ' ';
        number(out_, from.y);
        out_ += " A ";
        number(out_, op.radius);
        out_ += ' ';
        number(out_, op.radius);
        out_ += std::fabs(op.span_deg) > 180 ? " 0 1 " : " 0 0 ";
        out_ += op.span_deg > 0 ? "0 " : "1 ";
        number(out_, to.x);
        out_ += ' ';
        number(out_, to.y);
        out_ += "\"/>\n";
    }

    void write(const FilledRect& op) {
        out_ += "<rect";
        attribute(out_, "x", op.rect.x);
        attribute(out_, "y", op.rect.y);
        attribute(out_, "width", std::max(op.rect.width, 0.0));
        attribute(out_, "height", std::max(op.rect.height, 0.0));
        out_ += " fill=\"";
        colour(out_, op.fill);
        out_ += "\"/>\n";
    }

    void write(const Text& op) {
        out_ += "<text";
        attribute(out_, "x", op.at.x);
        attribute(out_, "y", op.at.y);
        attribute(out_, "font-size", op.size);
        if (op.anchor == Anchor::Middle) {
            out_ += " text-anchor=\"middle\"";
        } else if (op.anchor == Anchor::End) {
            out_ += " text-anchor=\"end\"";
        }
        if (op.bold) {
            out_ += " font-weight=\"bold\"";
        }
        out_ += " fill=\"";
        colour(out_, op.colour);
        out_ += "\">";
        escaped(out_, op.text);
        out_ += "</text>\n";
    }

    void write(const BeginClip& op) {
        const std::string id = "clip" + std::to_string(++clip_count_);
        out_ += "<clipPath id=\"" + id + "\"><rect";
        attribute(out_, "x", op.rect.x);
        attribute(out_, "y", op.rect.y);
        attribute(out_, "width", op.rect.width);
        attribute(out_, "height", op.rect.height);
        out_ += "/></clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
        ++open_clips_;
    }

    void write(const EndClip&) {
        if (open_clips_ > 0) {
            out_ += "</g>\n";
            --open_clips_;
        }
    }

    std::string out_;
    int clip_count_ = 0;
    int open_clips_ = 0;
};

} // namespace

std::string svg_text(const Picture& picture) {
    return Writer().run(picture);
}

} // namespace veltrane::rf
