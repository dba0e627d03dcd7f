// What every plug-in does when the system refuses it something: work memory
// (under a limited address space) or a thread (pthread_create interposed).
#include "solver_fixture.h"
#include "standin_plugins.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace imrestore;

using standin::Array;
using standin::CallResult;

namespace {

std::atomic<bool> refuseThreads{false};
std::atomic<int> refusedThreads{0};

} // namespace

// Every thread the plug-ins start goes through here (the test executable
// exports it, so it comes before the C library's): refused while
// refuseThreads is set, as a system out of threads would.
extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument)
{
    if (refuseThreads.load()) {
        ++refusedThreads;
        return EAGAIN;
    }
    using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
    static const Create create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    return create(thread, attributes, start, argument);
}

namespace {

struct PluginCall {
    std::string function;
    std::vector<Array> args;
    int nlhs;
    std::size_t resultBytes = 0;   // results that must fit beside the work memory

    CallResult run() const
    {
        std::vector<const mxArray*> in;
        for (const Array& a : args)
            in.push_back(a.get());
        return standinPlugin(function).call(nlhs, in);
    }
};

Array singles(const std::vector<mwSize>& dims, const std::vector<float>& v) { return standin::makeSingle(dims, v); }
Array doubles(const std::vector<mwSize>& dims, const std::vector<double>& v) { return standin::makeDouble(dims, v); }
Array scalar(double v) { return doubles({1, 1}, {v}); }

std::vector<double> doubleImage(int M, int N)
{
    const std::vector<float> image = makeTestImage(M, N, 0.1f);
    return std::vector<double>(image.begin(), image.end());
}

PluginCall patchgraphCall(int M, int N, int patchSide, int windowSide, int nearest, int best, int nlhs)
{
    PluginCall c{"patchgraph", {}, nlhs};
    c.args.push_back(singles({mwSize(M), mwSize(N)}, makeTestImage(M, N, 0.1f)));
    c.args.push_back(singles({mwSize(patchSide), mwSize(patchSide)}, makeGaussianKernel(patchSide, 1.0f)));
    c.args.push_back(singles({1, 8}, {0, float(M), float(N), float(patchSide), float(windowSide), float(nearest),
                                      float(best), 0.05f}));
    return c;
}

// graphshrink or graphsmooth on the graph that patchgraph makes of the test image.
PluginCall solverCall(const std::string& function, int M, int N, int patchSide, int windowSide, int nearest,
                      int best, int nOuter)
{
    CallResult graph = patchgraphCall(M, N, patchSide, windowSide, nearest, best, 2).run();
    EXPECT_FALSE(graph.failed) << graph.errorMessage;
    const int K = nearest + best;
    const std::vector<float> image = makeTestImage(M, N, 0.2f);
    PluginCall c{function, {}, 1};
    c.args.push_back(singles({mwSize(M), mwSize(N)}, image));
    if (function == "graphshrink") {
        const std::vector<float> zeros(std::size_t(M) * N * K, 0.0f);
        c.args.push_back(singles({mwSize(N), mwSize(M), mwSize(K)}, zeros));
        c.args.push_back(singles({mwSize(N), mwSize(M), mwSize(K)}, zeros));
        c.args.push_back(singles({mwSize(M), mwSize(N)}, image));
        c.resultBytes = std::size_t(M) * N * (2 * K + 1) * sizeof(float);   // u, d and b
    }
    c.args.push_back(std::move(graph.results[0]));
    c.args.push_back(std::move(graph.results[1]));
    if (function == "graphshrink")
        c.args.push_back(singles({1, 9}, {0, float(M), float(N), float(patchSide), float(windowSide), float(K), 1.0f,
                                          0.5f, float(nOuter)}));
    else
        c.args.push_back(singles({1, 8}, {0, float(M), float(N), float(patchSide), float(windowSide), float(K), 0.5f,
                                          float(nOuter)}));
    return c;
}

[[maybe_unused]] PluginCall tvcleanCall(int M, int N)
{
    PluginCall c{"tvclean", {}, 1};
    c.args.push_back(doubles({mwSize(M), mwSize(N)}, doubleImage(M, N)));
    c.args.push_back(scalar(1.0));
    c.args.push_back(scalar(1e-3));
    return c;
}

PluginCall patchaffinityCall(int M, int N, int p, int t)
{
    PluginCall c{"patchaffinity", {}, 1};
    c.args.push_back(doubles({mwSize(M), mwSize(N)}, doubleImage(M, N)));
    c.args.push_back(scalar(0.5));
    c.args.push_back(scalar(p));
    c.args.push_back(scalar(t));
    return c;
}

[[maybe_unused]] PluginCall waveletCall(const std::string& function, int M, int N, int taps)
{
    PluginCall c{function, {}, 2};
    c.args.push_back(doubles({mwSize(M), mwSize(N)}, doubleImage(M, N)));
    std::vector<double> filter(taps, 0.0);
    filter[0] = filter[1] = 0.5;
    c.args.push_back(doubles({1, mwSize(taps)}, filter));
    c.args.push_back(scalar(1));
    return c;
}

bool sameResults(const CallResult& a, const CallResult& b)
{
    if (a.failed || b.failed || a.results.size() != b.results.size())
        return false;
    for (std::size_t r = 0; r < a.results.size(); ++r) {
        const mxArray* x = a.results[r].get();
        const mxArray* y = b.results[r].get();
        if (!x || !y)
            return x == y;
        if (mxGetClassID(x) != mxGetClassID(y) || standin::dimensions(x) != standin::dimensions(y) ||
            mxIsSparse(x) != mxIsSparse(y))
            return false;
        const std::size_t bytes = mxIsSparse(x) ? mxGetJc(x)[mxGetN(x)] * sizeof(double)
                                                : mxGetNumberOfElements(x) * (mxGetClassID(x) == mxDOUBLE_CLASS ? 8 : 4);
        if (std::memcmp(mxGetData(x), mxGetData(y), bytes) != 0)
            return false;
        if (mxIsSparse(x) && (std::memcmp(mxGetIr(x), mxGetIr(y), mxGetJc(x)[mxGetN(x)] * sizeof(mwIndex)) != 0 ||
                              std::memcmp(mxGetJc(x), mxGetJc(y), (mxGetN(x) + 1) * sizeof(mwIndex)) != 0))
            return false;
    }
    return true;
}

// One heap, large blocks always mapped apart and given back when freed, and
// the heap trimmed as it empties, so that no memory earlier calls reserved
// (a worker thread's heap, freed blocks) is there for later calls to use
// beyond a limit.
[[maybe_unused]] const bool mallocTuned = mallopt(M_ARENA_MAX, 1) && mallopt(M_MMAP_THRESHOLD, 128 * 1024) &&
                         mallopt(M_TRIM_THRESHOLD, 128 * 1024);

[[maybe_unused]] long addressSpaceBytes()
{
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * sysconf(_SC_PAGESIZE);
}

} // namespace

