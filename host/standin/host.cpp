// The stand-in host: arrays, host memory, errors and console output for
// plug-ins loaded outside Octave and MATLAB.
#include "standin.h"

#include "host/physical_memory.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <thread>

struct mxArray_tag {
    mxClassID classId = mxDOUBLE_CLASS;
    std::vector<mwSize> dims;
    bool sparse = false;
    std::vector<unsigned char> real, imag;   // element data; sparse: nzmax doubles
    std::vector<mwIndex> ir, jc;              // sparse row indices and column starts
};

namespace {

// Thrown by the error calls; caught by Plugin::call.
struct HostError {
    std::string id, message;
};

// State of the call in progress.
struct CallState {
    bool active = false;
    std::thread::id thread;
    bool otherThread = false;
    std::string output;
    std::vector<void*> memory;          // from mxCalloc, released at the end of the call
    std::vector<mxArray*> created;      // arrays made during the call
    std::vector<std::string> warningIds, warnings;
    long polls = 0;
    long interruptAtPoll = 0;           // 0: the user never presses Ctrl-C
    void (*atExit)(void) = nullptr;     // what the plug-in registered with mexAtExit
};
CallState current;

void noteHostCall()
{
    if (current.active && std::this_thread::get_id() != current.thread)
        current.otherThread = true;
}

std::size_t elementSize(mxClassID classId)
{
    switch (classId) {
    case mxDOUBLE_CLASS: case mxINT64_CLASS: case mxUINT64_CLASS: return 8;
    case mxSINGLE_CLASS: case mxINT32_CLASS: case mxUINT32_CLASS: return 4;
    case mxINT16_CLASS: case mxUINT16_CLASS: case mxCHAR_CLASS: return 2;
    case mxINT8_CLASS: case mxUINT8_CLASS: case mxLOGICAL_CLASS: return 1;
    // Cells and structs hold one opaque handle per element here: the
    // plug-ins only ever look at their class.
    case mxCELL_CLASS: case mxSTRUCT_CLASS: return sizeof(void*);
    default: throw std::invalid_argument("the stand-in host holds no arrays of this class");
    }
}

// The number of elements of dims, saturating at SIZE_MAX.
std::size_t product(const std::vector<mwSize>& dims)
{
    std::size_t count = 1;
    for (mwSize d : dims)
        if (__builtin_mul_overflow(count, static_cast<std::size_t>(d), &count))
            return SIZE_MAX;
    return count;
}

mxArray* track(mxArray* array)
{
    noteHostCall();
    if (current.active)
        current.created.push_back(array);
    return array;
}

std::string format(const char* fmt, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0)
        std::vsnprintf(&text[0], text.size() + 1, fmt, args);
    return text;
}

// Raised, as the real hosts do, when an array cannot be created.
[[noreturn]] void outOfMemory()
{
    throw HostError{"standin:outOfMemory", "Out of memory."};
}

// Arrays larger than the machine's memory are refused before allocating.
void checkArrayBytes(std::size_t count, std::size_t size)
{
    if (size != 0 && static_cast<double>(count) > physicalMemoryBytes() / static_cast<double>(size))
        outOfMemory();
}

} // namespace

