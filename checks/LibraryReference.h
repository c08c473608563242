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
};

// Picks the references out of the lines of one library file. A line holds a reference when its first
// word is figureResFile, objFileGeom (whose path follows two numbers), textureMap, bumpMap,
// reflectionMap, transparencyMap, readScript or morphBinaryFile, or when it is a `file` line inside a
// material node. NO_MAP and an empty value are no reference.
//
// Whether a line lies inside a material node depends on the lines before it, so every line of the
// file goes through Examine, in order; Reset starts the next file.
class CReferenceReader {
public:
    void Reset();
    std::optional<LibraryReference> Examine(std::string_view line);

private:
    int m_depth = 0;              // braces open at this line
    int m_materialDepth = -1;     // depth of the open material node's brace, or -1 outside one
    bool m_materialNext = false;  // a "material" line was seen; its node opens with the next brace
};

// A reference value taken apart.
struct ReferencePath {
    // Absolute on some platform: a drive letter or any colon path whose first component is not empty
    // (a Mac volume), a "\\server" share, or a leading "/".
    bool absolute = false;
    // A relative value whose ".." components climb above the package root.
    bool escapesRoot = false;
    // The components of a relative value, split at ":", "\" and "/", without empty and "." ones and
    // with each ".." taking away the component before it.
    std::vector<std::string_view> components;
};

// Views in the result point into value.
ReferencePath ParseReferencePath(std::string_view value);

}  // namespace veltrane
