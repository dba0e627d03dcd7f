// Column tables over blocks of doubles: the work arrays of the ROF denoiser.
#pragma once

#include <cstddef>

namespace imrestore {

// A matrix reached through a table of column pointers: element (x, y) is
// entry y of column x. The columns lie one after another in one block.
struct ColumnMatrix {
    double** column;
    double* block;          // null for a table over someone else's data
    std::ptrdiff_t columns;
    std::ptrdiff_t rows;
};

// Allocates a columns×rows matrix filled with 0.0 from the heap; false, with
// nothing allocated, when memory is short.
bool newColumnMatrix(std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix);

// Releases the block and then the table (of a wrapped matrix, the table alone).
void freeColumnMatrix(ColumnMatrix* matrix);

// A table over the column-major data of a host array (column x at x·rows);
// nothing is copied. False when memory for the table is short.
bool wrapHostColumns(double* data, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix);

} // namespace imrestore