extern "C" {

size_t mxGetM(const mxArray* array) { return array->dims[0]; }
size_t mxGetN(const mxArray* array)
{
    return product(std::vector<mwSize>(array->dims.begin() + 1, array->dims.end()));
}
mwSize mxGetNumberOfDimensions(const mxArray* array) { return array->dims.size(); }
const mwSize* mxGetDimensions(const mxArray* array) { return array->dims.data(); }
size_t mxGetNumberOfElements(const mxArray* array) { return product(array->dims); }
mxClassID mxGetClassID(const mxArray* array) { return array->classId; }
size_t mxGetElementSize(const mxArray* array) { return elementSize(array->classId); }
const char* mxGetClassName(const mxArray* array)
{
    static const char* const names[] = {"unknown", "cell",  "struct", "logical", "char",   "void",
                                        "double",  "single", "int8",  "uint8",   "int16",  "uint16",
                                        "int32",   "uint32", "int64", "uint64",  "function_handle"};
    const int id = array->classId;
    return id >= 0 && id <= mxFUNCTION_CLASS ? names[id] : "unknown";
}
bool mxIsDouble(const mxArray* array) { return array->classId == mxDOUBLE_CLASS; }
bool mxIsSingle(const mxArray* array) { return array->classId == mxSINGLE_CLASS; }
bool mxIsInt32(const mxArray* array) { return array->classId == mxINT32_CLASS; }
bool mxIsNumeric(const mxArray* array)
{
    return array->classId >= mxDOUBLE_CLASS && array->classId <= mxUINT64_CLASS;
}
bool mxIsChar(const mxArray* array) { return array->classId == mxCHAR_CLASS; }
bool mxIsComplex(const mxArray* array) { return !array->imag.empty(); }
bool mxIsSparse(const mxArray* array) { return array->sparse; }
bool mxIsEmpty(const mxArray* array) { return product(array->dims) == 0; }
bool mxIsFinite(double value) { return std::isfinite(value); }

void* mxGetData(const mxArray* array) { return const_cast<unsigned char*>(array->real.data()); }
double* mxGetPr(const mxArray* array) { return static_cast<double*>(mxGetData(array)); }
int mxGetString(const mxArray* array, char* buf, mwSize buflen)
{
    noteHostCall();
    if (buflen == 0)
        return 1;
    buf[0] = 0;
    if (array->classId != mxCHAR_CLASS)
        return 1;
    const std::size_t count = product(array->dims);
    const std::uint16_t* text = reinterpret_cast<const std::uint16_t*>(array->real.data());
    std::size_t e = 0;
    for (; e < count && e + 1 < buflen; ++e)
        buf[e] = static_cast<char>(text[e]);
    buf[e] = 0;
    return e < count ? 1 : 0;
}
double mxGetScalar(const mxArray* array)
{
    if (array->real.empty())
        return 0.0;
    const unsigned char* p = array->real.data();
    switch (array->classId) {
    case mxDOUBLE_CLASS: return *reinterpret_cast<const double*>(p);
    case mxSINGLE_CLASS: return *reinterpret_cast<const float*>(p);
    case mxINT32_CLASS: return *reinterpret_cast<const std::int32_t*>(p);
    case mxUINT32_CLASS: return *reinterpret_cast<const std::uint32_t*>(p);
    case mxINT16_CLASS: return *reinterpret_cast<const std::int16_t*>(p);
    case mxUINT16_CLASS: case mxCHAR_CLASS: return *reinterpret_cast<const std::uint16_t*>(p);
    case mxINT8_CLASS: return *reinterpret_cast<const std::int8_t*>(p);
    case mxUINT8_CLASS: case mxLOGICAL_CLASS: return *p;
    case mxINT64_CLASS: return static_cast<double>(*reinterpret_cast<const std::int64_t*>(p));
    case mxUINT64_CLASS: return static_cast<double>(*reinterpret_cast<const std::uint64_t*>(p));
    default: return 0.0;
    }
}
mwIndex* mxGetIr(const mxArray* array) { return const_cast<mwIndex*>(array->ir.data()); }
mwIndex* mxGetJc(const mxArray* array) { return const_cast<mwIndex*>(array->jc.data()); }
mwSize mxGetNzmax(const mxArray* array) { return array->ir.size(); }

namespace {
// Takes back memory from mxMalloc or mxCalloc, whose size the stand-in
// does not record; the caller says how many bytes to copy.
void adoptHostMemory(void* ptr, std::size_t bytes, std::vector<unsigned char>& into)
{
    const unsigned char* p = static_cast<const unsigned char*>(ptr);
    into.assign(p, p + bytes);
    mxFree(ptr);
}
} // namespace

void mxSetNzmax(mxArray* array, mwSize nzmax)
{
    noteHostCall();
    nzmax = std::max<mwSize>(nzmax, 1);
    array->real.resize(nzmax * sizeof(double));
    array->ir.resize(nzmax);
}
void mxSetPr(mxArray* array, double* pr)
{
    noteHostCall();
    adoptHostMemory(pr, array->ir.size() * sizeof(double), array->real);
}
void mxSetIr(mxArray* array, mwIndex* ir)
{
    noteHostCall();
    std::vector<unsigned char> bytes;
    adoptHostMemory(ir, array->ir.size() * sizeof(mwIndex), bytes);
    std::memcpy(array->ir.data(), bytes.data(), bytes.size());
}

mxArray* mxCreateNumericArray(mwSize ndim, const mwSize* dims, mxClassID classId, mxComplexity flag)
try {
    std::unique_ptr<mxArray> array(new mxArray_tag);
    array->classId = classId;
    array->dims.assign(dims, dims + ndim);
    while (array->dims.size() < 2)
        array->dims.push_back(array->dims.empty() ? 0 : 1);
    while (array->dims.size() > 2 && array->dims.back() == 1)
        array->dims.pop_back();
    checkArrayBytes(product(array->dims), elementSize(classId));
    const std::size_t bytes = product(array->dims) * elementSize(classId);
    array->real.assign(bytes, 0);
    if (flag == mxCOMPLEX)
        array->imag.assign(std::max<std::size_t>(bytes, 1), 0);
    return track(array.release());
} catch (const std::bad_alloc&) {
    outOfMemory();
}

// Filled with 0xA5 bytes instead of zeros, so that an element the plug-in
// forgets to write shows.
mxArray* mxCreateUninitNumericArray(mwSize ndim, const mwSize* dims, mxClassID classId, mxComplexity flag)
{
    mxArray* array = mxCreateNumericArray(ndim, dims, classId, flag);
    std::fill(array->real.begin(), array->real.end(), 0xA5);
    std::fill(array->imag.begin(), array->imag.end(), 0xA5);
    return array;
}

mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag)
{
    const mwSize dims[2] = {m, n};
    return mxCreateNumericArray(2, dims, mxDOUBLE_CLASS, flag);
}

