// The host's floor for a plug-in's results: a MEX file that only creates
// arrays of the given classes and sizes, writes each element once (as a
// plug-in writes its results) and returns them. It creates them as the
// plug-ins do (host/results.h), so that the floor is the least any MEX file
// can spend on them.
//
//   [A, B, ...] = hostfloor(SHAPE_A, SHAPE_B, ...)
//
// Each SHAPE is a double row vector: [1 dims...] double, [2 dims...] single,
// [3 dims...] int32, [4 n nnz] an n-by-n sparse double matrix with nnz
// entries, spread evenly over its columns.
#include "host/results.h"


namespace {

mxArray* create(const mxArray* shape)
{
    const double* s = mxGetPr(shape);
    const mwSize count = mxGetNumberOfElements(shape);
    if (!mxIsDouble(shape) || count < 2)
        mexErrMsgIdAndTxt("hostfloor:shape", "each SHAPE is [class dims...]");
    const int kind = static_cast<int>(s[0]);
    if (kind == 4) {
        const mwSize n = static_cast<mwSize>(s[1]), nnz = static_cast<mwSize>(s[2]);
        // As patchaffinity: values and row indices from mxMalloc, handed over.
        const mwSize room = nnz > 0 ? nnz : 1;
        mxArray* a = mxCreateSparse(n, n, 1, mxREAL);
        mwIndex* jc = mxGetJc(a);
        mwIndex* ir = static_cast<mwIndex*>(allocateFilledHostMemory(room * sizeof(mwIndex)));
        double* pr = static_cast<double*>(allocateFilledHostMemory(room * sizeof(double)));
        const mwSize perColumn = n > 0 ? nnz / n : 0;
        mwSize e = 0;
        for (mwSize c = 0; c < n; ++c) {
            jc[c] = e;
            const mwSize here = perColumn + (c < nnz - perColumn * n ? 1 : 0);
            for (mwSize r = 0; r < here && r < n; ++r, ++e) {
                ir[e] = r;
                pr[e] = 1.0;
            }
        }
        jc[n] = e;
        mxFree(mxGetPr(a));
        mxFree(mxGetIr(a));
        mxSetNzmax(a, room);
        mxSetPr(a, pr);
        mxSetIr(a, ir);
        return a;
    }
    mwSize dims[8];
    const mwSize ndims = count - 1 < 8 ? count - 1 : 8;
    for (mwSize d = 0; d < ndims; ++d)
        dims[d] = static_cast<mwSize>(s[d + 1]);
    const mxClassID id = kind == 1 ? mxDOUBLE_CLASS : kind == 2 ? mxSINGLE_CLASS : mxINT32_CLASS;
    return createZeroResult(ndims, dims, id);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    for (int r = 0; r < nrhs && r < (nlhs > 0 ? nlhs : 1); ++r)
        plhs[r] = create(prhs[r]);
}
