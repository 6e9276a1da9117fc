// builtin-glyph-maker FACE_FILE OUTPUT_FILE: draws the glyph-file writer's built-in glyphs from the
// face and writes them as the C++ table of PropPages/glyphs/BuiltinGlyphTable.cpp.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "TableWriter.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: builtin-glyph-maker FACE_FILE OUTPUT_FILE\n";
        return 2;
    }
    builtinglyphs::BuiltinGlyphRenderer renderer(argv[1]);
    if (!renderer.Ready()) {
        std::cerr << "builtin-glyph-maker: " << renderer.Error() << "\n";
        return 1;
    }
    std::string error;
    const std::string source = builtinglyphs::TableSource(renderer, error);
    if (source.empty()) {
        std::cerr << "builtin-glyph-maker: " << error << "\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << source;
    out.close();
    if (!out) {
        std::cerr << "builtin-glyph-maker: cannot write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