mxArray* mxCreateSparse(mwSize m, mwSize n, mwSize nzmax, mxComplexity flag)
try {
    std::unique_ptr<mxArray> array(new mxArray_tag);
    array->sparse = true;
    array->dims = {m, n};
    nzmax = std::max<mwSize>(nzmax, 1);
    checkArrayBytes(nzmax, sizeof(double) + sizeof(mwIndex));
    array->real.assign(nzmax * sizeof(double), 0);
    if (flag == mxCOMPLEX)
        array->imag.assign(nzmax * sizeof(double), 0);
    array->ir.assign(nzmax, 0);
    array->jc.assign(n + 1, 0);
    return track(array.release());
} catch (const std::bad_alloc&) {
    outOfMemory();
}

void mxDestroyArray(mxArray* array)
{
    noteHostCall();
    if (current.active)
        current.created.erase(std::remove(current.created.begin(), current.created.end(), array),
                              current.created.end());
    delete array;
}

void* mxCalloc(size_t n, size_t size)
{
    noteHostCall();
    void* ptr = std::calloc(std::max<size_t>(n, 1), std::max<size_t>(size, 1));
    if (ptr && current.active)
        current.memory.push_back(ptr);
    return ptr;
}

void* mxMalloc(size_t n) { return mxCalloc(n, 1); }

// Frees memory from mxMalloc or mxCalloc. Any other pointer of a call is
// the data of an array, which the plug-in gives up before setting new data;
// the stand-in releases that with the array.
void mxFree(void* ptr)
{
    noteHostCall();
    const auto found = std::find(current.memory.begin(), current.memory.end(), ptr);
    if (found != current.memory.end())
        current.memory.erase(found);
    else if (current.active)
        return;
    std::free(ptr);
}

void mexErrMsgTxt(const char* message)
{
    noteHostCall();
    throw HostError{"", message};
}

void mexErrMsgIdAndTxt(const char* id, const char* fmt, ...)
{
    noteHostCall();
    va_list args;
    va_start(args, fmt);
    std::string message = format(fmt, args);
    va_end(args);
    throw HostError{id, message};
}

void mexWarnMsgIdAndTxt(const char* id, const char* fmt, ...)
{
    noteHostCall();
    va_list args;
    va_start(args, fmt);
    std::string message = format(fmt, args);
    va_end(args);
    current.warningIds.push_back(id);
    current.warnings.push_back(message);
}

bool standinInterruptPending(void)
{
    noteHostCall();
    ++current.polls;
    return current.interruptAtPoll > 0 && current.polls >= current.interruptAtPoll;
}

int mexAtExit(void (*exitFunction)(void))
{
    noteHostCall();
    current.atExit = exitFunction;
    return 0;
}

int mexPrintf(const char* fmt, ...)
{
    noteHostCall();
    va_list args;
    va_start(args, fmt);
    std::string text = format(fmt, args);
    va_end(args);
    current.output += text;
    return static_cast<int>(text.size());
}

} // extern "C"

