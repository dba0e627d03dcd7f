#include "fuzz_calls.h"

#include "../standin_plugins.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace imrestore {
namespace fuzz {

namespace {

using standin::Array;

// The input bytes, read front to back; past their end every read is 0, so
// that any prefix of an input still describes a call.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return next_ >= size_; }
    unsigned byte() { return next_ < size_ ? data_[next_++] : 0; }
    int below(int count) { return count <= 1 ? 0 : static_cast<int>(byte() % static_cast<unsigned>(count)); }
    double unit() { return byte() / 255.0; }

private:
    const std::uint8_t* data_;
    std::size_t size_, next_ = 0;
};

// Image values from a seed, the same for the same seed.
std::vector<double> pixels(std::size_t count, unsigned seed)
{
    std::vector<double> values(count);
    std::uint32_t state = 2463534242u + seed * 2654435761u;
    for (double& v : values) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        v = (state % 100000) / 100000.0;
    }
    return values;
}

template <class T>
Array filled(mxClassID classId, const std::vector<mwSize>& dims, const std::vector<double>& values)
{
    Array a = standin::makeArray(classId, dims);
    T* data = static_cast<T*>(mxGetData(a.get()));
    const std::size_t n = mxGetNumberOfElements(a.get());
    for (std::size_t e = 0; e < n && e < values.size(); ++e)
        data[e] = static_cast<T>(values[e]);
    return a;
}

Array doubles(const std::vector<mwSize>& dims, const std::vector<double>& v) { return filled<double>(mxDOUBLE_CLASS, dims, v); }
Array singles(const std::vector<mwSize>& dims, const std::vector<double>& v) { return filled<float>(mxSINGLE_CLASS, dims, v); }
Array scalar(double v) { return doubles({1, 1}, {v}); }

// Element e of a dense array, as a double (0 for classes without numbers).
double element(const mxArray* a, std::size_t e)
{
    const void* d = mxGetData(a);
    switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: return static_cast<const double*>(d)[e];
    case mxSINGLE_CLASS: return static_cast<const float*>(d)[e];
    case mxINT32_CLASS: return static_cast<const std::int32_t*>(d)[e];
    case mxINT8_CLASS: return static_cast<const std::int8_t*>(d)[e];
    case mxUINT16_CLASS: return static_cast<const std::uint16_t*>(d)[e];
    case mxLOGICAL_CLASS: case mxUINT8_CLASS: return static_cast<const std::uint8_t*>(d)[e];
    case mxCHAR_CLASS: return static_cast<const std::uint16_t*>(d)[e];
    default: return 0;
    }
}

template <class T>
T saturate(double v)
{
    if (std::isnan(v))
        return 0;
    const double low = static_cast<double>(std::numeric_limits<T>::lowest());
    const double high = static_cast<double>(std::numeric_limits<T>::max());
    return static_cast<T>(std::min(std::max(v, low), high));
}

void setElement(mxArray* a, std::size_t e, double v)
{
    void* d = mxGetData(a);
    switch (mxGetClassID(a)) {
    case mxDOUBLE_CLASS: static_cast<double*>(d)[e] = v; break;
    case mxSINGLE_CLASS: static_cast<float*>(d)[e] = static_cast<float>(v); break;
    case mxINT32_CLASS: static_cast<std::int32_t*>(d)[e] = saturate<std::int32_t>(v); break;
    case mxINT8_CLASS: static_cast<std::int8_t*>(d)[e] = saturate<std::int8_t>(v); break;
    case mxUINT16_CLASS: case mxCHAR_CLASS: static_cast<std::uint16_t*>(d)[e] = saturate<std::uint16_t>(v); break;
    case mxLOGICAL_CLASS: case mxUINT8_CLASS: static_cast<std::uint8_t*>(d)[e] = saturate<std::uint8_t>(v); break;
    default: break;
    }
}

std::vector<double> valuesOf(const mxArray* a)
{
    std::vector<double> v;
    if (mxIsSparse(a))
        return v;
    for (std::size_t e = 0; e < mxGetNumberOfElements(a); ++e)
        v.push_back(element(a, e));
    return v;
}

