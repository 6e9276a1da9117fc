// Draws the glyph-file writer's built-in glyphs from a real face: each mark's outline, rendered with
// FreeType, stretched so that its ink fills exactly the black box the glyph must have, then made
// one bit a pixel (the glyph bitmap format: rows top first, leftmost pixel in the most significant
// bit, rows padded to 4 bytes).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace builtinglyphs {

// One built-in glyph: the characters of the face it is drawn from (one, or two side by side such
// as "SM"), and its black box in each of the four size classes.
struct GlyphRecipe {
    const char* name;
    std::u32string characters;
    uint32_t height[4];
    uint32_t width[4];
    bool above;
};

// The nineteen built-in glyphs, codes 0 to 18 in order.
const std::vector<GlyphRecipe>& GlyphRecipes();

class BuiltinGlyphRenderer {
public:
    // Opens the face; Ready() says whether that worked, Error() why not.
    explicit BuiltinGlyphRenderer(const std::string& facePath);
    ~BuiltinGlyphRenderer();
    BuiltinGlyphRenderer(const BuiltinGlyphRenderer&) = delete;
    BuiltinGlyphRenderer& operator=(const BuiltinGlyphRenderer&) = delete;

    bool Ready() const { return face_ != nullptr; }
    const std::string& Error() const { return error_; }
    // "Family Style" of the face and "FreeType major.minor.patch" of the library drawing it.
    std::string FaceName() const;
    std::string RasteriserName() const;

    // The bitmap of the characters stretched over width x height pixels: height rows of
    // ((width + 31) / 32) x 4 bytes. Empty when a character is missing from the face or has no
    // outline.
    std::vector<uint8_t> Render(const std::u32string& characters, uint32_t width, uint32_t height);

private:
    void* library_ = nullptr; // FT_Library
    void* face_ = nullptr;    // FT_Face
    std::string error_;
};

} // namespace builtinglyphs
