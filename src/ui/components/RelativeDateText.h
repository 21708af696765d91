#pragma once

#include <QString>

// "now", "5 minutes ago", "yesterday", "last week", "in 3 hours": a moment told
// relative to another, with named days, weeks, months and years where English has
// them.
QString relativeDateText(double seconds, double nowSeconds);
