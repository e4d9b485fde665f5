#include "rf/label_place.h"

#include <algorithm>
#include <limits>

namespace veltrane::rf {

double Box::overlap(const Box& other) const {
    const double w = std::min(x1, other.x1) - std::max(x0, other.x0);
    const double h = std::min(y1, other.y1) - std::max(y0, other.y0);
    return w > 0 && h > 0 ? w * h : 0.0;
}

std::size_t shown_length(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

Box text_box(Point at, double size, std::size_t characters) {
    return {at.x, at.y - 0.8 * size, at.x + 0.62 * size * static_cast<double>(characters),
            at.y + 0.25 * size};
}

std::vector<Box> around(Point p, double radius, double gap, double width, double height) {
    std::vector<Box> out;
    for (const double scale : {1.0, 2.2}) {
        const double d = radius + gap * scale;
        const double dd = (radius + gap * scale) * 0.75;
        const Box right{p.x + d, p.y - height / 2, p.x + d + width, p.y + height / 2};
        const Box left{p.x - d - width, p.y - height / 2, p.x - d, p.y + height / 2};
        const Box above{p.x - width / 2, p.y - d - height, p.x + width / 2, p.y - d};
        const Box below{p.x - width / 2, p.y + d, p.x + width / 2, p.y + d + height};
        const Box up_right{p.x + dd, p.y - dd - height, p.x + dd + width, p.y - dd};
        const Box up_left{p.x - dd - width, p.y - dd - height, p.x - dd, p.y - dd};
        const Box down_right{p.x + dd, p.y + dd, p.x + dd + width, p.y + dd + height};
        const Box down_left{p.x - dd - width, p.y + dd, p.x - dd, p.y + dd + height};
        for (const Box& b : {right, left, above, below, up_right, up_left, down_right, down_left}) {
            out.push_back(b);
        }
    }
    return out;
}

Box place_label(std::span<const Box> candidates, std::span<const Box> taken, const Rect& bounds) {
    double least = std::numeric_limits<double>::infinity();
    Box best = candidates.front();
    for (const Box& c : candidates) {
        const bool within = c.x0 >= bounds.x && c.y0 >= bounds.y &&
                            c.x1 <= bounds.x + bounds.width && c.y1 <= bounds.y + bounds.height;
        double covered = 0;
        for (const Box& t : taken) {
            covered += c.overlap(t);
        }
        // Outside the bounds counts as covering as much as the label itself.
        const double cost = covered + (within ? 0.0 : (c.x1 - c.x0) * (c.y1 - c.y0));
        if (cost <= 0) {
            return c;
        }
        if (cost < least) {
            least = cost;
            best = c;
        }
    }
    return best;
}

} // namespace veltrane::rf
