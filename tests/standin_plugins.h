// The plug-in modules built for the stand-in host, each loaded once.
#pragma once

#include "standin.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace imrestore {

inline const standin::Plugin& standinPlugin(const std::string& name)
{
    static std::map<std::string, std::unique_ptr<standin::Plugin>> loaded;
    std::unique_ptr<standin::Plugin>& plugin = loaded[name];
    if (!plugin)
        plugin = std::make_unique<standin::Plugin>(std::string(IMRESTORE_STANDIN_DIR "/") + name + ".so");
    return *plugin;
}

// A call that the plug-in must refuse: its identifier imrestore:<function>:<id>,
// a part of its message, and the arguments untouched.
struct RejectedCall {
    const char* what;
    std::vector<const mxArray*> args;
    int nlhs;
    const char* id;
    const char* message;
};

inline void expectRejected(const std::string& function, const RejectedCall& bad)
{
    SCOPED_TRACE(bad.what);
    const standin::CallResult r = standinPlugin(function).call(bad.nlhs, bad.args);
    ASSERT_TRUE(r.failed);
    EXPECT_EQ(r.errorId, "imrestore:" + function + ":" + bad.id);
    EXPECT_NE(r.errorMessage.find(bad.message), std::string::npos) << r.errorMessage;
    EXPECT_FALSE(r.argumentsWritten);
}

} // namespace imrestore