namespace standin {

Array makeArray(mxClassID classId, const std::vector<mwSize>& dims, mxComplexity complexity)
{
    return Array(mxCreateNumericArray(dims.size(), dims.data(), classId, complexity));
}

namespace {
template <typename T>
Array makeFilled(mxClassID classId, const std::vector<mwSize>& dims, const std::vector<T>& values)
{
    Array array = makeArray(classId, dims);
    if (values.size() != mxGetNumberOfElements(array.get()))
        throw std::invalid_argument("value count does not match the dimensions");
    if (!values.empty())
        std::memcpy(mxGetData(array.get()), values.data(), values.size() * sizeof(T));
    return array;
}

template <typename T>
std::vector<T> typedData(const mxArray* array, mxClassID classId)
{
    if (array->classId != classId)
        throw std::invalid_argument("array of another class");
    std::vector<T> values(array->real.size() / sizeof(T));
    if (!values.empty())
        std::memcpy(values.data(), array->real.data(), array->real.size());
    return values;
}
} // namespace

Array makeSingle(const std::vector<mwSize>& dims, const std::vector<float>& values)
{
    return makeFilled(mxSINGLE_CLASS, dims, values);
}
Array makeDouble(const std::vector<mwSize>& dims, const std::vector<double>& values)
{
    return makeFilled(mxDOUBLE_CLASS, dims, values);
}
Array makeString(const std::string& text)
{
    Array array = makeArray(mxCHAR_CLASS, {1, text.size()});
    std::uint16_t* units = static_cast<std::uint16_t*>(mxGetData(array.get()));
    for (std::size_t e = 0; e < text.size(); ++e)
        units[e] = static_cast<unsigned char>(text[e]);
    return array;
}
Array makeInt32(const std::vector<mwSize>& dims, const std::vector<std::int32_t>& values)
{
    return makeFilled(mxINT32_CLASS, dims, values);
}

std::vector<float> singleData(const mxArray* array) { return typedData<float>(array, mxSINGLE_CLASS); }
std::vector<double> doubleData(const mxArray* array) { return typedData<double>(array, mxDOUBLE_CLASS); }
std::vector<std::int32_t> int32Data(const mxArray* array) { return typedData<std::int32_t>(array, mxINT32_CLASS); }
std::vector<mwSize> dimensions(const mxArray* array) { return array->dims; }

Plugin::Plugin(const std::string& path)
{
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw std::runtime_error("cannot load plug-in " + path + ": " + dlerror());
    gateway_ = reinterpret_cast<void (*)(int, mxArray**, int, const mxArray**)>(dlsym(handle_, "mexFunction"));
    if (!gateway_) {
        dlclose(handle_);
        throw std::runtime_error("plug-in " + path + " has no mexFunction");
    }
}

Plugin::~Plugin()
{
    clear();
    dlclose(handle_);
}

void Plugin::clear() const
{
    if (atExit_)
        atExit_();
    atExit_ = nullptr;
}

CallResult Plugin::call(int nlhs, const std::vector<const mxArray*>& args) const
{
    return callInterrupted(0, nlhs, args);
}

CallResult Plugin::callInterrupted(long poll, int nlhs, const std::vector<const mxArray*>& args) const
{
    // Octave and MATLAB offer max(nlhs, 1) result slots; the slots past them
    // are here only to catch a plug-in writing there.
    constexpr int slotCount = 16;
    const int offered = std::min(slotCount, std::max(nlhs, 1));
    mxArray* plhs[slotCount] = {};
    std::vector<mxArray> before;
    for (const mxArray* arg : args)
        before.push_back(*arg);

    current = CallState();
    current.active = true;
    current.thread = std::this_thread::get_id();
    current.interruptAtPoll = poll;
    CallResult result;
    try {
        gateway_(nlhs, plhs, static_cast<int>(args.size()), const_cast<const mxArray**>(args.data()));
    } catch (const HostError& error) {
        result.failed = true;
        result.errorId = error.id;
        result.errorMessage = error.message;
    }
    current.active = false;

    for (void* ptr : current.memory)
        std::free(ptr);
    if (result.failed) {
        for (mxArray* array : current.created)
            delete array;
    } else {
        for (int k = 0; k < offered; ++k)
            result.results.emplace_back(plhs[k]);
        result.wroteBeyondResultSlots = std::any_of(plhs + offered, plhs + slotCount, [](mxArray* a) { return a; });
        for (mxArray* array : current.created)
            if (std::find(plhs, plhs + offered, array) == plhs + offered)
                delete array;
    }
    for (std::size_t a = 0; a < args.size(); ++a) {
        const mxArray& now = *args[a];
        if (now.real != before[a].real || now.imag != before[a].imag || now.ir != before[a].ir ||
            now.jc != before[a].jc || now.dims != before[a].dims)
            result.argumentsWritten = true;
    }
    result.output = current.output;
    result.hostCalledFromOtherThread = current.otherThread;
    result.warningIds = current.warningIds;
    result.warnings = current.warnings;
    result.interruptPolls = current.polls;
    if (current.atExit)
        atExit_ = current.atExit;
    current = CallState();
    return result;
}

} // namespace standin
