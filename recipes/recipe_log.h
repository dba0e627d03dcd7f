// The lines a recipe prints when its caller asks for them (a denoiser's
// 'Verbose' option): formatted here, printed by the host.
#pragma once

#include <cstdarg>
#include <cstdio>

namespace imrestore {

struct RecipeLog {
    void (*print)(const char* line, void* context);   // on the caller's thread
    void* context;
};

// Formats one printf-style line and hands it to the log; nothing when `log` is null.
inline void logLine(const RecipeLog* log, const char* format, ...)
{
    if (!log)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log->print(line, log->context);
}

} // namespace imrestore
