#include "tv/column_matrix.h"

#include <cstdlib>

namespace imrestore {

namespace {

bool buildTable(double* block, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* m)
{
    m->column = static_cast<double**>(std::malloc(static_cast<size_t>(columns > 0 ? columns : 1) * sizeof(double*)));
    if (!m->column)
        return false;
    for (std::ptrdiff_t x = 0; x < columns; ++x)
        m->column[x] = block + x * rows;
    m->columns = columns;
    m->rows = rows;
    return true;
}

} // namespace

bool newColumnMatrix(std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix)
{
    const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
    matrix->block = static_cast<double*>(std::calloc(count > 0 ? count : 1, sizeof(double)));
    if (!matrix->block || !buildTable(matrix->block, columns, rows, matrix)) {
        std::free(matrix->block);
        matrix->block = nullptr;
        matrix->column = nullptr;
        return false;
    }
    return true;
}

void freeColumnMatrix(ColumnMatrix* matrix)
{
    std::free(matrix->block);
    std::free(matrix->column);
    matrix->block = nullptr;
    matrix->column = nullptr;
}

bool wrapHostColumns(double* data, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix)
{
    matrix->block = nullptr;
    if (!buildTable(data, columns, rows, matrix)) {
        matrix->column = nullptr;
        return false;
    }
    return true;
}

} // namespace imrestore
