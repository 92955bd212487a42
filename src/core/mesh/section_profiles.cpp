#include "mesh/section_profiles.hpp"

#include <algorithm>

#include "step/values.hpp"

namespace quarnel {
namespace {

Ring2 rectangle(float half_x, float half_y) { return {{-half_x, -half_y}, {half_x, -half_y}, {half_x, half_y}, {-half_x, half_y}}; }

}  // namespace

std::optional<Profile> build_section_profile(std::string_view type, Attributes& a) {
    Profile p;
    if (type_is(type, "IFCRECTANGLEHOLLOWPROFILEDEF")) {
        const auto x = number_at(a, 3), y = number_at(a, 4), t = number_at(a, 5);
        if (!x || !y || !t) return std::nullopt;
        const float h = *x / 2, k = *y / 2;
        p.outer = rectangle(h, k);
        // A wall thicker than half the section leaves a void of zero size, as a solid bar.
        Ring2 hole = rectangle(std::max(h - *t, 0.0f), std::max(k - *t, 0.0f));
        std::reverse(hole.begin(), hole.end());
        p.holes.push_back(std::move(hole));
    } else if (type_is(type, "IFCCSHAPEPROFILEDEF")) {
        const auto d = number_at(a, 3), w = number_at(a, 4), t = number_at(a, 5), g = number_at(a, 6);
        if (!d || !w || !t) return std::nullopt;
        const float h = *w / 2, k = *d / 2, lip = g.value_or(*t);
        p.outer = {{-h, -k},          {h, -k},          {h, -k + lip},    {h - *t, -k + lip},
                   {h - *t, -k + *t}, {-h + *t, -k + *t}, {-h + *t, k - *t}, {h - *t, k - *t},
                   {h - *t, k - lip}, {h, k - lip},      {h, k},           {-h, k}};
    } else if (type_is(type, "IFCTRAPEZIUMPROFILEDEF")) {
        const auto bottom = number_at(a, 3), top = number_at(a, 4), y = number_at(a, 5), offset = number_at(a, 6);
        if (!bottom || !top || !y || !offset) return std::nullopt;
        const float h = *bottom / 2, k = *y / 2;
        p.outer = {{-h, -k}, {h, -k}, {-h + *offset + *top, k}, {-h + *offset, k}};
    } else if (type_is(type, "IFCASYMMETRICISHAPEPROFILEDEF")) {
        // Bottom flange width, overall depth, web, bottom flange thickness; the top flange's
        // width and thickness at 8 and 9 default to the bottom's.
        const auto bw = number_at(a, 3), d = number_at(a, 4), tw = number_at(a, 5), tf = number_at(a, 6);
        if (!bw || !d || !tw || !tf) return std::nullopt;
        const float b = *bw / 2, t = number_at(a, 8).value_or(*bw) / 2, k = *d / 2, c = *tw / 2;
        const float lower = -k + *tf, upper = k - number_at(a, 9).value_or(*tf);
        p.outer = {{-b, -k}, {b, -k}, {b, lower},  {c, lower},  {c, upper},  {t, upper},
                   {t, k},   {-t, k}, {-t, upper}, {-c, upper}, {-c, lower}, {-b, lower}};
    } else {
        return std::nullopt;
    }
    centre_on_box(p);
    return p;
}

}  // namespace quarnel
