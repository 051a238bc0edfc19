#pragma once

#include <QString>

namespace cells {

// `value` in the General number format as the office suite's CSV export writes it: at most 15
// significant digits, in fixed notation between 1E-14 and 1E+15, else as d.dddE+xxx.
QString generalNumberText(double value);

} // namespace cells
