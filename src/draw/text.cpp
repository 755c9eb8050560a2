#include "draw/text.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <mutex>
#include <vector>

#include "util/strings.h"

namespace pixlane::draw {
namespace {

using Pattern = std::unique_ptr<FcPattern, CDeleter<FcPatternDestroy>>;
using GObjectRef = std::unique_ptr<void, CDeleter<g_object_unref>>;
using FontMap = std::unique_ptr<PangoFontMap, CDeleter<g_object_unref>>;
using PangoCtx = std::unique_ptr<PangoContext, CDeleter<g_object_unref>>;
using Layout = std::unique_ptr<PangoLayout, CDeleter<g_object_unref>>;
using FontDescription =
    std::unique_ptr<PangoFontDescription, CDeleter<pango_font_description_free>>;
using AttrList = std::unique_ptr<PangoAttrList, CDeleter<pango_attr_list_unref>>;
using FontOptions = std::unique_ptr<cairo_font_options_t, CDeleter<cairo_font_options_destroy>>;
using GString = std::unique_ptr<gchar, CDeleter<g_free>>;

// Screen resolution the point sizes refer to.
constexpr double kDotsPerInch = 96.0;

PangoCtx make_context(PangoFontMap* map, TextMode mode) {
    PangoCtx ctx(pango_font_map_create_context(map));
    if (!ctx) {
        return nullptr;
    }
    pango_cairo_context_set_resolution(ctx.get(), kDotsPerInch);
    const FontOptions options(cairo_font_options_create());
    if (mode == TextMode::Raster) {
        cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_FULL);
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_ON);
    } else {
        cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    }
    pango_cairo_context_set_font_options(ctx.get(), options.get());
    return ctx;
}

} // namespace

struct TextFont::Impl {
    // The font map and contexts are Pango's objects, which take one thread
    // at a time; the frames of a file may be drawn on several.
    mutable std::mutex lock;
    FontMap map;
    PangoCtx raster;
    PangoCtx vector;
    FontDescription description;
    AttrList attributes;

    // A layout of `text` (invalid UTF-8 replaced) in the context of `mode`.
    Layout layout(std::string_view text, TextMode mode) const {
        Layout l(pango_layout_new(mode == TextMode::Raster ? raster.get() : vector.get()));
        if (!l) {
            return nullptr;
        }
        pango_layout_set_font_description(l.get(), description.get());
        pango_layout_set_attributes(l.get(), attributes.get());
        const GString valid(g_utf8_make_valid(text.data(), gssize(text.size())));
        pango_layout_set_text(l.get(), valid.get(), -1);
        return l;
    }
};

std::optional<std::string> resolve_font_face(std::string_view face) {
    if (face.empty() || !FcInit()) {
        return std::nullopt;
    }
    const std::string name(face);
    const Pattern pattern(FcPatternCreate());
    if (!pattern || !FcPatternAddString(pattern.get(), FC_FAMILY,
                                        reinterpret_cast<const FcChar8*>(name.c_str()))) {
        return std::nullopt;
    }
    FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());

    // The requested name and its metric-compatible aliases are bound strongly;
    // the generic fallbacks fontconfig appends are bound weakly.
    std::vector<std::string> accepted;
    FcValue value;
    FcValueBinding binding;
    for (int i = 0;
         FcPatternGetWithBinding(pattern.get(), FC_FAMILY, i, &value, &binding) == FcResultMatch;
         ++i) {
        if (value.type == FcTypeString && binding == FcValueBindingStrong) {
            accepted.emplace_back(reinterpret_cast<const char*>(value.u.s));
        }
    }

    FcResult result = FcResultNoMatch;
    const Pattern match(FcFontMatch(nullptr, pattern.get(), &result));
    if (!match) {
        return std::nullopt;
    }
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        const std::string_view found(reinterpret_cast<const char*>(family));
        for (const auto& a : accepted) {
            if (iequals(found, a)) {
                return std::string(found);
            }
        }
    }
    return std::nullopt;
}

TextFont::TextFont(std::unique_ptr<Impl> impl, std::string family)
    : m_impl(std::move(impl)), m_family(std::move(family)) {}

TextFont::~TextFont() = default;

std::unique_ptr<TextFont> TextFont::load(const FontSpec& spec) {
    // Beyond the largest side of a canvas no text could be drawn anyway.
    constexpr int kMaxPoints = 32767;
    if (spec.points < 1 || spec.points > kMaxPoints) {
        return nullptr;
    }
    auto family = resolve_font_face(spec.face);
    if (!family) {
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->map.reset(pango_cairo_font_map_new());
    if (!impl->map) {
        return nullptr;
    }
    impl->raster = make_context(impl->map.get(), TextMode::Raster);
    impl->vector = make_context(impl->map.get(), TextMode::Vector);
    impl->description.reset(pango_font_description_new());
    impl->attributes.reset(pango_attr_list_new());
    if (!impl->raster || !impl->vector || !impl->description || !impl->attributes) {
        return nullptr;
    }
    PangoFontDescription* d = impl->description.get();
    pango_font_description_set_family(d, family->c_str());
    pango_font_description_set_size(d, spec.points * PANGO_SCALE);
    pango_font_description_set_weight(d, spec.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(d, spec.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    if (spec.underline) {
        pango_attr_list_insert(impl->attributes.get(),
                               pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    }
    if (spec.strikethrough) {
        pango_attr_list_insert(impl->attributes.get(), pango_attr_strikethrough_new(TRUE));
    }
    // Pango must actually find a font for the description.
    GObjectRef font(pango_font_map_load_font(impl->map.get(), impl->raster.get(), d));
    if (!font) {
        return nullptr;
    }
    return std::unique_ptr<TextFont>(new TextFont(std::move(impl), std::move(*family)));
}

TextExtent TextFont::measure(std::string_view text, TextMode mode) const {
    std::lock_guard guard(m_impl->lock);
    const Layout l = m_impl->layout(text, mode);
    if (!l) {
        return {};
    }
    if (mode == TextMode::Raster) {
        PangoRectangle logical;
        pango_layout_get_pixel_extents(l.get(), nullptr, &logical);
        return {double(logical.width), double(logical.height)};
    }
    PangoRectangle logical;
    pango_layout_get_extents(l.get(), nullptr, &logical);
    return {double(logical.width) / PANGO_SCALE, double(logical.height) / PANGO_SCALE};
}

void TextFont::draw(Canvas& canvas, std::string_view text, double x, double y, Rgba colour,
                    TextMode mode) const {
    std::lock_guard guard(m_impl->lock);
    const Context cr = canvas.context();
    const Layout l = m_impl->layout(text, mode);
    if (!cr || !l) {
        return;
    }
    cairo_set_source_rgba(cr.get(), colour.r / 255.0, colour.g / 255.0, colour.b / 255.0,
                          colour.a / 255.0);
    if (mode == TextMode::Raster) {
        // Whole-pixel origin, no coverage fractions, and the glyph pixels
        // replaced rather than blended.
        cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
        cairo_set_operator(cr.get(), CAIRO_OPERATOR_SOURCE);
        cairo_move_to(cr.get(), std::round(x), std::round(y));
    } else {
        cairo_move_to(cr.get(), x, y);
    }
    pango_cairo_show_layout(cr.get(), l.get());
}

} // namespace pixlane::draw