#if !defined(__SANITIZE_ADDRESS__)   // the sanitizer reserves far more address space than it uses
TEST(FailurePaths, WorkMemoryBeyondTheAddressSpaceEndsEveryPluginsCallWithAnError)
{
    // Each call needs far more than 24 MiB of work memory beside arguments
    // and results that fit; each runs in a child whose address space leaves
    // 24 MiB free beside the host's copy of the arguments and the results.
    // The error comes through the host, nothing stays allocated
    // once the module is cleared, and the process goes on.
    std::vector<PluginCall> calls;
    calls.push_back(patchgraphCall(256, 256, 3, 101, 0, 3, 3));
    calls.push_back(solverCall("graphshrink", 768, 768, 1, 3, 4, 0, 1));
    calls.push_back(solverCall("graphsmooth", 1024, 1024, 1, 3, 4, 0, 1));
    calls.push_back(tvcleanCall(1024, 1024));
    calls.push_back(patchaffinityCall(600, 600, 599, 0));
    calls.push_back(waveletCall("waveanalyze", 4, 4, 200000));
    calls.push_back(waveletCall("wavesynth", 4, 4, 200000));
    const PluginCall small = tvcleanCall(8, 8);
    for (const PluginCall& c : calls) {
        SCOPED_TRACE(c.function);
        // Loaded before the limit, and holding no work memory from earlier calls.
        for (const std::string& name : {c.function, std::string("tvclean")})
            standinPlugin(name).clear();
        // The host keeps a copy of the arguments during the call, to tell whether they were written.
        std::size_t argumentBytes = 0;
        for (const Array& a : c.args)
            argumentBytes += mxGetNumberOfElements(a.get()) * (mxGetClassID(a.get()) == mxDOUBLE_CLASS ? 8 : 4);
        ASSERT_TRUE(mallocTuned);
        malloc_trim(0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit{static_cast<rlim_t>(addressSpaceBytes()) + argumentBytes + c.resultBytes + (24u << 20),
                               RLIM_INFINITY};
            setrlimit(RLIMIT_AS, &limit);
            int failures = 0;
            const long before = addressSpaceBytes();
            for (int attempt = 0; attempt < 2; ++attempt) {
                const CallResult r = c.run();
                if (!r.failed || r.errorId != "imrestore:" + c.function + ":outOfMemory")
                    std::fprintf(stderr, "%s: %s %s\n", c.function.c_str(), r.errorId.c_str(), r.errorMessage.c_str());
                failures += !(r.failed && r.errorId == "imrestore:" + c.function + ":outOfMemory" &&
                              r.results.empty() && !r.argumentsWritten);
                if (c.function == "patchgraph")
                    failures += r.output.find("Memory allocation failure\n") == std::string::npos;
            }
            standinPlugin(c.function).clear();
            const long after = addressSpaceBytes();
            if (after - before > (4l << 20))
                std::fprintf(stderr, "%s: %ld bytes more after the calls\n", c.function.c_str(), after - before);
            failures += after - before > (4l << 20);   // a little for the C library's own bookkeeping
            failures += small.run().failed;
            _exit(failures == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}
#endif

TEST(FailurePaths, RefusedThreadsLeaveEveryResultAsItWas)
{
    // Calls large enough to be shared between two threads; with every thread
    // start refused, the caller's thread does all the work, bit for bit the same.
    setenv("IMRESTORE_THREADS", "2", 1);
    std::vector<PluginCall> calls;
    calls.push_back(patchgraphCall(96, 80, 5, 11, 4, 10, 3));
    calls.push_back(solverCall("graphshrink", 96, 80, 5, 11, 4, 10, 3));
    calls.push_back(solverCall("graphsmooth", 96, 80, 5, 11, 4, 10, 3));
    calls.push_back(patchaffinityCall(128, 96, 2, 3));
    for (const PluginCall& c : calls) {
        SCOPED_TRACE(c.function);
        const CallResult shared = c.run();
        standinPlugin(c.function).clear();   // its workers too: the next call must start threads
        refusedThreads = 0;
        refuseThreads = true;
        const CallResult alone = c.run();
        refuseThreads = false;
        EXPECT_GT(refusedThreads.load(), 0);
        EXPECT_TRUE(sameResults(shared, alone)) << alone.errorMessage;
    }
    unsetenv("IMRESTORE_THREADS");
}