std::vector<mwSize> dimsOf(const mxArray* a)
{
    const mwSize* d = mxGetDimensions(a);
    return std::vector<mwSize>(d, d + mxGetNumberOfDimensions(a));
}

// A copy of `a` as another class (sparse and complex included), same values
// where the class holds them.
Array recast(const mxArray* a, int choice)
{
    static const mxClassID classes[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxINT32_CLASS, mxINT8_CLASS,
                                        mxUINT16_CLASS, mxLOGICAL_CLASS, mxCHAR_CLASS,  mxCELL_CLASS,
                                        mxSTRUCT_CLASS};
    const std::vector<double> v = valuesOf(a);
    std::vector<mwSize> dims = dimsOf(a);
    if (choice == 9) {   // sparse
        Array s(mxCreateSparse(dims[0], dims[1], 1, mxREAL));
        return s;
    }
    if (choice >= 10) {   // complex, double or single
        Array c = standin::makeArray(choice == 10 ? mxDOUBLE_CLASS : mxSINGLE_CLASS, dims, mxCOMPLEX);
        for (std::size_t e = 0; e < v.size() && e < mxGetNumberOfElements(c.get()); ++e)
            setElement(c.get(), e, v[e]);
        return c;
    }
    Array r = standin::makeArray(classes[choice], dims);
    for (std::size_t e = 0; e < v.size() && e < mxGetNumberOfElements(r.get()); ++e)
        setElement(r.get(), e, v[e]);
    return r;
}

// A copy of `a` of another shape, same class, its values in order and then
// more from `seed`.
Array reshaped(const mxArray* a, int choice, unsigned seed)
{
    std::vector<mwSize> d = dimsOf(a);
    const mwSize m = d[0], n = d.size() > 1 ? d[1] : 1;
    std::vector<mwSize> dims;
    switch (choice) {
    case 0: dims = {0, 0}; break;
    case 1: dims = {1, 1}; break;
    case 2: dims = {1, m * n}; break;
    case 3: dims = {m * n, 1}; break;
    case 4: dims = {m, n, 2}; break;
    case 5: dims = {m + 1, n}; break;
    case 6: dims = {m > 0 ? m - 1 : 0, n}; break;
    default: dims = {m, n > 0 ? n - 1 : 0}; break;
    }
    if (mxIsSparse(a) || mxGetClassID(a) == mxCELL_CLASS || mxGetClassID(a) == mxSTRUCT_CLASS)
        return standin::makeArray(mxIsSparse(a) ? mxDOUBLE_CLASS : mxGetClassID(a), dims);
    Array r = standin::makeArray(mxGetClassID(a), dims, mxIsComplex(a) ? mxCOMPLEX : mxREAL);
    std::vector<double> v = valuesOf(a);
    const std::vector<double> more = pixels(mxGetNumberOfElements(r.get()), seed);
    for (std::size_t e = 0; e < mxGetNumberOfElements(r.get()); ++e)
        setElement(r.get(), e, e < v.size() ? v[e] : more[e]);
    return r;
}

double special(int choice, Bytes& bytes)
{
    const double values[] = {std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             -0.0,
                             5e-324,
                             1e38,
                             2147483648.0,
                             9007199254740992.0,
                             -1,
                             0,
                             1e300,
                             1e-300,
                             3.5,
                             -2147483649.0};
    const int count = sizeof values / sizeof values[0];
    return choice < count ? values[choice] : bytes.unit() * 40 - 10;
}

// Where each function keeps its PARAMS vector (-1: none) and the argument a
// large count goes to, with the values it takes.
int paramsArgument(const std::string& f)
{
    return f == "patchgraph" ? 2 : f == "graphshrink" ? 6 : f == "graphsmooth" ? 3 : f == "imrestore_denoise" ? 3 : -1;
}

struct Graph {
    Array weights, neighbours;
    int K = 0;
};

