#include "tv/column_matrix.h"

namespace imrestore {

namespace {

bool buildTable(double* block, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* m)
{
    m->table = WorkArray<double*>(static_cast<std::size_t>(columns));
    m->column = m->table.get();
    if (!m->table)
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
    matrix->block = WorkArray<double>(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), 0.0);
    if (!matrix->block || !buildTable(matrix->block.get(), columns, rows, matrix)) {
        *matrix = ColumnMatrix{};
        return false;
    }
    return true;
}

bool wrapHostColumns(double* data, std::ptrdiff_t columns, std::ptrdiff_t rows, ColumnMatrix* matrix)
{
    matrix->block = {};
    if (!buildTable(data, columns, rows, matrix)) {
        *matrix = ColumnMatrix{};
        return false;
    }
    return true;
}

} // namespace imrestore
