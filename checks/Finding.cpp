#include "checks/Finding.h"

namespace veltrane {

const char* RuleName(Rule rule) {
    switch (rule) {
        case Rule::LongName:
            return "long-name";
        case Rule::UnquotedSpaces:
            return "unquoted-spaces";
        case Rule::AbsolutePath:
            return "absolute-path";
        case Rule::Backslash:
            return "backslash";
        case Rule::TooLong:
            return "too-long";
        case Rule::Version:
            return "version";
        case Rule::UnreadableFile:
            return "unreadable-file";
        case Rule::UnreadableFolder:
            return "unreadable-folder";
        case Rule::LinkOutside:
            return "link-outside";
        case Rule::MissingFile:
            return "missing-file";
        case Rule::CaseMismatch:
            return "case-mismatch";
        case Rule::OutsideRuntime:
            return "outside-runtime";
        case Rule::AnyPlatformAbsolute:
            return "any-platform-absolute";
        case Rule::Compressed:
            return "compressed";
        case Rule::NoRuntime:
            return "no-runtime";
        case Rule::Unreferenced:
            return "unreferenced";
        case Rule::UnportableName:
            return "unportable-name";
        case Rule::NonAsciiName:
            return "non-ascii-name";
        case Rule::EmptyFile:
            return "empty-file";
        case Rule::MissingThumbnail:
            return "missing-thumbnail";
        case Rule::ThumbnailSize:
            return "thumbnail-size";
        case Rule::ImageMismatch:
            return "image-mismatch";
        case Rule::NoReadme:
            return "no-readme";
        case Rule::ArchiveLayout:
            return "archive-layout";
        case Rule::JunkEntry:
            return "junk-entry";
        case Rule::BackslashEntry:
            return "backslash-entry";
        case Rule::UnsafeEntry:
            return "unsafe-entry";
        case Rule::CaseCollision:
            return "case-collision";
        case Rule::NestedArchive:
            return "nested-archive";
        case Rule::UnreadableEntry:
            return "unreadable-entry";
        case Rule::DamagedArchive:
            return "damaged-archive";
    }
    return "unknown";
}

bool IsArchiveRule(Rule rule) {
    return rule >= Rule::ArchiveLayout;
}

bool IsProblem(Rule rule) {
    return SeverityOf(rule) != Severity::Info;
}

Severity SeverityOf(Rule rule) {
    switch (rule) {
        case Rule::Unreferenced:
            return Severity::Info;
        case Rule::CaseMismatch:
        case Rule::Compressed:
        case Rule::JunkEntry:
        case Rule::CaseCollision:
        case Rule::NestedArchive:
        case Rule::NonAsciiName:
        case Rule::MissingThumbnail:
        case Rule::ThumbnailSize:
        case Rule::ImageMismatch:
        case Rule::NoReadme:
            return Severity::Warning;
        default:
            return Severity::Error;
    }
}

const char* SeverityName(Severity severity) {
    switch (severity) {
        case Severity::Error:
            return "error";
        case Severity::Warning:
            return "warning";
        case Severity::Info:
            break;
    }
    return "info";
}

unsigned FindingFields(Rule rule) {
    switch (rule) {
        case Rule::LongName:
            return kFieldPath | kFieldLength;
        case Rule::UnquotedSpaces:
        case Rule::AbsolutePath:
        case Rule::Backslash:
        case Rule::TooLong:
            return kFieldFile | kFieldLine | kFieldValue;
        case Rule::Version:
            return kFieldFile | kFieldLine | kFieldText | kFieldFixed;
        case Rule::UnreadableFile:
        case Rule::UnreadableFolder:
            return kFieldPath | kFieldError;
        case Rule::MissingFile:
        case Rule::CaseMismatch:
        case Rule::OutsideRuntime:
        case Rule::AnyPlatformAbsolute:
            return kFieldFile | kFieldLine | kFieldKeyword | kFieldValue | kFieldResolved;
        case Rule::Compressed:
        case Rule::NoRuntime:
        case Rule::Unreferenced:
        case Rule::ArchiveLayout:
        case Rule::JunkEntry:
        case Rule::NestedArchive:
        case Rule::NonAsciiName:
        case Rule::EmptyFile:
        case Rule::MissingThumbnail:
        case Rule::NoReadme:
            return kFieldPath;
        case Rule::LinkOutside:
        case Rule::BackslashEntry:
        case Rule::UnsafeEntry:
        case Rule::CaseCollision:
        case Rule::UnportableName:
        case Rule::ThumbnailSize:
        case Rule::ImageMismatch:
            return kFieldPath | kFieldValue;
        case Rule::UnreadableEntry:
        case Rule::DamagedArchive:
            return kFieldPath | kFieldError;
    }
    return kFieldPath;
}

}  // namespace veltrane