// A graph from the patchgraph plug-in itself, as users make one.
Graph realGraph(const Array& image, int M, int N, int patchSide, int windowSide, int nearest, int best)
{
    Graph g;
    std::vector<double> kernel(patchSide * patchSide, 1.0);
    const Array k = singles({mwSize(patchSide), mwSize(patchSide)}, kernel);
    const Array p = singles({1, 8}, {0, double(M), double(N), double(patchSide), double(windowSide), double(nearest),
                                     double(best), 0.05});
    standin::CallResult r = standinPlugin("patchgraph").call(2, {image.get(), k.get(), p.get()});
    if (!r.failed) {
        g.weights = std::move(r.results[0]);
        g.neighbours = std::move(r.results[1]);
        g.K = nearest + best;
    } else {
        g.weights = standin::makeArray(mxSINGLE_CLASS, {0, 0});
        g.neighbours = standin::makeArray(mxINT32_CLASS, {mwSize(N), mwSize(M)});
    }
    return g;
}

// The valid call of each function, its sizes drawn from the first bytes.
Call validCall(const std::string& f, Bytes& bytes)
{
    Call c;
    char text[160];
    if (f == "waveanalyze" || f == "wavesynth") {
        static const int sides[] = {8, 1, 2, 4, 16, 12, 6, 40};
        const int M = sides[bytes.below(8)], N = sides[bytes.below(8)];
        const int taps = 2 * (1 + bytes.below(5));
        std::vector<double> filter = pixels(taps, bytes.byte());
        const int L = bytes.below(5);
        c.args.push_back(doubles({mwSize(M), mwSize(N)}, pixels(M * N, bytes.byte())));
        c.args.push_back(doubles({1, mwSize(taps)}, filter));
        c.args.push_back(scalar(L));
        c.nlhs = 2;
        std::snprintf(text, sizeof text, "%s(%dx%d, %d taps, L %d)", f.c_str(), M, N, taps, L);
    } else if (f == "tvclean") {
        const int M = 2 + bytes.below(15), N = 2 + bytes.below(15);
        static const double tolerances[] = {1e-3, 1e-2, 1e-6, 0.5};
        const double mu = 0.1 + 10 * bytes.unit(), tol = tolerances[bytes.below(4)];
        c.args.push_back(doubles({mwSize(M), mwSize(N)}, pixels(M * N, bytes.byte())));
        c.args.push_back(scalar(mu));
        c.args.push_back(scalar(tol));
        std::snprintf(text, sizeof text, "tvclean(%dx%d, mu %g, tol %g)", M, N, mu, tol);
    } else if (f == "imrestore_denoise") {
        static const char* const methods[] = {"tvdenoise", "wavedenoise", "noiselevel"};
        const int method = bytes.below(3);
        const int M = 1 + bytes.below(20), N = 1 + bytes.below(20), C = 1 + bytes.below(3);
        c.args.push_back(standin::makeString(methods[method]));
        c.args.push_back(doubles({mwSize(M), mwSize(N), mwSize(C)}, pixels(M * N * C, bytes.byte())));
        if (method != 2) {
            const int sigmas = bytes.below(3);   // none (estimated), one, one per channel
            const int count = sigmas == 0 ? 0 : sigmas == 1 ? 1 : C;
            c.args.push_back(doubles({1, mwSize(count)}, std::vector<double>(count, 0.02 + 0.2 * bytes.unit())));
        }
        if (method == 0) {
            const double mu = bytes.below(2) ? 0 : 1 + 40 * bytes.unit();
            c.args.push_back(doubles({1, 3}, {mu, bytes.below(2) ? 1e-3 : 1e-2, double(bytes.below(2))}));
        } else if (method == 1) {
            const int levels = 1 + bytes.below(6), shifts = 1 + bytes.below(3), taps = 2 * (1 + bytes.below(4));
            c.args.push_back(doubles({1, 4}, {double(levels), 0.5 + bytes.unit(), double(shifts), double(bytes.below(2))}));
            c.args.push_back(doubles({1, mwSize(taps)}, pixels(taps, bytes.byte())));
        }
        c.nlhs = 1 + bytes.below(2);
        std::snprintf(text, sizeof text, "imrestore_denoise('%s', %dx%dx%d)", methods[method], M, N, C);
    } else if (f == "patchaffinity") {
        const int M = 1 + bytes.below(16), N = 1 + bytes.below(16);
        const int p = std::min(bytes.below(4), std::min(M, N) - 1), t = bytes.below(7);
        const double h = 0.05 + bytes.unit();
        c.args.push_back(doubles({mwSize(M), mwSize(N)}, pixels(M * N, bytes.byte())));
        c.args.push_back(scalar(h));
        if (bytes.below(4) != 3) {   // most calls give p and t
            c.args.push_back(scalar(p));
            c.args.push_back(scalar(t));
        }
        std::snprintf(text, sizeof text, "patchaffinity(%dx%d, h %g, p %d, t %d)", M, N, h, p, t);
    } else {
        const int M = 3 + bytes.below(14), N = 3 + bytes.below(14);
        static const int patchSides[] = {3, 1, 5}, windowSides[] = {5, 3, 7};
        int patchSide = patchSides[bytes.below(3)], windowSide = windowSides[bytes.below(3)];
        if ((patchSide - 1) / 2 + (windowSide - 1) / 2 > std::min(M, N)) {
            patchSide = 1;
            windowSide = 3;
        }
        const int nearest = 4 * bytes.below(2), best = bytes.below(9);
        const Array image = singles({mwSize(M), mwSize(N)}, pixels(M * N, bytes.byte()));
        if (f == "patchgraph") {
            c.args.push_back(singles({mwSize(M), mwSize(N)}, valuesOf(image.get())));
            c.args.push_back(singles({mwSize(patchSide), mwSize(patchSide)}, pixels(patchSide * patchSide, 3)));
            c.args.push_back(singles({1, 8}, {double(bytes.below(2)), double(M), double(N), double(patchSide),
                                              double(windowSide), double(nearest), double(best), 0.02 + bytes.unit()}));
            c.nlhs = 1 + bytes.below(3);
            std::snprintf(text, sizeof text, "patchgraph(%dx%d, patch %d, window %d, nearest %d, best %d)", M, N,
                          patchSide, windowSide, nearest, best);
        } else {
            Graph g = realGraph(image, M, N, patchSide, windowSide, nearest, best);
            const double mu = 0.05 + 5 * bytes.unit();
            const int nOuter = bytes.below(6);
            if (f == "graphshrink") {
                static const double lambdas[] = {1, 0, 0.5, 3};
                const double lambda = lambdas[bytes.below(4)];
                const std::vector<double> zeros(std::size_t(M) * N * g.K, 0.0);
                c.args.push_back(singles({mwSize(M), mwSize(N)}, valuesOf(image.get())));
                c.args.push_back(singles({mwSize(N), mwSize(M), mwSize(g.K)}, zeros));
                c.args.push_back(singles({mwSize(N), mwSize(M), mwSize(g.K)}, zeros));
                c.args.push_back(singles({mwSize(M), mwSize(N)}, valuesOf(image.get())));
                c.args.push_back(std::move(g.weights));
                c.args.push_back(std::move(g.neighbours));
                c.args.push_back(singles({1, 9}, {double(bytes.below(2)), double(M), double(N), double(patchSide),
                                                  double(windowSide), double(g.K), lambda, mu, double(nOuter)}));
                c.nlhs = 1 + bytes.below(4);
                std::snprintf(text, sizeof text, "graphshrink(%dx%d, K %d, lambda %g, mu %g, nOuter %d)", M, N, g.K,
                              lambda, mu, nOuter);
            } else {
                c.args.push_back(singles({mwSize(M), mwSize(N)}, valuesOf(image.get())));
                c.args.push_back(std::move(g.weights));
                c.args.push_back(std::move(g.neighbours));
                c.args.push_back(singles({1, 8}, {double(bytes.below(2)), double(M), double(N), double(patchSide),
                                                  double(windowSide), double(g.K), mu, double(nOuter)}));
                std::snprintf(text, sizeof text, "graphsmooth(%dx%d, K %d, mu %g, nOuter %d)", M, N, g.K, mu, nOuter);
            }
        }
    }
    c.description = text;
    return c;
}

