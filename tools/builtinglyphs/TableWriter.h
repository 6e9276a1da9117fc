// Writes the built-in glyphs as the C++ table that PropPages/glyphs/BuiltinGlyphs.h declares.
#pragma once
#include <string>

#include "BuiltinGlyphRenderer.h"

namespace builtinglyphs {

// The source text of the table, every glyph of GlyphRecipes() in every size class drawn by
// `renderer`; empty, with `error` set, when a glyph cannot be drawn.
std::string TableSource(BuiltinGlyphRenderer& renderer, std::string& error);

} // namespace builtinglyphs
