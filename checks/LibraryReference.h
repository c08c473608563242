#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// A reference to another file, held by one line of a Poser library file: the line's first word and
// the value, without its double quotes and without white space at either end.
struct LibraryReference {
    std::string_view keyword;  // one of the reference keywords (static text)
    std::string value;
    // Where the value is written in the line given to Examine, quotes and inner blanks included:
    // bytes [begin, end).
    size_t begin = 0;
    size_t end = 0;
};

// Picks the references out of the lines of one library file. A line holds a reference when its first
// word is one of these, followed by the value as it is written after it:
//   figureResFile, textureMap, bumpMap, reflectionMap, transparencyMap, readScript, morphBinaryFile:
//     the rest of the line (quotes dropped);
//   objFileGeom 0 0 path, objFile 4097 path: the path follows two numbers, or one;
//   injectPMDFileMorphs, runPythonScript, runPythonScriptEx: the first quoted token (the rest of the
//     line when the value is not quoted);
//   file: only inside a material, presetMaterial or nodeInput block (the image inputs of material
//     shader trees and of the scene's background and atmosphere trees).
// NO_MAP (with stray colons or blanks about it), an empty value and GetStringRes(...), one of Poser's
// own resources, are no reference.
//
// Whether a line lies inside such a block depends on the lines before it, so every line of the file
// goes through Examine, in order; Reset starts the next file.
class CReferenceReader {
public:
    void Reset();
    std::optional<LibraryReference> Examine(std::string_view line);

private:
    int m_depth = 0;           // braces open at this line
    int m_blockDepth = -1;     // depth of the outermost open block that holds file lines, or -1
    bool m_blockNext = false;  // such a block's word was seen; the block opens with the next brace
};

// Whether a reference names an image, which Poser looks for in Runtime:textures first.
bool NamesImage(const LibraryReference& reference);

// Absolute on some platform, for every tool that judges a path in a library file: a drive letter, a
// "\\server" share, a leading "\" (the current drive on Windows) or "/", or a colon path whose first
// component is not empty and not Runtime in any letter case (a Mac volume). ":Runtime:x" and
// "Runtime:x" are relative.
bool IsAbsoluteReference(std::string_view value);

// A reference value taken apart.
struct ReferencePath {
    bool absolute = false;  // IsAbsoluteReference
    // A relative value whose ".." components climb above the package root.
    bool escapesRoot = false;
    // The components of a relative value, split at ":", "\" and "/", without empty and "." ones and
    // with each ".." taking away the component before it.
    std::vector<std::string_view> components;
};

// Views in the result point into value.
ReferencePath ParseReferencePath(std::string_view value);

// text read as Windows code page 1252, the code page Poser writes library files in on Windows, in
// UTF-8. The five bytes the code page leaves undefined become the control characters of their value.
std::string WindowsTextToUtf8(std::string_view text);

}  // namespace veltrane
