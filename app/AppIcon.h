#pragma once

#include <QIcon>

namespace veltrane {

// The program icon, from the program's resources, in every size drawn for it.
QIcon AppIcon();

}  // namespace veltrane