// Applies one mutation drawn from the bytes and says what it was.
void mutate(const std::string& f, Call& c, Bytes& bytes)
{
    char text[160] = "";
    const int kind = bytes.below(9);
    const int a = c.args.empty() ? 0 : bytes.below(static_cast<int>(c.args.size()));
    const int params = paramsArgument(f);
    switch (kind) {
    case 0:
        if (!c.args.empty()) {
            const int choice = bytes.below(12);
            c.args[a] = recast(c.args[a].get(), choice);
            std::snprintf(text, sizeof text, "argument %d as class choice %d", a + 1, choice);
        }
        break;
    case 1:
        if (!c.args.empty()) {
            const int choice = bytes.below(8);
            c.args[a] = reshaped(c.args[a].get(), choice, bytes.byte());
            std::snprintf(text, sizeof text, "argument %d reshaped (choice %d)", a + 1, choice);
        }
        break;
    case 2:
    case 8:
        if (!c.args.empty() && !mxIsSparse(c.args[a].get()) && mxGetNumberOfElements(c.args[a].get()) > 0) {
            mxArray* arg = c.args[a].get();
            const std::size_t e = (bytes.byte() * 256u + bytes.byte()) % mxGetNumberOfElements(arg);
            double v = special(bytes.below(16), bytes);
            if (kind == 8 && mxGetClassID(arg) == mxINT32_CLASS) {   // neighbours out of range
                const double dims[] = {-1, double(dimsOf(arg)[0]), double(dimsOf(arg)[1]), 2147483647.0, -2147483648.0};
                v = dims[bytes.below(5)];
            }
            setElement(arg, e, v);
            std::snprintf(text, sizeof text, "argument %d element %zu = %g", a + 1, e, v);
        }
        break;
    case 3:
        if (bytes.below(2) == 0 && !c.args.empty()) {
            c.args.pop_back();
            std::snprintf(text, sizeof text, "last argument dropped");
        } else if (!c.args.empty()) {
            c.args.push_back(recast(c.args[a].get(), 0));
            std::snprintf(text, sizeof text, "argument %d repeated at the end", a + 1);
        }
        break;
    case 4:
        c.nlhs = bytes.below(6);
        std::snprintf(text, sizeof text, "%d results", c.nlhs);
        break;
    case 5:
        if (params >= 0 && params < static_cast<int>(c.args.size())) {
            std::vector<double> v = valuesOf(c.args[params].get());
            const int length = bytes.below(2) == 0 ? bytes.below(static_cast<int>(v.size()))
                                                   : static_cast<int>(v.size()) + 1 + bytes.below(3);
            v.resize(length, 1.0);
            c.args[params] = singles({1, mwSize(length)}, v);
            std::snprintf(text, sizeof text, "PARAMS of %d elements", length);
        }
        break;
    case 6: {
        // Large counts and levels, on images small enough for a valid call to stay fast.
        int where = -1, index = 0;
        double value = 0;
        if (f == "graphshrink" || f == "graphsmooth") {
            static const double outer[] = {500, 2000, 5000};
            where = params, index = f == "graphshrink" ? 8 : 7, value = outer[bytes.below(3)];
        } else if (f == "patchgraph") {
            static const double best[] = {24, 48, 1e4, 1e6};
            where = params, index = 6, value = best[bytes.below(4)];
        } else if (f == "waveanalyze" || f == "wavesynth") {
            static const double levels[] = {20, 3000, 2147483647.0};
            where = 2, value = levels[bytes.below(3)];
        } else if (f == "imrestore_denoise") {
            // Levels (capped by the image), shifts beyond the largest, a huge weight.
            static const double values[] = {1e9, 65, 1e300};
            const int choice = bytes.below(3);
            where = params, index = choice, value = values[choice];
        } else if (f == "patchaffinity") {
            static const double radii[] = {50, 3000, 1e9};
            where = c.args.size() >= 4 ? 3 : -1, value = radii[bytes.below(3)];
        } else {
            static const double tolerances[] = {1e-10, 1e-9};
            where = 2, value = tolerances[bytes.below(2)];
        }
        if (where >= 0 && where < static_cast<int>(c.args.size()) &&
            static_cast<std::size_t>(index) < mxGetNumberOfElements(c.args[where].get()) &&
            !mxIsSparse(c.args[where].get())) {
            setElement(c.args[where].get(), index, value);
            std::snprintf(text, sizeof text, "argument %d element %d = %g (large)", where + 1, index, value);
        }
        break;
    }
    case 7: {
        // Filters and kernels: empty, one tap, odd, longer than the signal.
        const int where = f == "waveanalyze" || f == "wavesynth" ? 1 : f == "patchgraph" ? 1
                          : f == "imrestore_denoise" ? 4 : -1;
        if (where >= 0 && where < static_cast<int>(c.args.size())) {
            static const int lengths[] = {0, 1, 3, 5, 257, 5001};
            const int length = lengths[bytes.below(6)];
            c.args[where] = doubles({1, mwSize(length)}, pixels(length, bytes.byte()));
            if (f == "patchgraph")
                c.args[where] = recast(c.args[where].get(), 1);
            std::snprintf(text, sizeof text, "argument %d of %d taps", where + 1, length);
        }
        break;
    }
    }
    if (text[0]) {
        c.description += "; ";
        c.description += text;
    }
}

