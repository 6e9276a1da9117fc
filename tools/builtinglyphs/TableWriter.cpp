#include "TableWriter.h"

#include <cstdio>
#include <sstream>

namespace builtinglyphs {

std::string TableSource(BuiltinGlyphRenderer& renderer, std::string& error)
{
    const auto& recipes = GlyphRecipes();
    std::ostringstream arrays;
    std::ostringstream table;
    for (unsigned sizeClass = 0; sizeClass < 4; ++sizeClass) {
        table << "    {\n";
        for (size_t code = 0; code < recipes.size(); ++code) {
            const GlyphRecipe& recipe = recipes[code];
            const uint32_t width = recipe.width[sizeClass], height = recipe.height[sizeClass];
            const std::vector<uint8_t> bits = renderer.Render(recipe.characters, width, height);
            if (bits.empty()) {
                error = std::string("cannot draw the ") + recipe.name + " from " + renderer.FaceName();
                return {};
            }
            const uint32_t rowBytes = ((width + 31) / 32) * 4;
            const std::string name = "kClass" + std::to_string(sizeClass) + "Code" + std::to_string(code);
            arrays << "// " << code << " " << recipe.name << ", size class " << sizeClass << ": " << height << " rows of "
                   << width << " pixels\n";
            arrays << "const uint8_t " << name << "[] = {\n";
            for (uint32_t y = 0; y < height; ++y) {
                arrays << "   ";
                for (uint32_t b = 0; b < rowBytes; ++b) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, " 0x%02x,", bits[y * rowBytes + b]);
                    arrays << hex;
                }
                arrays << " // ";
                for (uint32_t x = 0; x < width; ++x)
                    arrays << ((bits[y * rowBytes + x / 8] & (0x80u >> (x % 8))) ? '#' : '.');
                arrays << "\n";
            }
            arrays << "};\n";
            table << "        {" << width << ", " << height << ", " << (recipe.above ? "true" : "false") << ", " << name
                  << "},\n";
        }
        table << "    },\n";
    }
    std::ostringstream out;
    out << "// The glyph-file writer's built-in glyphs, drawn by tools/builtinglyphs from " << renderer.FaceName()
        << "\n// with " << renderer.RasteriserName() << ". Generated: do not edit; run the tool again (README.md).\n"
        << "#include \"BuiltinGlyphs.h\"\n\nnamespace builtinglyphs {\nnamespace {\n\n"
        << arrays.str() << "\n} // namespace\n\n"
        << "const char kBuiltinGlyphFace[] = \"" << renderer.FaceName() << "\";\n"
        << "const char kBuiltinGlyphRasteriser[] = \"" << renderer.RasteriserName() << "\";\n\n"
        << "const BuiltinGlyph kBuiltinGlyphs[kSizeClasses][kCodes] = {\n"
        << table.str() << "};\n\n} // namespace builtinglyphs\n";
    return out.str();
}

} // namespace builtinglyphs
