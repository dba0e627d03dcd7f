// Warnings for arguments whose own shape contradicts the sizes in PARAMS.
// The graph plug-ins read their sizes from PARAMS alone (an image may come as
// a vector of M·N values), so a transposed image, a colour image or a graph
// array in the wrong layout would otherwise give a silently wrong result.
// Each warning has the identifier imrestore:<function>:<what>, so that
// warning('off', id) silences it.
#pragma once

#include "host/gateway.h"

#include <cstdint>
#include <cstdio>

// "512 by 300 by 3": the array's dimensions as text.
inline void describeDimensions(const mxArray* array, char* text, std::size_t size)
{
    const mwSize count = mxGetNumberOfDimensions(array);
    const mwSize* dims = mxGetDimensions(array);
    std::size_t used = 0;
    for (mwSize d = 0; d < count && used < size; ++d)
        used += static_cast<std::size_t>(std::snprintf(text + used, size - used, d ? " by %lu" : "%lu",
                                                       static_cast<unsigned long>(dims[d])));
}

// An image argument: warns when it has more than two dimensions, or two
// dimensions above 1 that are not rows by cols.
inline void warnIfNotImageShaped(const char* function, const mxArray* image, const char* name, std::int32_t rows,
                                 std::int32_t cols)
{
    char shape[96];
    describeDimensions(image, shape, sizeof shape);
    const mwSize* dims = mxGetDimensions(image);
    if (mxGetNumberOfDimensions(image) > 2)
        warnAbout(function, "imageDimensions",
                  "%s is %s, but %s takes one grey-level image (rows %d, cols %d from PARAMS) and reads only its "
                  "first plane; convert a colour image to grey first.",
                  name, shape, function, rows, cols);
    else if (dims[0] > 1 && dims[1] > 1 &&
             (dims[0] != static_cast<mwSize>(rows) || dims[1] != static_cast<mwSize>(cols)))
        warnAbout(function, "imageSize",
                  "%s is %s, but PARAMS gives rows %d and cols %d: its values are read as a %d by %d image, "
                  "column by column.%s",
                  name, shape, rows, cols, rows, cols,
                  dims[0] == static_cast<mwSize>(cols) && dims[1] == static_cast<mwSize>(rows)
                      ? " Are rows and cols swapped?"
                      : "");
}

// A graph-addressed argument (weights, neighbours, d, b): N by M by planes.
// Warns when its first two dimensions are not cols by rows, or when it has
// a plane count other than `planes`, which K = slots implies (or
// planes − 1 as well, when `oneFewerReads` says the last plane is not read).
inline void warnIfNotGraphShaped(const char* function, const mxArray* array, const char* name, std::int32_t rows,
                                 std::int32_t cols, std::int32_t slots, std::int64_t planes,
                                 bool oneFewerReads = false)
{
    const mwSize count = mxGetNumberOfDimensions(array);
    const mwSize* dims = mxGetDimensions(array);
    if (count == 2 && (dims[0] <= 1 || dims[1] <= 1))
        return;   // a vector of values, read in order
    char shape[96];
    describeDimensions(array, shape, sizeof shape);
    double held = 1;
    for (mwSize d = 2; d < count; ++d)
        held *= static_cast<double>(dims[d]);
    if (dims[0] != static_cast<mwSize>(cols) || dims[1] != static_cast<mwSize>(rows))
        warnAbout(function, "graphLayout",
                  "%s is %s, but rows %d and cols %d need %d by %d by planes: the graph arrays run along image "
                  "rows: N by M by planes.",
                  name, shape, rows, cols, cols, rows);
    else if (held != static_cast<double>(planes) && !(oneFewerReads && held == static_cast<double>(planes - 1)))
        warnAbout(function, "planeCount", "%s has %.0f planes, but iNbNeigh = %d in PARAMS gives it %lld%s.", name,
                  held, slots, static_cast<long long>(planes), oneFewerReads ? " (or one fewer)" : "");
}
