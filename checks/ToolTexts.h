#pragma once

namespace veltrane {

// What a tool's tab shows around its results, and what the command line repeats: the tab's caption,
// the banner, the two mode buttons (none for List Maker and Package Check) and the labels of the two
// counter boxes, in box order.
struct ToolTexts {
    const char* caption;
    const char* banner;
    const char* firstMode;
    const char* secondMode;
    const char* firstCounter;
    const char* secondCounter;
};

inline constexpr ToolTexts kFileNamesTexts{
    "  File Names  ",
    "Check the length of file and folder names.\n(32 characters is the max file name length on Mac)",
    "This folder only",
    "Entire directory",
    "Items checked: ",
    "Problems found:",
};

inline constexpr ToolTexts kVersionTexts{
    "  Version Number  ",
    "Fix ProPack and Poser 5 version numbers\nto eliminate the error message when used in Poser 4.",
    "File Only",
    "All files in this folder",
    "Files checked: ",
    "Problems found:",
};

inline constexpr ToolTexts kPathsTexts{
    "  Check Paths  ", "Check paths inside Poser files\nto verify that they are relative and Mac compatible.",
    "File Only",       "All files in this folder",
    "Files checked: ", "Problem files:",
};

inline constexpr ToolTexts kListTexts{
    "  List Maker  ",
    "Creates a list of all files contained in a directory.\nUseful as a packing list for your products!",
    nullptr,
    nullptr,
    "Folders scanned : ",
    "Files Listed : ",
};

inline constexpr ToolTexts kPackageTexts{
    "  Package Check  ",
    "Check that a package holds every file its Poser files refer to\nand that its paths load on Windows "
    "and Mac.",
    nullptr,
    nullptr,
    "Files checked: ",
    "Problems found:",
};

// The error boxes of the tools that check files ("ERROR" is their title) and the texts their reports
// share.
inline constexpr const char* kErrorTitle = "ERROR";
inline constexpr const char* kPathMissingText =
    "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a valid "
    "path.  ";
inline constexpr const char* kNotAFolderText =
    "Path specified does not point to a folder, or it is invalid.  ";
inline constexpr const char* kFileUnreadableText = "File could not be read.  ";
inline constexpr const char* kNoProblemsFound = "No Problems found!";
inline constexpr const char* kCancelledPartialResults =
    "User Cancelled Operation. Showing partial results!\r\n\r\n";
inline constexpr const char* kUnreadableFilesHeader = "These files could not be read:\r\n";
inline constexpr const char* kCancelledNoResults = "User Cancelled Operation - no results to show";

}  // namespace veltrane
