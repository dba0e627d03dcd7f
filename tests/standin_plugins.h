// The plug-in modules built for the stand-in host, each loaded once.
#pragma once

#include "standin.h"

#include <map>
#include <memory>
#include <string>

inline const standin::Plugin& standinPlugin(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<standin::Plugin>> loaded;
    std::unique_ptr<standin::Plugin>& plugin = loaded[name];
    if (!plugin)
        plugin = std::make_unique<standin::Plugin>(std::string(IMRESTORE_STANDIN_DIR "/") + name + ".so");
    return *plugin;
}
