#pragma once

#include "index/StorageCategory.h"

#include <QColor>

// The one fixed colour of each storage category; every view that colours by
// category takes it from here.
QColor categoryColor(StorageCategory category);
