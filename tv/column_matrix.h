// Column tables over blocks of doubles: the work arrays of the ROF denoiser.
#pragma once

#include "common/work_memory.h"

#include <cstddef>

namespace imrestore {

// A matrix reached through a table of column pointers: element (x, y) is
// entry y of column x. The columns lie one after another in one block. The
// matrix owns its table and its block (none for a table over someone
// else's data) and releases them when it goes out of scope.
struct ColumnMatrix {
    double** column = nullptr;   // the table's entries
    std::ptrdiff_t columns = 0;
    std::ptrdiff_t rows = 0;
    WorkArray<double*> table;
    WorkArray<double> block;
};

// Makes `matrix` a columns×rows matrix filled with 0.0 in work memory; false,
// with nothing allocated, when memory is short.
bool newColumnMatrix(std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix);

// A table over the column-major data of a host array (column x at x·rows);
// nothing is copied. False when memory for the table is short.
bool wrapHostColumns(double* data, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix);

} // namespace imrestore
