#include "fs/tree/FileRecord.h"

namespace veltrane {

std::string CFileRecord::GetFolderPart() const {
    PathParts p = SplitPath(m_path);
    return std::string(m_path.substr(0, p.drive.size() + p.directory.size()));
}

std::string CFileRecord::GetNamePart() const {
    PathParts p = SplitPath(m_path);
    return std::string(m_path.substr(p.drive.size() + p.directory.size()));
}

}  // namespace veltrane