// Trailing singleton dimensions dropped, as the hosts do.
std::vector<mwSize> normalised(std::vector<mwSize> dims)
{
    while (dims.size() > 2 && dims.back() == 1)
        dims.pop_back();
    return dims;
}

std::string show(const std::vector<mwSize>& dims)
{
    std::string s;
    for (mwSize d : dims)
        s += (s.empty() ? "" : "x") + std::to_string(d);
    return s;
}

// The class and size each result of a successful call must have.
struct Expected {
    mxClassID classId;
    bool sparse;
    std::vector<mwSize> dims;
};

std::vector<Expected> expectedResults(const std::string& f, const Call& c)
{
    const mxArray* first = c.args[0].get();
    if (f == "imrestore_denoise") {
        const std::vector<mwSize> image = dimsOf(c.args[1].get());
        const mwSize channels = image.size() > 2 ? image[2] : 1;
        std::string method;
        for (double unit : valuesOf(c.args[0].get()))
            method += static_cast<char>(unit);
        if (method == "noiselevel")
            return {{mxDOUBLE_CLASS, false, {1, channels}}};
        return {{mxDOUBLE_CLASS, false, image}, {mxDOUBLE_CLASS, false, {1, channels}}};
    }
    if (f == "tvclean")
        return {{mxDOUBLE_CLASS, false, {mxGetM(first), mxGetN(first)}}};
    if (f == "waveanalyze" || f == "wavesynth")
        return {{mxDOUBLE_CLASS, false, dimsOf(first)}, {mxDOUBLE_CLASS, false, {1, 1}}};
    if (f == "patchaffinity") {
        const mwSize n = mxGetNumberOfElements(first);
        return {{mxDOUBLE_CLASS, true, {n, n}}};
    }
    const std::vector<double> p = valuesOf(c.args[paramsArgument(f)].get());
    const mwSize M = static_cast<mwSize>(p[1]), N = static_cast<mwSize>(p[2]);
    if (f == "patchgraph") {
        const mwSize K = static_cast<mwSize>(p[5]) + static_cast<mwSize>(p[6]);
        return {{mxSINGLE_CLASS, false, {N, M, 2 * K}},
                {mxINT32_CLASS, false, {N, M, 2 * K + 1}},
                {mxSINGLE_CLASS, false, {M, N, 10}}};
    }
    const mwSize K = static_cast<mwSize>(p[5]);
    if (f == "graphsmooth")
        return {{mxSINGLE_CLASS, false, {M, N}}};
    return {{mxSINGLE_CLASS, false, {M, N}},
            {mxSINGLE_CLASS, false, {N, M, K}},
            {mxSINGLE_CLASS, false, {N, M, K}},
            {mxSINGLE_CLASS, false, {M, N, 10}}};
}

} // namespace

