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
    }
    return "unknown";
}

bool IsProblem(Rule rule) {
    return rule != Rule::Unreferenced;
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
            return kFieldPath;
    }
    return kFieldPath;
}

}  // namespace veltrane