const std::vector<std::string>& functionNames()
{
    static const std::vector<std::string> names = {"patchgraph",  "graphshrink", "graphsmooth",
                                                   "tvclean",     "patchaffinity", "waveanalyze",
                                                   "wavesynth",   "imrestore_denoise"};
    return names;
}

Call makeCall(const std::string& function, const std::uint8_t* data, std::size_t size)
{
    Bytes bytes(data, size);
    Call c = validCall(function, bytes);
    if (!bytes.empty()) {
        const int mutations = 1 + bytes.below(3);
        for (int m = 0; m < mutations; ++m)
            mutate(function, c, bytes);
    }
    for (const Array& a : c.args)
        if (mxGetNumberOfElements(a.get()) > 40 * 40 * 40)
            c.small = false;
    return c;
}

Outcome runCall(const std::string& function, const Call& call)
{
    std::vector<const mxArray*> args;
    for (const Array& a : call.args)
        args.push_back(a.get());
    Outcome o;
    const auto start = std::chrono::steady_clock::now();
    o.result = standinPlugin(function).call(call.nlhs, args);
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

std::string judge(const std::string& function, const Call& call, const Outcome& outcome, double timeLimit)
{
    const standin::CallResult& r = outcome.result;
    if (r.argumentsWritten)
        return "an argument was written";
    if (r.wroteBeyondResultSlots)
        return "a result slot past those offered was written";
    if (r.hostCalledFromOtherThread)
        return "the host was called from a worker thread";
    if (call.small && outcome.seconds > timeLimit)
        return "the call took " + std::to_string(outcome.seconds) + " s";
    if (r.failed) {
        // imrestore_denoise names the denoiser it was asked for.
        std::string prefix = "imrestore:" + function + ":";
        for (const char* denoiser : {"tvdenoise:", "wavedenoise:", "noiselevel:"})
            if (function == "imrestore_denoise" && r.errorId.compare(0, 10 + std::strlen(denoiser),
                                                                     std::string("imrestore:") + denoiser) == 0)
                prefix = std::string("imrestore:") + denoiser;
        if (r.errorId.compare(0, prefix.size(), prefix) != 0)
            return "error without an imrestore identifier: '" + r.errorId + "' " + r.errorMessage;
        return "";
    }
    const std::vector<Expected> expected = expectedResults(function, call);
    for (int k = 0; k < call.nlhs && k < static_cast<int>(expected.size()); ++k) {
        const mxArray* result = r.results.size() > static_cast<std::size_t>(k) ? r.results[k].get() : nullptr;
        if (!result)
            return "result " + std::to_string(k + 1) + " missing";
        const Expected& e = expected[k];
        if (mxGetClassID(result) != e.classId || mxIsSparse(result) != e.sparse)
            return "result " + std::to_string(k + 1) + " of class " + mxGetClassName(result);
        if (normalised(dimsOf(result)) != normalised(e.dims))
            return "result " + std::to_string(k + 1) + " of size " + show(dimsOf(result)) + ", not " +
                   show(normalised(e.dims));
    }
    return "";
}

bool fuzzOne(const std::string& function, const std::uint8_t* data, std::size_t size, double timeLimit)
{
    const Call call = makeCall(function, data, size);
    const Outcome outcome = runCall(function, call);
    const std::string finding = judge(function, call, outcome, timeLimit);
    if (finding.empty())
        return true;
    std::fprintf(stderr, "finding in %s: %s\n  call: %s\n", function.c_str(), finding.c_str(),
                 call.description.c_str());
    return false;
}

} // namespace fuzz
} // namespace imrestore
